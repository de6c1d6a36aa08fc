// FileSystemIterator: walks a folder tree depth first and calls back for every file and,
// optionally, for every folder (after its contents).
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

// path: the full path (no trailing backslash), valid during the call. 0 goes on; 1 stops
// the whole walk; another value ends the listing of the current folder.
using WalkCallback = int (*)(const char* path, void* context);

class FileSystemIterator : public Element {
 public:
  virtual const char* GetRoot() = 0;
  // The folder to walk, ending in a backslash; null forgets it. 0.
  virtual int SetRoot(const char* text) = 0;
  virtual int GetMaxDepth() = 0;
  virtual int SetMaxDepth(int depth) = 0;
  // -1 reports every folder; otherwise only those whose remaining depth equals it.
  virtual int GetFolderLevel() = 0;
  virtual int SetFolderLevel(int level) = 0;
  virtual WalkCallback GetFileCallback() = 0;
  virtual int SetFileCallback(WalkCallback callback) = 0;
  virtual WalkCallback GetFolderCallback() = 0;
  virtual int SetFolderCallback(WalkCallback callback) = 0;
  // 0 when the whole tree was walked, else the value that stopped it.
  virtual int Walk(void* context) = 0;
};

}  // namespace VLN2
