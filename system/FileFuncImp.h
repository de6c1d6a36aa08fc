// The FileFunc element: each operation forwards to the free function of the same name.
#pragma once

#include "framework/ElementImp.h"
#include "system/FileFunc.h"

namespace VLN2 {

class FileFuncImp : public ElementImp<FileFunc> {
 public:
  explicit FileFuncImp(Core* core) : ElementImp(core, kFileFuncType) {}

  // The creation parameter is ignored.
  int SetParameter(int) override { return 0; }

  int FolderOfPathExists(const char* path) override { return VLN2::FolderOfPathExists(path); }
  int CreateFolders(const char* path) override { return VLN2::CreateFolders(path); }
  int RemoveFolder(const char* path) override { return VLN2::RemoveFolder(path); }
  int PathExists(const char* path) override { return VLN2::PathExists(path); }
  int CopyFileContents(const char* source, const char* destination) override {
    return VLN2::CopyFileContents(source, destination);
  }
  int RemoveFile(const char* path) override { return VLN2::RemoveFile(path); }
  int RenameFile(const char* oldPath, const char* newPath) override {
    return VLN2::RenameFile(oldPath, newPath);
  }
};

}  // namespace VLN2
