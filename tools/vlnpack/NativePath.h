// Paths on the command line are the platform's own; the library takes the port's Windows
// grammar. On POSIX /x/y becomes Z:\x\y.
#pragma once

#include <string>

namespace VLN2::Vlnpack {

// The port's absolute path of a file named on the command line; false, with a message, when
// it names none.
bool ResolveFile(const char* given, std::string* path);
// The same for a folder; its path ends in a separator.
bool ResolveFolder(const char* given, std::string* path);

enum class PathKind { kMissing, kFolder, kFile };
PathKind KindOf(const std::string& path);

}  // namespace VLN2::Vlnpack
