#include "archive/FolderExtraction.h"

#include "archive/ArchiveEntry.h"

namespace VLN2 {

int FolderExtraction::Begin(const char* folder, const char* prefix) {
  util_ = ElementRef<StringUtil>::Create(kStringUtilType);
  folder_ = ElementRef<String>::Create(kStringType);
  prefix_ = prefix;
  // The folder's real place (it may itself be a link, the user's choice): every file's final
  // path must equal it followed by the entry's name, so a link planted anywhere shows.
  return util_ && folder_ && RealFolderPath(folder, folder_.get()) == 0 ? 0 : 1;
}

FolderExtraction::Placement FolderExtraction::Place(ArchiveEntry* entry, const char** name,
                                                    String* path) {
  const char* rest = entry ? entry->GetEntryName() : nullptr;
  *name = rest;
  if (prefix_ && (!rest || util_->SkipPrefix(&rest, prefix_) != 0)) return kLeftOut;
  *name = rest;
  // Refused before anything is created for it.
  if (!IsSafeEntryName(rest)) return kUnsafeName;
  NameSet::Result taken = taken_.Take(rest);
  if (taken != NameSet::kTaken) return taken == NameSet::kCollides ? kTakenName : kNoMemory;
  if (path->SetText(folder_->GetText()) != 0 || path->Append(rest) != 0) return kNoMemory;
  return CheckRealFolders(path->GetText(), true, &known_) == 0 ? kPlaced : kFolderRefused;
}

}  // namespace VLN2
