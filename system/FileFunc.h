// File and folder operations: 0 means success or yes, 1 failure or no. Each exists as a
// free function and as an operation of the FileFunc element, which forwards to it.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

// 0 when the folder part of the path exists or the path has none.
int FolderOfPathExists(const char* path);
// Creates every missing folder of the path's folder part; 0 when the deepest exists.
int CreateFolders(const char* path);

// The deepest folder that a series of CreateFolders calls last found or made. Extraction
// passes one along its entries, which come folder by folder: a path in that folder or above
// it costs no system call, and a path below it asks only for the levels beyond.
class KnownFolder {
 public:
  KnownFolder() = default;
  KnownFolder(const KnownFolder&) = delete;
  KnownFolder& operator=(const KnownFolder&) = delete;
  ~KnownFolder();

  // How many leading characters of folder (length characters, ending in a separator) name
  // levels known to exist: up to and including a separator, or 0.
  int KnownLength(const char* folder, int length) const;
  // Remembers folder as existing; without memory nothing is known.
  void Remember(const char* folder, int length);

 private:
  char* text_ = nullptr;
  int length_ = 0;
};
// CreateFolders, skipping the levels known exist and remembering the deepest one.
int CreateFolders(const char* path, KnownFolder* known);
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
