// The installer's run: what it finds in the registry, what it proposes, and what it does
// after Install and after Cancel. The form is a stand-in that records what it was given
// (unit/support/InstallerRun.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

#include "installer/CommandLine.h"
#include "installer/InstallPlan.h"
#include "installer/InstallerDriver.h"
#include "installer/SingleInstance.h"
#include "installer/Targets.h"
#include "unit/support/InstallerRun.h"

namespace VLN2 {
namespace {

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
        "record written " + toolbox + "Uninstall.info",
        "no entry in the installed apps " + toolbox +
            "VorlaneBoxUninstall.exe: it is not installed",
        "exit code 0"}},
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
  const std::string notShown = "box (not shown) VorlaneBox Setup: ";
  const std::string usage = notShown + "Usage error: ";
  const std::string report = "box (not shown) VorlaneBox Installation Report: ";
  const std::string sharedFailed = report + "The shared VorlaneBox resources could not";
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
  auto deviceFolder = [&] {
    registry_.SetText(Port::kLocalMachine, "SOFTWARE\\MAXON\\CINEMA 4D\\10.0", "InstallPath",
                      "C:\\C4D\\NUL");
  };
  auto damagedJournal = [&] { box_.WriteFile("Vorlane\\Toolbox\\Uninstall.journal", "?"); };
  const std::string share = "\\\\server\\share\\x.dll";
  auto recordNamingAShare = [&] {
    box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info", StoredRecordBytes({plugin, share}, {}));
  };
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
      {install, {"rename", 5, EACCES}, nullptr, 1, "file not replaced " + plugin, 0},
      // The record, read again for the journal.
      {install, {"read", 39, EIO}, nullptr, 1, sharedFailed, 0},
      {install, {"rename", 7, ENOSPC}, nullptr, 1, "record not written " + record, 0},
      {install, {"rename", 8, ENOSPC}, nullptr, 0, "journal not written " + record, 0},
      {install, {}, folderForShared, 1, "file not written " + toolbox + "r.txt: a folder", 0},
      {blocked, {}, [&] { box_.WriteFile("blocked", "in the way"); }, 1, "target failed", 0},
      {"/uninstall /quiet", {"read", 1, EIO}, nullptr, 1, "record damaged " + record, 0},
      {"/uninstall", {"unlink", 1, EACCES}, nullptr, 1, shown + "VorlaneBox could not be", 2},
      {"/uninstall /quiet", {"unlink", 3, EACCES}, nullptr, 1, "record not removed " + record, 0},
      {"/uninstall /quiet", {}, recordNotListed, 0, "removed " + plugin, 0},
      {"/uninstall /quiet", {}, recordNamingAShare, 1, "refused " + share, 0},
      {"/quiet", {}, nullptr, 2, usage + "/quiet installs only with /accept-terms", 0},
      {install + " /targets=max5", {}, nullptr, 2, usage + "No folder for the target max5", 0},
      {longLine, {}, nullptr, 2, "command line: " + escaped + std::string(1000, 'x'), 0},
      {install, {}, [&] { box_.Remove("tmp"); }, 3, stopped, 0},
      {install, {}, deviceFolder, 3, notShown + "The folder C:\\C4D\\NUL\\ is not a full path", 0},
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

  // The program run from the toolbox folder stays with it, for the next removal.
  const std::string program = box_.Path("Vorlane\\Toolbox\\VorlaneBoxUninstall.exe");
  box_.WriteFile("C4D\\plugins\\p.cdl\\mine.txt", "the user's");  // cannot be removed
  box_.WriteFile("C4D\\other.dll", "goes");
  box_.WriteFile("Vorlane\\Toolbox\\VorlaneBoxUninstall.exe", "running");
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info",
                 StoredRecordBytes({plugin, box_.Path("C4D\\other.dll"), program, record},
                                   {box_.Path("C4D\\"), box_.Path("C4D\\plugins\\")}));
  PosixPort::SetModuleFileName(program.c_str());
  EXPECT_EQ(Run("/uninstall"), kExitFailed);
  PosixPort::SetModuleFileName(nullptr);
  EXPECT_TRUE(Logged("left " + plugin)) << log_;
  EXPECT_EQ(app_->boxes.back().text.find("VorlaneBox could not be removed completely. These files "
                                         "stayed:\n\n" +
                                         plugin + ": "),
            0u)
      << app_->boxes.back().text;
  EXPECT_FALSE(box_.Exists("C4D\\other.dll"));
  EXPECT_EQ(
      box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info"),
      StoredRecordBytes({plugin, program, record}, {box_.Path("C4D\\"), box_.Path("C4D\\plugins\\"),
                                                    box_.Path("Vorlane\\Toolbox\\")}));

  box_.Remove("C4D\\plugins\\p.cdl");  // the next removal takes what stayed
  EXPECT_EQ(Run("/uninstall /quiet"), kExitSuccess);
  EXPECT_FALSE(box_.Exists("C4D"));
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

// Whichever allocation fails, a removal ends with 0 only when nothing it recorded stays, and
// the record lists whatever stays, the program run from the toolbox folder too.
TEST_F(CommandLineRunTest, ARemovalThatRunsOutOfMemoryKeepsARecordOfWhatStayed) {
  const std::string toolbox = box_.Path("Vorlane\\Toolbox\\"), record = toolbox + "Uninstall.info";
  const std::vector<std::string> files = {box_.Path("C4D\\plugins\\p.cdl"),
                                          box_.Path("C4D\\other.dll"),
                                          toolbox + "VorlaneBoxUninstall.exe", record};
  PosixPort::SetModuleFileName(files[2].c_str());
  long swept = 0;
  for (FailMode mode : {FailMode::kOnce, FailMode::kFromThenOn}) {
    for (long n = 1, hit = true; hit; ++n, ++swept) {
      SCOPED_TRACE("allocation " + std::to_string(n));
      for (std::size_t i = 0; i + 1 < files.size(); ++i)
        box_.WriteFile(box_.Relative(files[i]), "in");
      box_.WriteFile(
          box_.Relative(record),
          StoredRecordBytes(files, {box_.Path("C4D\\"), box_.Path("C4D\\plugins\\"), toolbox}));
      FailAllocation(n, mode);
      int code = Run("/uninstall /quiet");
      hit = AllocationFailureHit();
      FailAllocation(0);
      StoredRecord kept = ParseStoredRecord(box_.ReadFile(box_.Relative(record)));
      // A record read only in part cannot list what it did not read; the log says so.
      bool stays = false, damaged = Logged("record damaged");
      for (const std::string& file : files) {
        bool there = box_.Exists(box_.Relative(file));
        stays = stays || there;
        EXPECT_TRUE(!there || damaged || std::count(kept.files.begin(), kept.files.end(), file))
            << file << " stays unrecorded\n"
            << log_;
      }
      EXPECT_TRUE(code != kExitSuccess || !stays) << log_;
    }
  }
  PosixPort::SetModuleFileName(nullptr);
  EXPECT_GT(swept, 2);
}

// The entry in the installed apps follows what is installed: written from the toolbox folder
// after an installation, replaced by an update, deleted with the last file; another
// installation's entry and a key the system refuses are told. The uninstaller run from the
// toolbox folder removes its own file last.
TEST_F(CommandLineRunTest, TheInstalledAppsEntryNamesTheUninstallerWhileSomethingIsInstalled) {
  BuildPayload({{"VLN2_Resources\\VorlaneBoxUninstall.exe", std::string(1024, 'u')},
                {"Cinema4D10\\plugins\\p.cdl", std::string(2048, 'c')},
                {"3DSMax6\\m.dlu", std::string(8192, 'm')},
                {"SDK\\include\\a.h", std::string(4096, 's')}});
  const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VorlaneBox";
  const std::string toolbox = box_.Path("Vorlane\\Toolbox\\");
  const std::string program = toolbox + "VorlaneBoxUninstall.exe";
  auto entry = [&] {
    std::map<std::string, std::string> values;
    for (const char* name :
         {"DisplayName", "DisplayVersion", "Publisher", "InstallLocation", "DisplayIcon",
          "UninstallString", "QuietUninstallString", "EstimatedSize", "NoModify", "NoRepair"}) {
      std::string data;
      if (PosixPort::GetRegistryData(Port::kLocalMachine, key.c_str(), name, &data))
        values[name] = data;
    }
    return values;
  };
  auto text = [](const std::string& value) { return value + '\0'; };
  auto installed = [&](std::uint32_t kilobytes) {
    return std::map<std::string, std::string>{
        {"DisplayName", text("VorlaneBox")},
        {"DisplayVersion", text(VLN2_VERSION)},
        {"Publisher", text("Vorlane Software")},
        {"InstallLocation", text(toolbox)},
        {"DisplayIcon", text(program)},
        {"UninstallString", text("\"" + program + "\"")},
        {"QuietUninstallString", text("\"" + program + "\" /quiet")},
        {"EstimatedSize", StoredWord(kilobytes)},
        {"NoModify", StoredWord(1)},
        {"NoRepair", StoredWord(1)}};
  };
  const struct {
    std::string arguments;  // empty: the form, with nothing chosen
    std::map<std::string, std::string> entry;
  } rows[] = {
      {"/quiet /accept-terms /targets=sdk", installed(5)},
      {"/quiet /accept-terms", installed(3)},
      {"/quiet /accept-terms /targets=sdk,c4d-r10,max6 /folder:max6=" + box_.Path("Max6"),
       installed(15)},
      {"", {}},
      {"/quiet /accept-terms", installed(3)},
      {"/uninstall /quiet", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    g_script.runResult = 0;
    g_script.userSelects = {{12, false}};
    EXPECT_EQ(Run(row.arguments), row.arguments.empty() ? 1 : 0) << log_;
    EXPECT_EQ(entry(), row.entry);
    EXPECT_EQ(box_.Exists("Vorlane\\Toolbox\\VorlaneBoxUninstall.exe"), !row.entry.empty());
  }

  // Another installation's key is neither replaced nor removed; one the system refuses is told.
  const std::string report = "box (not shown) VorlaneBox Installation Report: ";
  const std::string sharedFailed = report + "The shared VorlaneBox resources could not";
  PosixPort::SetRegistryText(Port::kLocalMachine, key.c_str(), "UninstallString", "other.exe");
  EXPECT_EQ(Run("/quiet /accept-terms"), kExitSuccess);
  EXPECT_TRUE(Logged("entry not written HKEY_LOCAL_MACHINE\\" + key)) << log_;
  EXPECT_NE(log_.find(report + "The list of installed apps holds a VorlaneBox entry of another"),
            std::string::npos);
  EXPECT_EQ(entry(), (std::map<std::string, std::string>{{"UninstallString", text("other.exe")}}));
  EXPECT_EQ(Run("/uninstall /quiet"), kExitSuccess);
  EXPECT_TRUE(Logged("entry not removed HKEY_LOCAL_MACHINE\\" + key)) << log_;
  EXPECT_FALSE(entry().empty());
  PosixPort::DenyRegistryKey(Port::kLocalMachine, key.c_str());
  EXPECT_EQ(Run("/quiet /accept-terms"), kExitSuccess);
  EXPECT_NE(log_.find(report + "VorlaneBox could not be entered in the list of installed apps"),
            std::string::npos)
      << log_;

  // Run from the toolbox folder, it is in use while it removes, and goes last.
  PosixPort::ClearRegistry();
  ASSERT_EQ(Run("/quiet /accept-terms /targets=sdk"), kExitSuccess);
  PosixPort::SetModuleFileName(program.c_str());
  Port::FileHandle running = Port::OpenFile(program.c_str(), Port::kAccessWrite, false);
  EXPECT_EQ(Run("/uninstall /quiet"), kExitSuccess) << log_;
  Port::CloseFile(running);
  EXPECT_TRUE(Logged("removed " + program)) << log_;
  EXPECT_TRUE(entry().empty());
  EXPECT_FALSE(box_.Exists("Vorlane"));
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

}  // namespace
}  // namespace VLN2
