// The POSIX port's table of system calls (each replaceable, each able to fail on request)
// and its drive table.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/file.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/StringUtil.h"
#include "system/port/posix/PosixInternal.h"
#include "system/port/posix/PosixPort.h"

namespace VLN2 {
namespace PosixPort {

namespace {

int RealOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int RealRename(const char* oldPath, const char* newPath) { return ::rename(oldPath, newPath); }
int RealStatvfs(const char* path, struct statvfs* status) { return ::statvfs(path, status); }
int RealStatfs(const char* path, struct statfs* status) { return ::statfs(path, status); }

struct Entry {
  const char* name;
  SystemCall real;
  SystemCall current;
  long calls;
  long failAt;  // 0 = never
  long times;   // how many calls fail from failAt on
  int error;
};

template <class F>
SystemCall Erase(F* function) {
  return reinterpret_cast<SystemCall>(function);
}

enum Call {
  kOpen,
  kClose,
  kRead,
  kWrite,
  kLseek,
  kFtruncate,
  kFstat,
  kFlock,
  kUnlink,
  kMkdir,
  kRmdir,
  kRename,
  kLstat,
  kStat,
  kOpendir,
  kReaddir,
  kClosedir,
  kReadlink,
  kFsync,
  kStatvfs,
  kStatfs,
  kCallCount
};

Entry g_calls[kCallCount] = {
    {"open", Erase(RealOpen), nullptr, 0, 0, false, 0},
    {"close", Erase(::close), nullptr, 0, 0, false, 0},
    {"read", Erase(::read), nullptr, 0, 0, false, 0},
    {"write", Erase(::write), nullptr, 0, 0, false, 0},
    {"lseek", Erase(::lseek), nullptr, 0, 0, false, 0},
    {"ftruncate", Erase(::ftruncate), nullptr, 0, 0, false, 0},
    {"fstat", Erase(::fstat), nullptr, 0, 0, false, 0},
    {"flock", Erase(::flock), nullptr, 0, 0, false, 0},
    {"unlink", Erase(::unlink), nullptr, 0, 0, false, 0},
    {"mkdir", Erase(::mkdir), nullptr, 0, 0, false, 0},
    {"rmdir", Erase(::rmdir), nullptr, 0, 0, false, 0},
    {"rename", Erase(RealRename), nullptr, 0, 0, false, 0},
    {"lstat", Erase(::lstat), nullptr, 0, 0, false, 0},
    {"stat", Erase(::stat), nullptr, 0, 0, false, 0},
    {"opendir", Erase(::opendir), nullptr, 0, 0, false, 0},
    {"readdir", Erase(::readdir), nullptr, 0, 0, false, 0},
    {"closedir", Erase(::closedir), nullptr, 0, 0, false, 0},
    {"readlink", Erase(::readlink), nullptr, 0, 0, false, 0},
    {"fsync", Erase(::fsync), nullptr, 0, 0, false, 0},
    {"statvfs", Erase(RealStatvfs), nullptr, 0, 0, false, 0},
    {"statfs", Erase(RealStatfs), nullptr, 0, 0, false, 0},
};

Entry* Find(const char* name) {
  if (!name) return nullptr;
  for (Entry& entry : g_calls)
    if (std::strcmp(entry.name, name) == 0) return &entry;
  return nullptr;
}

// Counts the call; true (with errno set) when it is to fail.
void (*g_observer)(const char* name) = nullptr;

bool Fails(Call call) {
  Entry& entry = g_calls[call];
  if (g_observer) g_observer(entry.name);
  ++entry.calls;
  if (entry.failAt == 0) return false;
  if (entry.calls >= entry.failAt && entry.calls - entry.failAt < entry.times) {
    errno = entry.error;
    return true;
  }
  return false;
}

template <class F>
F* Function(Call call) {
  const Entry& entry = g_calls[call];
  return reinterpret_cast<F*>(entry.current ? entry.current : entry.real);
}

// ---- Drive table.
std::string g_drives[26];
bool g_drivesReady = false;

void DefaultDrives() {
  for (std::string& drive : g_drives) drive.clear();
  g_drives['Z' - 'A'] = "/";
  g_drivesReady = true;
}

int DriveIndex(char letter) {
  if (letter >= 'a' && letter <= 'z') return letter - 'a';
  if (letter >= 'A' && letter <= 'Z') return letter - 'A';
  return -1;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows resolves "." and ".." levels of a path on a drive below the drive's root
// ("C:\..\x" is C:\x), so a path on a mapped drive never leads above the folder the drive
// is mapped to. tail is the native rest after that folder.
std::string ClampLevels(const std::string& tail) {
  std::vector<std::string> levels;
  bool trailing = false;
  std::size_t start = 0;
  while (start <= tail.size()) {
    std::size_t end = tail.find('/', start);
    if (end == std::string::npos) end = tail.size();
    std::string level = tail.substr(start, end - start);
    trailing = end < tail.size() || level == "." || level == "..";
    if (level == "..") {
      if (!levels.empty()) levels.pop_back();
    } else if (!level.empty() && level != ".") {
      levels.push_back(level);
    }
    start = end + 1;
  }
  std::string result = !tail.empty() && tail[0] == '/' ? "/" : "";
  for (std::size_t i = 0; i < levels.size(); ++i) result += (i ? "/" : "") + levels[i];
  if (trailing && !levels.empty()) result += '/';
  return result;
}

bool HasDotLevel(const std::string& tail) {
  std::size_t start = 0;
  while (start <= tail.size()) {
    std::size_t end = tail.find('/', start);
    if (end == std::string::npos) end = tail.size();
    std::string level = tail.substr(start, end - start);
    if (level == "." || level == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

namespace Sys {

int Open(const char* path, int flags, mode_t mode) {
  return Fails(kOpen) ? -1 : Function<int(const char*, int, mode_t)>(kOpen)(path, flags, mode);
}
int Close(int fd) { return Fails(kClose) ? -1 : Function<int(int)>(kClose)(fd); }
ssize_t Read(int fd, void* data, size_t n) {
  return Fails(kRead) ? -1 : Function<ssize_t(int, void*, size_t)>(kRead)(fd, data, n);
}
ssize_t Write(int fd, const void* data, size_t n) {
  return Fails(kWrite) ? -1 : Function<ssize_t(int, const void*, size_t)>(kWrite)(fd, data, n);
}
off_t Lseek(int fd, off_t offset, int whence) {
  return Fails(kLseek) ? -1 : Function<off_t(int, off_t, int)>(kLseek)(fd, offset, whence);
}
int Ftruncate(int fd, off_t length) {
  return Fails(kFtruncate) ? -1 : Function<int(int, off_t)>(kFtruncate)(fd, length);
}
int Fstat(int fd, struct stat* status) {
  return Fails(kFstat) ? -1 : Function<int(int, struct stat*)>(kFstat)(fd, status);
}
int Flock(int fd, int operation) {
  return Fails(kFlock) ? -1 : Function<int(int, int)>(kFlock)(fd, operation);
}
int Unlink(const char* path) {
  return Fails(kUnlink) ? -1 : Function<int(const char*)>(kUnlink)(path);
}
int Mkdir(const char* path, mode_t mode) {
  return Fails(kMkdir) ? -1 : Function<int(const char*, mode_t)>(kMkdir)(path, mode);
}
int Rmdir(const char* path) {
  return Fails(kRmdir) ? -1 : Function<int(const char*)>(kRmdir)(path);
}
int Rename(const char* oldPath, const char* newPath) {
  return Fails(kRename) ? -1 : Function<int(const char*, const char*)>(kRename)(oldPath, newPath);
}
int Lstat(const char* path, struct stat* status) {
  return Fails(kLstat) ? -1 : Function<int(const char*, struct stat*)>(kLstat)(path, status);
}
int Stat(const char* path, struct stat* status) {
  return Fails(kStat) ? -1 : Function<int(const char*, struct stat*)>(kStat)(path, status);
}
DIR* Opendir(const char* path) {
  return Fails(kOpendir) ? nullptr : Function<DIR*(const char*)>(kOpendir)(path);
}
struct dirent* Readdir(DIR* dir) {
  return Fails(kReaddir) ? nullptr : Function<struct dirent*(DIR*)>(kReaddir)(dir);
}
int Closedir(DIR* dir) {
  // The directory is released whatever the table says: a failed close must not leak it.
  if (Fails(kClosedir)) {
    ::closedir(dir);
    return -1;
  }
  return Function<int(DIR*)>(kClosedir)(dir);
}

ssize_t Readlink(const char* path, char* buffer, size_t size) {
  return Fails(kReadlink)
             ? -1
             : Function<ssize_t(const char*, char*, size_t)>(kReadlink)(path, buffer, size);
}
int Fsync(int fd) { return Fails(kFsync) ? -1 : Function<int(int)>(kFsync)(fd); }
int Statvfs(const char* path, struct statvfs* status) {
  return Fails(kStatvfs) ? -1 : Function<int(const char*, struct statvfs*)>(kStatvfs)(path, status);
}
int Statfs(const char* path, struct statfs* status) {
  return Fails(kStatfs) ? -1 : Function<int(const char*, struct statfs*)>(kStatfs)(path, status);
}

}  // namespace Sys

bool SetSystemCall(const char* name, SystemCall call) {
  Entry* entry = Find(name);
  if (!entry) return false;
  entry->current = call;
  return true;
}

SystemCall GetSystemCall(const char* name) {
  Entry* entry = Find(name);
  if (!entry) return nullptr;
  return entry->current ? entry->current : entry->real;
}

bool FailSystemCall(const char* name, long n, int error, long times) {
  Entry* entry = Find(name);
  if (!entry) return false;
  entry->calls = 0;
  entry->failAt = n > 0 ? n : 0;
  entry->times = times;
  entry->error = error;
  return true;
}

long SystemCallCount(const char* name) {
  Entry* entry = Find(name);
  return entry ? entry->calls : 0;
}

void ObserveSystemCalls(void (*observer)(const char* name)) { g_observer = observer; }

void ResetSystemCalls() {
  g_observer = nullptr;
  for (Entry& entry : g_calls) {
    entry.current = nullptr;
    entry.calls = 0;
    entry.failAt = 0;
    entry.times = 0;
    entry.error = 0;
  }
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && VLN2::EqualsNoCase(a.data(), a.size(), b.c_str());
}

void MapDrive(char letter, const char* folder) {
  if (!g_drivesReady) DefaultDrives();
  int index = DriveIndex(letter);
  if (index < 0) return;
  g_drives[index] = folder ? folder : "";
}

void UnmapDrives() { DefaultDrives(); }

bool NativePath(const char* path, std::string* native) {
  if (!g_drivesReady) DefaultDrives();
  if (!path) return false;
  std::string result;
  const char* rest = path;
  int index = DriveIndex(path[0]);
  if (index >= 0 && path[1] == ':') {
    if (g_drives[index].empty()) return false;
    result = g_drives[index];
    rest = path + 2;
    // Join the mapped folder and the rest with exactly one separator.
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    if (*rest && !IsSeparator(*rest) && result.back() != '/') result += '/';
    if (IsSeparator(*rest) && result.back() == '/') ++rest;
    std::string tail;
    for (; *rest; ++rest) tail += *rest == '\\' ? '/' : *rest;
    *native = result + (HasDotLevel(tail) ? ClampLevels(tail) : tail);
    return true;
  }
  for (; *rest; ++rest) result += *rest == '\\' ? '/' : *rest;
  *native = result;
  return true;
}

std::string WindowsPath(const char* native) {
  if (!g_drivesReady) DefaultDrives();
  std::string path = native ? native : "";
  int best = -1;
  std::size_t bestLength = 0;
  for (int i = 0; i < 26; ++i) {
    std::string folder = g_drives[i];
    if (folder.empty()) continue;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    bool holds = folder == "/" ? !path.empty() && path[0] == '/'
                               : path.compare(0, folder.size(), folder) == 0 &&
                                     (path.size() == folder.size() || path[folder.size()] == '/');
    if (holds && (best < 0 || folder.size() > bestLength)) {
      best = i;
      bestLength = folder.size();
    }
  }
  std::string result;
  std::size_t start = 0;
  if (best >= 0) {
    result += static_cast<char>('A' + best);
    result += ':';
    start = bestLength == 1 ? 0 : bestLength;
    if (start == path.size()) result += '\\';
  }
  for (std::size_t i = start; i < path.size(); ++i) result += path[i] == '/' ? '\\' : path[i];
  return result;
}

}  // namespace PosixPort
}  // namespace VLN2

#endif  // !_WIN32
