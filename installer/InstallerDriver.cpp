#include "installer/InstallerDriver.h"

#include <cstring>

#include "framework/ElementRef.h"
#include "framework/FilePath.h"
#include "framework/PathRules.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "installer/ClassTable.h"
#include "installer/CommandLine.h"
#include "installer/FolderText.h"
#include "installer/InstallPlan.h"
#include "installer/Journal.h"
#include "installer/LogFile.h"
#include "installer/Preflight.h"
#include "installer/SingleInstance.h"
#include "installer/Targets.h"
#include "installer/ToolboxInstall.h"
#include "installer/UninstallEntry.h"
#include "installer/Uninstaller.h"
#include "system/FileFunc.h"
#include "system/Log.h"
#include "system/PathGate.h"
#include "system/Registry.h"
#include "system/SystemAppImp.h"
#include "ui/GUI_ToolboxInstall.h"

namespace VLN2 {
namespace {

const char* const kMaxServerKey =
    "SOFTWARE\\Classes\\CLSID\\{5985293F-A250-11d1-BCC1-0060B01A6606}\\";
const char* const kMax9Key = "SOFTWARE\\Autodesk\\3dsMax\\9.0\\MAX-1:409";
const char* const kArchiCADKey = "Software\\Graphisoft\\ArchiCAD\\";
const char* const kCinema4DR9Key = "SOFTWARE\\MAXON\\CINEMA 4D\\9.0\\";
const char* const kCinema4DR10Key = "SOFTWARE\\MAXON\\CINEMA 4D\\10.0\\";
const char* const kMicroStationKey =
    "SOFTWARE\\Classes\\CLSID\\{6BA41DED-589A-427C-B829-B12F68C651B6}\\";

// The target a 3ds Max of that product major version installs, or -1.
int MaxTargetOfVersion(int major) {
  switch (major) {
    case 3:
      return kTarget3dsMax3;
    case 4:
    case 5:
      return kTarget3dsMax4;
    case 6:
    case 7:
      return kTarget3dsMax6;
    case 8:
      return kTarget3dsMax8;
    default:
      return -1;
  }
}

// Reads the named value ("^Name") of the open key into buffer, always NUL-terminated;
// false when it is missing.
class ValueBuffer {
 public:
  bool Read(RegistryKey& key, const char* name) {
    std::memset(text, 0, sizeof text);
    return key.QueryString(name, text, sizeof text - 1) == 0;
  }
  char text[256];
};

class Detector {
 public:
  explicit Detector(InstallPlan* plan) : plan_(plan) {}

  // Selects the target with the folder of path followed by subfolder.
  void DetectFolderOf(int index, const char* path, const char* subfolder) {
    ElementRef<FilePath> folder = ElementRef<FilePath>::Create(kFilePathType);
    if (!folder || folder->SetPath(path) != 0) return;
    folder->SetFileName(nullptr);
    if (folder->AppendPath(subfolder) != 0) return;
    Detect(index, folder->GetPath());
  }
  // An empty value names no installation; a folder too long for the form stays undetected
  // rather than be cut short.
  void Detect(int index, const char* folder) {
    if (!*folder || !FolderFits(folder) || plan_->SetTargetPath(index, folder) != 0) return;
    plan_->SetTargetSelected(index, true);
    LogEvent("detected", FindTarget(index)->key, plan_->GetTargetPath(index));
  }

 private:
  InstallPlan* plan_;
};

// The program file that a server's registry value names (quotes and arguments taken off);
// null when none.
ElementRef<String> ProgramFile(const char* value) {
  if (!value) return {};
  std::size_t length = 0;
  const char* start = ProgramFileOf(value, &length);
  ElementRef<String> program = ElementRef<String>::Create(kStringType);
  if (!program || program->SetText(start) != 0 ||
      program->Truncate(static_cast<int>(length)) != 0 || program->GetLength() == 0)
    return {};
  return program;
}

// Shows text in a box unless the run is quiet (the application object writes it to the log
// either way), and writes it to the console the program was started from.
void Tell(SystemApp* app, const char* text, bool error) {
  Port::PrintToConsole(text);
  Port::PrintToConsole("\n");
  if (error)
    app->ShowError(text, kSetupCaption);
  else
    app->ShowInfo(text, kSetupCaption);
}

// Collects the files a removal leaves, with the system's reason, from the events it logs,
// while it is the application object's log; the log it stands in front of gets every event.
class StayedFiles : public Log {
 public:
  StayedFiles(SystemApp* app, String* lines) : app_(app), log_(app->GetLog()), lines_(lines) {
    app_->SetLog(this);
  }
  ~StayedFiles() override { app_->SetLog(log_); }
  StayedFiles(const StayedFiles&) = delete;
  StayedFiles& operator=(const StayedFiles&) = delete;

  void Write(const char* event, const char* subject, const char* detail) override {
    if (subject && (std::strcmp(event, "left") == 0 || std::strcmp(event, "refused") == 0)) {
      lines_->Append(subject);
      lines_->Append(detail ? ": " : "");
      lines_->Append(detail ? detail : "");
      lines_->Append("\n");
    }
    if (log_) log_->Write(event, subject, detail);
  }
  void WriteLines(const char* event, const char* subject, const char* text) override {
    if (log_) log_->WriteLines(event, subject, text);
  }

 private:
  SystemApp* app_;
  Log* log_;
  String* lines_;
};

void LogNumber(const char* event, int value) {
  char number[16];
  FormatDecimal(value, number, sizeof number);
  LogEvent(event, number);
}

}  // namespace

void InstallerDriver::DetectHosts(InstallPlan* plan) {
  Detector detector(plan);
  RegistryKey key;
  RegistryValue localServer("LocalServer");
  ValueBuffer value;

  key.SetRootKey(Port::kLocalMachine);
  if (key.OpenKey(kMaxServerKey) == 0) {
    localServer.Query(key);
    key.CloseKey();
    if (ElementRef<String> program = ProgramFile(localServer.GetText())) {
      int target = MaxTargetOfVersion(Port::GetProductMajorVersion(program->GetText()));
      if (target >= 0) detector.DetectFolderOf(target, program->GetText(), "Plugins\\");
    }
  }

  if (key.OpenKey(kMax9Key) == 0) {
    if (value.Read(key, "^Installdir"))
      detector.DetectFolderOf(kTarget3dsMax9, value.text, "Plugins\\");
    key.CloseKey();
  }

  // Whatever version was started last, its folder goes to the ArchiCAD 9 target.
  key.SetRootKey(Port::kCurrentUser);
  if (key.OpenKey(kArchiCADKey) == 0) {
    if (value.Read(key, "^Last Started Version")) {
      RegistryValue lastStarted(value.text);
      if (lastStarted.Query(key) == 0 && lastStarted.GetText())
        detector.DetectFolderOf(kTargetArchiCAD9, lastStarted.GetText(), "Add-Ons\\");
    }
    key.CloseKey();
  }

  key.SetRootKey(Port::kLocalMachine);
  const struct {
    const char* key;
    int target;
  } cinema[] = {{kCinema4DR9Key, kTargetCinema4DR9}, {kCinema4DR10Key, kTargetCinema4DR10}};
  for (const auto& version : cinema) {
    if (key.OpenKey(version.key) != 0) continue;
    if (value.Read(key, "^InstallPath")) detector.Detect(version.target, value.text);
    key.CloseKey();
  }

  RegistryValue localServer32("LocalServer32");
  if (key.OpenKey(kMicroStationKey) == 0) {
    ElementRef<String> program;
    if (localServer32.Query(key) == 0) program = ProgramFile(localServer32.GetText());
    if (program) detector.DetectFolderOf(kTargetMicroStation, program->GetText(), "mdlapps\\");
    key.CloseKey();
  }

  SystemApp* app = core_->GetSystemApp();
  if (app && app->GetBaseFolder()) {
    ElementRef<String> sdk = ElementRef<String>::Create(kStringType);
    if (sdk && sdk->SetText(app->GetBaseFolder()) == 0 && sdk->Append("SDK\\") == 0)
      plan->SetTargetPath(kTargetSDK, sdk->GetText());
  }
}

void InstallerDriver::Choose(InstallPlan* plan, const CommandLine& options) {
  for (int index = 0; index < kTargetCount; ++index) {
    if (const char* folder = options.GetFolder(index)) plan->SetTargetPath(index, folder);
    if (options.HasTargets()) plan->SetTargetSelected(index, options.IsTargetListed(index));
  }
}

int InstallerDriver::Stopped(PreflightCause cause, const Preflight& preflight) {
  if (cause == PreflightCause::kReady) return 0;
  if (cause == PreflightCause::kFilesInUse) {
    // The user cancelled the box that listed them: nothing more to tell.
    LogLines("stopped before removing anything", nullptr, preflight.GetMessage());
    return kExitFilesInUse;
  }
  LogEvent("stopped before removing anything");
  Tell(core_->GetSystemApp(), preflight.GetMessage(), true);
  return kExitPreflight;
}

int InstallerDriver::Install(InstallPlan* plan) {
  Preflight preflight(core_, plan);
  int stopped = Stopped(preflight.Run(), preflight);
  if (stopped != 0) return stopped;
  ElementRef<ToolboxInstall> install = ElementRef<ToolboxInstall>::Create(kToolboxInstallType);
  if (!install) {
    LogEvent("installation not started", nullptr, "out of memory");
    return kExitFailed;
  }
  // The procedure carries out what was planned and checked: the staged archive is read
  // through the handle the checks read it by, never by its name.
  CastTo<InstallSource>(install.get())->UsePlan(plan);
  const char* archivePath = preflight.GetArchivePath();
  int result = kExitSuccess;
  bool sharedInstalled = false;
  for (int index = 0; index < kTargetCount; ++index) {
    if (!plan->IsTargetSelected(index)) continue;
    if (!sharedInstalled && install->InstallSharedFiles(archivePath) != 0) {
      LogEvent("shared files failed");
      result = kExitFailed;
    }
    sharedInstalled = true;
    const char* key = FindTarget(index)->key;
    LogEvent("installing", key, plan->GetTargetPath(index));
    bool failed = install->InstallTarget(index, archivePath, plan->GetTargetPath(index)) != 0;
    LogEvent(failed ? "target failed" : "target installed", key);
    if (failed) result = kExitFailed;
  }
  // The record first, so that the report can tell when it could not be written.
  if (install->SaveRecord() != 0) result = kExitFailed;
  install->ShowReport();
  return result;
}

int InstallerDriver::RunForm(const CommandLine& options) {
  InstallPlan plan(core_);
  ElementRef<Element> component(core_->CreateElement(kGUI_ToolboxInstallType, 0));
  GUI_ToolboxInstall* form = CastTo<GUI_ToolboxInstall>(component.get());
  if (!form) {
    LogEvent("form not shown", nullptr, "out of memory");
    return 0;
  }
  DetectHosts(&plan);
  Choose(&plan, options);
  for (int index = 0; index < kTargetCount; ++index) {
    if (const char* folder = plan.GetTargetPath(index)) form->SetTargetPath(index, folder);
    form->SetTargetSelected(index, plan.IsTargetSelected(index));
  }
  if (form->Run() != 0) {
    LogEvent("cancelled");
    return 0;
  }
  // The choice made, the form has done its part.
  for (int index = 0; index < kTargetCount; ++index) {
    if (const char* folder = form->GetTargetPath(index)) plan.SetTargetPath(index, folder);
    plan.SetTargetSelected(index, form->IsTargetSelected(index));
  }
  component.reset();
  // Stopped by the checks, nothing was changed: the exit code of a cancelled run.
  int result = Install(&plan);
  return result == kExitPreflight || result == kExitFilesInUse ? 0 : 1;
}

int InstallerDriver::RunUnattended(const CommandLine& options) {
  InstallPlan plan(core_);
  DetectHosts(&plan);
  Choose(&plan, options);
  bool chosen = false;
  for (int index = 0; index < kTargetCount; ++index) {
    if (!plan.IsTargetSelected(index)) continue;
    chosen = true;
    if (!plan.GetTargetPath(index)) {
      const char* key = FindTarget(index)->key;
      ElementRef<String> fault =
          Joined({"No folder for the target ", key, ": give /folder:", key, "=PATH"});
      return UsageError(fault ? fault->GetText() : key);
    }
  }
  // A folder given that the system cannot take is a usage error, found before any check.
  for (int index = 0; index < kTargetCount; ++index) {
    const char* folder = options.GetFolder(index);
    PathFault fault = folder ? CheckPlace(folder) : PathFault::kNone;
    if (fault == PathFault::kNone) continue;
    ElementRef<String> text = Joined({"The folder ", folder, DescribePathFault(fault)});
    return UsageError(text ? text->GetText() : folder);
  }
  if (!chosen) {
    LogEvent("nothing to install", nullptr, "no host found and no /targets");
    return kExitNothingToInstall;
  }
  return Install(&plan);
}

int InstallerDriver::RunUninstall(const CommandLine& options) {
  SystemApp* app = core_->GetSystemApp();
  const char* toolbox = app->GetToolboxFolder();
  Preflight preflight(core_, nullptr);
  // Without a program-files folder there is no telling where an installation would be.
  if (!toolbox) return Stopped(preflight.RunRemoval(), preflight);
  ElementRef<String> record = Joined({toolbox, kRecordName});
  ElementRef<String> stayed = Joined({""});
  if (!record || !stayed) return kExitFailed;
  if (PathExists(record->GetText()) != 0) {
    LogEvent("nothing to remove", record->GetText(), "no installation record");
    // An entry left by an installation removed by hand would name nothing.
    DeleteUninstallEntry(toolbox);
    if (!options.IsQuiet())
      app->ShowInfo("VorlaneBox is not installed on this computer.", kSetupCaption);
    return kExitNothingToInstall;
  }
  bool uninstaller = program_ == Program::kUninstaller;
  if (!options.IsQuiet() &&
      app->ShowQuestion(uninstaller
                            ? "Remove VorlaneBox and all of its plug-ins from this computer?"
                            : "Remove VorlaneBox and the Vorlane SDK from this computer?\n\nEvery "
                              "file that the last installation recorded is removed.",
                        kSetupCaption) != 0) {
    LogEvent("removal declined");
    return kExitSuccess;
  }
  // The uninstaller run from the toolbox folder is one of the files it removes.
  char own[2 * kMaxPathSize] = {};
  if (Port::GetModuleFileName(app->GetInstance(), own, sizeof own)) preflight.SetOwnFile(own);
  if (int stopped = Stopped(preflight.RunRemoval(), preflight)) return stopped;
  Uninstaller* previous = preflight.GetPrevious();
  bool listed = previous->VisitFiles(
                    [](const char* path, void* self) {
                      return SamePath(path, static_cast<const char*>(self)) ? 1 : 0;
                    },
                    own) != 0;
  int result = Remove(previous, record->GetText(), listed ? own : nullptr, stayed.get());
  if (!options.IsQuiet()) {
    ElementRef<String> told =
        result == kExitSuccess
            ? Joined({uninstaller ? "VorlaneBox has been removed from this computer."
                                  : "VorlaneBox has been removed."})
            : Joined({"VorlaneBox could not be removed completely.",
                      stayed->GetLength() ? " These files stayed:\n\n" : "", stayed->GetText(),
                      previous->GetRecordState() != RecordState::kWhole
                          ? "\nThe installation record could not be read to its end: files of "
                            "the installation may remain."
                          : "",
                      "\nClose the programs that use them, then remove VorlaneBox again."});
    app->ShowInfo(told ? told->GetText() : "VorlaneBox could not be removed completely.",
                  kSetupCaption);
  }
  return result;
}

int InstallerDriver::Remove(Uninstaller* uninstaller, const char* record, const char* own,
                            String* stayed) {
  SystemApp* app = core_->GetSystemApp();
  bool cut = uninstaller->GetRecordState() != RecordState::kWhole;
  bool left = false;
  {
    StayedFiles watch(app, stayed);
    left = uninstaller->KeepFile(record) != 0 || (own && uninstaller->KeepFile(own) != 0) ||
           uninstaller->Uninstall() != 0;
  }
  // The program's own file goes last, once nothing else stays; a running program's file the
  // system deletes at its next start.
  bool atRestart = false;
  if (own && !left && !cut) {
    if (RemoveRealFile(own) == 0) {
      LogEvent("removed", own);
      own = nullptr;
    } else if (Port::DeleteAtRestart(own)) {
      LogEvent("removed at the next restart", own);
      atRestart = true;
      own = nullptr;
    } else {
      LogSystemError("left", own);
    }
  }
  // A record that cannot list the program's file stays as it was read, which lists it; one
  // that could not be saved or deleted is still there too.
  if (!own || (uninstaller->AddFileEntry(own) == 0 && uninstaller->AddFolderEntry(own) == 0))
    uninstaller->SaveOrDelete(record);
  bool kept = PathExists(record) == 0;
  // An entry refused as no place of an installation went from the list, but was not removed.
  int result = left || cut || kept ? kExitFailed : kExitSuccess;
  if (cut) LogEvent("record damaged", record, "files of the installation may remain");
  if (kept) LogEvent("record kept", record, "it lists the files that stayed");
  // The entry goes with the record: while files stay, it offers to remove them.
  if (!kept && DeleteUninstallEntry(app->GetToolboxFolder()) == EntryOutcome::kFailed)
    result = kExitFailed;
  // The toolbox and product folders follow the program's file, each when it is empty then.
  ElementRef<String> folder = Joined({record});
  for (int level = 0; atRestart && folder && level < 2 && CutToParent(folder.get()); ++level)
    Port::DeleteAtRestart(folder->GetText());
  return result;
}

int InstallerDriver::UsageError(const char* fault) {
  ElementRef<String> text =
      Joined({"Usage error: ", fault, "\n\n",
              program_ == Program::kUninstaller ? kRemovalUsageText : kUsageText});
  Tell(core_->GetSystemApp(), text ? text->GetText() : fault, true);
  return kExitUsage;
}

bool InstallerDriver::Recover() {
  SystemApp* app = core_->GetSystemApp();
  ElementRef<String> record = Joined({app->GetToolboxFolder(), kRecordName});
  ElementRef<String> message = Joined({""});
  if (!app->GetToolboxFolder() || !record || !message) return true;
  if (Journal::Recover(record->GetText(), message.get()) == 0) return true;
  LogEvent("stopped before removing anything");
  Tell(app, message->GetLength() ? message->GetText() : "Setup ran out of memory.", true);
  return false;
}

void InstallerDriver::LogStart(const CommandLine& options) {
  SystemApp* app = core_->GetSystemApp();
  LogEvent("start", program_ == Program::kUninstaller ? "VorlaneBox Uninstall " VLN2_VERSION
                                                      : "VorlaneBox Setup " VLN2_VERSION);
  LogEvent("computer", app->GetMachineName(), app->GetOsProductName());
  LogEvent("command line", nullptr, app->GetCommandLineText() ? app->GetCommandLineText() : "");
  for (int n = 0; options.GetIgnored(n); ++n) LogEvent("ignored argument", options.GetIgnored(n));
  if (Port::IsSystemAccount())
    LogEvent("note", nullptr,
             "running as the SYSTEM account, whose own part of the registry is read as the "
             "current user's: ArchiCAD cannot be found there; use /targets and /folder");
}

int InstallerDriver::Run() {
  SystemApp* app = core_->GetSystemApp();
  if (!app) return kExitFailed;
  CommandLine options;
  bool removalOnly = program_ == Program::kUninstaller;
  int parsed = options.Parse(app->GetCommandLineText(), removalOnly);
  if (parsed == 1) return kExitFailed;
  app->SetQuiet(options.IsQuiet());
  if (options.WantsHelp()) {
    Tell(app, removalOnly ? kRemovalUsageText : kUsageText, false);
    return kExitSuccess;
  }
  LogFile log;
  if (options.GetLogFile()) {
    if (log.Open(options.GetLogFile()) != 0) {
      char error[256];
      Port::GetLastErrorText(error, sizeof error);
      ElementRef<String> text =
          Joined({"The log file ", options.GetLogFile(), " cannot be written: ", error});
      Tell(app, text ? text->GetText() : error, true);
      return kExitFailed;
    }
    app->SetLog(&log);
  }
  LogStart(options);
  int code = parsed == kExitUsage ? UsageError(options.GetError())
             : !Recover()
                 ? (options.IsQuiet() || options.IsUninstall() ? kExitPreflight : kExitSuccess)
             : options.IsUninstall() ? RunUninstall(options)
             : options.IsQuiet()     ? RunUnattended(options)
                                     : RunForm(options);
  LogNumber("exit code", code);
  app->SetLog(nullptr);
  return code;
}

int RunProgram(Port::ModuleHandle module, const char* commandLine, Program program,
               const ClassEntry* classes, int classCount) {
  // Held until everything, the temporary folder included, is cleaned up.
  SingleInstance instance;
  Port::CreateLock();
  int exitCode = 1;
  auto* core = new CoreImp(classes, classCount);
  if (!core) {
    Port::DeleteLock();
    return 1;
  }
  if (core->Init() == 0) {
    int length = commandLine ? static_cast<int>(std::strlen(commandLine)) : 0;
    if (auto* app = new SystemAppImp(core, module, commandLine, length)) {
      if (!instance.IsFirst()) {
        // Before the application object's start-up, which makes the temporary folder: this
        // copy touches nothing. An unattended run says so by its exit code alone.
        CommandLine options;
        bool quiet =
            options.Parse(commandLine, program == Program::kUninstaller) == 0 && options.IsQuiet();
        if (!quiet) app->ShowError(instance.Refusal(), kSetupCaption);
        core->SetSystemApp(app);
        exitCode = quiet ? kExitAlreadyRunning : kExitSuccess;
      } else {
        app->Init();
        core->SetSystemApp(app);
        if (auto* driver = new InstallerDriver(core, program)) {
          exitCode = driver->Run();
          delete driver;
        }
      }
    }
  }
  // Releases the application object, which removes its temporary folder.
  core->Destroy();
  delete core;
  Port::DeleteLock();
  return exitCode;
}

}  // namespace VLN2
