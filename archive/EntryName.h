// The one rule for entry names that may become paths on disk, shared by extraction and
// by the tools that build archives, so that nothing is packed that would be refused.
#pragma once

namespace VLN2 {

// True when name is a plain relative path that stays below the folder it is extracted
// into and means the same file on Windows as elsewhere: not empty, not rooted, no drive
// or colon, no empty, "." or ".." level, no control character or wildcard, no level that
// Windows treats as a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without
// an extension, any case) or trims (a trailing dot or blank). Levels are separated by a
// backslash or a slash.
bool IsSafeEntryName(const char* name);

}  // namespace VLN2
