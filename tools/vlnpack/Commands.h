// vlnpack's commands, one file each. Each returns the exit status and has said what went
// wrong; the paths are the command line's own.
#pragma once

#include "archive/Packer.h"

namespace VLN2::Vlnpack {

int CreateArchive(const char* givenArchive, const char* givenFolder, Packing packing);
int ListArchive(const char* given, bool details);
int TestArchive(const char* given);
// prefix: null for every entry.
int ExtractArchive(const char* givenArchive, const char* givenFolder, const char* prefix);

}  // namespace VLN2::Vlnpack
