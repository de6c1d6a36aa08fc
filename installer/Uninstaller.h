// Uninstaller: the installation record in memory: the installed files and the folders
// that hold them. Each operation returns 0 on success and 1 on failure.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

// The installation record's file name in the toolbox folder.
constexpr const char* kRecordName = "Uninstall.info";

// How the last Load found the record file.
enum class RecordState {
  kWhole,     // read to its end
  kMissing,   // no record file could be read
  kCutShort,  // read as far as it goes: it ends early, or a text in it is damaged
  kNewer,     // written by a newer Setup (a header above 0): nothing was read
};

// Removes the record's folder and the folder above it (the toolbox and product folders), each
// when it is empty, and the empty folders below the product folder first.
void RemoveRecordFolders(const char* record);

class Uninstaller : public Element {
 public:
  // Appends the path unless an equal one (case ignored) is listed.
  virtual int AddFileEntry(const char* path) = 0;
  // Appends the folder of the file path (trailing separator kept) unless listed.
  virtual int AddFolderEntry(const char* path) = 0;
  // Replaces both lists by a record file's contents.
  virtual int Load(const char* path) = 0;
  // Writes both lists to path + kSavingSuffix, then puts that file in the place of
  // path in one step: the record at path is either the old one or the new one, whole.
  virtual int Save(const char* path) = 0;
  // Deletes every listed file but the ones KeepFile named and removes every listed folder that
  // is empty. The files that could not be deleted and the folders holding them stay listed,
  // so that the next replay tries again; the rest, the kept file too, leaves the lists. 1 when
  // a listed file is left in place.
  virtual int Uninstall() = 0;
  // Adds a file that Uninstall leaves in place even when it is listed (null: none any more):
  // the record that Save is to replace, and the running program's own file. 1 when memory runs
  // out or two are named already.
  virtual int KeepFile(const char* path) = 0;
  // Calls visit with each listed file in order; stops at the first non-zero result and
  // returns it, else 0.
  virtual int VisitFiles(int (*visit)(const char* path, void* context), void* context) = 0;
  // The same with each listed folder.
  virtual int VisitFolders(int (*visit)(const char* path, void* context), void* context) = 0;
  virtual RecordState GetRecordState() = 0;
  // Saves the lists to path as Save does, path itself listed (appended when it is not); but
  // when they name no file other than path, nothing is installed any more: the record at path
  // is deleted, and then its folder and the folder above it (the toolbox and product
  // folders), each when it is left empty. 0 when done.
  virtual int SaveOrDelete(const char* path) = 0;
};

}  // namespace VLN2
