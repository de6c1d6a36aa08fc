#include "system/FileFunc.h"

#include <cstring>

#include "archive/BinaryStream.h"
#include "archive/Stream.h"
#include "framework/Allocator.h"
#include "framework/ElementRef.h"
#include "framework/FilePath.h"
#include "framework/StringUtil.h"
#include "system/port/Port.h"

namespace VLN2 {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

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

// Opens a BinaryStream on path in mode; its Stream view, or null.
Stream* OpenFileStream(ElementRef<BinaryStream>* file, const char* path, int mode) {
  *file = ElementRef<BinaryStream>::Create(kBinaryStreamType);
  if (!*file || (*file)->SetStreamPath(path) != 0) return nullptr;
  Stream* stream = CastTo<Stream>(file->get());
  if (!stream || stream->SetMode(mode) != 0 || stream->OpenStream() != 0) return nullptr;
  return stream;
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

int CreateFolders(const char* path) { return CreateFolders(path, nullptr); }

int CreateFolders(const char* path, KnownFolder* known) {
  ElementRef<FilePath> folder;
  int length = 0;
  char* text = FolderPart(&folder, path, &length);
  if (!text) return 1;
  if (length == 0) return 0;
  int from = known ? known->KnownLength(text, length) : 0;
  if (from == length) return 0;
  // One level at a time from the top: the drive itself ("C:") simply fails to be created.
  // Below a folder made just now nothing can exist, so those levels are made without asking.
  bool made = false;
  for (int i = from; i < length; ++i) {
    if (!IsSeparator(text[i])) continue;
    char separator = text[i];
    text[i] = 0;
    if (made || PathExists(text) == 1) made = Port::CreateDirectory(text);
    text[i] = separator;
  }
  // The folder part ends in a separator: test the deepest folder without it.
  char separator = text[length - 1];
  text[length - 1] = 0;
  int result = PathExists(text);
  text[length - 1] = separator;
  if (result == 0 && known) known->Remember(text, length);
  return result;
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

int RemoveFolder(const char* path) { return Port::RemoveDirectory(path) ? 0 : 1; }

int RemoveFile(const char* path) { return Port::DeleteFile(path) ? 0 : 1; }

int RenameFile(const char* oldPath, const char* newPath) {
  return Port::RenameFile(oldPath, newPath) ? 0 : 1;
}

int CopyFileContents(const char* source, const char* destination) {
  ElementRef<BinaryStream> sourceFile, destinationFile;
  Stream* from = OpenFileStream(&sourceFile, source, kModeRead);
  if (!from) return 1;
  Stream* to = OpenFileStream(&destinationFile, destination, kModeWrite);
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
