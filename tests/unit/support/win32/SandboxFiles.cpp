// The sandbox's files under Windows: a new folder below the system's temporary folder.
#include "unit/support/SandboxFiles.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <vector>

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

bool MakeFolderLink(const std::string& link, const std::string& target) {
  // Some systems report a symbolic link made that never appears.
  bool made = CreateSymbolicLinkA(link.c_str(), target.c_str(),
                                  SYMBOLIC_LINK_FLAG_DIRECTORY |
                                      SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0 &&
              GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (!made) {
    // A junction: an empty folder turned into a mount point for the target.
    if (CreateDirectoryA(link.c_str(), nullptr)) {
      HANDLE handle =
          CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        std::wstring substitute = L"\\??\\";
        for (char c : target) substitute += static_cast<wchar_t>(static_cast<unsigned char>(c));
        std::vector<char> buffer(1024, 0);
        auto* data = reinterpret_cast<REPARSE_GUID_DATA_BUFFER*>(buffer.data());
        data->ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
        // The mount point layout: offsets and lengths of the two names, then the names.
        auto* words = reinterpret_cast<WORD*>(buffer.data() + 8);
        WORD bytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
        words[0] = 0;
        words[1] = bytes;
        words[2] = static_cast<WORD>(bytes + sizeof(wchar_t));
        words[3] = 0;
        std::memcpy(buffer.data() + 16, substitute.c_str(), bytes + sizeof(wchar_t));
        data->ReparseDataLength = static_cast<WORD>(8 + bytes + 2 * sizeof(wchar_t));
        DWORD returned = 0;
        made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                               8 + data->ReparseDataLength, nullptr, 0, &returned, nullptr) != 0;
        CloseHandle(handle);
      }
      if (!made) RemoveDirectoryA(link.c_str());
    }
  }
  return made;
}

void RemoveFolderLink(const std::string& link) { RemoveDirectoryA(link.c_str()); }

}  // namespace SandboxFiles
}  // namespace VLN2
