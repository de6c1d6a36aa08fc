// The pure-text rules for paths: entry names that may become paths on disk (shared by
// extraction and by the tools that build archives, so that nothing is packed that would be
// refused), record paths that the replay may act on, and the comparison of two paths.
#pragma once

namespace VLN2 {

// True when name is a plain relative path that stays below the folder it is extracted
// into and means the same file on Windows as elsewhere: not empty, not rooted, no drive
// or colon, no empty, "." or ".." level, no control character or wildcard, no level that
// Windows treats as a device (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, CONIN$, CONOUT$,
// with or without an extension, any case) or trims (a trailing dot or blank). Levels are separated
// by a backslash or a slash.
bool IsSafeEntryName(const char* name);

// True when name is well-formed UTF-8 (no stray or overlong byte, no surrogate).
bool IsUtf8Name(const char* name);

// Orders names the way Windows file systems tell them apart: character by character after
// the Unicode simple upper-case mapping of the Basic Multilingual Plane (their case table;
// not only ASCII: "\xC3\xA4" and "\xC3\x84" are one name), slash and backslash alike. A byte
// that is not UTF-8 stands for itself. Negative, zero or positive like strcmp; two names
// collide when the result is 0.
int CompareNames(const char* a, const char* b);

// True when path begins with a drive letter, a colon and a separator ("C:\").
bool IsDriveAbsolute(const char* path);

// True when path names a place an installation could have written: drive-absolute, and
// below the drive only levels that are safe as entry names (see above); a folder's
// trailing separator and runs of separators, which Windows reads as one, are allowed.
// So no UNC, "\\?\" or "\\.\" form, no further colon, no "." or "..".
bool IsRecordablePath(const char* path);

// True when a and b name the same path by their text: ASCII letter case ignored, '\' and
// '/' alike, a run of separators read as one.
bool SamePath(const char* a, const char* b);

}  // namespace VLN2
