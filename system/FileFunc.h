// File and folder operations: 0 means success or yes, 1 failure or no. Each exists as a
// free function and as an operation of the FileFunc element, which forwards to it.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

// 0 when the folder part of the path exists or the path has none.
int FolderOfPathExists(const char* path);
// Creates every missing folder of the path's folder part; 0 when the deepest exists.
int CreateFolders(const char* path);
// Removes an empty folder.
int RemoveFolder(const char* path);
// 0 when a file or folder of that name (wildcards allowed) exists.
int PathExists(const char* path);
// 0 when the copy was written completely.
int CopyFileContents(const char* source, const char* destination);
int RemoveFile(const char* path);
int RenameFile(const char* oldPath, const char* newPath);

class FileFunc : public Element {
 public:
  virtual int FolderOfPathExists(const char* path) = 0;
  virtual int CreateFolders(const char* path) = 0;
  virtual int RemoveFolder(const char* path) = 0;
  virtual int PathExists(const char* path) = 0;
  virtual int CopyFileContents(const char* source, const char* destination) = 0;
  virtual int RemoveFile(const char* path) = 0;
  virtual int RenameFile(const char* oldPath, const char* newPath) = 0;
};

}  // namespace VLN2
