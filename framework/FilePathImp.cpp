#include "framework/FilePathImp.h"

#include <cstring>

namespace VLN2 {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::size_t LengthOf(const char* text) { return text ? std::strlen(text) : 0; }

}  // namespace

int FilePathImp::Destroy() {
  Free(path_);
  path_ = nullptr;
  ReleaseParts();
  delete this;
  return 0;
}

int FilePathImp::SetPath(const char* text) {
  if (!text) text = "";
  std::size_t length = std::strlen(text);
  char* copy = static_cast<char*>(Allocate(length + 1));
  if (!copy) {
    // The old text goes; its parts stay until a path can be split again.
    Free(path_);
    path_ = nullptr;
    return 1;
  }
  std::memcpy(copy, text, length + 1);
  TakePath(copy);
  return 0;
}

int FilePathImp::AppendPath(const char* text) {
  if (!text) text = "";
  std::size_t oldLength = LengthOf(path_);
  std::size_t length = std::strlen(text);
  char* joined = static_cast<char*>(Allocate(oldLength + length + 1));
  if (!joined) return 1;
  if (oldLength) std::memcpy(joined, path_, oldLength);
  std::memcpy(joined + oldLength, text, length + 1);
  TakePath(joined);
  return 0;
}

int FilePathImp::SetDrive(const char* text) {
  SetPart(drive_, text);
  Rebuild();
  return 0;
}

int FilePathImp::AppendDrive(const char* text) {
  AppendPart(drive_, text);
  Rebuild();
  return 0;
}

int FilePathImp::SetFolder(const char* text) {
  SetPart(folder_, text);
  Rebuild();
  return 0;
}

int FilePathImp::AppendFolder(const char* text) {
  AppendPart(folder_, text);
  Rebuild();
  return 0;
}

int FilePathImp::SetFileName(const char* text) {
  SetPart(fileName_, text);
  SplitFileName();
  Rebuild();
  return 0;
}

int FilePathImp::AppendFileName(const char* text) {
  AppendPart(fileName_, text);
  SplitFileName();
  Rebuild();
  return 0;
}

int FilePathImp::SetName(const char* text) {
  SetPart(name_, text);
  RecomposeFileName();
  Rebuild();
  return 0;
}

int FilePathImp::AppendName(const char* text) {
  AppendPart(name_, text);
  RecomposeFileName();
  Rebuild();
  return 0;
}

int FilePathImp::SetExtension(const char* text) {
  SetPart(extension_, text);
  RecomposeFileName();
  Rebuild();
  return 0;
}

int FilePathImp::AppendExtension(const char* text) {
  AppendPart(extension_, text);
  RecomposeFileName();
  Rebuild();
  return 0;
}

void FilePathImp::TakePath(char* path) {
  Free(path_);
  path_ = path;
  Split();
}

void FilePathImp::ReleaseParts() {
  ReleaseElement(drive_);
  ReleaseElement(folder_);
  ReleaseElement(fileName_);
  ReleaseElement(name_);
  ReleaseElement(extension_);
}

void FilePathImp::MakePart(String*& part, const char* text, std::size_t length) {
  ReleaseElement(part);
  part = Create<String>(kStringType);
  if (!part) return;
  if (part->SetText(text) != 0 || part->Truncate(static_cast<int>(length)) != 0)
    ReleaseElement(part);
}

void FilePathImp::SetPart(String*& part, const char* text) {
  if (!text) {
    ReleaseElement(part);
    return;
  }
  if (!part) part = Create<String>(kStringType);
  if (part && part->SetText(text) != 0) ReleaseElement(part);
}

void FilePathImp::AppendPart(String*& part, const char* text) {
  if (!text) return;
  bool created = false;
  if (!part) {
    part = Create<String>(kStringType);
    if (!part) return;
    created = true;
  }
  // A part that did not exist and could not take the text stays absent.
  if (part->Append(text) != 0 && created) ReleaseElement(part);
}

void FilePathImp::Split() {
  ReleaseParts();
  if (!path_ || !*path_) return;
  std::size_t length = std::strlen(path_);
  std::size_t separator = length;
  for (std::size_t i = length; i-- > 0;) {
    if (IsSeparator(path_[i])) {
      separator = i;
      break;
    }
  }
  if (separator == length) {
    // The whole path is the file name; the path text already equals it, so no rebuild.
    MakePart(fileName_, path_, length);
    SplitFileName();
    return;
  }
  MakePart(fileName_, path_ + separator + 1, length - separator - 1);
  SplitFileName();
  for (std::size_t i = separator; i-- > 0;) {
    if (path_[i] == ':') {
      MakePart(folder_, path_ + i + 1, separator - i);
      MakePart(drive_, path_, i + 1);
      return;
    }
  }
  // No colon before the last separator: the text stays as given, without drive and
  // folder.
}

void FilePathImp::SplitFileName() {
  ReleaseElement(name_);
  ReleaseElement(extension_);
  const char* fileName = TextOf(fileName_);
  if (!fileName || !*fileName) return;
  const char* dot = std::strrchr(fileName, '.');
  if (!dot) {
    MakePart(name_, fileName, std::strlen(fileName));
    return;
  }
  MakePart(extension_, dot, std::strlen(dot));
  MakePart(name_, fileName, static_cast<std::size_t>(dot - fileName));
}

void FilePathImp::RecomposeFileName() {
  ReleaseElement(fileName_);
  fileName_ = Create<String>(kStringType);
  if (!fileName_) return;
  if (fileName_->SetText(TextOf(name_)) != 0 || fileName_->Append(TextOf(extension_)) != 0)
    ReleaseElement(fileName_);
}

void FilePathImp::Rebuild() {
  const char* parts[] = {TextOf(drive_), TextOf(folder_), TextOf(fileName_)};
  std::size_t total = 0;
  for (const char* part : parts) total += LengthOf(part);
  char* path = static_cast<char*>(Allocate(total + 1));
  if (path) {
    char* out = path;
    for (const char* part : parts) {
      std::size_t length = LengthOf(part);
      if (length) std::memcpy(out, part, length);
      out += length;
    }
    *out = '\0';
  }
  Free(path_);
  path_ = path;
}

}  // namespace VLN2
