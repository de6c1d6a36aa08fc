// Files, folders and directory listing on Win32.
#ifdef _WIN32

#include <cstdio>

#include "system/port/Port.h"
#include "system/port/win32/Win32.h"

namespace VLN2 {
namespace Port {

namespace {

HANDLE AsHandle(FileHandle file) { return static_cast<HANDLE>(file); }

void Fill(const WIN32_FIND_DATAA& found, FindData* data) {
  lstrcpynA(data->name, found.cFileName, sizeof data->name);
  data->isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  data->isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

FileHandle OpenFile(const char* path, int access, bool sequential) {
  if (!path) return nullptr;
  DWORD rights = 0;
  if (access & kAccessRead) rights |= GENERIC_READ;
  if (access & kAccessWrite) rights |= GENERIC_WRITE;
  DWORD flag = sequential ? FILE_FLAG_SEQUENTIAL_SCAN : FILE_FLAG_RANDOM_ACCESS;
  HANDLE file = CreateFileA(path, rights, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, flag, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

bool ReadFile(FileHandle file, void* data, std::uint32_t n, std::uint32_t* done) {
  DWORD count = 0;
  BOOL ok = file && ::ReadFile(AsHandle(file), data, n, &count, nullptr);
  *done = ok ? count : 0;
  return ok != FALSE;
}

bool WriteFile(FileHandle file, const void* data, std::uint32_t n, std::uint32_t* done) {
  DWORD count = 0;
  BOOL ok = file && ::WriteFile(AsHandle(file), data, n, &count, nullptr);
  *done = ok ? count : 0;
  return ok != FALSE;
}

bool GetFileSize(FileHandle file, std::uint32_t* size) {
  if (!file) return false;
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = ::GetFileSize(AsHandle(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  // Sizes are 32-bit: a larger file has no size here.
  if (high != 0) return false;
  *size = low;
  return true;
}

bool SetFilePointer(FileHandle file, std::uint32_t position) {
  if (!file) return false;
  LONG high = 0;
  SetLastError(NO_ERROR);
  DWORD low = ::SetFilePointer(AsHandle(file), static_cast<LONG>(position), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool GetFilePointer(FileHandle file, std::uint32_t* position) {
  if (!file) return false;
  LONG high = 0;
  SetLastError(NO_ERROR);
  DWORD low = ::SetFilePointer(AsHandle(file), 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
  if (high != 0) return false;
  *position = low;
  return true;
}

bool SetEndOfFile(FileHandle file) { return file && ::SetEndOfFile(AsHandle(file)); }

void CloseFile(FileHandle file) {
  if (file) CloseHandle(AsHandle(file));
}

bool DeleteFile(const char* path) { return path && DeleteFileA(path); }

bool CreateDirectory(const char* path) { return path && CreateDirectoryA(path, nullptr); }

bool RemoveDirectory(const char* path) { return path && RemoveDirectoryA(path); }

bool RenameFile(const char* oldPath, const char* newPath) {
  return oldPath && newPath && std::rename(oldPath, newPath) == 0;
}

FindHandle FindFirst(const char* pattern, FindData* data) {
  if (!pattern) return nullptr;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return nullptr;
  Fill(found, data);
  return search;
}

bool FindNext(FindHandle search, FindData* data) {
  WIN32_FIND_DATAA found;
  if (!search || !FindNextFileA(static_cast<HANDLE>(search), &found)) return false;
  Fill(found, data);
  return true;
}

void FindClose(FindHandle search) {
  if (search) ::FindClose(static_cast<HANDLE>(search));
}

}  // namespace Port
}  // namespace VLN2

#endif  // _WIN32
