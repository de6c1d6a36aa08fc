// The sandbox's files under Windows: a new folder below the system's temporary folder.
#include "unit/support/SandboxFiles.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

namespace VLN2 {
namespace SandboxFiles {

namespace {

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

}  // namespace

char Separator() { return '\\'; }

bool MakeRoot(std::string* root, std::string* native) {
  char temp[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp) {
    ADD_FAILURE() << "no temporary folder";
    return false;
  }
  for (int attempt = 0; attempt < 1000 && root->empty(); ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "vln2-test-%lu-%lu-%d", GetCurrentProcessId(), GetTickCount(),
                  attempt);
    std::string folder = std::string(temp) + name;
    if (CreateDirectoryA(folder.c_str(), nullptr)) *root = folder + "\\";
  }
  if (root->empty()) {
    ADD_FAILURE() << "no sandbox folder";
    return false;
  }
  *native = *root;
  return true;
}

void RemoveRoot(const std::string& native) { RemoveTree(native); }

bool MakeOneFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool MakeReadOnly(const std::string& path) {
  EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return true;
  CloseHandle(probe);
  return false;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace SandboxFiles
}  // namespace VLN2
