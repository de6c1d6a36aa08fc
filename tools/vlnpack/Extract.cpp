// extract: writes the entries (those below a prefix, which is left out) into a folder, by the
// archive's rules of extraction, decoding on this thread and writing on another.
#include <new>

#include "archive/FolderExtraction.h"
#include "framework/ElementRef.h"
#include "framework/String.h"
#include "system/FileFunc.h"
#include "tools/vlnpack/ArchiveReading.h"
#include "tools/vlnpack/Commands.h"
#include "tools/vlnpack/EntryWriter.h"
#include "tools/vlnpack/NativePath.h"
#include "tools/vlnpack/Report.h"

namespace VLN2::Vlnpack {
namespace {

struct Failure {
  std::string name;  // empty while nothing failed
  const char* why = nullptr;
};

const char* Refusal(FolderExtraction::Placement placed) {
  switch (placed) {
    case FolderExtraction::kUnsafeName:
      return "a name that could leave the folder or names a device";
    case FolderExtraction::kTakenName:
      return "a name that Windows takes for an entry already extracted";
    case FolderExtraction::kFolderRefused:
      return "its folder cannot be created, or is a link";
    default:
      return "out of memory";
  }
}

// Places, decodes and hands to the writer each entry in turn, until one fails.
void WriteEntries(const OpenedArchive& opened, FolderExtraction* extraction, Failure* failure) {
  auto target = ElementRef<String>::Create(kStringType);
  if (!target) throw std::bad_alloc();
  Progress progress("extracting", opened.entries.size());
  EntryWriter writer;
  auto releaseDone = [&] {
    for (CompressStream* done : writer.TakeDone()) ReleaseElement(done);
  };
  for (std::size_t i = 0; i < opened.entries.size() && failure->name.empty(); ++i) {
    ArchiveEntry* entry = opened.entries[i];
    releaseDone();
    if (writer.Failed(&failure->name, &failure->why)) break;
    const char* rest = nullptr;
    FolderExtraction::Placement placed = extraction->Place(entry, &rest, target.get());
    if (placed == FolderExtraction::kLeftOut) continue;
    std::string name = Printable(entry->GetEntryName());
    progress.Step(i, name);
    if (placed != FolderExtraction::kPlaced) {
      failure->name = name;
      failure->why = Refusal(placed);
      break;
    }
    // Decoding holds the packed and the unpacked bytes at once.
    std::uint64_t cost =
        entry->GetBlockSize() + static_cast<std::uint64_t>(FormOf(opened, entry).unpacked);
    writer.Reserve(cost);
    releaseDone();
    auto data = Decode(opened, entry, &failure->why);
    if (!data) {
      writer.Unreserve(cost);
      failure->name = name;
      break;
    }
    writer.Push({data.Detach(), target->GetText(), name, cost});
  }
  writer.Finish();
  releaseDone();
  if (failure->name.empty()) writer.Failed(&failure->name, &failure->why);
}

}  // namespace

int ExtractArchive(const char* givenArchive, const char* givenFolder, const char* prefix) {
  std::string path;
  std::string folder;
  if (!ResolveFile(givenArchive, &path) || !ResolveFolder(givenFolder, &folder))
    return kExitFailure;
  OpenedArchive opened;
  int result = OpenForReading(givenArchive, path, &opened);
  if (result != kExitOk) return result;
  if (KindOf(folder) == PathKind::kFile) {
    Message("%s: is a file, not a folder", givenFolder);
    return kExitFailure;
  }
  FolderExtraction extraction;
  if (CreateFolders(folder.c_str()) != 0 || extraction.Begin(folder.c_str(), prefix) != 0) {
    Message("%s: the folder cannot be created", givenFolder);
    return kExitFailure;
  }
  Failure failure;
  WriteEntries(opened, &extraction, &failure);
  if (!failure.name.empty()) {
    Message("%s: entry \"%s\": %s", givenArchive, failure.name.c_str(), failure.why);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace VLN2::Vlnpack
