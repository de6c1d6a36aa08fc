#include "unit/support/Sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {

namespace {

#ifdef _WIN32

char Separator() { return '\\'; }

bool MakeOneFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Removes the folder's contents and the folder; links and junctions are removed, never
// entered.
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      bool isFolder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
      bool isLink = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
      if (isFolder && !isLink) RemoveTree(path + "\\");
      if (isFolder)
        RemoveDirectoryA(path.c_str());
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  std::string self = folder.substr(0, folder.size() - 1);
  SetFileAttributesA(self.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(self.c_str());
}

#else

char Separator() { return '/'; }

bool MakeOneFolder(const std::string& path) {
  struct stat status;
  return ::mkdir(path.c_str(), 0777) == 0 ||
         (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode));
}

// Opens every folder first, so that a test that made one read-only cannot keep it.
int OpenUp(const char* path, const struct stat* status, int kind, struct FTW*) {
  if (kind == FTW_D || kind == FTW_DNR) ::chmod(path, (status->st_mode & 07777) | 0700);
  return 0;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

void RemoveTree(const std::string& folder) {
  ::nftw(folder.c_str(), OpenUp, 16, FTW_PHYS);
  ::nftw(folder.c_str(), RemoveEntry, 16, FTW_PHYS | FTW_DEPTH);
}

#endif

}  // namespace

Sandbox::Sandbox() {
#ifdef _WIN32
  char temp[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp) {
    ADD_FAILURE() << "no temporary folder";
    return;
  }
  for (int attempt = 0; attempt < 1000 && root_.empty(); ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "vln2-test-%lu-%lu-%d", GetCurrentProcessId(), GetTickCount(),
                  attempt);
    std::string folder = std::string(temp) + name;
    if (CreateDirectoryA(folder.c_str(), nullptr)) root_ = folder + "\\";
  }
  if (root_.empty()) {
    ADD_FAILURE() << "no sandbox folder";
    return;
  }
  native_ = root_;
#else
  const char* temp = std::getenv("TMPDIR");
  std::string pattern = std::string(temp && temp[0] == '/' ? temp : "/tmp") + "/vln2-test-XXXXXX";
  if (!::mkdtemp(&pattern[0])) {
    ADD_FAILURE() << "no sandbox folder";
    return;
  }
  native_ = pattern + "/";
  PosixPort::MapDrive('C', pattern.c_str());
  root_ = "C:\\";
#endif
}

Sandbox::~Sandbox() {
  if (native_.empty()) return;
  RemoveTree(native_);
#ifndef _WIN32
  PosixPort::MapDrive('C', nullptr);
#endif
}

std::string Sandbox::NativePath(const std::string& relative) const {
  std::string path = native_ + relative;
  for (std::size_t i = native_.size(); i < path.size(); ++i)
    if (path[i] == '\\' || path[i] == '/') path[i] = Separator();
  return path;
}

void Sandbox::MakeFolder(const std::string& relative) {
  std::string path = NativePath(relative);
  for (std::size_t i = native_.size(); i <= path.size(); ++i) {
    bool end = i == path.size() || path[i] == Separator();
    if (end && i > native_.size() && path[i - 1] != Separator()) {
      EXPECT_TRUE(MakeOneFolder(path.substr(0, i))) << "cannot make " << path.substr(0, i);
    }
  }
}

void Sandbox::WriteFile(const std::string& relative, const std::string& bytes) {
  std::size_t last = relative.find_last_of("\\/");
  if (last != std::string::npos) MakeFolder(relative.substr(0, last));
  std::FILE* file = std::fopen(NativePath(relative).c_str(), "wb");
  ASSERT_NE(file, nullptr) << "cannot write " << relative;
  EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  std::fclose(file);
}

std::string Sandbox::ReadFile(const std::string& relative) {
  std::string bytes;
  std::FILE* file = std::fopen(NativePath(relative).c_str(), "rb");
  if (!file) return bytes;
  char block[4096];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
  std::fclose(file);
  return bytes;
}

bool Sandbox::MakeReadOnly(const std::string& relative) {
  std::string path = NativePath(relative);
#ifdef _WIN32
  EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return true;
  CloseHandle(probe);
  return false;
#else
  EXPECT_EQ(::chmod(path.c_str(), 0444), 0);
  return ::access(path.c_str(), W_OK) != 0;
#endif
}

bool Sandbox::Exists(const std::string& relative) {
#ifdef _WIN32
  return GetFileAttributesA(NativePath(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat status;
  return ::lstat(NativePath(relative).c_str(), &status) == 0;
#endif
}

}  // namespace VLN2
