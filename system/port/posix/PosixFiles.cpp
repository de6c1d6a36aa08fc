// Files, folders and directory listing on POSIX. Paths arrive in the Windows grammar and are
// turned into native ones through the drive table; every system call goes through the
// port's table. Read sharing is kept with flock: writers hold an exclusive lock, readers a
// shared one, so a file open for writing cannot be opened again, as on Win32.
#ifndef _WIN32

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "system/port/Port.h"
#include "system/port/posix/PosixInternal.h"
#include "system/port/posix/PosixPort.h"

namespace VLN2 {
namespace Port {

using PosixPort::NativePath;
namespace Sys = PosixPort::Sys;

namespace {

// Handles carry the descriptor + 1, so that descriptor 0 is not the null handle.
FileHandle AsHandle(int fd) {
  return reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(fd) + 1);
}
int AsDescriptor(FileHandle file) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1);
}

struct Search {
  DIR* dir;
  std::string folder;   // native, ending in '/' (empty for the current folder)
  std::string pattern;  // the last component
};

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

// '*' any run of characters, '?' one character; "*.*" every name, as on Win32.
bool Matches(const char* name, const char* pattern) {
  if (std::strcmp(pattern, "*.*") == 0) return true;
  const char* starPattern = nullptr;
  const char* starName = nullptr;
  while (*name) {
    if (*pattern == '*') {
      starPattern = ++pattern;
      starName = name;
    } else if (*pattern == '?' || *pattern == *name) {
      ++pattern;
      ++name;
    } else if (starPattern) {
      pattern = starPattern;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

// The entry's facts as Win32 reports them: a link to a folder is a folder and a link.
bool Describe(const std::string& path, const char* name, FindData* data) {
  struct stat status;
  if (Sys::Lstat(path.c_str(), &status) != 0) return false;
  data->isLink = S_ISLNK(status.st_mode);
  data->isDirectory = S_ISDIR(status.st_mode);
  if (data->isLink) {
    struct stat target;
    data->isDirectory = Sys::Stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  }
  std::size_t length = std::strlen(name);
  if (length >= sizeof data->name) length = sizeof data->name - 1;
  std::memcpy(data->name, name, length);
  data->name[length] = 0;
  return true;
}

bool NextMatch(Search* search, FindData* data) {
  if (!search->dir) return false;
  while (struct dirent* entry = Sys::Readdir(search->dir)) {
    if (!Matches(entry->d_name, search->pattern.c_str())) continue;
    if (Describe(search->folder + entry->d_name, entry->d_name, data)) return true;
  }
  return false;
}

// A drive or a root alone ("C:", "C:\", "\") is no entry of any folder.
bool NamesOnlyARoot(const char* path) {
  const char* rest = path;
  if (rest[0] && rest[1] == ':') rest += 2;
  while (*rest == '\\' || *rest == '/') ++rest;
  return *rest == 0;
}

}  // namespace

FileHandle OpenFile(const char* path, int access, bool sequential, bool* created) {
  if (created) *created = false;
  std::string native;
  if (!NativePath(path, &native)) return nullptr;
  int flags = O_CREAT | O_CLOEXEC | (access & kAccessNoLink ? O_NOFOLLOW : 0);
  if ((access & kAccessRead) && (access & kAccessWrite))
    flags |= O_RDWR;
  else if (access & kAccessWrite)
    flags |= O_WRONLY;
  else
    flags |= O_RDONLY;
  // Made new when it can be, so that the caller knows the file is its own.
  bool made = access & (kAccessWrite | kAccessNew);
  int fd = made ? Sys::Open(native.c_str(), flags | O_EXCL, 0666) : -1;
  if (fd < 0) {
    if (made && (errno != EEXIST || (access & kAccessNew))) return nullptr;
    made = false;
    fd = Sys::Open(native.c_str(), flags, 0666);
  }
  if (fd < 0) return nullptr;
  struct stat status;
  bool refused = Sys::Fstat(fd, &status) != 0 || S_ISDIR(status.st_mode);
  // Held by another opener; a file system without locks shares nothing and refuses nothing.
  int lock = (access & kAccessWrite ? LOCK_EX : LOCK_SH) | LOCK_NB;
  if (!refused && Sys::Flock(fd, lock) != 0 && errno == EWOULDBLOCK) refused = true;
  if (refused) {
    ::close(fd);
    return nullptr;
  }
  posix_fadvise(fd, 0, 0, sequential ? POSIX_FADV_SEQUENTIAL : POSIX_FADV_RANDOM);
  if (created) *created = made;
  return AsHandle(fd);
}

bool ReadFile(FileHandle file, void* data, std::uint32_t n, std::uint32_t* done) {
  *done = 0;
  if (!file) return false;
  char* into = static_cast<char*>(data);
  while (*done < n) {
    ssize_t got = Sys::Read(AsDescriptor(file), into + *done, n - *done);
    if (got < 0 && errno == EINTR) continue;
    // An error after some bytes shows as a short read; the next read meets it again.
    if (got < 0) return *done > 0;
    if (got == 0) break;
    *done += static_cast<std::uint32_t>(got);
  }
  return true;
}

bool WriteFile(FileHandle file, const void* data, std::uint32_t n, std::uint32_t* done) {
  *done = 0;
  if (!file) return false;
  const char* from = static_cast<const char*>(data);
  while (*done < n) {
    ssize_t put = Sys::Write(AsDescriptor(file), from + *done, n - *done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    *done += static_cast<std::uint32_t>(put);
  }
  return true;
}

bool GetFileSize(FileHandle file, std::uint32_t* size) {
  struct stat status;
  if (!file || Sys::Fstat(AsDescriptor(file), &status) != 0) return false;
  if (status.st_size < 0 || static_cast<std::uint64_t>(status.st_size) > 0xFFFFFFFFu) return false;
  *size = static_cast<std::uint32_t>(status.st_size);
  return true;
}

bool SetFilePointer(FileHandle file, std::uint32_t position) {
  return file && Sys::Lseek(AsDescriptor(file), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool GetFilePointer(FileHandle file, std::uint32_t* position) {
  if (!file) return false;
  off_t at = Sys::Lseek(AsDescriptor(file), 0, SEEK_CUR);
  if (at < 0 || static_cast<std::uint64_t>(at) > 0xFFFFFFFFu) return false;
  *position = static_cast<std::uint32_t>(at);
  return true;
}

bool SetEndOfFile(FileHandle file) {
  if (!file) return false;
  off_t at = Sys::Lseek(AsDescriptor(file), 0, SEEK_CUR);
  return at >= 0 && Sys::Ftruncate(AsDescriptor(file), at) == 0;
}

void CloseFile(FileHandle file) {
  // The descriptor is gone whatever close reports.
  if (file) Sys::Close(AsDescriptor(file));
}

bool GetFinalPath(FileHandle file, char* buffer, std::uint32_t size) {
  if (!file || size == 0) return false;
  std::string link = "/proc/self/fd/" + std::to_string(AsDescriptor(file));
  char native[PATH_MAX];
  ssize_t length = Sys::Readlink(link.c_str(), native, sizeof native - 1);
  if (length <= 0 || native[0] != '/') return false;
  native[length] = 0;
  std::string path = PosixPort::WindowsPath(native);
  if (path.size() + 1 > size) return false;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return true;
}

bool GetFinalPathOf(const char* path, char* buffer, std::uint32_t size) {
  std::string native;
  if (!NativePath(path, &native)) return false;
  int fd = Sys::Open(native.c_str(), O_PATH | O_CLOEXEC, 0);
  if (fd < 0) return false;
  bool found = GetFinalPath(AsHandle(fd), buffer, size);
  ::close(fd);
  return found;
}

std::uint32_t GetLinkCount(FileHandle file) {
  struct stat status;
  if (!file || Sys::Fstat(AsDescriptor(file), &status) != 0) return 0;
  return static_cast<std::uint32_t>(status.st_nlink);
}

FileHandle OpenForDelete(const char* path) {
  std::string native;
  if (!NativePath(path, &native)) return nullptr;
  // O_PATH with O_NOFOLLOW opens a link itself, which fstat then shows as one.
  int fd = Sys::Open(native.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  struct stat status;
  if (Sys::Fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return AsHandle(fd);
}

bool DeleteOpenFile(FileHandle file, const char* path) {
  if (!file) return false;
  std::string native;
  struct stat open, named;
  bool same = NativePath(path, &native) && Sys::Fstat(AsDescriptor(file), &open) == 0 &&
              Sys::Lstat(native.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
              open.st_ino == named.st_ino;
  bool deleted = same && Sys::Unlink(native.c_str()) == 0;
  CloseFile(file);
  return deleted;
}

bool DeleteFile(const char* path) {
  std::string native;
  return NativePath(path, &native) && Sys::Unlink(native.c_str()) == 0;
}

bool CreateDirectory(const char* path) {
  std::string native;
  return NativePath(path, &native) && Sys::Mkdir(native.c_str(), 0777) == 0;
}

bool RemoveDirectory(const char* path) {
  std::string native;
  return NativePath(path, &native) && Sys::Rmdir(native.c_str()) == 0;
}

bool RenameFile(const char* oldPath, const char* newPath) {
  std::string from, to;
  return NativePath(oldPath, &from) && NativePath(newPath, &to) &&
         Sys::Rename(from.c_str(), to.c_str()) == 0;
}

bool MoveFileReplacing(const char* from, const char* to) { return RenameFile(from, to); }

bool MoveFile(const char* from, const char* to, bool replace) {
  std::string source, target;
  struct stat status;
  if (!NativePath(from, &source) || !NativePath(to, &target)) return false;
  if (!replace && Sys::Lstat(target.c_str(), &status) == 0) {
    errno = EEXIST;
    return false;
  }
  return Sys::Rename(source.c_str(), target.c_str()) == 0;
}

bool FlushFile(FileHandle file) { return file && Sys::Fsync(AsDescriptor(file)) == 0; }

bool GetVolumeFreeBytes(const char* folder, std::uint64_t* bytes) {
  std::string native;
  struct statvfs status;
  if (!NativePath(folder, &native) || Sys::Statvfs(native.c_str(), &status) != 0) return false;
  *bytes = static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
  return true;
}

// Cuts a drive-absolute path to the folder above it, ending in a separator; false at the
// drive's root.
bool CutLevel(std::string* path) {
  const std::size_t root = 3;  // "C:\"
  std::size_t end = path->size();
  while (end > root && (*path)[end - 1] != '/' && (*path)[end - 1] != '\\') --end;
  if (end == path->size()) {  // a folder's trailing separators, then its name
    while (end > root && ((*path)[end - 1] == '/' || (*path)[end - 1] == '\\')) --end;
    while (end > root && (*path)[end - 1] != '/' && (*path)[end - 1] != '\\') --end;
  }
  if (end < root || end == path->size()) return false;
  path->resize(end);
  return true;
}

bool GetVolumeFolder(const char* path, char* buffer, std::uint32_t size) {
  if (!path || !path[0] || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) return false;
  std::string windows = path, native;
  struct stat at;
  // The deepest level that exists; an unmapped drive has none.
  for (;;) {
    if (!NativePath(windows.c_str(), &native)) return false;
    if (Sys::Stat(native.c_str(), &at) == 0) break;
    if (!CutLevel(&windows)) return false;
  }
  // Up while the level above lies on the same device. A drive's root is a volume's root, as
  // Wine's drives are: the walk ends there.
  for (std::string up = windows; CutLevel(&up);) {
    struct stat above;
    if (!NativePath(up.c_str(), &native) || Sys::Stat(native.c_str(), &above) != 0 ||
        above.st_dev != at.st_dev)
      break;
    windows = up;
  }
  if (windows.back() != '\\' && windows.back() != '/') windows += '\\';
  if (windows.size() + 1 > size) return false;
  std::memcpy(buffer, windows.c_str(), windows.size() + 1);
  return true;
}

bool IsNetworkVolume(const char* volumeFolder) {
  std::string native;
  struct statfs status;
  if (!NativePath(volumeFolder, &native) || Sys::Statfs(native.c_str(), &status) != 0) return false;
  // NFS, SMB, CIFS and SMB2 as Linux names them.
  for (unsigned long kind : {0x6969ul, 0x517Bul, 0xFF534D42ul, 0xFE534D42ul})
    if (static_cast<unsigned long>(status.f_type) == kind) return true;
  return false;
}

bool CreatePrivateFolder(const char* path) {
  std::string native;
  return NativePath(path, &native) && Sys::Mkdir(native.c_str(), 0700) == 0;
}

bool IsFileInUse(const char* path) {
  std::string native;
  if (!NativePath(path, &native)) return false;
  int fd = Sys::Open(native.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  // Another opener of the port holds a lock for as long as it has the file open.
  bool held = Sys::Flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

// Nothing on this platform names the holders of a file.
bool ListFileHolders(const char* const*, int, void (*)(const char*, void*), void*) { return false; }

FindHandle FindFirst(const char* pattern, FindData* data) {
  std::string native;
  if (!pattern || NamesOnlyARoot(pattern) || !NativePath(pattern, &native)) return nullptr;
  std::size_t slash = native.rfind('/');
  std::string folder = slash == std::string::npos ? "" : native.substr(0, slash + 1);
  std::string last = slash == std::string::npos ? native : native.substr(slash + 1);
  // A name ending in a separator names no entry.
  if (last.empty()) return nullptr;
  Search* search = new (std::nothrow) Search{nullptr, folder, last};
  if (!search) return nullptr;
  if (!HasWildcard(last)) {
    if (Describe(native, last.c_str(), data)) return search;
    delete search;
    return nullptr;
  }
  search->dir = Sys::Opendir(folder.empty() ? "." : folder.c_str());
  if (search->dir && NextMatch(search, data)) return search;
  FindClose(search);
  return nullptr;
}

bool FindNext(FindHandle search, FindData* data) {
  return search && NextMatch(static_cast<Search*>(search), data);
}

void FindClose(FindHandle search) {
  if (!search) return;
  Search* open = static_cast<Search*>(search);
  if (open->dir) Sys::Closedir(open->dir);
  delete open;
}

}  // namespace Port
}  // namespace VLN2

#endif  // !_WIN32
