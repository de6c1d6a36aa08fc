// Rules for the texts that name installation folders: how a registry value names a program
// file, and how long a folder may be. Pure text, the same on every platform.
#pragma once

#include <cstddef>

namespace VLN2 {

// The longest folder text, its NUL included, that the form's fields and the platform's path
// buffers hold.
constexpr int kFolderFieldSize = 260;

// The program file named by a registry value of an automation server (LocalServer,
// LocalServer32): a leading quoted path without its quotes and without what follows the
// closing quote (an unclosed quote runs to the end); an unquoted value as it stands.
// Returns where the path starts in value; *length: its bytes.
const char* ProgramFileOf(const char* value, std::size_t* length);

// True when the folder, with the backslash the form appends to a folder that lacks a
// separator and with its NUL, fits kFolderFieldSize bytes. A folder that does not fit is
// refused whole, never cut into the name of another one.
bool FolderFits(const char* folder);

}  // namespace VLN2
