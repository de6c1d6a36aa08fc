// test: decodes every entry, names each damaged one and each bad name, and ends with the
// archive's size and CRC-32, which the installer build records beside the payload.
#include <zlib.h>

#include <cstdio>

#include "archive/EntryName.h"
#include "archive/Stream.h"
#include "tools/vlnpack/ArchiveReading.h"
#include "tools/vlnpack/Commands.h"
#include "tools/vlnpack/Files.h"
#include "tools/vlnpack/NativePath.h"
#include "tools/vlnpack/Report.h"

namespace VLN2::Vlnpack {
namespace {

// The number of entries that are damaged or badly named, each named in a message.
std::size_t CountBadEntries(const char* given, const OpenedArchive& opened) {
  std::size_t bad = 0;
  std::vector<std::string> problems = NameProblems(opened.entries);
  Progress progress("testing", opened.entries.size());
  for (std::size_t i = 0; i < opened.entries.size(); ++i) {
    ArchiveEntry* entry = opened.entries[i];
    std::string name = Printable(entry->GetEntryName());
    progress.Step(i, name);
    const char* why = nullptr;
    if (!IsSafeEntryName(entry->GetEntryName())) {
      why = "a name that extraction refuses";
    } else if (!problems[i].empty()) {
      why = problems[i].c_str();
    } else {
      auto data = Decode(opened, entry, &why);
      if (data) why = nullptr;
    }
    if (why) {
      progress.Clear();
      Message("%s: entry \"%s\": %s", given, name.c_str(), why);
      ++bad;
    }
  }
  return bad;
}

// The whole file's CRC-32, as the installer checks its staged copy; false when it cannot be
// read again.
bool FileCrc(const OpenedArchive& opened, unsigned long* crc) {
  Stream* file = CastTo<Stream>(opened.file.get());
  std::vector<unsigned char> piece(kChunk);
  *crc = crc32(0, Z_NULL, 0);
  std::uint32_t left = opened.fileSize;
  if (file->SetPosition(0) != 0) return false;
  while (left > 0) {
    std::uint32_t n = left < kChunk ? left : kChunk;
    if (static_cast<std::uint32_t>(file->ReadData(piece.data(), n)) != n) return false;
    *crc = crc32(*crc, piece.data(), n);
    left -= n;
  }
  return true;
}

}  // namespace

int TestArchive(const char* given) {
  std::string path;
  OpenedArchive opened;
  if (!ResolveFile(given, &path)) return kExitFailure;
  int result = OpenForReading(given, path, &opened);
  if (result != kExitOk) return result;
  std::size_t bad = CountBadEntries(given, opened);
  if (bad) {
    Message("%s: %zu of %zu entries are damaged", given, bad, opened.entries.size());
    return kExitFailure;
  }
  unsigned long crc = 0;
  if (!FileCrc(opened, &crc)) {
    Message("%s: the file could not be read again", given);
    return kExitFailure;
  }
  std::printf("size %u crc32 %08lx\n", opened.fileSize, crc);
  return FinishOutput(given, "the result");
}

}  // namespace VLN2::Vlnpack
