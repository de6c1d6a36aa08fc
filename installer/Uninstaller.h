// Uninstaller: the installation record in memory: the installed files and the folders
// that hold them. Each operation returns 0 on success and 1 on failure.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

class Uninstaller : public Element {
 public:
  // Appends the path unless an equal one (case ignored) is listed.
  virtual int AddFileEntry(const char* path) = 0;
  // Appends the folder of the file path (trailing separator kept) unless listed.
  virtual int AddFolderEntry(const char* path) = 0;
  // Replaces both lists by a record file's contents.
  virtual int Load(const char* path) = 0;
  // Writes both lists to a record file.
  virtual int Save(const char* path) = 0;
  // Deletes every listed file, removes every listed folder that is empty, empties both.
  // 1 also when a listed file is left in place.
  virtual int Uninstall() = 0;
};

}  // namespace VLN2
