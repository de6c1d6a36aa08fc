// Shared inside the POSIX port: the system calls through their replaceable table, and the
// path conversion of the drive table.
#pragma once

#ifndef _WIN32

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <string>

namespace VLN2 {
namespace PosixPort {
namespace Sys {

int Open(const char* path, int flags, mode_t mode);
int Close(int fd);
ssize_t Read(int fd, void* data, size_t n);
ssize_t Write(int fd, const void* data, size_t n);
off_t Lseek(int fd, off_t offset, int whence);
int Ftruncate(int fd, off_t length);
int Fstat(int fd, struct stat* status);
int Flock(int fd, int operation);
int Unlink(const char* path);
int Mkdir(const char* path, mode_t mode);
int Rmdir(const char* path);
int Rename(const char* oldPath, const char* newPath);
int Lstat(const char* path, struct stat* status);
int Stat(const char* path, struct stat* status);
DIR* Opendir(const char* path);
struct dirent* Readdir(DIR* dir);
int Closedir(DIR* dir);
ssize_t Readlink(const char* path, char* buffer, size_t size);
int Fsync(int fd);
int Statvfs(const char* path, struct statvfs* status);
int Statfs(const char* path, struct statfs* status);

}  // namespace Sys

// Names compared ignoring ASCII case.
bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace PosixPort
}  // namespace VLN2

#endif  // !_WIN32
