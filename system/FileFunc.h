// File and folder operations: 0 means success or yes, 1 failure or no. Each exists as a
// free function and as an operation of the FileFunc element, which forwards to it.
#pragma once

#include "framework/VLN2.h"
#include "system/port/Port.h"

namespace VLN2 {

// 0 when the folder part of the path exists or the path has none.
int FolderOfPathExists(const char* path);
// Creates every missing folder of the path's folder part; 0 when the deepest exists.
int CreateFolders(const char* path);

// The deepest folder that a series of CheckRealFolders calls last found real. Extraction
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
// Removes an empty folder.
int RemoveFolder(const char* path);
// 0 when a file or folder of that name (wildcards allowed) exists.
int PathExists(const char* path);
// What a path names: nothing, a plain file, or anything else (a folder, a link).
enum class PathKind { kNothing, kFile, kOther };
PathKind KindOfPath(const char* path);
// 0 when the copy was written completely.
int CopyFileContents(const char* source, const char* destination);
int RemoveFile(const char* path);
int RenameFile(const char* oldPath, const char* newPath);

// ---- Links. A folder an installation creates or passes through, and a file it writes or
// deletes, must never be a symbolic link, junction or other reparse point: an ordinary
// user could plant one in a folder the elevated installer writes to.
class String;
// Each level of the path's folder part below the drive must be a real folder: with create,
// a missing one is made and checked again afterwards, so a link planted meanwhile is seen.
// *known (may be null) holds the folder part checked last and is updated: the levels a path
// shares with it are not checked again, so a run checks each folder once. 0 when every
// level is a real folder.
int CheckRealFolders(const char* path, bool create, KnownFolder* known);
// Deletes a file reached through no link and named by no link: every folder below the
// drive real, the file opened without following a link, its final path confirmed equal to
// path, and deleted by that handle. 0 when deleted.
int RemoveRealFile(const char* path);
// Opens (creating when absent) a file reached through no link: opened without following a
// link at its name, its final path confirmed equal to path. A file that has other names
// (hard links) would change under them too: that name is deleted by its handle (the others
// keep the contents) and the file made anew. A file this opening made but found elsewhere (a
// folder on its way swapped for a link) is deleted through its handle. Null when refused.
Port::FileHandle OpenRealFile(const char* path, int access, bool sequential);
// Removes a folder an installation could have made when it is empty and real: reached
// through no link, and no link itself. 0 when it is gone.
int RemoveEmptyRealFolder(const char* folder);
// Puts size bytes in the file at path in one step: they are written whole and flushed under
// path + ".saving" (made new through no link; a plain file of that name left by an earlier
// run goes first, anything else refuses), which then takes the place of path. Path is the
// old file or the new one, whole, whatever happens. 0 when the new one is in place.
int WriteWholeFile(const char* path, const void* bytes, std::uint32_t size);
// What WriteWholeFile adds to the name of the file it writes first.
constexpr const char* kSavingSuffix = ".saving";
// The real place of a drive-absolute folder (ending in a separator): the final path of its
// deepest existing level followed by the rest of it; the folder's own text when both name
// the same place, or when it has no final path. 0 when *real holds it.
int RealFolderPath(const char* folder, String* real);

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
