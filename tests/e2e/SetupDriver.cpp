// Works the real installer, VorlaneBoxSetup.exe, as a person would, in a Wine prefix of its
// own: seeds the registry with host installations, starts the installer, reads what the form
// proposes, chooses, accepts the terms, installs, reads the report and checks what landed on
// disk, byte for byte, down to the installation record.
//
// Usage: SetupDriver SCENARIO [--setup=EXE] [--shots=FOLDER] [--listing=FILE]
//                             [--payload=FOLDER] [--max8=EXE] [--max9=EXE] [--planted=DLL]
//                             [--poll=MS] [--expected=FILE] [--packed=ARCHIVE]
//   --expected: where the unicode scenario lists the files it installed, for the script.
//   --packed: the packed payload the installer carries;
//   --listing: the packed payload's entry names, one a line, in archive order
//              (vlnpack list); --payload: the folder it was packed from.
// Scenarios: detect, max-versions, update, cancel, nothing, planted, quiet, quiet-targets,
// uninstall, usage, interactive-log, unicode and then unicode-update in the same prefix,
// second, links, unc-record, base-folder, no-temp, damaged, in-use, quiet-preflight,
// uninstall-entry, uninstall-quiet, after-restart, uninstall-asked, after-restart in one
// prefix (tests);
// demo (the main job's walk through one installation); seed-demo and show-record (its parts,
// for a person at a display); bench (the installation benchmark's timed run), rename-cost
// (its count of one MoveFileEx).
// Exit code 0 when every check passed.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "WineUi.h"
#include "resources/resource.h"
#include "unit/support/StoredFiles.h"

namespace {

using namespace WineUi;

// ---- Where things go in the prefix

const std::string kBase = "C:\\Program Files\\Vorlane\\";
const std::string kToolbox = kBase + "Toolbox\\";
const std::string kRecord = kToolbox + "Uninstall.info";
const std::string kSdk = kBase + "SDK\\";
const char* const kFormCaption = "VorlaneBox Installation";
const char* const kReportCaption = "VorlaneBox Installation Report";
const char* const kSetupCaption = "VorlaneBox Setup";
const char* const kMaxServerKey =
    "SOFTWARE\\Classes\\CLSID\\{5985293F-A250-11d1-BCC1-0060B01A6606}\\LocalServer";
const char* const kMicroStationServerKey =
    "SOFTWARE\\Classes\\CLSID\\{6BA41DED-589A-427C-B829-B12F68C651B6}\\LocalServer32";

// ---- What the installer knows of its fourteen targets, as the tests expect it

struct TargetFacts {
  const char* archiveFolder;
  const char* overviewText;
  int page;
  int row;
  const char* report;  // success text
};

#define UTILITIES "The plug-in can now be found in the 'Utilities' panel.\n"
#define VLN_FILE "The plug-in can now be started by saving a 3D scene as a *.vln file.\n"
#define PLUGINS_MENU "The plug-in can now be found in the 'Plugins' menu.\n"
#define INSTALLED(host) "\nVorlaneBox for " host " is successfully installed.\n"

const TargetFacts kTargets[14] = {
    {"3DSMax3\\", " 3D Studio Max 3 or Autodesk Viz 3", 1, 1,
     INSTALLED("3ds Max 3 or Autodesk Viz 3") UTILITIES},
    {"3DSMax4\\", " 3D Studio Max 4 or Autodesk Viz 4", 1, 2,
     INSTALLED("3ds Max 4 or Autodesk Viz 4") UTILITIES},
    {"3DSMax4\\", " 3D Studio Max 5", 1, 3, INSTALLED("3ds Max 5") UTILITIES},
    {"3DSMax6\\", " 3D Studio Max 6 or Autodesk Viz 5", 1, 4,
     INSTALLED("3ds Max 6 or Autodesk Viz 5") UTILITIES},
    {"3DSMax6\\", " 3D Studio Max 7", 1, 5, INSTALLED("3ds Max 7") UTILITIES},
    {"3DSMax6\\", " 3D Studio Max 8", 1, 6, INSTALLED("3ds Max 8") UTILITIES},
    {"3DSMax9\\", " 3D Studio Max 9", 1, 7, INSTALLED("3ds Max 9") UTILITIES},
    {"MicroStation\\", " Microstation", 4, 1,
     INSTALLED("MicroStation") "The plug-in can now be found under 'Export' in the File menu.\n"},
    {"Archicad\\", " ArchiCAD R9", 2, 1, INSTALLED("ArchiCAD 9") VLN_FILE},
    {"Archicad10\\", " ArchiCAD R10", 2, 2, INSTALLED("ArchiCAD 10") VLN_FILE},
    {"Cinema4D\\", " Cinema4D R8", 3, 1, INSTALLED("Cinema4D R8") PLUGINS_MENU},
    {"Cinema4D\\", " Cinema4D R9", 3, 2, INSTALLED("Cinema4D R9") PLUGINS_MENU},
    {"Cinema4D10\\", " Cinema4D R10", 3, 3, INSTALLED("Cinema4D R10") PLUGINS_MENU},
    {"SDK\\", " Vorlane SDK", 5, 1,
     "\nVorlane SDK is successfully installed.\nYou need a C++ compiler to use it.\n"},
};
// The order of the overview list: the order of the pages.
const int kOverviewOrder[14] = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 7, 13};

// What a run chose: target index to folder.
using Choice = std::map<int, std::string>;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return Lower(text.substr(0, prefix.size())) == Lower(prefix);
}

unsigned long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return data.nFileSizeLow;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += "  " + line + "\n";
  return all;
}

std::string ExpectedOverview(const Choice& choice) {
  std::string all;
  for (int index : kOverviewOrder) {
    auto chosen = choice.find(index);
    if (chosen != choice.end())
      all += "[" + std::string(kTargets[index].overviewText) + "|" + chosen->second + "]";
  }
  return all;
}

std::string ExpectedReport(const Choice& choice) {
  std::string all;
  for (const auto& chosen : choice) all += kTargets[chosen.first].report;
  return all;
}

// ---- The installation record as the installer must write it

class Record {
 public:
  void AddFile(const std::string& path) { AddOnce(&files_, path); }
  void AddFolderOf(const std::string& path) {
    AddOnce(&folders_, path.substr(0, path.find_last_of("\\/") + 1));
  }
  const std::vector<std::string>& Files() const { return files_; }

  std::string Bytes() const { return VLN2::StoredRecordBytes(files_, folders_); }

 private:
  static void AddOnce(std::vector<std::string>* list, const std::string& path) {
    for (const std::string& known : *list)
      if (Lower(known) == Lower(path)) return;
    list->push_back(path);
  }

  std::vector<std::string> files_;
  std::vector<std::string> folders_;
};

// ---- Options and the payload

struct Options {
  std::string setup;
  std::string listingFile;
  std::string payload;
  std::string max8;
  std::string max9;
  std::string planted;
  int poll = 20;  // milliseconds between looks for the report box in the benchmark
  std::string expectedFiles;
  std::string packed;
};
Options g_options;
std::vector<std::string> g_listing;

void ReadListing() {
  std::istringstream lines(ReadFileBytes(g_options.listingFile));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) g_listing.push_back(line);
  }
}

// The files an installation of these choices creates (installed path to payload file), and
// its record, in the order the installer records them.
void ExpectedInstallation(const Choice& choice, std::map<std::string, std::string>* files,
                          Record* record) {
  auto install = [&](const std::string& prefix, const std::string& folder) {
    for (const std::string& entry : g_listing) {
      if (!StartsWithNoCase(entry, prefix)) continue;
      std::string path = folder + entry.substr(prefix.size());
      (*files)[path] = g_options.payload + "\\" + entry;
      record->AddFile(path);
      record->AddFolderOf(path);
    }
  };
  if (choice.empty()) return;
  install("VLN2_Resources\\", kToolbox);
  record->AddFile(kRecord);
  for (const auto& chosen : choice) install(kTargets[chosen.first].archiveFolder, chosen.second);
}

// Checks every installed file against its payload file, that the folders hold nothing else
// (but the files named in extra), and the record byte for byte.
void CheckInstallation(const Choice& choice, const std::vector<std::string>& extra = {}) {
  std::map<std::string, std::string> files;
  Record record;
  ExpectedInstallation(choice, &files, &record);
  Expect(!files.empty(), "the payload has files for the chosen targets");
  for (const auto& file : files) {
    std::string installed = ReadFileBytes(file.first);
    std::string packed = ReadFileBytes(file.second);
    Expect(FileExists(file.first) && installed == packed,
           "installed " + file.first + " (" + std::to_string(installed.size()) + " bytes)");
  }
  // What each folder holds now: the installed files, the record and what was there before.
  std::vector<std::string> folders = {kToolbox};
  for (const auto& chosen : choice) folders.push_back(chosen.second);
  std::vector<std::string> expected;
  for (const auto& file : files) expected.push_back(Lower(file.first));
  expected.push_back(Lower(kRecord));
  for (const std::string& path : extra) expected.push_back(Lower(path));
  std::sort(expected.begin(), expected.end());
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
  std::vector<std::string> found;
  for (const std::string& folder : folders)
    for (const std::string& path : FilesBelow(folder)) found.push_back(Lower(path));
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  Expect(found == expected,
         "the target folders and the toolbox folder hold the installed files and nothing else" +
             (found == expected ? "" : ":\n" + Join(expected) + "  found:\n" + Join(found)));

  std::string written = ReadFileBytes(kRecord);
  std::string wanted = record.Bytes();
  Expect(written == wanted, "Uninstall.info byte for byte (" + std::to_string(written.size()) +
                                " bytes, expected " + std::to_string(wanted.size()) + ", " +
                                std::to_string(record.Files().size()) + " files)");
}

// ---- The registry and the hosts

bool SetText(HKEY root, const std::string& key, const char* name, const std::string& value) {
  HKEY opened = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG result =
      RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
  RegCloseKey(opened);
  return result == ERROR_SUCCESS;
}

void Seed(HKEY root, const std::string& key, const char* name, const std::string& value) {
  Expect(SetText(root, key, name, value),
         std::string("registry ") + key + " " + (name ? name : "(default)") + " = " + value);
}

// Puts a program file into the prefix.
void Place(const std::string& source, const std::string& path) {
  CreateFolders(path.substr(0, path.find_last_of('\\')));
  Expect(CopyFileA(source.c_str(), path.c_str(), FALSE) != 0, "placed " + path);
}

// A 3ds Max program file registered as the automation server.
void SeedMaxServer(const std::string& program, const std::string& path) {
  Place(program, path);
  Seed(HKEY_LOCAL_MACHINE, kMaxServerKey, nullptr, path);
}

// Every host the installer looks for; returns what the form must propose.
Choice SeedAllHosts() {
  SeedMaxServer(g_options.max8, "C:\\Hosts\\3dsMax8\\3dsmax.exe");
  CreateFolders("C:\\Hosts\\3dsMax9\\");
  Seed(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk\\3dsMax\\9.0\\MAX-1:409", "Installdir",
       "C:\\Hosts\\3dsMax9\\");
  // The version started last decides the folder, whichever version it is.
  Seed(HKEY_CURRENT_USER, "Software\\Graphisoft\\ArchiCAD", "Last Started Version", "10.0");
  Seed(HKEY_CURRENT_USER, "Software\\Graphisoft\\ArchiCAD\\9.0", nullptr,
       "C:\\Hosts\\ArchiCAD 9\\ArchiCAD.exe");
  Seed(HKEY_CURRENT_USER, "Software\\Graphisoft\\ArchiCAD\\10.0", nullptr,
       "C:\\Hosts\\ArchiCAD 10\\ArchiCAD.exe");
  CreateFolders("C:\\Hosts\\CINEMA 4D R9\\");
  Seed(HKEY_LOCAL_MACHINE, "SOFTWARE\\MAXON\\CINEMA 4D\\9.0", "InstallPath",
       "C:\\Hosts\\CINEMA 4D R9");
  CreateFolders("C:\\Hosts\\CINEMA 4D R10\\");
  Seed(HKEY_LOCAL_MACHINE, "SOFTWARE\\MAXON\\CINEMA 4D\\10.0", "InstallPath",
       "C:\\Hosts\\CINEMA 4D R10\\");
  Seed(HKEY_LOCAL_MACHINE, kMicroStationServerKey, nullptr,
       "C:\\Hosts\\Bentley\\MicroStation\\ustation.exe");
  return {{5, "C:\\Hosts\\3dsMax8\\Plugins\\"},
          {6, "C:\\Hosts\\3dsMax9\\Plugins\\"},
          {7, "C:\\Hosts\\Bentley\\MicroStation\\mdlapps\\"},
          {8, "C:\\Hosts\\ArchiCAD 10\\Add-Ons\\"},
          {11, "C:\\Hosts\\CINEMA 4D R9\\"},
          {12, "C:\\Hosts\\CINEMA 4D R10\\"}};
}

// ---- One run of the installer

std::string TempFolder() {
  char folder[MAX_PATH] = {};
  GetTempPathA(sizeof folder, folder);
  return folder;
}

class SetupRun {
 public:
  // Starts the installer and waits for its form; its temporary folder exists meanwhile,
  // unless the run has none to make (ownTemp false).
  bool Start(const std::string& exe, bool ownTemp = true) { return StartWith(exe, "", ownTemp); }
  bool StartWith(const std::string& exe, const std::string& arguments, bool ownTemp = true) {
    temp_ = TempFolder();
    Expect(Entries(temp_, "VLN*").empty(), "no temporary folder in " + temp_ + " before the run");
    if (!program_.Start(exe, arguments) || !form_.Attach(program_)) return false;
    if (!ownTemp) return true;
    std::vector<std::string> made = Entries(temp_, "VLN*");
    Expect(made.size() == 1 && FolderExists(temp_ + made[0]),
           "the run made its temporary folder " + temp_ + (made.empty() ? "VLN?" : made[0]));
    if (!made.empty()) ownTemp_ = temp_ + made[0] + "\\";
    return true;
  }

  InstallForm& Form() { return form_; }
  HWND Item(int id) const { return form_.Item(id); }
  DWORD Pid() const { return program_.Pid(); }
  bool Running() const { return program_.Running(); }
  const std::string& OwnTemp() const { return ownTemp_; }

  // Ticks the acceptance box unless it is ticked, and presses the first button.
  void AcceptAndInstall(const std::string& button = "Install") {
    ExpectEq(Text(Item(IDC_INSTALL)), button, "the first button reads " + button);
    if (!Checked(Item(IDC_ACCEPT))) {
      Click(Item(IDC_ACCEPT), "acceptance box");
      Expect(WaitUntil([&] { return IsWindowEnabled(Item(IDC_INSTALL)) != 0; }),
             "accepting the terms enables " + button);
    }
    Click(Item(IDC_INSTALL), button);
  }

  // Waits for the report box, reads it, closes it with OK; "" when none came.
  std::string TakeReport(const std::string& shot = "") {
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindBox(Pid(), kReportCaption)) || !program_.Running(); }, 30000);
    Expect(box != nullptr, std::string("the box \"") + kReportCaption + "\" appears");
    if (!box) return "";
    std::string text = Text(GetDlgItem(box, 0xFFFF));
    // The record is written before the report, while the archive copy still exists.
    Expect(FileExists(kRecord), "the installation record is written when the report is shown");
    Expect(!ownTemp_.empty() && FileExists(ownTemp_ + "Archive.DAT"),
           "the archive copy " + ownTemp_ + "Archive.DAT exists while the report is shown");
    if (!shot.empty()) Shot(box, shot);
    Click(GetDlgItem(box, IDOK), "OK of the report");
    Expect(WaitUntil([&] { return !IsWindow(box); }), "the report closes");
    return text;
  }

  // Waits for the box Setup shows about itself when its checks stop the run, takes its
  // screenshot and gives its text; *box is left open for the caller to answer.
  std::string TakeSetupBox(const std::string& shot, HWND* box) {
    *box = WaitForBox(Pid(), kSetupCaption, 30000);
    Expect(*box != nullptr, std::string("the box \"") + kSetupCaption + "\" appears");
    if (!*box) return "";
    Shot(*box, shot);
    return Text(GetDlgItem(*box, 0xFFFF));
  }

  // Answers a box with the button and waits for it to close.
  void Answer(HWND box, int button, const std::string& name) {
    Click(GetDlgItem(box, button), name);
    Expect(WaitUntil([&] { return !IsWindow(box); }), "the box closes after " + name);
  }

  // Waits for the end, watching that no report box appears.
  void ExpectNoReport() {
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindBox(Pid(), kReportCaption)) || !program_.Running(); }, 15000);
    Expect(box == nullptr, "no report box");
    if (box) PostMessageA(box, WM_COMMAND, IDOK, 0);
  }

  // The installer ends with the exit code and leaves no temporary folder behind.
  void Finish(int exitCode) {
    Expect(program_.WaitForExit(), "the installer ends");
    Expect(program_.ExitCode() == exitCode, "exit code " + std::to_string(program_.ExitCode()) +
                                                ", expected " + std::to_string(exitCode));
    std::vector<std::string> left = Entries(temp_, "VLN*");
    Expect(left.empty(), "the temporary folder is gone after the run" +
                             (left.empty() ? std::string() : ": " + left[0] + " is left"));
  }

 private:
  Program program_;
  InstallForm form_;
  std::string temp_;
  std::string ownTemp_;
};

// Checks one page row: shown, its box and its folder.
void ExpectRow(SetupRun& run, int row, bool checked, const std::string& folder) {
  std::string name =
      "page " + std::to_string(run.Form().CurrentTab()) + " row " + std::to_string(row);
  HWND box = run.Item(InstallForm::CheckId(row));
  Expect(Visible(box) && Checked(box) == checked, name + (checked ? " checked" : " clear"));
  ExpectEq(Text(run.Item(InstallForm::FolderId(row))), folder, name + " folder");
}

// Shows the SDK page and ticks its row.
void ChooseSdk(SetupRun& run) {
  run.Form().SelectTab(5);
  ExpectRow(run, 1, false, kSdk);
  Click(run.Item(InstallForm::CheckId(1)), "Vorlane SDK box");
  Expect(WaitUntil([&] { return Checked(run.Item(InstallForm::CheckId(1))); }),
         "Vorlane SDK chosen");
}

// ---- Scenarios

// Every detection path: the form proposes exactly the hosts found, on the overview and on
// their pages. Installing them and the SDK puts every file in place and records them.
void Detect() {
  Choice choice = SeedAllHosts();
  SetupRun run;
  if (!run.Start(g_options.setup)) return;
  InstallForm& form = run.Form();
  ExpectEq(Text(run.Item(IDC_INSTALL)), "Install", "the first button reads Install");
  Expect(!IsWindowEnabled(run.Item(IDC_INSTALL)), "Install waits for the terms");
  ExpectEq(form.Overview(), ExpectedOverview(choice), "the overview lists the hosts found");
  Shot(form.Window(), "setup-detect-overview");

  form.SelectTab(1);
  for (int row = 1; row <= 5; ++row) ExpectRow(run, row, false, "");
  ExpectRow(run, 6, true, choice[5]);
  ExpectRow(run, 7, true, choice[6]);
  form.SelectTab(2);
  ExpectRow(run, 1, true, choice[8]);
  ExpectRow(run, 2, false, "");
  form.SelectTab(3);
  ExpectRow(run, 1, false, "");
  ExpectRow(run, 2, true, choice[11]);
  ExpectRow(run, 3, true, choice[12]);
  form.SelectTab(4);
  ExpectRow(run, 1, true, choice[7]);
  ChooseSdk(run);
  choice[13] = kSdk;
  form.SelectTab(0);
  ExpectEq(form.Overview(), ExpectedOverview(choice), "the overview with the SDK");

  run.AcceptAndInstall();
  ExpectEq(run.TakeReport("setup-detect-report"), ExpectedReport(choice), "the report");
  run.Finish(1);
  CheckInstallation(choice);
}

// The automation server of 3ds Max 9, or a program file without a version resource, detects
// nothing: 3ds Max 9 is found only by its own key.
void MaxVersions() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  const struct {
    const char* what;
    std::string program;
  } servers[] = {{"3ds Max 9 program", g_options.max9},
                 {"program without a version resource", self}};
  for (const auto& server : servers) {
    std::printf("-- the automation server is a %s\n", server.what);
    SeedMaxServer(server.program, "C:\\Hosts\\3dsMax\\3dsmax.exe");
    SetupRun run;
    if (!run.Start(g_options.setup)) return;
    ExpectEq(run.Form().Overview(), "", "nothing proposed");
    run.Form().SelectTab(1);
    for (int row = 1; row <= 7; ++row) ExpectRow(run, row, false, "");
    Click(run.Item(IDCANCEL), "Cancel");
    run.Finish(0);
  }
  Expect(!FolderExists(kBase), "nothing installed");
}

// A second run finds the record, offers Update, removes what the first one installed (but
// not a file the user put beside the plug-in) and installs the new choice.
void Update() {
  const std::string cinema = "C:\\Hosts\\CINEMA 4D R10\\";
  CreateFolders(cinema);
  Seed(HKEY_LOCAL_MACHINE, "SOFTWARE\\MAXON\\CINEMA 4D\\10.0", "InstallPath",
       "C:\\Hosts\\CINEMA 4D R10");
  const Choice first = {{12, cinema}};
  {
    SetupRun run;
    if (!run.Start(g_options.setup)) return;
    ExpectEq(run.Form().Overview(), ExpectedOverview(first), "first run: Cinema 4D R10 proposed");
    run.AcceptAndInstall();
    ExpectEq(run.TakeReport(), ExpectedReport(first), "first run: the report");
    run.Finish(1);
    CheckInstallation(first);
  }

  // The user keeps a file of his own beside the plug-in, and a shared file gets damaged.
  const std::string plugin = cinema + "plugins\\VorlaneBox\\";
  const std::string own = plugin + "My settings.txt";
  Expect(WriteFileBytes(own, "the user's own settings\n"), "the user's file " + own);
  std::vector<std::string> shared = FilesBelow(kToolbox);
  Expect(!shared.empty() && WriteFileBytes(shared.front(), "damaged"), "a shared file damaged");

  const Choice second = {{13, kSdk}};
  {
    SetupRun run;
    if (!run.Start(g_options.setup)) return;
    ExpectEq(Text(run.Item(IDC_INSTALL)), "Update", "second run: the first button reads Update");
    Expect(Usable(run.Item(IDC_INSTALL)) && Checked(run.Item(IDC_ACCEPT)),
           "second run: Update usable at once, the terms accepted");
    Shot(run.Form().Window(), "setup-update-form");
    run.Form().SelectTab(3);
    ExpectRow(run, 3, true, cinema);
    Click(run.Item(InstallForm::CheckId(3)), "Cinema4D R10 box");
    Expect(WaitUntil([&] { return !Checked(run.Item(InstallForm::CheckId(3))); }),
           "Cinema4D R10 no longer chosen");
    ChooseSdk(run);
    run.Form().SelectTab(0);
    ExpectEq(run.Form().Overview(), ExpectedOverview(second), "second run: only the SDK chosen");
    run.AcceptAndInstall("Update");
    ExpectEq(run.TakeReport("setup-update-report"), ExpectedReport(second),
             "second run: the report");
    run.Finish(1);
  }
  std::vector<std::string> left = FilesBelow(cinema);
  Expect(
      left.size() == 1 && Lower(left[0]) == Lower(own),
      "the first installation's plug-in files are removed, the user's file stays:\n" + Join(left));
  Expect(!FolderExists(plugin + "res"), "the emptied plug-in subfolder is removed");
  Expect(ReadFileBytes(own) == "the user's own settings\n", "the user's file is unchanged");
  CheckInstallation(second);
}

// ---- Failures before anything is removed: each ends the run as cancelled, with one box,
// and leaves the previous installation byte for byte.

// A first installation of Cinema 4D R10 and the SDK, whole; its choice.
Choice InstallPrevious() {
  const std::string cinema = "C:\\Hosts\\CINEMA 4D R10\\";
  CreateFolders(cinema);
  Seed(HKEY_LOCAL_MACHINE, "SOFTWARE\\MAXON\\CINEMA 4D\\10.0", "InstallPath", cinema);
  const Choice choice = {{12, cinema}, {13, kSdk}};
  SetupRun run;
  if (!run.Start(g_options.setup)) return choice;
  ChooseSdk(run);
  run.AcceptAndInstall();
  ExpectEq(run.TakeReport(), ExpectedReport(choice), "previous installation: the report");
  run.Finish(1);
  CheckInstallation(choice);
  return choice;
}

std::vector<std::string> Snapshot();

// Starts setup (with its temporary folder or not), presses Update, and expects the box that
// stops the run, saying words; it is shot, answered with OK, and the run ends as cancelled
// with the previous installation and everything else on C:\ as they were.
void ExpectStopped(const std::string& setup, bool ownTemp, const std::string& words,
                   const std::string& shot, const Choice& previous) {
  std::string record = ReadFileBytes(kRecord);
  std::vector<std::string> before = Snapshot();
  SetupRun run;
  if (!run.Start(setup, ownTemp)) return;
  run.AcceptAndInstall("Update");
  HWND box = nullptr;
  std::string text = run.TakeSetupBox(shot, &box);
  std::printf("box \"%s\" (%s.png):\n%s\n", kSetupCaption, shot.c_str(), text.c_str());
  Expect(text.find(words) != std::string::npos, "the box says: " + words);
  if (box) run.Answer(box, IDOK, "OK");
  run.ExpectNoReport();
  run.Finish(0);
  std::vector<std::string> after = Snapshot();
  Expect(after == before,
         "no file written or removed on C:\\" + (after == before ? "" : ":\n" + Join(after)));
  Expect(ReadFileBytes(kRecord) == record, "the previous record byte for byte");
  CheckInstallation(previous);
}

// TEMP and TMP name a folder on a drive that does not exist: no temporary folder can be made.
void NoTemp() {
  Choice previous = InstallPrevious();
  char temp[MAX_PATH] = {}, tmp[MAX_PATH] = {};
  GetEnvironmentVariableA("TEMP", temp, sizeof temp);
  GetEnvironmentVariableA("TMP", tmp, sizeof tmp);
  // The installer inherits them.
  SetEnvironmentVariableA("TEMP", "Q:\\No\\Temp");
  SetEnvironmentVariableA("TMP", "Q:\\No\\Temp");
  ExpectStopped(g_options.setup, false, "could not make its temporary folder in Q:\\No\\Temp\\",
                "setup-no-temp-box", previous);
  SetEnvironmentVariableA("TEMP", temp);
  SetEnvironmentVariableA("TMP", tmp);
}

// The payload's check, ARCHIVE 106, read back from the executable: its size and CRC-32.
void ExpectPayloadCheck(const std::string& setup, const std::string& packed) {
  HMODULE module = LoadLibraryExA(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = module ? FindResourceA(module, MAKEINTRESOURCEA(106), "ARCHIVE") : nullptr;
  const void* data = found ? LockResource(LoadResource(module, found)) : nullptr;
  Expect(data && SizeofResource(module, found) == 8, "ARCHIVE 106 holds eight bytes");
  if (data) {
    std::string check(static_cast<const char*>(data), 8);
    uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(packed.data()), static_cast<uInt>(packed.size()));
    Expect(check == VLN2::StoredWord(static_cast<std::uint32_t>(packed.size())) +
                        VLN2::StoredWord(static_cast<std::uint32_t>(crc)),
           "ARCHIVE 106 is the payload's size and CRC-32");
  }
  if (module) FreeLibrary(module);
}

// A copy of the installer whose payload has one byte flipped inside a data block.
void Damaged() {
  std::string packed = ReadFileBytes(g_options.packed);
  ExpectPayloadCheck(g_options.setup, packed);
  std::string program = ReadFileBytes(g_options.setup);
  std::size_t at = packed.empty() ? std::string::npos : program.find(packed);
  Expect(at != std::string::npos, "the payload is found in the installer");
  if (at == std::string::npos) return;
  // The middle of the largest block lies inside a data block.
  VLN2::StoredArchive archive = VLN2::ParseStoredArchive(packed);
  Expect(!archive.entries.empty(), "the payload's directory is read");
  if (archive.entries.empty()) return;
  auto largest = std::max_element(
      archive.entries.begin(), archive.entries.end(),
      [](const VLN2::StoredEntry& a, const VLN2::StoredEntry& b) { return a.size < b.size; });
  program[at + largest->offset + largest->size / 2] ^= 0x01;
  const std::string copy = "C:\\Downloads\\VorlaneBoxSetup.exe";
  CreateFolders("C:\\Downloads\\");
  Expect(WriteFileBytes(copy, program), "the damaged copy " + copy);
  Choice previous = InstallPrevious();
  ExpectStopped(copy, true, "are damaged", "setup-damaged-box", previous);
}

// A plug-in file held without sharing by another program (this driver) during an Update:
// the box lists it; Cancel keeps everything; Retry after it is released installs.
void InUse() {
  Choice previous = InstallPrevious();
  std::string plugin;
  for (const std::string& file : FilesBelow(previous.begin()->second))
    if (Lower(file).find(".cdl") != std::string::npos) plugin = file;
  Expect(!plugin.empty(), "the previous installation has a plug-in file");
  auto hold = [&] {
    return CreateFileA(plugin.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  };
  HANDLE held = hold();
  Expect(held != INVALID_HANDLE_VALUE, "the plug-in held with no sharing");
  std::string record = ReadFileBytes(kRecord);
  std::vector<std::string> before = Snapshot();
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool retry = attempt == 1;
    SetupRun run;
    if (!run.Start(g_options.setup)) break;
    if (retry) ChooseSdk(run);  // the SDK alone this time: Cinema 4D R10 unticked
    if (retry) {
      run.Form().SelectTab(3);
      Click(run.Item(InstallForm::CheckId(3)), "Cinema4D R10 box");
      Expect(WaitUntil([&] { return !Checked(run.Item(InstallForm::CheckId(3))); }),
             "Cinema4D R10 no longer chosen");
    }
    run.AcceptAndInstall("Update");
    HWND box = nullptr;
    std::string shot = retry ? "setup-in-use-retry-box" : "setup-in-use-box";
    std::string text = run.TakeSetupBox(shot, &box);
    std::printf("box \"%s\" (%s.png):\n%s\n", kSetupCaption, shot.c_str(), text.c_str());
    Expect(text.find("These files are in use") != std::string::npos &&
               text.find(plugin) != std::string::npos,
           "the box lists " + plugin);
    if (!box) break;
    if (!retry) {
      run.Answer(box, IDCANCEL, "Cancel");
      run.ExpectNoReport();
      run.Finish(0);
      Expect(Snapshot() == before, "Cancel: no file written or removed on C:\\");
      Expect(ReadFileBytes(kRecord) == record, "Cancel: the previous record byte for byte");
      // Read while released, then held again for the second run.
      CloseHandle(held);
      CheckInstallation(previous);
      held = hold();
      continue;
    }
    CloseHandle(held);
    held = INVALID_HANDLE_VALUE;
    run.Answer(box, IDRETRY, "Retry");
    const Choice sdk = {{13, kSdk}};
    ExpectEq(run.TakeReport(), ExpectedReport(sdk), "after Retry: the report");
    run.Finish(1);
    Expect(!FileExists(plugin), "after Retry the previous plug-in is removed");
    CheckInstallation(sdk);
  }
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
}

// Every file on C:\ with its size, but for Wine's own folders and the user folders (whose
// Desktop and Documents lead to the home folder outside the prefix); the temporary folder is
// included.
std::vector<std::string> Snapshot() {
  std::vector<std::string> all;
  auto add = [&](const std::string& folder) {
    for (const std::string& path : FilesBelow(folder))
      all.push_back(path + " " + std::to_string(FileSize(path)));
  };
  for (const std::string& name : Entries("C:\\", "*")) {
    std::string lower = Lower(name);
    if (lower == "windows" || lower == "users") continue;
    if (FolderExists("C:\\" + name))
      add("C:\\" + name + "\\");
    else
      all.push_back("C:\\" + name);
  }
  add(TempFolder());
  std::sort(all.begin(), all.end());
  return all;
}

// The SIDs a folder's access list allows, in order; empty when it cannot be read.
std::vector<std::string> AllowedSids(const std::string& folder, bool* inherits) {
  std::vector<std::string> allowed;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return allowed;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  *inherits = (control & SE_DACL_PROTECTED) == 0;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    char* sid = nullptr;
    if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) &&
        ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        ConvertSidToStringSidA(&ace->SidStart, &sid)) {
      allowed.push_back(sid);
      LocalFree(sid);
    }
  }
  LocalFree(descriptor);
  return allowed;
}

// The running installer's temporary folder lets in only this user, the Administrators and
// the system. Wine on this file system keeps no access list: it reads one back from the Unix
// mode it made of it, in which others have no access, where a folder made plainly lets
// everyone in. Wine enforces neither.
void ExpectPrivateFolder() {
  std::vector<std::string> folders = Entries(TempFolder(), "VLN*");
  Expect(folders.size() == 1, "one temporary folder of the installer");
  if (folders.size() != 1) return;
  const std::string plain = TempFolder() + "plain folder";
  CreateDirectoryA(plain.c_str(), nullptr);
  bool inherits = false;
  std::vector<std::string> everyone = AllowedSids(plain, &inherits);
  RemoveDirectoryA(plain.c_str());
  std::vector<std::string> allowed = AllowedSids(TempFolder() + folders[0], &inherits);
  std::printf("access: the private folder allows %s; a plain folder %s\n", Join(allowed).c_str(),
              Join(everyone).c_str());
  Expect(std::find(everyone.begin(), everyone.end(), "S-1-1-0") != everyone.end(),
         "a plain folder lets everyone in");
  Expect(!allowed.empty(), "the private folder's access list is read back");
  for (const std::string& sid : allowed)
    Expect(sid == "S-1-5-18" || sid == "S-1-5-32-544" || sid.compare(0, 8, "S-1-5-21") == 0,
           "the private folder lets in only the system, the Administrators and users: " + sid);
}

// Cancel installs nothing and writes nothing, whatever was chosen.
void Cancel() {
  SeedAllHosts();
  std::vector<std::string> before = Snapshot();
  SetupRun run;
  if (!run.Start(g_options.setup)) return;
  ExpectPrivateFolder();
  Click(run.Item(IDC_ACCEPT), "acceptance box");
  Expect(WaitUntil([&] { return IsWindowEnabled(run.Item(IDC_INSTALL)) != 0; }), "Install enabled");
  Click(run.Item(IDCANCEL), "Cancel");
  run.Finish(0);
  std::vector<std::string> after = Snapshot();
  Expect(after == before, "no file written or removed on C:\\ (" + std::to_string(after.size()) +
                              " files)" + (after == before ? "" : ":\n" + Join(after)));
  Expect(!FolderExists(kBase), "no product folder");
}

// Install with nothing chosen: no report, no record, and no toolbox folder left empty.
void Nothing() {
  {
    SetupRun run;
    if (!run.Start(g_options.setup)) return;
    ExpectEq(run.Form().Overview(), "", "nothing proposed");
    run.AcceptAndInstall();
    run.ExpectNoReport();
    run.Finish(1);
    Expect(!FolderExists(kBase), "without a toolbox folder nothing is written");
  }
  Expect(CreateFolders(kToolbox), "the toolbox folder made");
  {
    SetupRun run;
    if (!run.Start(g_options.setup)) return;
    run.AcceptAndInstall();
    run.ExpectNoReport();
    run.Finish(1);
    Expect(!FileExists(kRecord), "no record when nothing is installed");
    Expect(!FolderExists(kBase), "and no empty toolbox or product folder");
  }
}

// The path of the module of that name in the process, or "".
std::string LoadedModule(DWORD pid, const std::string& name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) return "";
  MODULEENTRY32 module = {};
  module.dwSize = sizeof module;
  std::string path;
  for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module))
    if (Lower(module.szModule) == Lower(name)) path = module.szExePath;
  CloseHandle(snapshot);
  return path;
}

// DLLs planted beside the installer under the names of the system libraries it loads at run
// time are never loaded, though the paths that use those libraries run: the clock of the
// temporary folder's name (winmm) and the 3ds Max detection (version).
void Planted() {
  const std::string folder = "C:\\Downloads\\";
  const std::string setup = folder + "VorlaneBoxSetup.exe";
  const char* const names[] = {"version.dll", "winmm.dll"};
  Place(g_options.setup, setup);
  for (const char* name : names) Place(g_options.planted, folder + name);
  SeedMaxServer(g_options.max8, "C:\\Hosts\\3dsMax8\\3dsmax.exe");
  // Wine prefers its own winmm to a same-named DLL found first in the search; Windows takes
  // the one found first. Make Wine choose as Windows does. (version.dll cannot be treated so:
  // Wine's own user32 imports it through the ordinary search when any window program starts,
  // which Windows' user32 does not; with Wine's choice its planted copy must not run either.)
  Seed(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "winmm", "native,builtin");

  // A program that loads winmm.dll the ordinary way from that folder takes the planted one.
  const std::string probe = folder + "probe.exe";
  Place(g_options.max8, probe);
  {
    Program program;
    if (program.Start(probe, "probe winmm.dll")) program.WaitForExit();
  }
  Expect(FileExists(folder + "winmm.dll.loaded"),
         "an ordinary program in that folder loads the planted winmm.dll");
  DeleteFileA((folder + "winmm.dll.loaded").c_str());
  DeleteFileA(probe.c_str());

  SetupRun run;
  if (!run.Start(setup)) return;
  // The version of the 3ds Max program was read: 8.
  ExpectEq(run.Form().Overview(), ExpectedOverview({{5, "C:\\Hosts\\3dsMax8\\Plugins\\"}}),
           "3ds Max 8 found through the version API");
  std::string winmm = LoadedModule(run.Pid(), "winmm.dll");
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, sizeof system);
  Expect(Lower(winmm) == Lower(std::string(system) + "\\winmm.dll"),
         "the installer's winmm.dll is the system's: " + winmm);
  Click(run.Item(IDCANCEL), "Cancel");
  run.Finish(0);
  for (const char* name : names)
    Expect(!FileExists(folder + name + ".loaded"),
           std::string("the planted ") + name + " was not loaded");
}

// ---- What an ordinary user may plant

// The exit code of an unattended run, which shows no form and no box.
int RunUnattended(const std::string& arguments, const std::string& output = "",
                  const std::string& setup = "");

// Two copies at once: while the first shows its form, the second shows the box, makes no
// temporary folder and ends with 0; the first then installs alone.
void Second() {
  SetupRun run;
  if (!run.Start(g_options.setup)) return;
  Program second;
  if (!second.Start(g_options.setup, "")) return;
  HWND box = WaitForBox(second.Pid(), "VorlaneBox Setup");
  Expect(box != nullptr, "the second copy shows the box \"VorlaneBox Setup\"");
  if (box) {
    ExpectEq(Text(GetDlgItem(box, 0xFFFF)), "VorlaneBox Setup is already running.",
             "the box's text");
    Shot(box, "setup-second-box");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  Expect(second.WaitForExit(), "the second copy ends");
  Expect(second.ExitCode() == 0, "the second copy's exit code is 0");
  Expect(Entries(TempFolder(), "VLN*").size() == 1, "only the first copy made a temporary folder");
  Expect(!FolderExists(kBase), "the second copy installed nothing");
  ChooseSdk(run);
  run.AcceptAndInstall();
  ExpectEq(run.TakeReport(), ExpectedReport({{13, kSdk}}), "the first copy's report");
  run.Finish(1);
  CheckInstallation({{13, kSdk}});

  // An object of another kind under the mutex's name (Wine has no private namespace, so the
  // name is the global one): no copy can tell whether it runs alone, so none goes on.
  HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, "Global\\VorlaneBoxSetup");
  Expect(squatter != nullptr, "an event squats the mutex's name");
  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms /targets=sdk")), "4",
           "squatted: a quiet copy's exit code");
  Program squatted;
  if (squatted.Start(g_options.setup, "")) {
    HWND box = WaitForBox(squatted.Pid(), "VorlaneBox Setup");
    ExpectEq(box ? Text(GetDlgItem(box, 0xFFFF)) : "",
             "VorlaneBox Setup cannot make sure that no other copy of it is running, and has "
             "ended. Nothing was changed on this computer.",
             "squatted: the box");
    if (box) PostMessageA(box, WM_COMMAND, IDOK, 0);
    Expect(squatted.WaitForExit() && squatted.ExitCode() == 0, "squatted: the copy ends with 0");
  }
  CloseHandle(squatter);
  CheckInstallation({{13, kSdk}});
}

// The file's final path, after every link; "" when it cannot be opened.
std::string FinalPath(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  char final[MAX_PATH * 2] = {};
  DWORD length = GetFinalPathNameByHandleA(file, final, sizeof final, FILE_NAME_NORMALIZED);
  CloseHandle(file);
  std::string text(final, length < sizeof final ? length : 0);
  return text.compare(0, 4, "\\\\?\\") == 0 ? text.substr(4) : text;
}

// Links planted from the Unix side (setup-test.sh) in the Cinema 4D R10 folder: its
// "res" subfolder leads to C:\Outside\, its plug-in file to C:\Outside\sentinel.txt. The
// target fails and nothing outside changes; the next run's replay deletes nothing there.
void Links() {
  const std::string plugin = "C:\\Hosts\\C4D\\plugins\\VorlaneBox\\";
  const std::string sentinel = "C:\\Outside\\sentinel.txt";
  DWORD folderLink = GetFileAttributesA((plugin + "res").c_str());
  Expect(folderLink != INVALID_FILE_ATTRIBUTES && (folderLink & FILE_ATTRIBUTE_REPARSE_POINT),
         "the planted folder link exists and shows as a reparse point");
  ExpectEq(Lower(FinalPath(plugin + "VorlaneBox.cdl")), Lower(sentinel),
           "the planted file link exists and leads to the sentinel");
  Seed(HKEY_LOCAL_MACHINE, "SOFTWARE\\MAXON\\CINEMA 4D\\10.0", "InstallPath", "C:\\Hosts\\C4D");
  for (const char* pass : {"first run", "second run"}) {
    SetupRun run;
    if (!run.Start(g_options.setup)) return;
    run.AcceptAndInstall(std::string(pass) == "first run" ? "Install" : "Update");
    std::string report =
        run.TakeReport(std::string(pass) == "first run" ? "setup-links-report" : "");
    Expect(report.find("Cinema4D R10") != std::string::npos &&
               report.find("successfully") == std::string::npos,
           std::string(pass) + ": the report says Cinema4D R10 failed:\n" + report);
    run.Finish(1);
    ExpectEq(ReadFileBytes(sentinel), "sentinel",
             std::string(pass) + ": the sentinel is unchanged");
    std::vector<std::string> outside = FilesBelow("C:\\Outside\\");
    Expect(outside.size() == 1,
           std::string(pass) + ": nothing else in C:\\Outside:\n" + Join(outside));
    Expect(GetFileAttributesA((plugin + "res").c_str()) != INVALID_FILE_ATTRIBUTES &&
               !FinalPath(plugin + "VorlaneBox.cdl").empty(),
           std::string(pass) + ": both links are left alone");
  }
  // A log file planted as a link to the sentinel: not written through, the run ends at once.
  ExpectEq(Lower(FinalPath("C:\\Logs\\planted.log")), Lower(sentinel),
           "the planted log link leads to the sentinel");
  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms /log=C:\\Logs\\planted.log")), "1",
           "a log through a link: exit code");
  ExpectEq(ReadFileBytes(sentinel), "sentinel", "the log's link target is unchanged");
}

// A record that lists a file on another computer beside an installed one: setup-test.sh runs
// the removal with Wine's file trace and looks for the share in it.
void UncRecord() {
  CreateFolders(kToolbox);
  CreateFolders("C:\\Hosts\\");
  Expect(WriteFileBytes("C:\\Hosts\\mine.dll", "installed"), "an installed file");
  Expect(WriteFileBytes(kRecord,
                        VLN2::StoredRecordBytes(
                            {"\\\\vlnplanted\\share\\x.dll", "C:\\Hosts\\mine.dll", kRecord}, {})),
         "a record naming \\\\vlnplanted\\share\\x.dll");
}

// Writes ProgramFilesDir with its type; the value as it was is put back by the caller.
bool SetProgramFilesDir(DWORD type, const std::string& value) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                    KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return false;
  LONG result =
      RegSetValueExA(key, "ProgramFilesDir", 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

// An empty and an expandable ProgramFilesDir, with a record planted in the folder the
// installer starts from (a downloads folder): it is never read, so the file it names stays.
void BaseFolder() {
  const std::string start = "C:\\Downloads\\";
  const std::string victim = "C:\\Victim\\precious.txt";
  CreateFolders("C:\\Victim\\");
  Expect(WriteFileBytes(victim, "precious"), "the victim " + victim);
  CreateFolders(start + "Vorlane\\Toolbox\\");
  Expect(WriteFileBytes(start + "Vorlane\\Toolbox\\Uninstall.info",
                        VLN2::StoredRecordBytes({victim}, {"C:\\Victim\\"})),
         "a record planted in the start folder");
  Expect(SetCurrentDirectoryA(start.c_str()) != 0, "the installer starts from " + start);
  // The value is put back whatever happens to the runs.
  [&] {
    // Emptied, the value leaves Wine without a known program-files folder either: no product
    // folder, so the SDK has none and Install removes and installs nothing.
    Expect(SetProgramFilesDir(REG_SZ, ""), "ProgramFilesDir empty");
    {
      SetupRun run;
      if (!run.Start(g_options.setup)) return;
      run.AcceptAndInstall();
      run.ExpectNoReport();
      run.Finish(1);
    }
    ExpectEq(ReadFileBytes(victim), "precious", "empty: the file the planted record names stays");
    ExpectEq(std::to_string(RunUnattended("/uninstall /quiet")), "3",
             "empty: a removal has no record to read");
    ExpectEq(ReadFileBytes(victim), "precious", "empty: the removal leaves the file too");
    Expect(SetProgramFilesDir(REG_EXPAND_SZ, "%SystemDrive%\\Program Files"),
           "ProgramFilesDir expandable");
    {
      SetupRun run;
      if (!run.Start(g_options.setup)) return;
      ChooseSdk(run);
      run.AcceptAndInstall();
      ExpectEq(run.TakeReport(), ExpectedReport({{13, kSdk}}), "expandable: the report");
      run.Finish(1);
    }
    ExpectEq(ReadFileBytes(victim), "precious",
             "expandable: the file the planted record names stays");
  }();
  Expect(SetProgramFilesDir(REG_SZ, "C:\\Program Files"), "ProgramFilesDir put back");
  // With the expandable value the installation went to the known place.
  Expect(FileExists(kRecord), "the record is in " + kToolbox);
}

// ---- An Update cut off: the process terminated at each step the log shows, then started
// again. setup-test.sh packs two versions of about 300 files into the folder that
// VLN2_INTERRUPT names (v1\ and v2\, packed as v1.vln and v2.vln).

// A copy of the installer that carries the archive packed instead of its own payload.
std::string InstallerWith(const std::string& packed, const std::string& copy) {
  std::string archive = ReadFileBytes(packed);
  Expect(CopyFileA(g_options.setup.c_str(), copy.c_str(), FALSE) != 0, "a copy " + copy);
  std::string check(8, '\0');
  auto put = [&check](int at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) check[at + i] = static_cast<char>(value >> (8 * i));
  };
  put(0, static_cast<std::uint32_t>(archive.size()));
  put(4, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(archive.data()),
                                          static_cast<uInt>(archive.size()))));
  HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
  bool done = update &&
              UpdateResourceA(update, "ARCHIVE", MAKEINTRESOURCEA(105), 0, &archive[0],
                              static_cast<DWORD>(archive.size())) &&
              UpdateResourceA(update, "ARCHIVE", MAKEINTRESOURCEA(106), 0, &check[0], 8) &&
              EndUpdateResourceA(update, FALSE);
  Expect(done, "the payload of " + copy + " is " + packed);
  return copy;
}

// The files of the toolbox and SDK folders, relative, with their bytes; the record and the
// journal apart.
std::map<std::string, std::string> InstalledFiles() {
  std::map<std::string, std::string> files;
  for (const std::string& folder : {kToolbox, kSdk})
    for (const std::string& path : FilesBelow(folder))
      if (path != kRecord && Lower(path) != Lower(kToolbox + "Uninstall.journal"))
        files[path.substr(kBase.size())] = ReadFileBytes(path);
  return files;
}

// What a version installs: its shared files into the toolbox folder, its SDK.
std::map<std::string, std::string> VersionFiles(const std::string& version) {
  std::map<std::string, std::string> files;
  for (const auto& [from, to] :
       {std::pair<std::string, std::string>{"VLN2_Resources\\", "Toolbox\\"}, {"SDK\\", "SDK\\"}}) {
    std::string folder = version + from;
    for (const std::string& path : FilesBelow(folder))
      files[to + path.substr(folder.size())] = ReadFileBytes(path);
  }
  return files;
}

// The number of lines of the log that start with text, read while the installer writes it.
int Logged(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  std::string log;
  char piece[65536];
  DWORD got = 0;
  while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) log.append(piece, got);
  CloseHandle(file);
  int count = 0;
  for (std::size_t at = 0; (at = log.find("Z " + text, at)) != std::string::npos; ++at) ++count;
  return count;
}

void Interrupted() {
  char folder[MAX_PATH] = {};
  GetEnvironmentVariableA("VLN2_INTERRUPT", folder, sizeof folder);
  const std::string versions = folder;
  Expect(!versions.empty(), "VLN2_INTERRUPT names the two versions");
  if (versions.empty()) return;
  CreateFolders("C:\\Downloads\\");
  const std::string v1 = InstallerWith(versions + "\\v1.vln", "C:\\Downloads\\Setup v1.exe");
  const std::string v2 = InstallerWith(versions + "\\v2.vln", "C:\\Downloads\\Setup v2.exe");
  const auto before = VersionFiles(versions + "\\v1\\"), after = VersionFiles(versions + "\\v2\\");
  const int files = static_cast<int>(after.size());
  std::printf("an Update of %d files\n", files);
  const struct {
    const char* step;
    const char* line;
    int count;
  } steps[] = {{"the journal written", "journal written", 1},
               {"the first file in place", "file written", 1},
               {"half the files in place", "file written", files / 2},
               {"the record written", "record written", 1},
               {"the first backup deleted", "removed C:\\Program Files\\Vorlane\\SDK\\", 1}};
  const std::string log = "C:\\Logs\\interrupted.log";
  CreateFolders("C:\\Logs\\");
  for (const auto& step : steps) {
    ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms /targets=sdk", "", v1)), "0",
             std::string(step.step) + ": version 1 installed");
    Expect(InstalledFiles() == before, std::string(step.step) + ": version 1 in place");
    DeleteFileA(log.c_str());
    Program update;
    if (!update.Start(v2, "/quiet /accept-terms /targets=sdk \"/log=" + log + "\"")) return;
    bool reached = false;
    for (int waited = 0; !reached && update.Running() && waited < 60000; ++waited) {
      reached = Logged(log, step.line) >= step.count;
      if (reached)
        TerminateProcess(update.Handle(), 99);
      else
        Sleep(1);
    }
    update.WaitForExit();
    Expect(reached && update.ExitCode() == 99, std::string(step.step) +
                                                   ": the Update was terminated there, exit code " +
                                                   std::to_string(update.ExitCode()));
    // Its private temporary folder is left: the run was cut off.
    for (const std::string& left : Entries(TempFolder(), "VLN*")) {
      for (const std::string& file : FilesBelow(TempFolder() + left + "\\"))
        DeleteFileA(file.c_str());
      RemoveDirectoryA((TempFolder() + left).c_str());
    }
    // The next start acts on the journal before its form shows.
    SetupRun run;
    if (!run.Start(v2)) return;
    Click(run.Item(IDCANCEL), "Cancel");
    run.Finish(0);
    std::map<std::string, std::string> now = InstalledFiles();
    bool isBefore = now == before, isAfter = now == after;
    Expect(isBefore || isAfter, std::string(step.step) + ": the start after it leaves version " +
                                    (isBefore  ? "1"
                                     : isAfter ? "2"
                                               : "1 and 2 mixed"));
    std::set<std::string> listed;
    VLN2::StoredRecord record = VLN2::ParseStoredRecord(ReadFileBytes(kRecord));
    for (const std::string& path : record.files) listed.insert(Lower(path));
    bool exact = record.complete && listed.count(Lower(kRecord)) && listed.size() == now.size() + 1;
    for (const auto& [path, bytes] : now) exact = exact && listed.count(Lower(kBase + path));
    Expect(exact, std::string(step.step) + ": the record lists exactly the files installed");
    Expect(!FileExists(kToolbox + "Uninstall.journal"),
           std::string(step.step) + ": no journal left");
  }
}

// ---- The installation benchmark

// Makes every listed file below the product folder; with move, beside its place under the
// name followed by .VLNnew, then renamed there as the installer does. The difference of the
// two runs' system calls, divided by the files, is one MoveFileEx as Wine makes it at the
// paths an installation writes.
// One check at the end: a line printed per file would count in both runs' calls.
void RenameCost(bool move) {
  int failed = 0;
  for (const std::string& entry : g_listing) {
    const std::string path = kBase + entry, staged = path + ".VLNnew";
    CreateFolders(path.substr(0, path.find_last_of('\\')));
    failed += !WriteFileBytes(move ? staged : path, "x");
    if (move) failed += !MoveFileExA(staged.c_str(), path.c_str(), 0);
  }
  Expect(failed == 0, move ? "every listed file written beside and renamed into its place"
                           : "every listed file written");
}

// Installs the SDK alone and prints the seconds from the Install click to the report box;
// with a listing and the payload folder, then checks what landed, byte for byte. A longer
// --poll keeps the driver's own system calls out of a count of the installer's.
void Bench() {
  SetupRun run;
  if (!run.Start(g_options.setup)) return;
  ChooseSdk(run);
  Click(run.Item(IDC_ACCEPT), "acceptance box");
  Expect(WaitUntil([&] { return IsWindowEnabled(run.Item(IDC_INSTALL)) != 0; }), "Install enabled");
  auto clicked = std::chrono::steady_clock::now();
  run.AcceptAndInstall();
  HWND box = nullptr;
  std::chrono::duration<double> took{};
  while (!box && took.count() < 300 && run.Running()) {
    Sleep(g_options.poll);
    box = FindBox(run.Pid(), kReportCaption);
    took = std::chrono::steady_clock::now() - clicked;
  }
  Expect(box != nullptr, "the report box appears");
  std::printf("bench: Install click to report box: %.3f s\n", took.count());
  const Choice choice = {{13, kSdk}};
  ExpectEq(run.TakeReport(), ExpectedReport(choice), "the report");
  run.Finish(1);
  if (!g_listing.empty()) CheckInstallation(choice);
}

// ---- Runs from the command line

const std::string kLog = "C:\\Logs\\VorlaneBox setup.log";

// Runs the installer with the arguments to its end, watching that it shows no window;
// its exit code. Its console output goes to the output file when one is given.
int RunUnattended(const std::string& arguments, const std::string& output,
                  const std::string& setup) {
  std::string temp = TempFolder();
  Program program;
  if (!program.Start(setup.empty() ? g_options.setup : setup, arguments, output)) return -1;
  bool shown = false;
  for (int waited = 0; program.Running() && waited < 60000; waited += 20) {
    for (const char* caption : {kFormCaption, kReportCaption, "VorlaneBox Setup"})
      if (FindBox(program.Pid(), caption)) shown = true;
    Sleep(20);
  }
  Expect(program.WaitForExit(), "the installer ends");
  Expect(!shown, "no form and no box: " + arguments);
  Expect(Entries(temp, "VLN*").empty(), "the temporary folder is gone after the run");
  return program.ExitCode();
}

// The lines of the log, each checked for its time stamp, without it.
std::vector<std::string> LogLines() {
  std::vector<std::string> lines;
  std::istringstream log(ReadFileBytes(kLog));
  std::string line;
  int unstamped = 0;
  while (std::getline(log, line)) {
    bool stamped = line.size() > 25 && line.back() == '\r' && line[4] == '-' && line[10] == ' ' &&
                   line[19] == '.' && line.compare(23, 2, "Z ") == 0;
    if (!stamped) ++unstamped;
    lines.push_back(stamped ? line.substr(25, line.size() - 26) : line);
  }
  Expect(unstamped == 0, "every line of the log starts with its UTC time and ends in CR LF");
  return lines;
}

// Checks that the log holds a line starting with each text; returns how many start with
// the first.
std::size_t ExpectLogged(const std::vector<std::string>& starts) {
  std::vector<std::string> lines = LogLines();
  std::size_t count = 0;
  for (const std::string& start : starts) {
    std::size_t found = 0;
    for (const std::string& line : lines) found += line.compare(0, start.size(), start) == 0;
    Expect(found > 0, "the log says: " + start);
    if (&start == &starts.front()) count = found;
  }
  return count;
}

std::size_t InstalledFileCount(const Choice& choice) {
  std::map<std::string, std::string> files;
  Record record;
  ExpectedInstallation(choice, &files, &record);
  return files.size();
}

// Every host found is installed without a form or a box; the log tells what happened.
void Quiet() {
  Choice choice = SeedAllHosts();
  CreateFolders("C:\\Logs\\");
  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms \"/log=" + kLog + "\"")), "0",
           "exit code");
  CheckInstallation(choice);
  std::size_t written = ExpectLogged(
      {"file written ", "start VorlaneBox Setup ", "command line: /quiet /accept-terms",
       "detected max8: C:\\Hosts\\3dsMax8\\Plugins\\",
       "detected archicad9: C:\\Hosts\\ArchiCAD 10\\Add-Ons\\", "target installed c4d-r10",
       "archive copied to ",
       "box (not shown) VorlaneBox Installation Report: VorlaneBox for 3ds Max 8 is",
       "record written " + kRecord, "exit code 0"});
  ExpectEq(std::to_string(written), std::to_string(InstalledFileCount(choice)),
           "one log line per file written");
  // The log is appended to.
  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms /targets=sdk \"/log=" + kLog + "\"")),
           "0", "a second run: exit code");
  // The second run removed the first one's files and replaced its record.
  ExpectEq(std::to_string(ExpectLogged({"start VorlaneBox Setup ", "removed C:\\Hosts\\"})), "2",
           "both runs in the log");
  CheckInstallation({{13, kSdk}});
}

// The targets given replace the ones found, with a folder of their own.
void QuietTargets() {
  SeedAllHosts();
  const std::string other = "C:\\Other hosts\\CINEMA 4D\\";
  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms /targets=c4d-r10,SDK,max5 "
                                        "\"/folder:c4d-r10=C:\\Other hosts\\CINEMA 4D\" "
                                        "/folder:max5=C:\\Hosts\\Max5")),
           "0", "exit code");
  CheckInstallation({{2, "C:\\Hosts\\Max5\\"}, {12, other}, {13, kSdk}});
  Expect(FilesBelow("C:\\Hosts\\CINEMA 4D R10\\").empty(), "the detected folder is left alone");
}

// Removal: unattended, then with its two boxes, and when there is nothing to remove.
void Uninstall() {
  Choice choice = SeedAllHosts();
  CreateFolders("C:\\Logs\\");
  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms")), "0", "installed");
  std::vector<std::string> installed = FilesBelow("C:\\Hosts\\");
  Expect(installed.size() > choice.size(), "files installed below C:\\Hosts");
  // A plug-in held by its host: nothing is removed, the record stays as it was.
  std::string plugin;
  for (const std::string& file : installed)
    if (Lower(file).find(".cdl") != std::string::npos) plugin = file;
  HANDLE held = CreateFileA(plugin.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  Expect(held != INVALID_HANDLE_VALUE, "a plug-in held with no sharing");
  const std::string record = ReadFileBytes(kRecord);
  ExpectEq(std::to_string(RunUnattended("/uninstall /quiet")), "6", "held: exit code");
  Expect(ReadFileBytes(kRecord) == record && FilesBelow("C:\\Hosts\\") == installed,
         "held: the record and every file as they were");
  CloseHandle(held);
  ExpectEq(std::to_string(RunUnattended("-UNINSTALL -quiet \"/log=" + kLog + "\"")), "0",
           "released: exit code");
  Expect(FilesBelow("C:\\Hosts\\") == std::vector<std::string>{"C:\\Hosts\\3dsMax8\\3dsmax.exe"},
         "every installed file is removed, the host's own stays");
  Expect(!FolderExists(kToolbox), "the toolbox folder is removed");
  ExpectLogged(
      {"removed C:\\Hosts\\CINEMA 4D R10\\plugins\\", "record removed " + kRecord, "exit code 0"});
  ExpectEq(std::to_string(RunUnattended("/uninstall /quiet")), "5", "nothing left to remove");

  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms /targets=sdk")), "0",
           "SDK installed");
  Program program;
  if (!program.Start(g_options.setup, "/uninstall")) return;
  HWND ask = WaitForBox(program.Pid(), "VorlaneBox Setup");
  Expect(ask && Text(GetDlgItem(ask, 0xFFFF)).find("Remove VorlaneBox") == 0,
         "the removal asks first");
  if (ask) Shot(ask, "setup-uninstall-question");
  Expect(FileExists(kRecord), "nothing removed while it asks");
  if (ask) PostMessageA(ask, WM_COMMAND, IDYES, 0);
  HWND done = nullptr;
  WaitUntil([&] { return (done = FindBox(program.Pid(), "VorlaneBox Setup")) && done != ask; });
  ExpectEq(done ? Text(GetDlgItem(done, 0xFFFF)) : "", "VorlaneBox has been removed.",
           "the last box");
  if (done) PostMessageA(done, WM_COMMAND, IDOK, 0);
  Expect(program.WaitForExit() && program.ExitCode() == 0, "exit code 0");
  Expect(FilesBelow(kSdk).empty() && !FileExists(kRecord),
         "the SDK's files and the record are removed");
}

// ---- The entry in the installed apps and the uninstaller in the toolbox folder

const char* const kEntryKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VorlaneBox";
const std::string kUninstaller = kToolbox + "VorlaneBoxUninstall.exe";

// A value of the entry as text (a number in decimal); "" when missing.
std::string EntryValue(const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEntryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
  char data[1024] = {};
  DWORD size = sizeof data - 1, type = 0;
  LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return "";
  return type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(data)) : std::string(data);
}

// The files and the entry after a removal: everything gone but what the restart deletes.
void ExpectRemoved(const std::string& pending) {
  Expect(FilesBelow("C:\\Hosts\\") == std::vector<std::string>{"C:\\Hosts\\3dsMax8\\3dsmax.exe"},
         "every installed plug-in file is removed, the host's own stays");
  Expect(!FileExists(kRecord) && EntryValue("DisplayName").empty(),
         "the record and the entry are removed");
  std::vector<std::string> left = FilesBelow(kBase);
  Expect(left.empty() || left == std::vector<std::string>{pending},
         "nothing is left below " + kBase + (pending.empty() ? "" : " but " + pending) +
             (left.empty() ? "" : ": " + left[0]));
}

// After an installation the entry names the uninstaller; run as the system's list runs it,
// unattended (uninstall-quiet), it removes everything, its own file at the next start.
void UninstallEntry() {
  Choice choice = SeedAllHosts();
  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms")), "0", "installed");
  CheckInstallation(choice);
  const std::string quoted = "\"" + kUninstaller + "\"";
  ExpectEq(EntryValue("DisplayName"), "VorlaneBox", "DisplayName");
  ExpectEq(EntryValue("Publisher"), "Vorlane Software", "Publisher");
  ExpectEq(EntryValue("InstallLocation"), kToolbox, "InstallLocation");
  ExpectEq(EntryValue("UninstallString"), quoted, "UninstallString");
  ExpectEq(EntryValue("QuietUninstallString"), quoted + " /quiet", "QuietUninstallString");
  ExpectEq(EntryValue("NoModify") + EntryValue("NoRepair"), "11", "NoModify and NoRepair");
  Expect(std::atoi(EntryValue("EstimatedSize").c_str()) > 0,
         "EstimatedSize " + EntryValue("EstimatedSize"));
}

// Runs the entry's QuietUninstallString exactly as stored, as a deployment system runs it;
// its exit code.
int RunQuietUninstallString() {
  std::string command = EntryValue("QuietUninstallString");
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  Expect(!command.empty() && CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                                            nullptr, nullptr, &startup, &process) != 0,
         "started " + command);
  DWORD code = 99;
  if (process.hProcess) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return static_cast<int>(code);
}

void UninstallQuiet() {
  ExpectEq(std::to_string(RunQuietUninstallString()), "0", "the quiet uninstaller's exit code");
  ExpectRemoved(FileExists(kUninstaller) ? kUninstaller : "");
}

// The main job's removal: what is left in the product folder, and the exit code.
void ShowRemoval() {
  int code = RunQuietUninstallString();
  std::printf("Exit code %d. Left below %s: ", code, kBase.c_str());
  std::vector<std::string> left = FilesBelow(kBase);
  std::printf("%s\n", left.empty() ? "nothing" : "");
  for (const std::string& file : left)
    std::printf("  %s (deleted at the next start of Windows)\n", file.c_str());
  std::printf("The entry: %s\n", EntryValue("DisplayName").empty() ? "removed" : "still there");
}

// Asked interactively, a copy in a temporary folder asks, removes and says so.
void UninstallAsked() {
  SeedAllHosts();
  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms")), "0", "installed again");
  Program program;
  if (!program.Start(kUninstaller, "")) return;
  Expect(program.WaitForExit() && program.ExitCode() == 0, "the uninstaller hands over and ends");
  HWND ask = nullptr;
  Expect(WaitUntil(
             [&] { return (ask = FindWindowA("#32770", kSetupCaption)) && IsWindowVisible(ask); },
             15000),
         "a box asks");
  if (!ask) return;
  ExpectEq(Text(GetDlgItem(ask, 0xFFFF)),
           "Remove VorlaneBox and all of its plug-ins from this computer?", "the question");
  Shot(ask, "uninstaller-question");
  Expect(FileExists(kRecord), "nothing removed while it asks");
  PostMessageA(ask, WM_COMMAND, IDYES, 0);
  HWND done = nullptr;
  Expect(WaitUntil(
             [&] {
               return (done = FindWindowA("#32770", kSetupCaption)) && done != ask &&
                      IsWindowVisible(done);
             },
             30000),
         "a box tells the result");
  if (!done) return;
  ExpectEq(Text(GetDlgItem(done, 0xFFFF)), "VorlaneBox has been removed from this computer.",
           "the result");
  Shot(done, "uninstaller-removed");
  PostMessageA(done, WM_COMMAND, IDOK, 0);
  Expect(WaitUntil([&] { return !IsWindow(done); }), "the result box closes");
  ExpectRemoved("");
}

// After the restart nothing of VorlaneBox is left, the uninstaller's copies included.
void AfterRestart() {
  ExpectRemoved("");
  Expect(!FolderExists(kBase), "the product folder is gone");
  Expect(Entries(TempFolder(), "VLNU*").empty(),
         "no copy of the uninstaller is left in " + TempFolder());
}

// A usage error changes nothing and says why on the console; /? shows the usage in a box.
void Usage() {
  SeedAllHosts();
  std::vector<std::string> before = Snapshot();
  const std::string output = "C:\\usage.txt";
  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms /targets=max10", output)), "2",
           "exit code of a usage error");
  std::string said = ReadFileBytes(output);
  DeleteFileA(output.c_str());
  Expect(said.find("Usage error: Unknown target name: max10") == 0 &&
             said.find("Exit codes of a /quiet run:") != std::string::npos,
         "the console tells the fault and the usage:\n" + said);
  ExpectEq(std::to_string(RunUnattended("/quiet", output)), "2", "/quiet without /accept-terms");
  DeleteFileA(output.c_str());
  Expect(Snapshot() == before, "nothing written or removed");

  Program program;
  if (!program.Start(g_options.setup, "/?")) return;
  HWND box = WaitForBox(program.Pid(), "VorlaneBox Setup");
  Expect(box && Text(GetDlgItem(box, 0xFFFF)).find("/targets=NAME,...") != std::string::npos,
         "/? shows the usage in a box");
  if (box) {
    Shot(box, "setup-usage");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  Expect(program.WaitForExit() && program.ExitCode() == 0, "/? ends with 0");
}

// A check before the removal fails (the temporary folder cannot be made): exit code 3, no
// box, and the previous installation stays as it was.
void QuietPreflight() {
  Choice choice = SeedAllHosts();
  ExpectEq(std::to_string(RunUnattended("/quiet /accept-terms")), "0", "a first installation");
  std::vector<std::string> before = Snapshot();
  // Wine's own folder, which the snapshot leaves out.
  const std::string log = "C:\\windows\\temp\\VorlaneBox.log";
  const std::string blocked = "C:\\windows\\not a folder";
  Expect(WriteFileBytes(blocked, "a file"), "a file where the temporary folder would be");
  char temp[MAX_PATH] = {}, tmp[MAX_PATH] = {};
  GetEnvironmentVariableA("TEMP", temp, sizeof temp);
  GetEnvironmentVariableA("TMP", tmp, sizeof tmp);
  SetEnvironmentVariableA("TEMP", (blocked + "\\Temp").c_str());
  SetEnvironmentVariableA("TMP", (blocked + "\\Temp").c_str());
  int code = RunUnattended("/quiet /accept-terms /log=" + log);
  SetEnvironmentVariableA("TEMP", temp);
  SetEnvironmentVariableA("TMP", tmp);
  DeleteFileA(blocked.c_str());
  ExpectEq(std::to_string(code), "3", "exit code of a failed check");
  Expect(Snapshot() == before, "nothing written or removed");
  CheckInstallation(choice);
  std::string logged = ReadFileBytes(log);
  Expect(logged.find("stopped before removing anything") != std::string::npos &&
             logged.find("exit code 3") != std::string::npos,
         "the log tells why:\n" + logged);
}

// An interactive run keeps a log too; /targets preselects the form's rows.
void InteractiveLog() {
  SeedAllHosts();
  CreateFolders("C:\\Logs\\");
  SetupRun run;
  if (!run.StartWith(g_options.setup, "/targets=sdk \"/log=" + kLog + "\"")) return;
  ExpectEq(run.Form().Overview(), ExpectedOverview({{13, kSdk}}), "only the SDK preselected");
  run.AcceptAndInstall();
  ExpectEq(run.TakeReport(), ExpectedReport({{13, kSdk}}), "the report");
  run.Finish(1);
  ExpectLogged({"detected max9: ", "installing sdk: " + kSdk,
                "box VorlaneBox Installation Report: Vorlane SDK is successfully installed.",
                "record written " + kRecord, "exit code 1"});
}

// ---- Folders named outside ASCII

// UTF-8, as the driver's texts are (its manifest, like the installer's, asks for it).
const std::string kGreek =
    "C:\\Hosts\\\xCE\xA0\xCF\x81\xCF\x8C\xCE\xB3\xCF\x81\xCE\xB1\xCE\xBC\xCE\xBC\xCE\xB1\\CINEMA "
    "4D R9\\";
const std::string kCyrillic =
    "C:"
    "\\Hosts\\\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD1\x8B\\3dsMax9\\";
const std::string kFullWidth = "C:\\Hosts\\\xEF\xBC\xA3\xEF\xBC\x94\xEF\xBC\xA4 R10\\";
const std::string kCyrillicTemp =
    "C:\\Users\\\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9\\Temp\\";

struct MessageBoxSearch {
  DWORD pid;
  std::string caption;
  HWND form;
  HWND found;
};

BOOL CALLBACK FindMessageBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<MessageBoxSearch*>(parameter);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid || window == search->form || !IsWindowVisible(window) ||
      Text(window) != search->caption)
    return TRUE;
  search->found = window;
  return FALSE;
}

// A box of the process with the caption of its form, other than the form.
HWND WaitForMessageBox(DWORD pid, HWND form, const char* caption) {
  MessageBoxSearch search = {pid, caption, form, nullptr};
  WaitUntil([&] {
    EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  return search.found;
}

// 100 full-width letters: 300 bytes, too long for the form's 260-byte fields.
std::string LongFullWidthFolder() {
  std::string folder = "C:\\Hosts\\";
  for (int i = 0; i < 100; ++i) folder += "\xEF\xBC\xA1";
  return folder + "\\";
}

// The user's temporary folder, where Wine programs take it from (the registry) and for the
// programs this one starts (its environment).
void UseTempFolder(const std::string& folder) {
  CreateFolders(folder);
  Seed(HKEY_CURRENT_USER, "Environment", "TEMP", folder);
  Seed(HKEY_CURRENT_USER, "Environment", "TMP", folder);
  SetEnvironmentVariableA("TEMP", folder.c_str());
  SetEnvironmentVariableA("TMP", folder.c_str());
  ExpectEq(TempFolder(), folder, "the temporary folder is " + folder);
}

// Writes the installed files of a choice, "installed path|payload entry" a line, for the
// test script to compare on the Unix side of the drive.
void WriteExpectedFiles(const Choice& choice, const std::string& file) {
  std::string lines;
  for (const std::string& entry : g_listing)
    for (const auto& chosen : choice) {
      const std::string prefix = kTargets[chosen.first].archiveFolder;
      if (StartsWithNoCase(entry, prefix))
        lines += chosen.second + entry.substr(prefix.size()) + "|" + entry + "\n";
    }
  Expect(WriteFileBytes(file, lines), "the expected files listed in " + file);
}

// What the hosts seeded by the unicode scenario propose.
Choice UnicodeChoice() {
  return {{6, kCyrillic + "Plugins\\"},
          {7, "C:\\Hosts\\Bentley Systems\\mdlapps\\"},
          {11, kGreek},
          {12, kFullWidth}};
}

// Hosts under Greek, Cyrillic and full-width folder names and a Cyrillic temporary folder:
// the installer proposes and installs into exactly those folders and records them; a quoted
// MicroStation server value gives its folder; a 300-byte folder is refused, never cut.
void Unicode() {
  UseTempFolder(kCyrillicTemp);
  CreateFolders(kGreek);
  Seed(HKEY_LOCAL_MACHINE, "SOFTWARE\\MAXON\\CINEMA 4D\\9.0", "InstallPath", kGreek);
  CreateFolders(kFullWidth);
  Seed(HKEY_LOCAL_MACHINE, "SOFTWARE\\MAXON\\CINEMA 4D\\10.0", "InstallPath", kFullWidth);
  CreateFolders(kCyrillic);
  Seed(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk\\3dsMax\\9.0\\MAX-1:409", "Installdir", kCyrillic);
  Seed(HKEY_LOCAL_MACHINE, kMicroStationServerKey, nullptr,
       "\"C:\\Hosts\\Bentley Systems\\ustation.exe\" /Automation");
  const std::string tooLong = LongFullWidthFolder();
  Expect(CreateFolders(tooLong), "the 300-byte folder " + tooLong);
  Seed(HKEY_CURRENT_USER, "Software\\Graphisoft\\ArchiCAD", "Last Started Version", "10.0");
  Seed(HKEY_CURRENT_USER, "Software\\Graphisoft\\ArchiCAD\\10.0", nullptr,
       tooLong + "ArchiCAD.exe");
  Choice choice = UnicodeChoice();
  {
    SetupRun run;
    if (!run.Start(g_options.setup)) return;
    InstallForm& form = run.Form();
    ExpectEq(form.Overview(), ExpectedOverview(choice),
             "the overview proposes the folders as named, the too long one not at all");
    Shot(form.Window(), "setup-unicode-overview");
    form.SelectTab(3);
    ExpectRow(run, 2, true, kGreek);
    ExpectRow(run, 3, true, kFullWidth);
    Shot(form.Window(), "setup-unicode-cinema4d");
    form.SelectTab(1);
    ExpectRow(run, 7, true, choice[6]);
    Shot(form.Window(), "setup-unicode-3dsmax");

    // Typed in, the 300-byte folder is refused at Install with a box; the form stays.
    form.SelectTab(2);
    ExpectRow(run, 1, false, "");
    form.Type(InstallForm::FolderId(2), tooLong);
    run.AcceptAndInstall();
    HWND box = WaitForMessageBox(run.Pid(), form.Window(), kFormCaption);
    Expect(box != nullptr, "a box refuses the folder that is too long");
    if (box) {
      std::string text = Text(GetDlgItem(box, 0xFFFF));
      Expect(text.find("too long") != std::string::npos, "the box says why: " + text);
      Shot(box, "setup-unicode-too-long");
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      Expect(WaitUntil([&] { return !IsWindow(box); }), "the box closes");
    }
    Expect(IsWindow(form.Window()) != 0, "the form is still there");
    Click(run.Item(InstallForm::CheckId(2)), "ArchiCAD 10 box");
    Expect(WaitUntil([&] { return !Checked(run.Item(InstallForm::CheckId(2))); }),
           "ArchiCAD 10 no longer chosen");
    form.SelectTab(0);
    ExpectEq(form.Overview(), ExpectedOverview(choice), "the overview before Install");
    Click(run.Item(IDC_INSTALL), "Install");
    ExpectEq(run.TakeReport("setup-unicode-report"), ExpectedReport(choice), "the report");
    run.Finish(1);
    CheckInstallation(choice);
    Expect(FilesBelow(tooLong).empty(), "nothing in the folder that was too long");
  }
  WriteExpectedFiles(choice, g_options.expectedFiles);
}

// The next run (after the test script compared the files on the Unix side) reads the record
// and removes exactly those files.
void UnicodeUpdate() {
  UseTempFolder(kCyrillicTemp);
  const Choice choice = UnicodeChoice();
  const Choice second = {{13, kSdk}};
  {
    SetupRun run;
    if (!run.Start(g_options.setup)) return;
    ExpectEq(run.Form().Overview(), ExpectedOverview(choice), "second run: the same hosts");
    auto untick = [&](int page, int row, const std::string& name) {
      run.Form().SelectTab(page);
      Click(run.Item(InstallForm::CheckId(row)), name + " box");
      Expect(WaitUntil([&] { return !Checked(run.Item(InstallForm::CheckId(row))); }),
             name + " no longer chosen");
    };
    untick(3, 2, "Cinema4D R9");
    untick(3, 3, "Cinema4D R10");
    untick(1, 7, "3D Studio Max 9");
    untick(4, 1, "MicroStation");
    ChooseSdk(run);
    run.Form().SelectTab(0);
    ExpectEq(run.Form().Overview(), ExpectedOverview(second), "second run: only the SDK chosen");
    run.AcceptAndInstall("Update");
    ExpectEq(run.TakeReport(), ExpectedReport(second), "second run: the report");
    run.Finish(1);
  }
  for (const std::string& folder : {kGreek, kFullWidth, kCyrillic})
    Expect(FolderExists(folder) && FilesBelow(folder).empty(),
           "the host folder " + folder + " stays, emptied of the installed files");
  CheckInstallation(second);
}

// ---- The main job's walk

const std::string kDemoCinema = "C:\\Program Files\\MAXON\\CINEMA 4D R10\\";

void SeedDemo() {
  CreateFolders(kDemoCinema);
  Seed(HKEY_LOCAL_MACHINE, "SOFTWARE\\MAXON\\CINEMA 4D\\10.0", "InstallPath", kDemoCinema);
}

// Prints the files the installation record names, with their sizes.
void ShowRecord() {
  VLN2::StoredRecord record = VLN2::ParseStoredRecord(ReadFileBytes(kRecord));
  const std::vector<std::string>& files = record.files;
  if (!record.complete) {
    std::printf("No installation record at %s.\n", kRecord.c_str());
    return;
  }
  std::printf("Installed files (from %s):\n", kRecord.c_str());
  std::size_t width = 0;
  for (const std::string& file : files) width = std::max(width, file.size());
  for (const std::string& file : files)
    std::printf("  %-*s %6lu bytes\n", static_cast<int>(width), file.c_str(), FileSize(file));
}

// Cinema 4D R10 is found; the SDK is chosen on its page; the terms are read and accepted;
// Install; the report is read. Screenshots of each step.
void Demo() {
  SeedDemo();
  SetupRun run;
  if (!run.Start(g_options.setup)) return;
  InstallForm& form = run.Form();
  bool update = Text(run.Item(IDC_INSTALL)) == "Update";
  if (update) std::printf("An earlier installation was found: the installer offers Update.\n");
  ExpectEq(form.Overview(), ExpectedOverview({{12, kDemoCinema}}),
           "the form proposes Cinema 4D R10");
  Shot(form.Window(), "1-form-overview");

  Click(run.Item(IDC_VIEW_LICENSE), "View License Agreement");
  HWND terms = WaitForBox(run.Pid(), "Vorlane Software Terms");
  Expect(terms != nullptr, "the terms box appears");
  if (terms) {
    Shot(terms, "2-terms");
    Click(GetDlgItem(terms, IDCANCEL), "Close of the terms box");
    Expect(WaitUntil([&] { return !IsWindow(terms); }), "the terms box closes");
  }
  form.SelectTab(3);
  Shot(form.Window(), "3-form-cinema4d");
  ChooseSdk(run);
  Shot(form.Window(), "4-form-sdk");
  form.SelectTab(0);
  Choice choice = {{12, kDemoCinema}, {13, kSdk}};
  ExpectEq(form.Overview(), ExpectedOverview(choice), "Cinema 4D R10 and the SDK chosen");
  if (!update) {
    Click(run.Item(IDC_ACCEPT), "acceptance box");
    Expect(WaitUntil([&] { return IsWindowEnabled(run.Item(IDC_INSTALL)) != 0; }),
           "accepting the terms enables Install");
  }
  Shot(form.Window(), "5-form-ready");
  run.AcceptAndInstall(update ? "Update" : "Install");
  std::string report = run.TakeReport("6-report");
  ExpectEq(report, ExpectedReport(choice), "the report");
  run.Finish(1);
  std::printf("\nThe report \"%s\":\n", kReportCaption);
  std::istringstream lines(report);
  std::string line;
  while (std::getline(lines, line)) std::printf("%s%s\n", line.empty() ? "" : "  ", line.c_str());
  std::printf("\n");
  ShowRecord();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf(
        "usage: SetupDriver SCENARIO [--setup=EXE] [--shots=FOLDER] [--listing=FILE]\n"
        "                   [--payload=FOLDER] [--max8=EXE] [--max9=EXE] [--planted=DLL]\n"
        "                   [--poll=MS]\n");
    return 2;
  }
  std::string scenario = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string option = argv[i];
    std::size_t equals = option.find('=');
    std::string name = option.substr(0, equals);
    std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
    if (name == "--setup")
      g_options.setup = value;
    else if (name == "--shots")
      SetShotsFolder(value);
    else if (name == "--listing")
      g_options.listingFile = value;
    else if (name == "--payload")
      g_options.payload = value;
    else if (name == "--max8")
      g_options.max8 = value;
    else if (name == "--max9")
      g_options.max9 = value;
    else if (name == "--planted")
      g_options.planted = value;
    else if (name == "--poll")
      g_options.poll = std::atoi(value.c_str());
    else if (name == "--expected")
      g_options.expectedFiles = value;
    else if (name == "--packed")
      g_options.packed = value;
    else
      Expect(false, "known option " + option);
  }
  if (!g_options.listingFile.empty()) ReadListing();
  bool quiet = scenario == "seed-demo" || scenario == "show-record" || scenario == "show-removal";
  if (!quiet) std::printf("== %s\n", scenario.c_str());
  if (scenario == "detect")
    Detect();
  else if (scenario == "max-versions")
    MaxVersions();
  else if (scenario == "update")
    Update();
  else if (scenario == "cancel")
    Cancel();
  else if (scenario == "nothing")
    Nothing();
  else if (scenario == "planted")
    Planted();
  else if (scenario == "quiet")
    Quiet();
  else if (scenario == "quiet-targets")
    QuietTargets();
  else if (scenario == "uninstall")
    Uninstall();
  else if (scenario == "uninstall-entry")
    UninstallEntry();
  else if (scenario == "uninstall-quiet")
    UninstallQuiet();
  else if (scenario == "show-removal")
    ShowRemoval();
  else if (scenario == "uninstall-asked")
    UninstallAsked();
  else if (scenario == "after-restart")
    AfterRestart();
  else if (scenario == "usage")
    Usage();
  else if (scenario == "interactive-log")
    InteractiveLog();
  else if (scenario == "unicode")
    Unicode();
  else if (scenario == "unicode-update")
    UnicodeUpdate();
  else if (scenario == "second")
    Second();
  else if (scenario == "links")
    Links();
  else if (scenario == "unc-record")
    UncRecord();
  else if (scenario == "interrupted")
    Interrupted();
  else if (scenario == "base-folder")
    BaseFolder();
  else if (scenario == "no-temp")
    NoTemp();
  else if (scenario == "damaged")
    Damaged();
  else if (scenario == "in-use")
    InUse();
  else if (scenario == "quiet-preflight")
    QuietPreflight();
  else if (scenario == "demo")
    Demo();
  else if (scenario == "bench")
    Bench();
  else if (scenario == "rename-cost-create" || scenario == "rename-cost-move")
    RenameCost(scenario == "rename-cost-move");
  else if (scenario == "seed-demo")
    SeedDemo();
  else if (scenario == "show-record")
    ShowRecord();
  else
    Expect(false, "known scenario " + scenario);
  if (!quiet)
    std::printf("== %s: %s (%d failed)\n", scenario.c_str(), Failures() ? "FAILED" : "passed",
                Failures());
  return Failures() ? 1 : 0;
}
