#include "installer/InstallPlan.h"

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/EntryName.h"
#include "framework/Allocator.h"
#include "framework/ElementContainer.h"
#include "framework/PathRules.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "installer/Uninstaller.h"
#include "system/Log.h"

namespace VLN2 {

InstallPlan::InstallPlan(Core* core) : core_(core) {}

InstallPlan::~InstallPlan() {
  for (int n = 0; n < count_; ++n) Free(destinations_[n].files);
}

const char* InstallPlan::GetTargetPath(int index) const {
  if (index < 0 || index >= kTargetCount || !folders_[index]) return nullptr;
  return folders_[index]->GetText();
}

int InstallPlan::SetTargetPath(int index, const char* text) {
  if (index < 0 || index >= kTargetCount) return 1;
  ElementRef<String> folder = ElementRef<String>::Create(kStringType);
  if (!folder || folder->SetText(text) != 0) return 1;
  int length = folder->GetLength();
  if (length > 1 && !IsSeparator(folder->GetText()[length - 1]) && folder->Append("\\") != 0)
    return 1;
  folders_[index] = std::move(folder);
  return 0;
}

bool InstallPlan::IsTargetSelected(int index) const {
  return index >= 0 && index < kTargetCount && selected_[index];
}

void InstallPlan::SetTargetSelected(int index, bool on) {
  if (index >= 0 && index < kTargetCount) selected_[index] = on;
}

bool InstallPlan::IsAnySelected() const {
  for (bool on : selected_)
    if (on) return true;
  return false;
}

void InstallPlan::SetPrevious(Uninstaller* previous) {
  if (previous) previous->AddRef();
  previous_.reset(previous);
}

int InstallPlan::PlanFiles(Archive* archive, const char* toolbox) {
  if (archive) archive->AddRef();
  archive_.reset(archive);
  if (!IsAnySelected() || !toolbox) return 0;
  if (PlanDestination(archive, kSharedFiles, toolbox, kSharedFolder) != 0) return 1;
  for (int index = 0; index < kTargetCount; ++index) {
    const char* folder = GetTargetPath(index);
    // A target without a folder fails without touching anything.
    if (!selected_[index] || !folder || !*folder) continue;
    if (PlanDestination(archive, index, folder, FindTarget(index)->archiveFolder) != 0) return 1;
  }
  return 0;
}

int InstallPlan::PlanDestination(Archive* archive, int index, const char* folder,
                                 const char* prefix) {
  if (count_ == kTargetCount + 1) return 1;
  ElementRef<StringUtil> util = ElementRef<StringUtil>::Create(kStringUtilType);
  Iterator* it = archive ? archive->GetEntries() : nullptr;
  Destination& destination = destinations_[count_];
  destination = {index, folder, nullptr, 0, false};
  int capacity = it ? it->GetCount() : 0;
  destination.files = static_cast<File*>(Allocate(sizeof(File) * (capacity > 0 ? capacity : 1)));
  int result = util && it && destination.files ? 0 : 1;
  NameSet taken;
  for (it&& result == 0 ? it->First() : void(); it && result == 0 && !it->IsDone(); it->Next()) {
    auto* entry = static_cast<ArchiveEntry*>(it->Current());
    const char* name = entry ? entry->GetEntryName() : nullptr;
    // Extraction writes no file of a name that would leave the folder or mean something else
    // on Windows, nor a second file of one name.
    if (!name || util->SkipPrefix(&name, prefix) != 0) continue;
    if (!IsSafeEntryName(name)) {
      LogEvent("file refused", name, "the archive names a place outside the folder");
      destination.refused = true;
    } else if (taken.Take(name) != NameSet::kTaken) {
      LogEvent("file refused", name, "Windows takes it for a file already planned");
      destination.refused = true;
    } else {
      destination.files[destination.count++] = {entry, name};
    }
  }
  if (it) archive->ReleaseEntries(&it);
  ++count_;  // its files are freed with the plan, whatever happened
  return result;
}

const InstallPlan::Destination* InstallPlan::FindDestination(int index) const {
  for (int n = 0; n < count_; ++n)
    if (destinations_[n].index == index) return &destinations_[n];
  return nullptr;
}

}  // namespace VLN2
