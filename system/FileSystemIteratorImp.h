// The FileSystemIterator element: a depth-first walk of a folder tree with callbacks.
#pragma once

#include "framework/ElementImp.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "system/FileSystemIterator.h"

namespace VLN2 {

class FileSystemIteratorImp : public ElementImp<FileSystemIterator> {
 public:
  explicit FileSystemIteratorImp(Core* core) : ElementImp(core, kFileSystemIteratorType) {}

  int Init() override;
  int Destroy() override;

  const char* GetRoot() override { return root_ ? root_->GetText() : nullptr; }
  int SetRoot(const char* text) override;
  int GetMaxDepth() override { return maxDepth_; }
  int SetMaxDepth(int depth) override;
  int GetFolderLevel() override { return folderLevel_; }
  int SetFolderLevel(int level) override;
  WalkCallback GetFileCallback() override { return fileCallback_; }
  int SetFileCallback(WalkCallback callback) override;
  WalkCallback GetFolderCallback() override { return folderCallback_; }
  int SetFolderCallback(WalkCallback callback) override;
  int Walk(void* context) override;

 private:
  int Visit(const char* folder, int* budget, void* context);

  String* root_ = nullptr;
  StringUtil* util_ = nullptr;
  WalkCallback fileCallback_ = nullptr;
  WalkCallback folderCallback_ = nullptr;
  int maxDepth_ = 0x7FFFFFFF;
  int folderLevel_ = -1;
};

}  // namespace VLN2
