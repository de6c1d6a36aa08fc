// Control of the POSIX port for tests and tools: the drive table, the in-memory registry,
// the resource table, recorded message boxes and shell opens, the module and computer
// names, the temporary folder, and the table of system calls with its fault injection.
// The port itself is reached through system/port/Port.h like on every platform.
#pragma once

#ifndef _WIN32

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "system/port/Port.h"

namespace VLN2 {
namespace PosixPort {

// Everything below back to its start state: Z: is /, no other drive, empty registry,
// resources and records, real system calls and clock, names and folders from the system.
void Reset();

// ---- Drive table. Paths keep the Windows grammar: "C:\a\b" is folder + "/a/b" once C: is
// mapped to folder; Z: is / until changed. An unmapped drive names nothing.
void MapDrive(char letter, const char* folder);  // null folder unmaps the letter
void UnmapDrives();                              // back to Z: = / alone
// The native path of a Windows path; false when its drive is unmapped.
bool NativePath(const char* path, std::string* native);
// The Windows path of a native absolute path: the longest mapped folder holding it.
std::string WindowsPath(const char* native);

// ---- Registry. Keys and value names compare ignoring ASCII case. A null name is the
// key's default value. Text values are stored with their NUL, like REG_SZ.
void SetRegistryText(Port::RegistryHandle root, const char* key, const char* name,
                     const char* text);
// Raw bytes, stored as given.
void SetRegistryData(Port::RegistryHandle root, const char* key, const char* name, const void* data,
                     std::uint32_t size);
void CreateRegistryKey(Port::RegistryHandle root, const char* key);
// A value's bytes as stored (a text with its NUL, a number as 4 bytes little-endian); false
// when the key or the value is missing.
bool GetRegistryData(Port::RegistryHandle root, const char* key, const char* name,
                     std::string* data);
// Opening the key fails with access denied (5).
void DenyRegistryKey(Port::RegistryHandle root, const char* key);
void ClearRegistry();

// ---- Resources of the program, by type (ASCII case ignored) and id.
void SetResource(const char* type, int id, const void* data, std::uint32_t size);
void ClearResources();

// ---- Product major versions of program files (Windows paths, ASCII case ignored).
void SetProductMajorVersion(const char* programFile, int major);

// ---- Message boxes and shell opens: recorded and written to stderr.
struct MessageBoxRecord {
  std::string text;
  std::string caption;
  Port::MessageBoxKind kind;
};
const std::vector<MessageBoxRecord>& MessageBoxes();
const std::vector<std::string>& ShellOpens();
// The paths DeleteAtRestart was given, in order.
const std::vector<std::string>& RestartDeletions();
void ClearRecords();
// What the next boxes return (1, OK, at start).
void SetMessageBoxResult(int result);

// ---- Names and folders. Null goes back to the system's own.
void SetModuleFileName(const char* path);   // default: this program as Z:\...
void SetComputerName(const char* name);     // default: the host name
void SetTempPath(const char* windowsPath);  // default: TMPDIR or /tmp as Z:\...\ .
// The known program-files folder: "C:\Program Files" unless set; an empty text makes the
// query fail.
void SetProgramFilesFolder(const char* windowsPath);

// ---- The system calls every file operation goes through, by name: "open", "close",
// "read", "write", "lseek", "ftruncate", "fstat", "flock", "unlink", "mkdir", "rmdir",
// "rename", "lstat", "stat", "opendir", "readdir", "closedir", "readlink", "fsync", "statvfs",
// "statfs".
// Signatures are the POSIX ones, open taking its mode always: int open(const char*, int, mode_t).
using SystemCall = void (*)();
// Replaces a call; null restores the real one. False for an unknown name.
bool SetSystemCall(const char* name, SystemCall call);
SystemCall GetSystemCall(const char* name);
// The n-th call of that name from now (1 = the next) fails with error, and the times - 1
// calls after it too (kFromThenOn: every later one). n = 0 switches the failure off.
constexpr long kFromThenOn = LONG_MAX;
bool FailSystemCall(const char* name, long n, int error, long times = 1);
// Calls of that name since its last FailSystemCall or Reset.
long SystemCallCount(const char* name);
// Called with the name of each system call before it is made (null: none); a crash test
// ends its process there.
void ObserveSystemCalls(void (*observer)(const char* name));
// Real calls again, no failures, counts at 0, no observer.
void ResetSystemCalls();

}  // namespace PosixPort
}  // namespace VLN2

#endif  // !_WIN32
