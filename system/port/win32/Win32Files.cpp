// Files, folders and directory listing on Win32.
#ifdef _WIN32

#include <cstdio>
#include <cstring>
#include <cwchar>

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

// The attributes of an open file; 0 when unknown. Asked for alone: GetFileInformationByHandle
// also wants the volume's serial number, which Wine fetches from its mount manager process.
DWORD AttributesOf(HANDLE file) {
  FILE_BASIC_INFO info;
  return GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info) ? info.FileAttributes
                                                                               : 0;
}

// The final path without the "\\?\" the system puts before it ("\\?\UNC\" becomes "\\"). Asked
// for once, in wide text: the -A call asks twice (the first time for the length), and under
// Wine each asking is a look-up by the server.
bool FinalPath(HANDLE file, char* buffer, std::uint32_t size) {
  wchar_t path[1024];
  const DWORD capacity = sizeof path / sizeof *path;
  DWORD length = GetFinalPathNameByHandleW(file, path, capacity, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= capacity || size == 0) return false;
  const wchar_t* from = path;
  if (std::wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) {
    path[6] = L'\\';  // "\\?\UN\\server\...": the "\\" before the server starts at 6
    from = path + 6;
  } else if (std::wcsncmp(path, L"\\\\?\\", 4) == 0) {
    from = path + 4;
  }
  std::uint32_t written = size - 1;
  if (!FromWideText(reinterpret_cast<const std::uint16_t*>(from),
                    static_cast<std::uint32_t>(path + length - from), buffer, &written))
    return false;
  buffer[written] = 0;
  return true;
}

}  // namespace

FileHandle OpenFile(const char* path, int access, bool sequential, bool* created) {
  if (created) *created = false;
  if (!path) return nullptr;
  DWORD rights = 0;
  if (access & kAccessRead) rights |= GENERIC_READ;
  if (access & kAccessWrite) rights |= GENERIC_WRITE;
  DWORD flag = sequential ? FILE_FLAG_SEQUENTIAL_SCAN : FILE_FLAG_RANDOM_ACCESS;
  if (access & kAccessNoLink) flag |= FILE_FLAG_OPEN_REPARSE_POINT;
  // A new file is made with the right to delete it, so that one found in the wrong place can
  // go through its handle; an existing one is opened as it is.
  HANDLE file = INVALID_HANDLE_VALUE;
  bool made = false;
  if (access & (kAccessWrite | kAccessNew)) {
    file = CreateFileA(path, rights | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW, flag, nullptr);
    made = file != INVALID_HANDLE_VALUE;
    if (!made && (access & kAccessNew)) return nullptr;
  }
  if (!made) {
    file = CreateFileA(path, rights, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, flag, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    made = GetLastError() != ERROR_ALREADY_EXISTS;
  }
  if ((access & kAccessNoLink) && (AttributesOf(file) & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(file);
    return nullptr;
  }
  if (created) *created = made;
  return file;
}

bool GetFinalPath(FileHandle file, char* buffer, std::uint32_t size) {
  return file && size > 0 && FinalPath(AsHandle(file), buffer, size);
}

bool GetFinalPathOf(const char* path, char* buffer, std::uint32_t size) {
  if (!path) return false;
  // Backup semantics open folders too; no access is asked for, so nothing is held.
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool found = FinalPath(file, buffer, size);
  CloseHandle(file);
  return found;
}

std::uint32_t GetLinkCount(FileHandle file) {
  FILE_STANDARD_INFO info;
  return file && GetFileInformationByHandleEx(AsHandle(file), FileStandardInfo, &info, sizeof info)
             ? info.NumberOfLinks
             : 0;
}

FileHandle OpenForDelete(const char* path) {
  if (!path) return nullptr;
  HANDLE file = CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  DWORD attributes = AttributesOf(file);
  if (attributes == 0 || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    CloseHandle(file);
    return nullptr;
  }
  return file;
}

bool DeleteOpenFile(FileHandle file, const char* /* path */) {
  if (!file) return false;
  FILE_DISPOSITION_INFO disposition = {TRUE};
  bool deleted = SetFileInformationByHandle(AsHandle(file), FileDispositionInfo, &disposition,
                                            sizeof disposition) != FALSE;
  CloseHandle(AsHandle(file));
  return deleted;
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

bool MoveFileReplacing(const char* from, const char* to) {
  return from && to && MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool MoveFile(const char* from, const char* to, bool replace) {
  return from && to && MoveFileExA(from, to, replace ? MOVEFILE_REPLACE_EXISTING : 0);
}

bool DeleteAtRestart(const char* path) {
  return path && MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool FlushFile(FileHandle file) { return file && FlushFileBuffers(AsHandle(file)); }

bool GetVolumeFreeBytes(const char* folder, std::uint64_t* bytes) {
  ULARGE_INTEGER available;
  if (!folder || !GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr)) return false;
  *bytes = available.QuadPart;
  return true;
}

bool GetVolumeFolder(const char* path, char* buffer, std::uint32_t size) {
  if (!path || !path[0] || path[1] != ':') return false;
  const char root[4] = {path[0], ':', '\\', 0};
  UINT type = GetDriveTypeA(root);
  if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) return false;
  return GetVolumePathNameA(path, buffer, size) != FALSE;
}

bool IsNetworkVolume(const char* volumeFolder) {
  return volumeFolder && GetDriveTypeA(volumeFolder) == DRIVE_REMOTE;
}

bool IsFileInUse(const char* path) {
  if (!path) return false;
  // A running host keeps its plug-in loaded, which refuses writing but not reading.
  HANDLE file = CreateFileA(path, GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return false;
  }
  DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
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
