// The options of one run, read from the program's command line. Letter case is ignored;
// each option starts with "/" or "-".
#pragma once

#include "framework/ElementImp.h"
#include "installer/Targets.h"

namespace VLN2 {

// The usage text: the options and the exit codes of an unattended run.
extern const char* const kUsageText;
// The same for the uninstaller, which only removes.
extern const char* const kRemovalUsageText;

// Exit codes of an unattended run (and of a usage error or a request for help in any run).
enum ExitCode {
  kExitSuccess = 0,
  kExitFailed = 1,
  kExitUsage = 2,
  kExitPreflight = 3,
  kExitAlreadyRunning = 4,
  kExitNothingToInstall = 5,
  kExitFilesInUse = 6,
};

class CommandLine : public ElementStorage {
 public:
  CommandLine() = default;
  ~CommandLine();
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  // Reads the arguments (the command line after the program's name; null = none), split
  // and unquoted as the C runtime splits them. 0 when they can be used; 1 when memory
  // runs out; kExitUsage with Error() naming the fault. An argument that is no option is
  // ignored, unless the run is quiet. removalOnly: the uninstaller's, which always removes.
  int Parse(const char* text, bool removalOnly = false);

  bool IsQuiet() const { return quiet_; }
  bool AcceptsTerms() const { return acceptTerms_; }
  bool IsUninstall() const { return uninstall_; }
  bool WantsHelp() const { return help_; }
  // Whether /targets was given, and whether it names the target.
  bool HasTargets() const { return hasTargets_; }
  bool IsTargetListed(int index) const;
  // The folder /folder gave the target, or null.
  const char* GetFolder(int index) const;
  // The log file, or null.
  const char* GetLogFile() const { return logFile_; }
  // The usage fault, or null.
  const char* GetError() const { return error_[0] ? error_ : nullptr; }
  // The arguments that were ignored, in order; null past the last.
  const char* GetIgnored(int n) const;

 private:
  int Split(const char* text);
  int ReadArgument(char* argument);
  int ReadTargets(const char* list);
  int ReadFolder(const char* assignment);
  int Fault(const char* what, const char* argument);

  char* arguments_ = nullptr;  // the arguments, each zero-terminated, one after another
  const char** ignored_ = nullptr;
  int ignoredCount_ = 0;
  bool quiet_ = false;
  bool acceptTerms_ = false;
  bool uninstall_ = false;
  bool help_ = false;
  bool hasTargets_ = false;
  bool listed_[kTargetCount] = {};
  const char* folders_[kTargetCount] = {};
  const char* logFile_ = nullptr;
  char error_[200] = {};
};

// The target of a command-line name (letter case ignored), or -1.
int FindTargetByKey(const char* key, int length);

}  // namespace VLN2
