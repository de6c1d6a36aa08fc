// An archive opened by list, test or extract: one file, read through the Archive alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/BinaryStream.h"
#include "archive/CompressStream.h"
#include "framework/ElementRef.h"

namespace VLN2::Vlnpack {

struct OpenedArchive {
  ElementRef<BinaryStream> file;
  ElementRef<Archive> archive;
  ArchiveReader* reader = nullptr;
  std::uint32_t fileSize = 0;
  std::vector<ArchiveEntry*> entries;  // the archive's, in directory order
};

// Opens the archive at path (the port's path of given) and reads its directory; kExitOk, or
// kExitFailure after a message.
int OpenForReading(const char* given, const std::string& path, OpenedArchive* opened);

// An entry's block as the archive reads its head: known is false when the head names neither
// form or the block does not lie inside the file.
struct BlockForm {
  bool known = false;
  bool packed = false;
  std::uint32_t unpacked = 0;
};
BlockForm FormOf(const OpenedArchive& opened, ArchiveEntry* entry);

// The entry's data decoded whole into a memory stream; null and the reason when its block is
// damaged.
ElementRef<CompressStream> Decode(const OpenedArchive& opened, ArchiveEntry* entry,
                                  const char** why);

// What is wrong with the names of an archive made elsewhere, for each entry (empty: nothing):
// not UTF-8, or taken by Windows for an earlier one.
std::vector<std::string> NameProblems(const std::vector<ArchiveEntry*>& entries);

}  // namespace VLN2::Vlnpack
