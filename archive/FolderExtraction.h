// The rules every extraction of an archive's entries into one folder keeps, stated once for
// the Archive's ExtractFolder and for the tools that write the files in their own way: a name
// that would leave the folder or mean another file on Windows is refused, a name Windows takes
// for one extracted before fails, and every folder on the way is made and must be real (no
// link) below the folder's real place. The caller writes each file through no link either
// (OpenRealFile, or a BinaryStream with kOptionNoLinks).
#pragma once

#include "archive/EntryName.h"
#include "framework/ElementRef.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "system/FileFunc.h"

namespace VLN2 {

class ArchiveEntry;

class FolderExtraction {
 public:
  enum Placement { kPlaced, kLeftOut, kUnsafeName, kTakenName, kFolderRefused, kNoMemory };

  // Extraction into folder (drive-absolute, ending in a separator) of the entries whose names
  // begin with prefix (case ignored; null: all; kept by the caller). 0 when the folder's real
  // place is found; Place only after that.
  int Begin(const char* folder, const char* prefix);
  // What becomes of entry. *name is its name below the prefix (null without one). kPlaced:
  // path holds its file's path, its folders made; kFolderRefused: path holds that path too;
  // kLeftOut: its name lies outside the prefix.
  Placement Place(ArchiveEntry* entry, const char** name, String* path);

 private:
  ElementRef<StringUtil> util_;
  ElementRef<String> folder_;
  const char* prefix_ = nullptr;
  // Entries come folder by folder: each level found real is checked once.
  KnownFolder known_;
  NameSet taken_;
};

}  // namespace VLN2
