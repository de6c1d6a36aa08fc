#include "installer/CommandLine.h"

#include <cstring>

#include "framework/Allocator.h"
#include "framework/PathRules.h"
#include "framework/StringUtil.h"

namespace VLN2 {

const char* const kUsageText =
    "VorlaneBox Setup installs the VorlaneBox plug-ins and the Vorlane SDK.\n"
    "\n"
    "VorlaneBoxSetup [/quiet /accept-terms] [/targets=NAME,...] [/folder:NAME=PATH]...\n"
    "                [/log=FILE]\n"
    "VorlaneBoxSetup /uninstall [/quiet] [/log=FILE]\n"
    "\n"
    "  /quiet              no form and no boxes: installs the hosts found, or /targets\n"
    "  /accept-terms       accepts the Vorlane Software Terms (required with /quiet)\n"
    "  /targets=NAME,...   these targets instead of the hosts found (without /quiet:\n"
    "                      chosen in the form)\n"
    "  /folder:NAME=PATH   the absolute folder of one target (without /quiet: filled in\n"
    "                      the form)\n"
    "  /uninstall          removes what the last installation recorded, and its record\n"
    "  /log=FILE           appends a log of the run to FILE (absolute path, UTF-8)\n"
    "  /? or /help         this text\n"
    "Options may also start with -; letter case is ignored.\n"
    "\n"
    "Targets: max3 max4 max5 max6 max7 max8 max9 microstation archicad9 archicad10\n"
    "         c4d-r8 c4d-r9 c4d-r10 sdk\n"
    "\n"
    "Exit codes of a /quiet run:\n"
    "  0  every requested target installed (with /uninstall: everything removed)\n"
    "  1  something failed: a target, the shared files or the record (see the log)\n"
    "  2  usage error\n"
    "  3  the checks before installing failed; nothing was changed\n"
    "  4  another copy is running\n"
    "  5  nothing to install (no host found and no /targets; with /uninstall: no record)\n"
    "  6  files in use; nothing was changed: retry later\n";

const char* const kRemovalUsageText =
    "VorlaneBoxUninstall removes VorlaneBox and all of its plug-ins.\n"
    "\n"
    "VorlaneBoxUninstall [/quiet] [/log=FILE]\n"
    "\n"
    "  /quiet      no boxes: removes what the last installation recorded\n"
    "  /log=FILE   appends a log of the run to FILE (absolute path, UTF-8)\n"
    "  /? or /help this text\n"
    "\n"
    "Exit codes of a /quiet run:\n"
    "  0  everything removed\n"
    "  1  something stayed (see the log); its record and entry stay too\n"
    "  2  usage error\n"
    "  3  the checks before removing failed; nothing was changed\n"
    "  4  another copy is running\n"
    "  5  not installed\n"
    "  6  files in use; nothing was changed: retry later\n";

namespace {

// The text after prefix (case ignored), or null.
const char* After(const char* text, const char* prefix) {
  std::size_t length = std::strlen(prefix);
  return EqualsNoCase(text, length, prefix) ? text + length : nullptr;
}

// Why a path given on the command line cannot be used, or null when it can.
const char* PathFaultOf(const char* path, const char* notAbsolute) {
  if (!IsDriveAbsolute(path)) return notAbsolute;
  return IsPlainPath(path) ? nullptr
                           : "The path names a device, ends in a dot or a blank, holds a "
                             "character Windows refuses in a name, or is too long";
}

}  // namespace

int FindTargetByKey(const char* key, int length) {
  for (int index = 0; index < kTargetCount; ++index)
    if (EqualsNoCase(key, length, FindTarget(index)->key)) return index;
  return -1;
}

CommandLine::~CommandLine() {
  Free(ignored_);
  Free(arguments_);
}

bool CommandLine::IsTargetListed(int index) const {
  return index >= 0 && index < kTargetCount && listed_[index];
}

const char* CommandLine::GetFolder(int index) const {
  return index >= 0 && index < kTargetCount ? folders_[index] : nullptr;
}

const char* CommandLine::GetIgnored(int n) const {
  return n >= 0 && n < ignoredCount_ ? ignored_[n] : nullptr;
}

int CommandLine::Fault(const char* what, const char* argument) {
  if (error_[0]) return kExitUsage;  // the first fault is the one told
  std::size_t size = sizeof error_ - 1;
  std::strncpy(error_, what, size);
  if (argument) {
    std::strncat(error_, ": ", size - std::strlen(error_));
    std::strncat(error_, argument, size - std::strlen(error_));
  }
  return kExitUsage;
}

int CommandLine::Split(const char* text) {
  std::size_t length = text ? std::strlen(text) : 0;
  // Unquoting never lengthens an argument, and each one ends where at least one blank or
  // the end of the text was.
  arguments_ = static_cast<char*>(Allocate(length + 1));
  if (!arguments_) return -1;
  char* out = arguments_;
  int count = 0;
  const char* in = text ? text : "";
  for (;;) {
    while (*in == ' ' || *in == '\t') ++in;
    if (!*in) break;
    bool quoted = false;
    while (*in && (quoted || (*in != ' ' && *in != '\t'))) {
      if (*in == '\\') {
        // Backslashes are literal unless they stand before a quote: then each pair is
        // one backslash, and an odd one makes the quote literal.
        int slashes = 0;
        while (*in == '\\') ++slashes, ++in;
        bool beforeQuote = *in == '"';
        for (int i = 0; i < (beforeQuote ? slashes / 2 : slashes); ++i) *out++ = '\\';
        if (beforeQuote && slashes % 2) *out++ = *in++;
      } else if (*in == '"') {
        if (quoted && in[1] == '"') {
          *out++ = '"';
          in += 2;
        } else {
          quoted = !quoted;
          ++in;
        }
      } else {
        *out++ = *in++;
      }
    }
    *out++ = 0;
    ++count;
  }
  return count;
}

int CommandLine::Parse(const char* text, bool removalOnly) {
  uninstall_ = removalOnly;
  int count = Split(text);
  if (count < 0) return 1;
  ignored_ = static_cast<const char**>(Allocate(count * sizeof(const char*)));
  if (!ignored_) return 1;
  char* argument = arguments_;
  for (int i = 0; i < count; ++i, argument += std::strlen(argument) + 1) ReadArgument(argument);

  if (help_) {
    error_[0] = 0;
    return 0;
  }
  if (error_[0]) return kExitUsage;
  if (quiet_ && ignoredCount_ > 0) return Fault("Unknown option", ignored_[0]);
  if (uninstall_ && hasTargets_) return Fault("/uninstall takes no /targets", nullptr);
  for (const char* folder : folders_)
    if (uninstall_ && folder) return Fault("/uninstall takes no /folder", nullptr);
  if (quiet_ && !uninstall_ && !acceptTerms_)
    return Fault(
        "/quiet installs only with /accept-terms, which accepts the Vorlane Software "
        "Terms",
        nullptr);
  return 0;
}

int CommandLine::ReadArgument(char* argument) {
  int length = static_cast<int>(std::strlen(argument));
  if (EqualsNoCase(argument, length, "--help")) {
    help_ = true;
    return 0;
  }
  const char* name = argument[0] == '/' || argument[0] == '-' ? argument + 1 : nullptr;
  int nameLength = length - 1;
  const char* value = nullptr;
  if (!name) {
    ignored_[ignoredCount_++] = argument;
  } else if (EqualsNoCase(name, nameLength, "quiet")) {
    quiet_ = true;
  } else if (EqualsNoCase(name, nameLength, "accept-terms")) {
    acceptTerms_ = true;
  } else if (EqualsNoCase(name, nameLength, "uninstall")) {
    uninstall_ = true;
  } else if (EqualsNoCase(name, nameLength, "?") || EqualsNoCase(name, nameLength, "help")) {
    help_ = true;
  } else if ((value = After(name, "targets="))) {
    return ReadTargets(value);
  } else if ((value = After(name, "folder:"))) {
    return ReadFolder(value);
  } else if ((value = After(name, "log="))) {
    if (const char* fault =
            PathFaultOf(value, "The log file must be an absolute path with a drive letter"))
      return Fault(fault, argument);
    logFile_ = value;
  } else {
    ignored_[ignoredCount_++] = argument;
  }
  return 0;
}

int CommandLine::ReadTargets(const char* list) {
  hasTargets_ = true;
  for (const char* name = list;; ++name) {
    const char* end = std::strchr(name, ',');
    int length = static_cast<int>(end ? end - name : std::strlen(name));
    int index = FindTargetByKey(name, length);
    if (index < 0) {
      char unknown[64] = {};
      std::memcpy(unknown, name, length < 63 ? length : 63);
      return Fault(length ? "Unknown target name" : "Missing target name in /targets",
                   length ? unknown : nullptr);
    }
    listed_[index] = true;
    if (!end) return 0;
    name = end;
  }
}

int CommandLine::ReadFolder(const char* assignment) {
  const char* equals = std::strchr(assignment, '=');
  int index = equals ? FindTargetByKey(assignment, static_cast<int>(equals - assignment)) : -1;
  if (index < 0) return Fault("Expected /folder:NAME=PATH with a target name", assignment);
  if (const char* fault =
          PathFaultOf(equals + 1, "The folder must be an absolute path with a drive letter"))
    return Fault(fault, assignment);
  folders_[index] = equals + 1;
  return 0;
}

}  // namespace VLN2
