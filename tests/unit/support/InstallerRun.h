// The installer's run as the driver tests and the checks' tests drive it: a stand-in form
// that records what it was given, the sandbox, the registry and the payload; and the runs
// from the command line with their log.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>

#include "framework/ElementImp.h"
#include "installer/InstallerDriver.h"
#include "ui/GUI_ToolboxInstall.h"
#include "unit/support/ArchiveBuilder.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/FakeSystemApp.h"
#include "unit/support/Sandbox.h"
#include "unit/support/StoredFiles.h"
#include "unit/support/TestRegistry.h"
#ifndef _WIN32
#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {

// What the stand-in form is given, and what the "user" does with it.
struct FormScript {
  std::map<int, std::string> paths;
  std::map<int, bool> selected;
  int runResult = 1;
  std::map<int, bool> userSelects;  // applied when the form runs
  int runs = 0;
};
inline FormScript g_script;

class StandInForm : public ElementImp<Element>, public GUI_ToolboxInstall {
 public:
  explicit StandInForm(Core* core) : ElementImp(core, kGUI_ToolboxInstallType) {}
  void* Cast(int id) override {
    return id == kGUI_ToolboxInstallInterface ? static_cast<GUI_ToolboxInstall*>(this) : nullptr;
  }
  const char* GetTargetPath(int index) override {
    auto found = g_script.paths.find(index);
    return found == g_script.paths.end() ? nullptr : found->second.c_str();
  }
  int SetTargetPath(int index, const char* text) override {
    g_script.paths[index] = text;
    return 0;
  }
  bool IsTargetSelected(int index) override { return g_script.selected[index]; }
  int SetTargetSelected(int index, bool on) override {
    g_script.selected[index] = on;
    return 0;
  }
  int Run() override {
    ++g_script.runs;
    for (auto [index, on] : g_script.userSelects) g_script.selected[index] = on;
    return g_script.runResult;
  }
};

class InstallerDriverTest : public CoreFixture {
 protected:
  InstallerDriverTest() {
    classes_.insert(classes_.begin(), {kGUI_ToolboxInstallType, Construct<StandInForm>});
  }
  void SetUp() override {
    CoreFixture::SetUp();
    g_script = FormScript();
    registry_.StandIn();
    box_.MakeFolder("tmp");
    app_ = new FakeSystemApp(core_, box_.Path("Vorlane\\"), box_.Path("tmp\\"));
    core_->SetSystemApp(app_);
  }
  // The exit code of a run with that command line.
  int Run(const std::string& commandLine = "") {
    app_->SetCommandLineText(commandLine.c_str());
    InstallerDriver driver(core_);
    return driver.Run();
  }
#ifndef _WIN32
  // Gives the program the payload and the check the build records beside it: the size and
  // CRC-32 of the payload as built (and bytes no build writes after them).
  void Serve(const std::string& payload, const std::string& built, const std::string& more = "") {
    std::string check =
        StoredWord(static_cast<std::uint32_t>(built.size())) +
        StoredWord(static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(built.data()),
                                                    static_cast<uInt>(built.size())))) +
        more;
    PosixPort::SetResource("ARCHIVE", 105, payload.data(),
                           static_cast<std::uint32_t>(payload.size()));
    PosixPort::SetResource("ARCHIVE", 106, check.data(), static_cast<std::uint32_t>(check.size()));
  }
  std::string BuildPayload(const ArchiveContents& contents) {
    EXPECT_TRUE(BuildArchive(box_.Path("payload.vln"), contents));
    std::string payload = box_.ReadFile("payload.vln");
    std::filesystem::remove(box_.NativePath("payload.vln"));
    Serve(payload, payload);
    return payload;
  }
#endif
  // Every file below the sandbox but the temporary folder's, with its bytes.
  std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> files;
    for (const std::string& file : box_.FilesBelow(""))
      if (file.rfind("tmp\\", 0) != 0) files[file] = box_.ReadFile(file);
    return files;
  }
  std::map<int, std::string> Detected() {
    std::map<int, std::string> detected;
    for (auto [index, on] : g_script.selected)
      if (on) detected[index] = g_script.paths[index];
    return detected;
  }

  Sandbox box_;
  TestRegistry registry_;
  FakeSystemApp* app_ = nullptr;
};

#ifndef _WIN32
// Runs from the command line, with a payload, Cinema 4D R10 registered in C4D\ and a log.
class CommandLineRunTest : public InstallerDriverTest {
 protected:
  void SetUp() override {
    InstallerDriverTest::SetUp();
    BuildPayload({{"VLN2_Resources\\r.txt", "shared"},
                  {"Cinema4D10\\plugins\\p.cdl", "plug-in"},
                  {"3DSMax6\\m.dlu", "max"},
                  {"SDK\\include\\a.h", "header"}});
    RegisterC4D();
  }
  void TearDown() override {
    PosixPort::ClearResources();
    InstallerDriverTest::TearDown();
  }
  void RegisterC4D() {
    registry_.SetText(Port::kLocalMachine, "SOFTWARE\\MAXON\\CINEMA 4D\\10.0", "InstallPath",
                      box_.Path("C4D\\").c_str());
    box_.MakeFolder("C4D");
  }
  // A run with the log; the lines it added to the log, without their time stamps.
  int Run(const std::string& arguments) {
    std::size_t before = box_.ReadFile("setup.log").size();
    int code = InstallerDriverTest::Run(arguments + " /log=" + box_.Path("setup.log"));
    std::string added = box_.ReadFile("setup.log").substr(before);
    static const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}Z (.*)\r)");
    log_.clear();
    std::smatch line;
    for (std::size_t at = 0, end; (end = added.find('\n', at)) != std::string::npos; at = end + 1) {
      std::string text = added.substr(at, end - at);
      EXPECT_TRUE(std::regex_match(text, line, stamped)) << text;
      log_ += line[1].str() + "\n";
    }
    return code;
  }
  // Whether a line of the last run's log starts with that text.
  bool Logged(const std::string& start) {
    return ("\n" + log_).find("\n" + start) != std::string::npos;
  }

  std::string log_;
};
#endif

}  // namespace VLN2
