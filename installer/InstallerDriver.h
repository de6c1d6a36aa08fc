// The installer's one run: detect the hosts, run the form (or take the command line's
// choice), and when the user confirms with Install, copy the embedded archive out and
// install every chosen target. The command line may ask for a removal or for help instead.
#pragma once

#include "framework/ElementImp.h"
#include "installer/ClassTable.h"
#include "system/port/Port.h"

namespace VLN2 {

class CommandLine;
class InstallPlan;
class Preflight;
class String;
class Uninstaller;
enum class PreflightCause;

// The two programs built from these sources: Setup, and the uninstaller that the
// installation puts into the toolbox folder, which only removes.
enum class Program { kSetup, kUninstaller };

class InstallerDriver : public ElementStorage {
 public:
  explicit InstallerDriver(Core* core, Program program = Program::kSetup)
      : core_(core), program_(program) {}

  // Runs as the application object's command line asks; the exit code. With a form: 0
  // after Cancel (or when the form could not be created), 1 after an installation.
  // Unattended, with /uninstall, for help and for a usage error: the ExitCode values.
  int Run();

 private:
  // Proposes a folder and selects the target of every host found in the registry, and
  // proposes the SDK folder.
  void DetectHosts(InstallPlan* plan);
  // Applies the command line's targets and folders to the choice.
  void Choose(InstallPlan* plan, const CommandLine& options);
  // Checks that the installation can run, then removes the previous installation,
  // installs the selected targets, records and reports. The exit code: kExitSuccess when
  // everything was installed and recorded, kExitFailed when not, kExitPreflight or
  // kExitFilesInUse when the checks stopped the run (the user told why) before anything was
  // removed.
  int Install(InstallPlan* plan);
  // The exit code of checks that stopped the run (the user told why), or 0 when they passed.
  int Stopped(PreflightCause cause, const Preflight& preflight);
  int RunForm(const CommandLine& options);
  int RunUnattended(const CommandLine& options);
  int RunUninstall(const CommandLine& options);
  // Removes what the record lists, the record and the entry in the installed apps last, and
  // the running program's own file (own; null when it is not listed) once nothing else stays;
  // the exit code. *stayed: the files that stayed, with the system's reason, one a line.
  int Remove(Uninstaller* uninstaller, const char* record, const char* own, String* stayed);
  // Tells the fault and the usage; kExitUsage.
  int UsageError(const char* fault);
  void LogStart(const CommandLine& options);
  // Finishes or undoes an installation a run before did not end, as its journal says; false,
  // the user told why, when the journal cannot be followed.
  bool Recover();

  Core* core_;
  Program program_;
};

// The program: builds the Core and the application object with the command line (the
// arguments after the program's name), runs the installer once and tears everything down.
// The exit code: the driver's, or 1 when start-up failed. A copy started while another runs
// shows a box and ends with 0 (unattended: no box, kExitAlreadyRunning).
// classes: the program's class table.
int RunProgram(Port::ModuleHandle module, const char* commandLine,
               Program program = Program::kSetup, const ClassEntry* classes = kClassTable,
               int classCount = kClassCount);

}  // namespace VLN2
