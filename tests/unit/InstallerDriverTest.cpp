// The installer's run: what it finds in the registry, what it proposes, and what it does
// after Install and after Cancel. The form is a stand-in that records what it was given.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "framework/ElementImp.h"
#include "framework/ElementRef.h"
#include "installer/CommandLine.h"
#include "installer/InstallPlan.h"
#include "installer/InstallerDriver.h"
#include "installer/Preflight.h"
#include "installer/SingleInstance.h"
#include "installer/Targets.h"
#include "ui/GUI_ToolboxInstall.h"
#include "unit/support/ArchiveBuilder.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/FakeSystemApp.h"
#include "unit/support/Sandbox.h"
#include "unit/support/StoredFiles.h"
#include "unit/support/TestRegistry.h"
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

// What the stand-in form is given, and what the "user" does with it.
struct FormScript {
  std::map<int, std::string> paths;
  std::map<int, bool> selected;
  int runResult = 1;
  std::map<int, bool> userSelects;  // applied when the form runs
  int runs = 0;
};
FormScript g_script;

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

TEST_F(InstallerDriverTest, WithNothingInstalledOnlyTheSDKFolderIsProposedUnselected) {
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(g_script.runs, 1);
  EXPECT_TRUE(Detected().empty());
  EXPECT_EQ(g_script.paths, (std::map<int, std::string>{{13, box_.Path("Vorlane\\SDK\\")}}));
}

TEST_F(InstallerDriverTest, EveryRegistryPlaceProposesItsTarget) {
  const auto lm = Port::kLocalMachine, cu = Port::kCurrentUser;
  registry_.SetText(lm, "SOFTWARE\\Autodesk\\3dsMax\\9.0\\MAX-1:409", "Installdir",
                    "C:\\Autodesk\\3dsMax9\\");
  registry_.SetText(cu, "Software\\Graphisoft\\ArchiCAD", "Last Started Version", "10.0");
  registry_.SetText(cu, "Software\\Graphisoft\\ArchiCAD\\10.0", nullptr,
                    "C:\\Graphisoft\\ArchiCAD 10\\ArchiCAD.exe");
  registry_.SetText(lm, "SOFTWARE\\MAXON\\CINEMA 4D\\9.0", "InstallPath", "C:\\Maxon\\C4D R9");
  registry_.SetText(lm, "SOFTWARE\\MAXON\\CINEMA 4D\\10.0", "Install Path", "C:\\Maxon\\C4D R10\\");
  registry_.SetText(
      lm, "SOFTWARE\\Classes\\CLSID\\{6BA41DED-589A-427C-B829-B12F68C651B6}\\LocalServer32",
      nullptr, "C:\\Bentley\\Program\\ustation.exe");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Detected(), (std::map<int, std::string>{
                            {6, "C:\\Autodesk\\3dsMax9\\Plugins\\"},
                            {7, "C:\\Bentley\\Program\\mdlapps\\"},
                            {8, "C:\\Graphisoft\\ArchiCAD 10\\Add-Ons\\"},
                            {11, "C:\\Maxon\\C4D R9\\"},  // a folder ends in a separator
                            {12, "C:\\Maxon\\C4D R10\\"},
                        }));
  EXPECT_FALSE(g_script.selected[13]);
}

// Server values are taken without quotes and arguments; a folder that would not fit the
// form whole stays undetected rather than be cut short; names outside ASCII are kept.
TEST_F(InstallerDriverTest, ServerValuesAndFolderLengthsDecideTheProposedFolder) {
  const std::string server =
      "SOFTWARE\\Classes\\CLSID\\{6BA41DED-589A-427C-B829-B12F68C651B6}\\LocalServer32";
  const std::string max9 = "SOFTWARE\\Autodesk\\3dsMax\\9.0\\MAX-1:409";
  const std::string c4d = "SOFTWARE\\MAXON\\CINEMA 4D\\10.0";
  const std::string greek =
      "C:\\\xCE\xA0\xCF\x81\xCF\x8C\xCE\xB3\xCF\x81\xCE\xB1\xCE\xBC\xCE\xBC\xCE\xB1\\";
  const struct {
    std::string key;
    const char* name;
    std::string value;
    std::map<int, std::string> detected;
  } rows[] = {
      {server,
       nullptr,
       "\"C:\\Bentley\\ustation.exe\" /Automation",
       {{7, "C:\\Bentley\\mdlapps\\"}}},
      {server,
       nullptr,
       "\"C:\\Program Files\\Bentley\\ustation.exe\"",
       {{7, "C:\\Program Files\\Bentley\\mdlapps\\"}}},
      {server, nullptr, "\"\" /Automation", {}},
      {server,
       nullptr,
       "C:\\" + std::string(247, 'b') + "\\ustation.exe",
       {{7, "C:\\" + std::string(247, 'b') + "\\mdlapps\\"}}},
      {server, nullptr, "C:\\" + std::string(248, 'b') + "\\ustation.exe", {}},
      {max9,
       "Installdir",
       "C:\\" + std::string(247, 'm') + "\\",
       {{6, "C:\\" + std::string(247, 'm') + "\\Plugins\\"}}},
      {max9, "Installdir", "C:\\" + std::string(248, 'm') + "\\", {}},
      {c4d, "InstallPath", greek, {{12, greek}}},
      {c4d, "InstallPath", "", {}},
      {c4d, "InstallPath", "C:\\" + std::string(300, 'c'), {}},
  };
  // Each key's last row detects nothing, so that the rows of the next key see it alone.
  for (const auto& row : rows) {
    g_script = FormScript();
    registry_.SetText(Port::kLocalMachine, row.key, row.name, row.value.c_str());
    Run();
    EXPECT_EQ(Detected(), row.detected) << row.value;
  }
}

#ifndef _WIN32
// The product version of a program file comes from its version resource, which only the
// Windows end-to-end tests have; here the port is told the version.
TEST_F(InstallerDriverTest, The3dsMaxServerIsMappedByItsProductMajorVersion) {
  const std::string key =
      "SOFTWARE\\Classes\\CLSID\\{5985293F-A250-11d1-BCC1-0060B01A6606}\\LocalServer";
  const std::map<int, int> targetOfVersion = {{3, 0}, {4, 1}, {5, 1}, {6, 3}, {7, 3}, {8, 5}};
  for (int major = 0; major <= 10; ++major) {
    g_script = FormScript();
    PosixPort::SetProductMajorVersion("C:\\3dsmax\\3dsmax.exe", major);
    registry_.SetText(Port::kLocalMachine, key, nullptr, "C:\\3dsmax\\3dsmax.exe");
    Run();
    auto expected =
        targetOfVersion.count(major)
            ? std::map<int, std::string>{{targetOfVersion.at(major), "C:\\3dsmax\\Plugins\\"}}
            : std::map<int, std::string>{};
    EXPECT_EQ(Detected(), expected) << "version " << major;
  }
}

TEST_F(InstallerDriverTest, InstallCopiesThePayloadAndInstallsTheSelectedTargetsInOrder) {
  std::string payload = BuildPayload({{"VLN2_Resources\\r.txt", "shared"},
                                      {"Cinema4D\\plugins\\p.cdl", "plug-in"},
                                      {"SDK\\include\\a.h", "header"}});
  g_script.runResult = 0;
  g_script.userSelects = {{13, true}, {11, true}};
  g_script.paths[11] = box_.Path("C4D\\");

  EXPECT_EQ(Run(), 1);
  PosixPort::ClearResources();
  EXPECT_EQ(box_.ReadFile("tmp\\Archive.DAT"), payload);
  EXPECT_EQ(box_.ReadFile("Vorlane\\Toolbox\\r.txt"), "shared");
  EXPECT_EQ(box_.ReadFile("C4D\\plugins\\p.cdl"), "plug-in");
  EXPECT_EQ(box_.ReadFile("Vorlane\\SDK\\include\\a.h"), "header");
  ASSERT_EQ(app_->boxes.size(), 1u);
  EXPECT_EQ(app_->boxes[0].text,
            std::string(FindTarget(11)->successText) + FindTarget(13)->successText);
  EXPECT_TRUE(box_.Exists("Vorlane\\Toolbox\\Uninstall.info"));
}

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

// An installation, two updates and the removal: each row starts from what the row before left,
// which its log shows.
TEST_F(CommandLineRunTest, UnattendedRunsEndWithTheirExitCodesAndLogWhatTheyDid) {
  const std::string c4d = box_.Path("C4D\\"), max7 = box_.Path("Max 7\\");
  const std::string plugin = c4d + "plugins\\p.cdl", toolbox = box_.Path("Vorlane\\Toolbox\\");
  const struct {
    std::string arguments;
    int exitCode;
    std::vector<std::string> installed;
    std::vector<std::string> logged;
  } rows[] = {
      {"/QUIET -accept-terms",
       0,
       {plugin, toolbox + "r.txt"},
       {"detected c4d-r10: " + c4d, "file written " + plugin, "target installed c4d-r10",
        "box (not shown) VorlaneBox Installation Report: VorlaneBox for Cinema4D R10 is "
        "successfully installed.",
        "record written " + toolbox + "Uninstall.info", "exit code 0"}},
      {"/quiet /accept-terms /targets=sdk,max7 \"/folder:max7=" + box_.Path("Max 7") + "\"",
       0,
       {box_.Path("Vorlane\\SDK\\include\\a.h"), max7 + "m.dlu"},
       {"removed " + plugin, "installing max7: " + max7, "target installed sdk", "exit code 0"}},
      {"/uninstall /quiet",
       0,
       {},
       {"removed " + max7 + "m.dlu", "record removed " + toolbox + "Uninstall.info",
        "exit code 0"}},
      {"/uninstall /quiet",
       5,
       {},
       {"nothing to remove " + toolbox + "Uninstall.info: no installation record"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    EXPECT_EQ(Run(row.arguments), row.exitCode);
    EXPECT_TRUE(Logged("start VorlaneBox Setup ")) << log_;
    for (const std::string& line : row.logged) EXPECT_TRUE(Logged(line)) << line << "\n" << log_;
    for (const std::string& file : row.installed) EXPECT_TRUE(box_.Exists(file.substr(3))) << file;
    EXPECT_TRUE(app_->boxes.empty());
  }
  EXPECT_FALSE(box_.Exists("C4D\\plugins"));
  EXPECT_FALSE(box_.Exists("Vorlane\\Toolbox"));
}

// Every place that chooses an exit code, from the fault that makes it choose to the code, the
// log line and the boxes shown. Each row starts from Cinema 4D R10 installed by a run before.
TEST_F(CommandLineRunTest, EachFaultEndsTheRunWithItsExitCodeAndLogLine) {
  const std::string toolbox = box_.Path("Vorlane\\Toolbox\\"), record = toolbox + "Uninstall.info";
  const std::string plugin = box_.Path("C4D\\plugins\\p.cdl"), install = "/quiet /accept-terms";
  const std::string usage = "box (not shown) VorlaneBox Setup: Usage error: ";
  const std::string stopped = "stopped before removing anything", shown = "box VorlaneBox Setup: ";
  const std::string blocked = install + " /folder:c4d-r10=" + box_.Path("blocked\\");
  // A line break is written escaped, so that the line stays one.
  const std::string longLine = install + " \"/folder:sdk=C:\\\r\n" + std::string(3000, 'x') + "\"";
  const std::string escaped = install + " \"/folder:sdk=C:\\\\x0D\\x0A";
  Port::FileHandle held = nullptr;
  auto inUse = [&] { held = Port::OpenFile(plugin.c_str(), Port::kAccessWrite, false); };
  auto folderForShared = [&] {
    box_.Remove("Vorlane\\Toolbox\\r.txt");
    box_.MakeFolder("Vorlane\\Toolbox\\r.txt\\in the way");
  };
  auto damagedJournal = [&] { box_.WriteFile("Vorlane\\Toolbox\\Uninstall.journal", "?"); };
  auto recordNotListed = [&] {
    box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info", StoredRecordBytes({plugin}, {}));
  };
  // A refused system call of the port; "allocation": the n-th allocation fails; "second copy":
  // the program starts while another copy runs.
  struct Fault {
    const char* call = nullptr;
    long n = 0;
    int error = 0;
  };
  const struct {
    std::string arguments;
    Fault fault;
    std::function<void()> setup;
    int exitCode;
    std::string logged;  // the start of a line of the log; none: nothing is logged
    std::size_t boxes;
  } rows[] = {
      {install, {}, nullptr, 0, "record written " + record, 0},
      {"/uninstall /quiet", {}, nullptr, 0, "record removed " + record, 0},
      {"/uninstall", {}, [&] { app_->answerYes = false; }, 0, "removal declined", 1},
      {"/?", {}, nullptr, 0, "", 1},
      {"", {"second copy"}, nullptr, 0, "", 1},
      {install, {"allocation", 1}, nullptr, 1, "", 0},
      {install, {"open", 1, EACCES}, nullptr, 1, "", 0},  // the log's
      {install, {"rename", 7, ENOSPC}, nullptr, 1, "record not written " + record, 0},
      {install, {"rename", 8, ENOSPC}, nullptr, 0, "journal not written " + record, 0},
      {install, {}, folderForShared, 1, "file not written " + toolbox + "r.txt: a folder", 0},
      {blocked, {}, [&] { box_.WriteFile("blocked", "in the way"); }, 1, "target failed", 0},
      {"/uninstall /quiet", {"read", 1, EIO}, nullptr, 1, "record damaged " + record, 0},
      {"/uninstall", {"unlink", 1, EACCES}, nullptr, 1, shown + "VorlaneBox could not be", 2},
      {"/uninstall /quiet", {}, recordNotListed, 0, "removed " + plugin, 0},
      {"/quiet", {}, nullptr, 2, usage + "/quiet installs only with /accept-terms", 0},
      {install + " /targets=max5", {}, nullptr, 2, usage + "No folder for the target max5", 0},
      {longLine, {}, nullptr, 2, "command line: " + escaped + std::string(1000, 'x'), 0},
      {install, {}, [&] { box_.Remove("tmp"); }, 3, stopped, 0},
      {install, {}, damagedJournal, 3, stopped, 0},
      {"/uninstall", {}, damagedJournal, 3, stopped, 1},
      {"", {}, damagedJournal, 0, stopped, 1},
      {install, {"second copy"}, nullptr, 4, "", 0},
      {install, {}, [] { PosixPort::ClearRegistry(); }, 5, "nothing to install", 0},
      {"/uninstall", {}, [&] { box_.Remove("Vorlane"); }, 5, shown + "VorlaneBox is not", 1},
      {install, {}, inUse, 6, stopped + ": Setup was cancelled while these files were in use", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments + " " + (row.fault.call ? row.fault.call : ""));
    for (const char* top : {"Vorlane", "C4D", "tmp"}) box_.Remove(top);
    box_.MakeFolder("tmp");
    RegisterC4D();
    ASSERT_EQ(Run(install), 0);
    app_->boxes.clear();
    PosixPort::ClearRecords();
    if (row.setup) row.setup();
    const std::string fault = row.fault.call ? row.fault.call : "";
    int code = 0;
    if (fault == "second copy") {
      PosixPort::SetTempPath(box_.Root().c_str());
      SingleInstance first;
      code = RunProgram(nullptr, row.arguments.c_str());
      PosixPort::SetTempPath(nullptr);
      core_->SetCore(core_);  // the program's Core was the current one
      log_.clear();
    } else {
      if (fault == "allocation")
        FailAllocation(row.fault.n);
      else if (!fault.empty())
        PosixPort::FailSystemCall(row.fault.call, row.fault.n, row.fault.error);
      code = Run(row.arguments);
      FailAllocation(0);
      PosixPort::ResetSystemCalls();
    }
    Port::CloseFile(held);
    held = nullptr;
    app_->answerYes = true;
    EXPECT_EQ(code, row.exitCode);
    if (row.logged.empty()) {
      EXPECT_EQ(log_, "");
    } else {
      EXPECT_TRUE(Logged(row.logged)) << row.logged << "\n" << log_;
      EXPECT_TRUE(Logged("exit code " + std::to_string(row.exitCode))) << log_;
    }
    EXPECT_EQ(app_->boxes.size() + PosixPort::MessageBoxes().size(), row.boxes);
  }
}

// The record goes last, and only when nothing it lists stays: a held plug-in stops the removal
// before anything goes; a file that cannot be removed keeps a record that lists only it.
TEST_F(CommandLineRunTest, ARemovalTakesTheRecordLastAndOnlyOnceNothingItListsStays) {
  const std::string plugin = box_.Path("C4D\\plugins\\p.cdl");
  const std::string record = box_.Path("Vorlane\\Toolbox\\Uninstall.info");
  ASSERT_EQ(Run("/quiet /accept-terms"), kExitSuccess);
  const std::string installed = box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info");
  Port::FileHandle held = Port::OpenFile(plugin.c_str(), Port::kAccessWrite, false);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(Run("/uninstall /quiet"), kExitFilesInUse);
  EXPECT_EQ(box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info"), installed);
  EXPECT_TRUE(box_.Exists("Vorlane\\Toolbox\\r.txt"));
  app_->answerRetry = [&] {
    Port::CloseFile(held);
    return 0;
  };
  EXPECT_EQ(Run("/uninstall"), kExitSuccess);
  EXPECT_EQ(app_->boxes.back().text, "VorlaneBox has been removed.");
  EXPECT_FALSE(box_.Exists("Vorlane"));
  EXPECT_FALSE(box_.Exists("C4D\\plugins"));

  box_.WriteFile("C4D\\plugins\\p.cdl\\mine.txt", "the user's");  // cannot be removed
  box_.WriteFile("C4D\\other.dll", "goes");
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info",
                 StoredRecordBytes({plugin, box_.Path("C4D\\other.dll"), record},
                                   {box_.Path("C4D\\"), box_.Path("C4D\\plugins\\")}));
  EXPECT_EQ(Run("/uninstall /quiet"), kExitFailed);
  EXPECT_TRUE(Logged("left " + plugin)) << log_;
  EXPECT_FALSE(box_.Exists("C4D\\other.dll"));
  EXPECT_EQ(box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info"),
            StoredRecordBytes({plugin, record}, {box_.Path("C4D\\"), box_.Path("C4D\\plugins\\")}));

  box_.Remove("C4D\\plugins");
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info", std::string(12, '\0'));
  EXPECT_EQ(Run("/uninstall /quiet"), kExitSuccess);
  EXPECT_FALSE(box_.Exists("Vorlane"));

  // A record of a newer Setup is neither replayed nor replaced.
  box_.WriteFile("C4D\\other.dll", "stays");
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info",
                 StoredRecordBytes({box_.Path("C4D\\other.dll")}, {}, 1));
  for (const char* run : {"/uninstall /quiet", "/quiet /accept-terms"}) {
    EXPECT_EQ(Run(run), kExitPreflight) << run;
    EXPECT_TRUE(Logged("box (not shown) VorlaneBox Setup: The installation record " + record +
                       " was made by a newer VorlaneBox Setup."))
        << log_;
    EXPECT_TRUE(box_.Exists("C4D\\other.dll"));
    EXPECT_FALSE(box_.Exists("C4D\\plugins"));
  }
}

// What the path gate refuses on the command line, or where nothing can be found: nothing
// changes.
TEST_F(CommandLineRunTest, PlacesTheSystemCannotTakeEndTheRunBeforeAnythingChanges) {
  EXPECT_EQ(Run("/quiet /accept-terms /targets=sdk /folder:sdk=Q:\\SDK"), kExitUsage);
  EXPECT_TRUE(
      Logged("box (not shown) VorlaneBox Setup: Usage error: The folder Q:\\SDK is on a "
             "drive that does not exist"))
      << log_;
  EXPECT_FALSE(box_.Exists("Vorlane"));
  // No program-files folder: no telling where a record would be, nor reading one elsewhere.
  app_ = new FakeSystemApp(core_, "", box_.Path("tmp\\"));
  core_->SetSystemApp(app_);
  EXPECT_EQ(Run("/uninstall /quiet"), kExitPreflight);
  // A log file planted as a link is not written through.
  box_.WriteFile("elsewhere.log", "someone else's");
  ASSERT_EQ(
      ::symlink(box_.NativePath("elsewhere.log").c_str(), box_.NativePath("link.log").c_str()), 0);
  EXPECT_EQ(InstallerDriverTest::Run("/uninstall /quiet /log=" + box_.Path("link.log")),
            kExitFailed);
  EXPECT_EQ(box_.ReadFile("elsewhere.log"), "someone else's");
}

TEST_F(CommandLineRunTest, WithAFormTheOptionsPreselectAndBoxesAreShown) {
  // The targets replace what was detected; the folders fill their rows.
  // A line break in an argument is written escaped: it cannot make a line of its own.
  EXPECT_EQ(
      Run("/targets=sdk,max7 /folder:max7=D:\\Max7 /folder:sdk=D:\\SDK \"stray\nexit code 0\""), 0);
  EXPECT_EQ(Detected(), (std::map<int, std::string>{{4, "D:\\Max7\\"}, {13, "D:\\SDK\\"}}));
  EXPECT_TRUE(Logged("detected c4d-r10: " + box_.Path("C4D\\")));
  EXPECT_TRUE(Logged("ignored argument stray\\x0Aexit code 0"));
  EXPECT_TRUE(Logged("cancelled"));

  g_script = FormScript();
  g_script.runResult = 0;
  EXPECT_EQ(Run(""), 1);
  EXPECT_TRUE(Logged("file written " + box_.Path("C4D\\plugins\\p.cdl")));
  ASSERT_EQ(app_->boxes.size(), 1u);
  EXPECT_TRUE(
      Logged("box VorlaneBox Installation Report: VorlaneBox for Cinema4D R10 is successfully "
             "installed."));

  // A removal asks first, and tells how it went.
  app_->answerYes = false;
  EXPECT_EQ(Run("/uninstall"), 0);
  EXPECT_TRUE(Logged("removal declined"));
  EXPECT_TRUE(box_.Exists("C4D\\plugins\\p.cdl"));
  app_->answerYes = true;
  EXPECT_EQ(Run("/uninstall"), 0);
  EXPECT_FALSE(box_.Exists("C4D\\plugins\\p.cdl"));
  ASSERT_EQ(app_->boxes.size(), 4u);
  EXPECT_EQ(app_->boxes.back().text, "VorlaneBox has been removed.");

  EXPECT_EQ(Run("/help"), 0);
  EXPECT_EQ(app_->boxes.back().text, kUsageText);
  EXPECT_EQ(Run("/targets=max10"), 2);
  EXPECT_EQ(app_->boxes.back().text.find("Usage error: Unknown target name: max10\n\n"), 0u);
  EXPECT_EQ(InstallerDriverTest::Run("\"/log=" + box_.Path("no folder\\setup.log") + "\""), 1);
  EXPECT_EQ(app_->boxes.back().text.find("The log file " + box_.Path("no folder")), 0u);
  EXPECT_EQ(g_script.runs, 1);
}
#endif

TEST_F(InstallerDriverTest, InstallWithNothingSelectedStillRemovesThePreviousInstallation) {
  BuildPayload({{"VLN2_Resources\\r.txt", "shared"}, {"SDK\\a.h", "a"}});
  box_.MakeFolder("Vorlane\\Toolbox");
  box_.WriteFile("old.dll", "from last time");
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info", StoredRecordBytes({box_.Path("old.dll")}, {}));
  g_script.runResult = 0;

  EXPECT_EQ(Run(), 1);
  EXPECT_FALSE(box_.Exists("old.dll"));
  EXPECT_TRUE(app_->boxes.empty());
  EXPECT_FALSE(box_.Exists("Vorlane"));
  // No toolbox folder is made for nothing: a file in its way stops nothing; nor are the shared
  // files, which are not written, asked about when in use.
  box_.WriteFile("Vorlane", "in the way");
  EXPECT_EQ(Run(), 1);
  box_.Remove("Vorlane");
  box_.WriteFile("Vorlane\\Toolbox\\r.txt", "held");
  Port::FileHandle held =
      Port::OpenFile(box_.Path("Vorlane\\Toolbox\\r.txt").c_str(), Port::kAccessWrite, false);
  EXPECT_EQ(Run(), 1);
  Port::CloseFile(held);
  EXPECT_TRUE(app_->boxes.empty());
}

// A target chosen without a folder fails, and nothing is written for it.
TEST_F(InstallerDriverTest, AChosenTargetWithoutAFolderFails) {
  BuildPayload({{"VLN2_Resources\\r.txt", "shared"}, {"3DSMax6\\m.dlu", "max"}});
  g_script.runResult = 0;
  g_script.userSelects = {{kTarget3dsMax6, true}};
  EXPECT_EQ(Run(), 1);
  ASSERT_EQ(app_->boxes.size(), 1u);
  EXPECT_EQ(app_->boxes[0].text.find(FindTarget(kTarget3dsMax6)->failureText), 0u);
}

// ---- The checks before anything is removed. Each failure leaves the previous installation
// as it was, shows one box that says why, and ends the run as a cancelled one.

const ArchiveContents kPayload = {
    {"VLN2_Resources\\r.txt", "shared"},
    {"Cinema4D\\plugins\\p.cdl",
     [] {
       std::string noise;  // packs to no less than itself: the file is mostly this block
       for (unsigned i = 0, x = 7; i < 6000; ++i)
         noise += static_cast<char>((x = x * 1103515245 + 12345) >> 16);
       return noise;
     }()},
    {"Cinema4D\\plugins\\p.res", "after the plug-in, in its folder"},
    {"SDK\\include\\a.h", "header"},
};

class PreflightTest : public InstallerDriverTest {
 protected:
  void SetUp() override {
    InstallerDriverTest::SetUp();
    PosixPort::ResetSystemCalls();
    payload_ = BuildPayload(kPayload);
    // The previous installation: the shared files, Cinema 4D R9 and the SDK.
    g_script.runResult = 0;
    g_script.userSelects = {{11, true}, {13, true}};
    g_script.paths[11] = box_.Path("C4D\\");
    ASSERT_EQ(Run(), 1);
    ASSERT_TRUE(box_.Exists("C4D\\plugins\\p.cdl"));
    app_->boxes.clear();
    before_ = Snapshot();
  }
  void TearDown() override {
    PosixPort::ResetSystemCalls();
    PosixPort::ClearResources();
    InstallerDriverTest::TearDown();
  }
  // Puts the previous installation back as it was.
  void Restore() {
    for (const char* top : {"C4D", "Vorlane"}) box_.Remove(top);
    for (const auto& [relative, bytes] : before_) box_.WriteFile(relative, bytes);
  }
  // The second run stopped before it removed anything, with one box naming the cause, and
  // ended as a cancelled one.
  void ExpectStoppedSaying(const std::string& words) {
    app_->boxes.clear();
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(Snapshot() == before_) << "the previous installation changed";
    ASSERT_EQ(app_->boxes.size(), 1u);
    EXPECT_EQ(app_->boxes[0].caption, "VorlaneBox Setup");
    EXPECT_NE(app_->boxes[0].text.find(words), std::string::npos) << app_->boxes[0].text;
  }
  std::string payload_;
  std::map<std::string, std::string> before_;
};

TEST_F(PreflightTest, NoTemporaryFolder) {
  box_.Remove("tmp");
  ExpectStoppedSaying("could not make its temporary folder in " + box_.Path("tmp\\"));
}

// A payload that is not the one built, or an archive that could not be extracted whole, and
// whether it was written out before it was refused.
TEST_F(PreflightTest, ADamagedPayloadStopsTheRun) {
  const std::string name = StoredText("SDK\\include\\a.h");
  std::string flipped = payload_, longer = payload_, unknown = payload_;
  flipped[flipped.size() / 2] ^= 0x20;
  const std::size_t size = longer.find(name) + name.size() + 4;  // the entry's block size
  longer.replace(size, 4, StoredWord(StoredWordAt(longer, size) + 1000));
  unknown[unknown.find(std::string("RAW\0", 4), 9)] = 'X';  // the first block's form
  const struct {
    std::string payload, built, more, words;
    bool staged;
  } rows[] = {
      {flipped, payload_, "", "are damaged", true},
      {payload_.substr(0, payload_.size() - 100), payload_, "", "are damaged", false},
      {payload_, payload_, "more", "are damaged", false},
      {"no archive", "no archive", "", "cannot be read", true},
      {longer, longer, "", "are damaged", true},
      {unknown, unknown, "", "are damaged", true},
  };
  for (const auto& row : rows) {
    box_.Remove("tmp\\Archive.DAT");
    Serve(row.payload, row.built, row.more);
    ExpectStoppedSaying(row.words);
    EXPECT_EQ(box_.Exists("tmp\\Archive.DAT"), row.staged) << row.words;
  }
}

// Every call the checks make refused in turn (the disk full): the run stops before it removes
// anything, or the refusal did not matter and it installs everything. A file that cannot be
// opened is not held open by another program; a refused lock is a file system without locks;
// a volume that does not tell its room is not held against the installation.
TEST_F(PreflightTest, ARefusedCallDuringTheChecksStopsTheRunBeforeAnythingIsRemoved) {
  const std::string installed =
      std::string(FindTarget(11)->successText) + FindTarget(13)->successText;
  enum { kStops, kInstalls, kEither };
  const std::pair<const char*, int> calls[] = {
      {"write", kStops},  {"lseek", kStops},    {"fsync", kStops},
      {"unlink", kStops}, {"open", kEither},    {"read", kEither},
      {"lstat", kEither}, {"flock", kInstalls}, {"statvfs", kInstalls}};
  for (auto [call, outcome] : calls) {
    InstallPlan plan(core_);  // the choice the set-up's run left
    for (const auto& [index, path] : g_script.paths) plan.SetTargetPath(index, path.c_str());
    for (const auto& [index, on] : g_script.selected) plan.SetTargetSelected(index, on);
    PosixPort::FailSystemCall(call, 0, 0);
    Preflight(core_, &plan).Run();
    const long calls = PosixPort::SystemCallCount(call);
    EXPECT_GT(calls, 0) << call << ": the checks make no such call";
    for (long n = 1; n <= calls && !HasFatalFailure(); ++n) {
      SCOPED_TRACE(std::string(call) + " #" + std::to_string(n));
      app_->boxes.clear();
      PosixPort::FailSystemCall(call, n, ENOSPC);
      int result = Run();
      PosixPort::FailSystemCall(call, 0, 0);
      ASSERT_EQ(app_->boxes.size(), 1u);
      EXPECT_NE(outcome, result == 1 ? kStops : kInstalls) << app_->boxes[0].text;
      if (result == 1) {
        EXPECT_EQ(app_->boxes[0].text, installed);
        Restore();
        continue;
      }
      std::map<std::string, std::string> after = Snapshot();
      // The record's trial file stays when it cannot be removed; the next save makes it new.
      after.erase("Vorlane\\Toolbox\\Uninstall.info.saving");
      EXPECT_TRUE(after == before_);
      // The disk is told, never the Setup program as damaged; the first write is the staging's.
      EXPECT_EQ(app_->boxes[0].text.find("installation files inside"), std::string::npos);
      if (n == 1 && std::string(call) == "write") {
        EXPECT_NE(app_->boxes[0].text.find("could not write its installation files"),
                  std::string::npos);
      }
    }
  }
}

TEST_F(PreflightTest, RunningOutOfMemoryNeverRemovesAnythingBeforeTheChecksPass) {
  SweepAllocationFailuresBothModes([&] {
    Restore();
    app_ = new FakeSystemApp(core_, box_.Path("Vorlane\\"), box_.Path("tmp\\"));
    if (!app_) return;
    core_->SetSystemApp(app_);
    if (Run() == 0) {
      EXPECT_TRUE(Snapshot() == before_);
    }
    EXPECT_LE(app_->boxes.size(), 1u);
  });
}

// A file where the toolbox folder's parent should be, a folder where the record's trial file
// or the old record should be.
TEST_F(PreflightTest, AToolboxFolderOrRecordThatCannotBeWritten) {
  const std::string record = "cannot write the installation record Uninstall.info in the folder " +
                             box_.Path("Vorlane\\Toolbox\\");
  const struct {
    const char *removed, *folder, *file;
    std::string words;
  } rows[] = {
      {"Vorlane", nullptr, "Vorlane",
       "could not create the folder " + box_.Path("Vorlane\\Toolbox\\")},
      {nullptr, "Vorlane\\Toolbox\\Uninstall.info.saving", nullptr, record},
      {"Vorlane\\Toolbox\\Uninstall.info", "Vorlane\\Toolbox\\Uninstall.info", nullptr, record},
  };
  const std::map<std::string, std::string> installed = before_;
  for (const auto& row : rows) {
    before_ = installed;
    Restore();
    if (row.removed) box_.Remove(row.removed);
    if (row.folder) box_.MakeFolder(row.folder);
    if (row.file) box_.WriteFile(row.file, "in the way");
    before_ = Snapshot();
    ExpectStoppedSaying(row.words);
  }
}

TEST_F(PreflightTest, NoProgramFilesFolderKnown) {
  app_ = new FakeSystemApp(core_, "", box_.Path("tmp\\"));
  core_->SetSystemApp(app_);
  ExpectStoppedSaying("the system names no program files folder");
}

// ---- The path gate: places the system cannot take, seen before anything changes.

TEST_F(PreflightTest, AFolderOnADriveThatDoesNotExistOrOnANetworkDrive) {
  g_script.paths[11] = "Q:\\C4D\\";
  ExpectStoppedSaying("The folder Q:\\C4D\\ is on a drive that does not exist");
  g_script.paths[11] = box_.Path("C4D\\");
  app_->boxes.clear();
  PosixPort::SetSystemCall(
      "statfs", reinterpret_cast<PosixPort::SystemCall>(+[](const char*, struct statfs* status) {
        *status = {};
        status->f_type = 0x6969;  // NFS
        return 0;
      }));
  ExpectStoppedSaying("is on a network drive");
}

TEST_F(PreflightTest, AFullVolumeMountedBelowADriveIsAskedForItsRoom) {
  static std::string mounted;
  mounted = box_.NativePath("C4D");
  auto onItsOwnDevice = [](const char* path, struct stat* status) {
    int result = ::stat(path, status);
    if (result == 0 && std::string(path).rfind(mounted, 0) == 0) status->st_dev = 4242;
    return result;
  };
  auto fullBelowIt = [](const char* path, struct statvfs* status) {
    int result = ::statvfs(path, status);
    if (result == 0 && std::string(path).rfind(mounted, 0) == 0) status->f_bavail = 1;
    return result;
  };
  int (*stat)(const char*, struct stat*) = onItsOwnDevice;
  int (*statvfs)(const char*, struct statvfs*) = fullBelowIt;
  PosixPort::SetSystemCall("stat", reinterpret_cast<PosixPort::SystemCall>(stat));
  PosixPort::SetSystemCall("statvfs", reinterpret_cast<PosixPort::SystemCall>(statvfs));
  ExpectStoppedSaying("There is not enough free space on the disk of " + box_.Path("C4D\\") + ":");
  // An update needs its new files and the previous ones at once, and says so.
  EXPECT_NE(app_->boxes[0].text.find("written beside the previous ones"), std::string::npos);
}

TEST_F(PreflightTest, APathTooLongOrALinkAtTheRecordsTemporaryName) {
  g_script.paths[11] = box_.Path(std::string(250, 'c') + "\\");
  ExpectStoppedSaying("plugins\\p.cdl is too long for Windows");
  g_script.paths[11] = box_.Path("C4D\\");
  app_->boxes.clear();
  box_.WriteFile("elsewhere.txt", "not the record's");
  ASSERT_EQ(::symlink(box_.NativePath("elsewhere.txt").c_str(),
                      box_.NativePath("Vorlane\\Toolbox\\Uninstall.info.saving").c_str()),
            0);
  before_ = Snapshot();
  ExpectStoppedSaying("cannot write the installation record Uninstall.info");
  EXPECT_EQ(box_.ReadFile("elsewhere.txt"), "not the record's");
}

// Rewritten by name between the check and the extraction, the staged payload is not what the
// installation reads: it reads through the handle that was checked.
TEST_F(PreflightTest, APayloadRewrittenAfterItsCheckIsNotRead) {
  ASSERT_TRUE(BuildArchive(box_.Path("other.vln"), {{"Cinema4D\\plugins\\p.cdl", "another's"}}));
  static std::string staged, other;
  staged = box_.NativePath("tmp\\Archive.DAT");
  other = box_.NativePath("other.vln");
  auto swapping = [](const char* path, int flags, mode_t mode) -> int {
    // Put in its place by name, as another program would.
    if (std::string(path).find("/Toolbox/r.txt") != std::string::npos && !other.empty())
      std::filesystem::rename(std::exchange(other, ""), staged);
    return ::open(path, flags, mode);
  };
  int (*open)(const char*, int, mode_t) = swapping;
  PosixPort::SetSystemCall("open", reinterpret_cast<PosixPort::SystemCall>(open));
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(box_.ReadFile("C4D\\plugins\\p.cdl"), kPayload[1].second);
}

// A record entry the replay would refuse is not even looked at by the check for files in use.
TEST_F(PreflightTest, ARecordEntryNamingADeviceIsNeverAskedWhetherItIsInUse) {
  box_.WriteFile("C4D\\NUL", "a file natively");
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info",
                 StoredRecordBytes({box_.Path("C4D\\NUL")}, {}));
  Port::FileHandle held = Port::OpenFile(box_.Path("C4D\\NUL").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(Run(), 1);
  Port::CloseFile(held);
  ASSERT_EQ(app_->boxes.size(), 1u);
  EXPECT_EQ(app_->boxes[0].caption, "VorlaneBox Installation Report");
}

TEST_F(PreflightTest, NotEnoughRoomRemovesTheToolboxFolderItMade) {
  box_.Remove("Vorlane");
  box_.MakeFolder("Vorlane");  // there before, and empty: it stays
  box_.Remove("C4D");
  before_ = Snapshot();
  PosixPort::SetSystemCall(
      "statvfs", reinterpret_cast<PosixPort::SystemCall>(+[](const char*, struct statvfs* status) {
        *status = {};
        status->f_frsize = 4096;
        status->f_bavail = 2;
        return 0;
      }));
  ExpectStoppedSaying("There is not enough free space on the disk of");
  EXPECT_TRUE(box_.Exists("Vorlane"));
  EXPECT_FALSE(box_.Exists("Vorlane\\Toolbox"));
}

// A name extraction refuses becomes no file: it is not checked for use.
TEST_F(PreflightTest, ANameExtractionRefusesIsNotCheckedForUse) {
  ArchiveContents contents = kPayload;
  contents.push_back({"SDK\\held.txt.", "Windows would write held.txt"});
  BuildPayload(contents);
  box_.WriteFile("Vorlane\\SDK\\held.txt.", "the user's");
  Port::FileHandle held =
      Port::OpenFile(box_.Path("Vorlane\\SDK\\held.txt.").c_str(), Port::kAccessWrite, false);
  EXPECT_EQ(Run(), 1);
  Port::CloseFile(held);
}

TEST_F(PreflightTest, APlugInHeldWithoutSharingAsksToRetryAndCancelKeepsEverything) {
  Port::FileHandle held =
      Port::OpenFile(box_.Path("C4D\\plugins\\p.cdl").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(held, nullptr);
  int asked = 0;
  app_->answerRetry = [&] { return ++asked == 1 ? 1 : 0; };  // Cancel, then Retry
  ExpectStoppedSaying("These files are in use and cannot be replaced:\n\n" +
                      box_.Path("C4D\\plugins\\p.cdl") + "\n\nClose the programs");
  EXPECT_EQ(asked, 1);
  Port::CloseFile(held);
}

TEST_F(PreflightTest, AQuietRunEndsWith6ForFilesInUseOr3ForAFailedCheckAndChangesNothing) {
  // Not the first file of its folder: the check asks about each folder once, not each file.
  Port::FileHandle held =
      Port::OpenFile(box_.Path("C4D\\plugins\\p.res").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(
      Run("/quiet /accept-terms /targets=c4d-r9,sdk \"/folder:c4d-r9=" + box_.Path("C4D") + "\""),
      kExitFilesInUse);
  Port::CloseFile(held);
  box_.Remove("tmp");
  EXPECT_EQ(Run("/quiet /accept-terms /targets=sdk"), kExitPreflight);
  EXPECT_TRUE(Snapshot() == before_) << "the previous installation changed";
  EXPECT_TRUE(app_->boxes.empty());
}

TEST_F(PreflightTest, RetryAfterThePlugInIsReleasedInstalls) {
  Port::FileHandle held =
      Port::OpenFile(box_.Path("C4D\\plugins\\p.cdl").c_str(), Port::kAccessWrite, false);
  int asked = 0;
  app_->answerRetry = [&] {
    if (++asked == 1) Port::CloseFile(held);
    return 0;
  };
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(app_->boxes.size(), 2u);
  EXPECT_EQ(app_->boxes[1].text,
            std::string(FindTarget(11)->successText) + FindTarget(13)->successText);
}
#endif

TEST_F(InstallerDriverTest, WithoutATemporaryFolderNothingIsRemovedAndTheUserIsTold) {
  box_.MakeFolder("Vorlane\\Toolbox");
  box_.WriteFile("old.dll", "from last time");
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info", StoredRecordBytes({box_.Path("old.dll")}, {}));
  app_ = new FakeSystemApp(core_, box_.Path("Vorlane\\"), "");
  core_->SetSystemApp(app_);
  g_script.runResult = 0;
  g_script.userSelects = {{13, true}};
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(box_.Exists("old.dll"));
  EXPECT_FALSE(box_.Exists("Vorlane\\SDK"));
  ASSERT_EQ(app_->boxes.size(), 1u);
  EXPECT_EQ(app_->boxes[0].caption, "VorlaneBox Setup");
  char system[261] = {};
  Port::GetTempPath(system, sizeof system);
  EXPECT_NE(app_->boxes[0].text.find(std::string("folder in ") + system), std::string::npos);
}

TEST_F(InstallerDriverTest, CancelTouchesNothing) {
  box_.MakeFolder("Vorlane\\Toolbox");
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info", std::string(12, '\0'));
  box_.WriteFile("Vorlane\\Toolbox\\keep.txt", "x");
  g_script.userSelects = {{13, true}};
  EXPECT_EQ(Run(), 0);
  EXPECT_FALSE(box_.Exists("Vorlane\\SDK"));
  EXPECT_FALSE(box_.Exists("tmp\\Archive.DAT"));
  EXPECT_TRUE(app_->boxes.empty());
}

class InstallerDriverWithoutFormTest : public CoreFixture {
 protected:
  InstallerDriverWithoutFormTest() {
    classes_.erase(
        std::remove_if(classes_.begin(), classes_.end(),
                       [](const ClassEntry& row) { return row.typeId == kGUI_ToolboxInstallType; }),
        classes_.end());
  }
};

TEST_F(InstallerDriverWithoutFormTest, NothingRuns) {
  core_->SetSystemApp(new FakeSystemApp(core_, "", ""));
  InstallerDriver driver(core_);
  EXPECT_EQ(driver.Run(), 0);
}

TEST(SingleInstanceTest, OnlyOneCopyAtATimeGoesOn) {
#ifndef _WIN32
  Sandbox box;  // the lock file's folder, away from other runs on this machine
  PosixPort::SetTempPath(box.Root().c_str());
#endif
  {
    SingleInstance first;
    EXPECT_TRUE(first.IsFirst());
    SingleInstance second;
    EXPECT_FALSE(second.IsFirst());
  }
  {
    SingleInstance later;
    EXPECT_TRUE(later.IsFirst());
  }
  EXPECT_STREQ(kAlreadyRunningText, "VorlaneBox Setup is already running.");
#ifndef _WIN32
  // A lock the system cannot give, or something else under the lock's name: this copy cannot
  // tell, so it does not go on either.
  PosixPort::FailSystemCall("flock", 1, ENOLCK);
  EXPECT_STREQ(SingleInstance().Refusal(), kNotAloneText);
  PosixPort::FailSystemCall("flock", 0, 0);
  box.Remove("VorlaneBoxSetup.lock");
  box.MakeFolder("VorlaneBoxSetup.lock");
  SingleInstance squatted;
  EXPECT_FALSE(squatted.IsFirst());
  EXPECT_STREQ(squatted.Refusal(), kNotAloneText);
  EXPECT_EQ(RunProgram(nullptr, "/quiet /accept-terms"), kExitAlreadyRunning);
  PosixPort::SetTempPath(nullptr);
#endif
}

}  // namespace
}  // namespace VLN2
