#include "tools/vlnpack/ArchiveReading.h"

#include <new>

#include "archive/EntryName.h"
#include "archive/Stream.h"
#include "framework/ElementContainer.h"
#include "tools/vlnpack/Files.h"
#include "tools/vlnpack/NativePath.h"
#include "tools/vlnpack/Report.h"

namespace VLN2::Vlnpack {
namespace {

std::vector<ArchiveEntry*> EntriesOf(Archive* archive) {
  std::vector<ArchiveEntry*> entries;
  Iterator* it = archive->GetEntries();
  if (!it) return entries;
  for (it->First(); !it->IsDone(); it->Next())
    entries.push_back(static_cast<ArchiveEntry*>(static_cast<Element*>(it->Current())));
  archive->ReleaseEntries(&it);
  return entries;
}

}  // namespace

int OpenForReading(const char* given, const std::string& path, OpenedArchive* opened) {
  PathKind kind = KindOf(path);
  if (kind != PathKind::kFile) {
    Message("%s: %s", given,
            kind == PathKind::kFolder ? "is a folder, not an archive" : "no such file");
    return kExitFailure;
  }
  opened->archive = ElementRef<Archive>::Create(kArchiveType);
  opened->reader = CastTo<ArchiveReader>(opened->archive.get());
  if (!opened->reader) {
    Message("%s: out of memory", given);
    return kExitFailure;
  }
  opened->file = OpenFileStream(path.c_str(), kModeRead, 0, kAccessSequential);
  // Counted, so that the archive's reference is a second one.
  if (opened->file) opened->file->AddRef();
  if (!opened->file || CastTo<Stream>(opened->file.get())->GetSize(&opened->fileSize) != 0) {
    Message("%s: cannot be opened", given);
    return kExitFailure;
  }
  if (opened->reader->OpenArchiveFile(opened->file.get()) != 0) {
    Message("%s: not a valid archive (bad header, or a directory that runs past the end)", given);
    return kExitFailure;
  }
  opened->entries = EntriesOf(opened->archive.get());
  return kExitOk;
}

BlockForm FormOf(const OpenedArchive& opened, ArchiveEntry* entry) {
  BlockForm form;
  form.known = opened.reader->GetEntryForm(entry, &form.unpacked, &form.packed) == 0;
  return form;
}

ElementRef<CompressStream> Decode(const OpenedArchive& opened, ArchiveEntry* entry,
                                  const char** why) {
  std::uint64_t end = static_cast<std::uint64_t>(entry->GetBlockOffset()) + entry->GetBlockSize();
  if (end > opened.fileSize) {
    *why = "block runs past the end of the file";
    return {};
  }
  BlockForm form = FormOf(opened, entry);
  if (!form.known) {
    *why = "unknown block form";
    return {};
  }
  ElementRef<CompressStream> data(opened.reader->DecodeEntry(entry));
  std::uint32_t size = 0;
  if (!data || CastTo<Stream>(data.get())->GetSize(&size) != 0) {
    *why = "damaged block (does not decode)";
    return {};
  }
  if (size != form.unpacked) {
    *why = "damaged block (unpacked length differs from the stored one)";
    return {};
  }
  return data;
}

std::vector<std::string> NameProblems(const std::vector<ArchiveEntry*>& entries) {
  std::vector<std::string> problems(entries.size());
  NameSet taken;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const char* name = entries[i]->GetEntryName();
    const char* earlier = nullptr;
    NameSet::Result result = taken.Take(name ? name : "", &earlier);
    if (result == NameSet::kNoMemory) throw std::bad_alloc();
    if (name && !IsUtf8Name(name))
      problems[i] = "a name that is not UTF-8";
    else if (result == NameSet::kCollides)
      problems[i] = "a name that Windows takes for the earlier \"" + Printable(earlier) + "\"";
  }
  return problems;
}

}  // namespace VLN2::Vlnpack
