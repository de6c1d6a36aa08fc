// The installation's entry in the system's list of installed programs (Settings > Apps,
// Programs and Features), where deployment systems look for it too: it names the uninstaller
// in the toolbox folder. Every value is a text Setup made itself; a key of that name that
// names another uninstaller belongs to another installation and is left as it is.
#pragma once

#include <cstdint>

namespace VLN2 {

// The uninstaller's file name in the toolbox folder.
constexpr const char* kUninstallerProgram = "VorlaneBoxUninstall.exe";
// The entry's key below HKEY_LOCAL_MACHINE, and the whole name the log and the report give.
extern const char* const kUninstallEntryKey;
extern const char* const kUninstallEntryName;

enum class EntryOutcome {
  kDone,           // written; or deleted, or there was none
  kNotOurs,        // the key names another uninstaller: left as it is
  kNoUninstaller,  // the uninstaller is not in the toolbox folder: no entry to name it
  kFailed,         // the system refused a step (logged)
};

// Writes the entry of the installation in toolbox (ending in a separator) whose files hold
// installedBytes, replacing the values of this installation's earlier entry. Without the
// uninstaller in the toolbox folder, deletes this installation's entry instead.
EntryOutcome WriteUninstallEntry(const char* toolbox, std::uint64_t installedBytes);
// Deletes this installation's entry; kDone when there is none.
EntryOutcome DeleteUninstallEntry(const char* toolbox);

}  // namespace VLN2
