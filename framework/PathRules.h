// The rules of path texts in the Windows grammar, pure text and the same on every platform:
// separators, the drive-absolute form (and the forms that are not: UNC, "\\?\", "\\.\", a
// drive-relative "C:x"), the levels Windows would not keep as written (devices, trailing
// dots and blanks, streams, wildcards), the length the system takes, and when two paths are
// one. What only the system can tell about a path (its drive, its volume) is the path gate's
// (system/PathGate.h), built on these.
#pragma once

#include <cstddef>

namespace VLN2 {

class String;

// The longest path the system's file functions take, its NUL included.
constexpr std::size_t kMaxPathSize = 260;

// Windows takes both as a separator of levels.
inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// True when path begins with a drive letter, a colon and a separator ("C:\").
bool IsDriveAbsolute(const char* path);

// True when the level (length characters, no separator) is a name Windows keeps as written:
// not empty, "." or "..", no control character, wildcard, colon (a stream) or other
// character Windows refuses in a name, no device name (CON, PRN, AUX, NUL, COM0-COM9,
// LPT0-LPT9 with the superscript digits too, CONIN$, CONOUT$; any case, any extension),
// and no trailing dot or blank, which Windows trims.
bool IsSafeLevel(const char* level, std::size_t length);

// True when every level of the relative path is safe. With runsAllowed, empty levels (runs
// of separators, which Windows reads as one, and a trailing separator) are passed over.
bool AreSafeLevels(const char* path, bool runsAllowed);

// True when path names a place on a drive in its plain form: drive-absolute, every level
// below the drive safe (runs of separators and a trailing one allowed), and short enough for
// the system with room for its NUL. A drive's root ("C:\") is one.
bool IsPlainPath(const char* path);

// True when path names a place an installation could have written: a plain path below the
// drive's root. So no UNC, "\\?\" or "\\.\" form, no further colon, no "." or "..".
bool IsRecordablePath(const char* path);

// True when a and b name the same path by their text: letter case ignored as UpperAscii does
// (framework/StringUtil.h), '\' and '/' alike, a run of separators read as one. This is how
// the installer and its tools compare two paths (a final path with the one opened, folders
// measured, created or skipped); names inside an archive are compared as Windows file systems
// do (CompareNames), and a record's lists keep the texts' rule (CompareNoCase).
bool SamePath(const char* a, const char* b);

// Cuts a path text (a folder's, with or without its trailing separator, or a file's) to the
// folder above it, keeping that folder's separator; false, changing nothing, when it has none.
bool CutToParent(String* path);

}  // namespace VLN2
