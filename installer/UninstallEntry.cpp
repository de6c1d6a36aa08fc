#include "installer/UninstallEntry.h"

#include <cstring>

#include "framework/ElementRef.h"
#include "framework/PathRules.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "system/FileFunc.h"
#include "system/Log.h"
#include "system/Registry.h"
#include "system/port/Port.h"

namespace VLN2 {

const char* const kUninstallEntryKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VorlaneBox";
const char* const kUninstallEntryName =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VorlaneBox";

namespace {

// The texts of the entry, made from the toolbox folder alone.
struct EntryTexts {
  ElementRef<String> program;  // the uninstaller's path
  ElementRef<String> command;  // the program quoted
  ElementRef<String> quiet;    // the same with /quiet
};

// False when memory ran out, or the folder is no plain path (the key then would carry
// whatever the program-files setting holds).
bool MakeTexts(const char* toolbox, EntryTexts* texts) {
  texts->program = Joined({toolbox, kUninstallerProgram});
  if (!texts->program || !IsDriveAbsolute(texts->program->GetText()) ||
      !IsPlainPath(texts->program->GetText()))
    return false;
  texts->command = Joined({"\"", texts->program->GetText(), "\""});
  texts->quiet = Joined({texts->command ? texts->command->GetText() : nullptr, " /quiet"});
  return static_cast<bool>(texts->quiet);
}

// Whether a key of the entry's name is there and names another uninstaller; *present:
// whether it is there at all.
bool IsOthers(const EntryTexts& texts, bool* present) {
  RegistryKey key;
  *present = key.OpenKey(kUninstallEntryKey) == 0;
  if (!*present) return false;
  char value[2 * kMaxPathSize] = {};
  if (key.QueryString("^UninstallString", value, sizeof value - 1) != 0) return false;
  return CompareNoCase(value, texts.command->GetText()) != 0;
}

EntryOutcome Refused(const char* event, long error) {
  char number[24];
  FormatDecimal(error, number, sizeof number);
  ElementRef<String> detail = Joined({"the registry refused it (system error ", number, ")"});
  LogEvent(event, kUninstallEntryName, detail ? detail->GetText() : "the registry refused it");
  return EntryOutcome::kFailed;
}

EntryOutcome Unnamed(const char* event) {
  LogEvent(event, kUninstallEntryName, "the toolbox folder is no plain path, or memory ran out");
  return EntryOutcome::kFailed;
}

EntryOutcome NotOurs(const char* event) {
  LogEvent(event, kUninstallEntryName, "it names the uninstaller of another installation");
  return EntryOutcome::kNotOurs;
}

}  // namespace

EntryOutcome WriteUninstallEntry(const char* toolbox, std::uint64_t installedBytes) {
  EntryTexts texts;
  bool present = false;
  if (!MakeTexts(toolbox, &texts)) return Unnamed("entry not written");
  if (PathExists(texts.program->GetText()) != 0) {
    LogEvent("no entry in the installed apps", texts.program->GetText(), "it is not installed");
    EntryOutcome deleted = DeleteUninstallEntry(toolbox);
    return deleted == EntryOutcome::kDone ? EntryOutcome::kNoUninstaller : deleted;
  }
  if (IsOthers(texts, &present)) return NotOurs("entry not written");
  std::uint64_t kilobytes = (installedBytes + 1023) / 1024;
  const struct {
    const char* name;
    const char* text;  // null: the number
    std::uint32_t number;
  } values[] = {
      // The command first: a key cut short by a failure still tells whose it is.
      {"UninstallString", texts.command->GetText(), 0},
      {"QuietUninstallString", texts.quiet->GetText(), 0},
      {"DisplayName", "VorlaneBox", 0},
      {"DisplayVersion", VLN2_VERSION, 0},
      {"Publisher", "Vorlane Software", 0},
      {"InstallLocation", toolbox, 0},
      {"DisplayIcon", texts.program->GetText(), 0},
      {"EstimatedSize", nullptr,
       kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kilobytes)},
      {"NoModify", nullptr, 1},
      {"NoRepair", nullptr, 1},
  };
  Port::RegistryHandle key = nullptr;
  long error = Port::RegCreateKey(Port::kLocalMachine, kUninstallEntryKey, &key);
  for (const auto& value : values) {
    if (error != Port::kErrorSuccess) break;
    error = value.text ? Port::RegSetText(key, value.name, value.text)
                       : Port::RegSetNumber(key, value.name, value.number);
  }
  if (key) Port::RegCloseKey(key);
  if (error != Port::kErrorSuccess) return Refused("entry not written", error);
  LogEvent("entry written", kUninstallEntryName, texts.command->GetText());
  return EntryOutcome::kDone;
}

EntryOutcome DeleteUninstallEntry(const char* toolbox) {
  EntryTexts texts;
  bool present = false;
  if (!MakeTexts(toolbox, &texts)) return Unnamed("entry not removed");
  if (IsOthers(texts, &present)) return NotOurs("entry not removed");
  if (!present) return EntryOutcome::kDone;
  long error = Port::RegDeleteTree(Port::kLocalMachine, kUninstallEntryKey);
  if (error != Port::kErrorSuccess) return Refused("entry not removed", error);
  LogEvent("entry removed", kUninstallEntryName);
  return EntryOutcome::kDone;
}

}  // namespace VLN2
