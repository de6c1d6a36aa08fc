#include "system/FileSystemIteratorImp.h"

#include "framework/CatchAll.h"
#include "framework/ElementRef.h"
#include "system/port/Port.h"

namespace VLN2 {

int FileSystemIteratorImp::Init() {
  util_ = static_cast<StringUtil*>(core_->CreateElement(kStringUtilType, 0));
  return util_ ? 0 : 1;
}

int FileSystemIteratorImp::Destroy() {
  ReleaseElement(root_);
  ReleaseElement(util_);
  delete this;
  return 0;
}

int FileSystemIteratorImp::SetRoot(const char* text) {
  if (!text) {
    ReleaseElement(root_);
    return 0;
  }
  if (!root_) {
    root_ = static_cast<String*>(core_->CreateElement(kStringType, 0));
    if (!root_) return 0;
    root_->AddRef();
  }
  root_->SetText(text);
  return 0;
}

int FileSystemIteratorImp::SetMaxDepth(int depth) {
  maxDepth_ = depth;
  return 0;
}

int FileSystemIteratorImp::SetFolderLevel(int level) {
  folderLevel_ = level;
  return 0;
}

int FileSystemIteratorImp::SetFileCallback(WalkCallback callback) {
  fileCallback_ = callback;
  return 0;
}

int FileSystemIteratorImp::SetFolderCallback(WalkCallback callback) {
  folderCallback_ = callback;
  return 0;
}

int FileSystemIteratorImp::Walk(void* context) {
  const char* root = GetRoot();
  // Without a root there is nothing to walk; never fall back to the current folder.
  if (!root || !*root) return 1;
  ElementRef<String> folder = ElementRef<String>::Create(kStringType);
  if (!folder || folder->SetText(root) != 0) return 1;
  // A root without its closing separator would also match its neighbours ("C:\tmp*.*").
  char end = root[util_->Length(root) - 1];
  if (end != '\\' && end != '/' && folder->Append("\\") != 0) return 1;
  int budget = maxDepth_;
  return Visit(folder->GetText(), &budget, context);
}

int FileSystemIteratorImp::Visit(const char* folder, int* budget, void* context) {
  ElementRef<String> path = ElementRef<String>::Create(kStringType);
  if (!path || path->SetText(folder) != 0 || path->Append("*.*") != 0) return 1;
  Port::FindData entry;
  Port::FindHandle search = Port::FindFirst(path->GetText(), &entry);
  // A missing, empty or unreadable folder counts as empty.
  if (!search) return 0;
  int result = 0;
  do {
    if (util_->Equals(entry.name, ".") == 0 || util_->Equals(entry.name, "..") == 0) continue;
    WalkCallback callback = fileCallback_;
    if (entry.isDirectory) {
      if (*budget > 0) {
        --*budget;
        // A link or junction is never entered: it may lead out of the tree.
        if (result == 0 && !entry.isLink) {
          if (path->SetText(folder) != 0 || path->Append(entry.name) != 0 ||
              path->Append("\\") != 0) {
            result = 1;
          } else if (Visit(path->GetText(), budget, context) == 1) {
            Port::FindClose(search);
            return 1;
          }
        }
        ++*budget;
      }
      callback = folderLevel_ == -1 || folderLevel_ == *budget ? folderCallback_ : nullptr;
    }
    if (!callback || result != 0) continue;
    if (path->SetText(folder) != 0 || path->Append(entry.name) != 0) {
      // No further callbacks at this level; the listing still runs to its end.
      result = 1;
      continue;
    }
    VLN2_TRY { result = callback(path->GetText(), context); }
    VLN2_CATCH_ALL {
      Port::FindClose(search);
      return 1;
    }
    if (result != 0) break;
  } while (Port::FindNext(search, &entry));
  Port::FindClose(search);
  return result;
}

}  // namespace VLN2
