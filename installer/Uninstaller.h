// Uninstaller: the installation record in memory: the installed files and the folders
// that hold them. Each operation returns 0 on success and 1 on failure.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

// The installation record's file name in the toolbox folder.
constexpr const char* kRecordName = "Uninstall.info";
// Appended to the record's name for the file Save writes before it takes the record's place.
constexpr const char* kRecordSavingSuffix = ".saving";

class Uninstaller : public Element {
 public:
  // Appends the path unless an equal one (case ignored) is listed.
  virtual int AddFileEntry(const char* path) = 0;
  // Appends the folder of the file path (trailing separator kept) unless listed.
  virtual int AddFolderEntry(const char* path) = 0;
  // Replaces both lists by a record file's contents.
  virtual int Load(const char* path) = 0;
  // Writes both lists to path + kRecordSavingSuffix, then puts that file in the place of
  // path in one step: the record at path is either the old one or the new one, whole.
  virtual int Save(const char* path) = 0;
  // Deletes every listed file but the one KeepFile named, removes every listed folder that
  // is empty, empties both lists. 1 also when a listed file is left in place.
  virtual int Uninstall() = 0;
  // Names a file that Uninstall leaves in place even when it is listed (null: none): the
  // record that Save is to replace.
  virtual int KeepFile(const char* path) = 0;
  // Calls visit with each listed file in order; stops at the first non-zero result and
  // returns it, else 0.
  virtual int VisitFiles(int (*visit)(const char* path, void* context), void* context) = 0;
};

}  // namespace VLN2
