#include "system/FileFunc.h"

#include <cstring>

#include "archive/BinaryStream.h"
#include "archive/Stream.h"
#include "archive/StreamIO.h"
#include "framework/Allocator.h"
#include "framework/ElementRef.h"
#include "framework/FilePath.h"
#include "framework/PathRules.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "system/port/Port.h"

namespace VLN2 {

namespace {

// Length of the folder part of a path: drive and folder up to the last separator, or 0 when
// there is no colon before the last separator.
std::size_t FolderPartLength(const char* path) {
  const char* last = nullptr;
  for (const char* c = path; *c; ++c)
    if (IsSeparator(*c)) last = c;
  if (!last) return 0;
  for (const char* c = last; c > path;)
    if (*--c == ':') return static_cast<std::size_t>(last - path) + 1;
  return 0;
}

// The folder part of path as writable text held by a new FilePath in *folder, and its
// length; null when that failed. A part the FilePath could not keep (memory ran out) would
// silently give another folder, so the result must be exactly the path's own leading
// folder text.
char* FolderPart(ElementRef<FilePath>* folder, const char* path, int* length) {
  *folder = ElementRef<FilePath>::Create(kFilePathType);
  ElementRef<StringUtil> util = ElementRef<StringUtil>::Create(kStringUtilType);
  if (!*folder || !util || (*folder)->SetPath(path) != 0) return nullptr;
  (*folder)->SetFileName(nullptr);
  char* text = (*folder)->GetPath();
  if (!text) return nullptr;
  std::size_t expected = path ? FolderPartLength(path) : 0;
  if (std::strlen(text) != expected || std::strncmp(text, path ? path : "", expected) != 0)
    return nullptr;
  *length = util->Length(text);
  return text;
}

constexpr std::uint32_t kFinalPathSize = 1024;
constexpr std::size_t kLongestPath = 260;

enum class Level { kRealFolder, kMissing, kOther };

// What the level of path ending at length is: a real folder, missing, or anything else (a
// file, or a link wherever it points).
Level KindOfLevel(char* path, std::size_t length) {
  char kept = path[length];
  path[length] = 0;
  Port::FindData found;
  Port::FindHandle search = Port::FindFirst(path, &found);
  if (search) Port::FindClose(search);
  path[length] = kept;
  if (!search) return Level::kMissing;
  return found.isDirectory && !found.isLink ? Level::kRealFolder : Level::kOther;
}

// The open file is the one its path names, through no link.
bool IsAtItsPath(Port::FileHandle file, const char* path) {
  char final[kFinalPathSize];
  return Port::GetFinalPath(file, final, sizeof final) && SamePath(final, path);
}

}  // namespace

int PathExists(const char* path) {
  if (!path) return 1;
  Port::FindData found;
  Port::FindHandle search = Port::FindFirst(path, &found);
  if (!search) return 1;
  Port::FindClose(search);
  return 0;
}

PathKind KindOfPath(const char* path) {
  Port::FindData found;
  Port::FindHandle search = path ? Port::FindFirst(path, &found) : nullptr;
  if (!search) return PathKind::kNothing;
  Port::FindClose(search);
  return found.isDirectory || found.isLink ? PathKind::kOther : PathKind::kFile;
}

int FolderOfPathExists(const char* path) {
  ElementRef<FilePath> folder;
  int length = 0;
  char* text = FolderPart(&folder, path, &length);
  if (!text) return 1;
  if (length == 0) return 0;
  if (!IsSeparator(text[length - 1])) return 0;
  text[length - 1] = 0;
  return PathExists(text);
}

int CreateFolders(const char* path) {
  ElementRef<FilePath> folder;
  int length = 0;
  char* text = FolderPart(&folder, path, &length);
  if (!text) return 1;
  if (length == 0) return 0;
  // One level at a time from the top: the drive itself ("C:") simply fails to be created.
  // Below a folder made just now nothing can exist, so those levels are made without asking.
  bool made = false;
  for (int i = 0; i < length; ++i) {
    if (!IsSeparator(text[i])) continue;
    char separator = text[i];
    text[i] = 0;
    if (made || PathExists(text) == 1) made = Port::CreateDirectory(text);
    text[i] = separator;
  }
  // The folder part ends in a separator: test the deepest folder without it.
  text[length - 1] = 0;
  return PathExists(text);
}

KnownFolder::~KnownFolder() { Free(text_); }

int KnownFolder::KnownLength(const char* folder, int length) const {
  int known = 0;
  for (int i = 0; i < length && i < length_ && folder[i] == text_[i]; ++i)
    if (IsSeparator(folder[i])) known = i + 1;
  return known;
}

void KnownFolder::Remember(const char* folder, int length) {
  Free(text_);
  text_ = static_cast<char*>(Allocate(static_cast<std::size_t>(length)));
  length_ = text_ ? length : 0;
  if (text_) std::memcpy(text_, folder, static_cast<std::size_t>(length));
}

int CheckRealFolders(const char* path, bool create, KnownFolder* known) {
  // The system's longest path: a longer one names nothing the system can open. On the
  // stack, so that a replay goes on when memory runs out.
  char text[kLongestPath];
  std::size_t length = path ? FolderPartLength(path) : 0;
  if (!path || length == 0 || length >= sizeof text) return 1;
  std::memcpy(text, path, length);
  text[length] = 0;
  int from = known ? known->KnownLength(text, static_cast<int>(length)) : 0;
  for (std::size_t i = from > 0 ? from : 1; i < length; ++i) {
    // A level ends at a separator; runs of separators end none, and the drive is no folder.
    if (!IsSeparator(text[i]) || IsSeparator(text[i - 1]) || text[i - 1] == ':') continue;
    Level level = KindOfLevel(text, i);
    if (level == Level::kMissing && create) {
      text[i] = 0;
      Port::CreateDirectory(text);
      text[i] = path[i];
      level = KindOfLevel(text, i);
    }
    if (level != Level::kRealFolder) return 1;
  }
  if (known) known->Remember(text, static_cast<int>(length));
  return 0;
}

int RemoveRealFile(const char* path) {
  if (!IsDriveAbsolute(path) || CheckRealFolders(path, false, nullptr) != 0) return 1;
  Port::FileHandle file = Port::OpenForDelete(path);
  if (!file) return 1;
  // Wine opens a link to a file as the file it points at: only the final path tells.
  if (!IsAtItsPath(file, path)) {
    Port::CloseFile(file);
    return 1;
  }
  return Port::DeleteOpenFile(file, path) ? 0 : 1;
}

Port::FileHandle OpenRealFile(const char* path, int access, bool sequential) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool created = false;
    Port::FileHandle file =
        Port::OpenFile(path, access | Port::kAccessNoLink, sequential, &created);
    if (!file) return nullptr;
    bool here = IsAtItsPath(file, path);
    if (here && Port::GetLinkCount(file) == 1) return file;
    // Made just now where a link led (a folder swapped for one): it goes again, through its
    // own handle, so that nothing stays at the link's target.
    if (!here && created) {
      Port::DeleteOpenFile(file, path);
      return nullptr;
    }
    Port::CloseFile(file);
    // A second name of the file is deleted, so that the bytes written reach no other name; a
    // file reached through a link is refused here too, as not at its path.
    Port::FileHandle doomed = Port::OpenForDelete(path);
    if (!doomed || !IsAtItsPath(doomed, path)) {
      Port::CloseFile(doomed);
      return nullptr;
    }
    if (!Port::DeleteOpenFile(doomed, path)) return nullptr;
  }
  return nullptr;
}

int RealFolderPath(const char* folder, String* real) {
  if (!real || real->SetText(folder) != 0) return 1;
  const int length = static_cast<int>(std::strlen(folder));
  // On the stack: a folder longer than the system's longest path has no final path anyway.
  char text[kLongestPath];
  char final[kFinalPathSize];
  if (!IsDriveAbsolute(folder) || length >= static_cast<int>(sizeof text)) return 0;
  // From the deepest level up to the drive's root ("C:\\" keeps its separator).
  for (int end = length; end >= 2; --end) {
    if (end < length && !IsSeparator(folder[end])) continue;
    int level = end;
    while (level > 3 && IsSeparator(folder[level - 1])) --level;
    if (level < 3) level = 3;
    std::memcpy(text, folder, level);
    text[level] = 0;
    if (!Port::GetFinalPathOf(text, final, kFinalPathSize)) continue;
    const char* rest = folder + level;
    std::size_t finalLength = std::strlen(final);
    if (finalLength > 0 && IsSeparator(final[finalLength - 1]))
      while (IsSeparator(*rest)) ++rest;
    if (real->SetText(final) != 0 || real->Append(rest) != 0) return 1;
    // The same place: the text stays exactly as given.
    if (SamePath(real->GetText(), folder)) return real->SetText(folder);
    return 0;
  }
  return 0;
}

int RemoveFolder(const char* path) { return Port::RemoveDirectory(path) ? 0 : 1; }

int RemoveEmptyRealFolder(const char* folder) {
  return IsRecordablePath(folder) && CheckRealFolders(folder, false, nullptr) == 0
             ? RemoveFolder(folder)
             : 1;
}

int WriteWholeFile(const char* path, const void* bytes, std::uint32_t size) {
  ElementRef<String> saving = ElementRef<String>::Create(kStringType);
  if (!path || !saving || saving->SetText(path) != 0 || saving->Append(kSavingSuffix) != 0)
    return 1;
  RemoveRealFile(saving->GetText());
  ElementRef<BinaryStream> file =
      OpenFileStream(saving->GetText(), kModeCreate, kOptionNewRealFile);
  Stream* stream = CastTo<Stream>(file.get());
  // A write that fails reports it in its count, a flush in its result.
  int result =
      stream && WriteFully(stream, bytes, size) == size && file->FlushStream() == 0 ? 0 : 1;
  if (stream && stream->CloseStream() != 0) result = 1;
  // The file takes the new content in one step, or keeps the old.
  if (result == 0 && !Port::MoveFileReplacing(saving->GetText(), path)) result = 1;
  if (result != 0) RemoveRealFile(saving->GetText());
  return result;
}

int RemoveFile(const char* path) { return Port::DeleteFile(path) ? 0 : 1; }

int RenameFile(const char* oldPath, const char* newPath) {
  return Port::RenameFile(oldPath, newPath) ? 0 : 1;
}

int CopyFileContents(const char* source, const char* destination) {
  ElementRef<BinaryStream> sourceFile = OpenFileStream(source, kModeRead);
  Stream* from = CastTo<Stream>(sourceFile.get());
  if (!from) return 1;
  ElementRef<BinaryStream> destinationFile = OpenFileStream(destination, kModeWrite);
  Stream* to = CastTo<Stream>(destinationFile.get());
  if (!to) {
    from->CloseStream();
    return 1;
  }
  constexpr std::uint32_t kBlock = 4096;
  char* buffer = static_cast<char*>(Allocate(kBlock));
  std::uint32_t remaining = 0;
  int result = buffer && from->GetSize(&remaining) == 0 ? 0 : 1;
  // An empty source still writes once: the destination is then cut to nothing when it
  // closes, even when it existed with older contents.
  if (result == 0 && remaining == 0) to->WriteData(buffer, 0);
  while (result == 0 && remaining > 0) {
    std::uint32_t n = remaining < kBlock ? remaining : kBlock;
    // A source that shrank or failed underneath ends the copy: nothing unread is written.
    if (static_cast<std::uint32_t>(from->ReadData(buffer, n)) != n) result = 1;
    if (result == 0 && static_cast<std::uint32_t>(to->WriteData(buffer, n)) != n) result = 1;
    remaining -= n;
  }
  if (result == 0) result = to->GetError();
  Free(buffer);
  to->CloseStream();
  from->CloseStream();
  return result;
}

}  // namespace VLN2
