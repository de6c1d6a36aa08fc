// Application services of the POSIX port: names and folders, clock, recorded boxes and
// shell opens, resources, file versions and the process-wide lock.
#ifndef _WIN32

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "system/port/Port.h"
#include "system/port/posix/PosixInternal.h"
#include "system/port/posix/PosixPort.h"

namespace VLN2 {

namespace {

struct Resource {
  std::string type;
  int id;
  std::string bytes;
};

struct Version {
  std::string file;
  int major;
};

std::vector<Resource> g_resources;
std::vector<Version> g_versions;
std::vector<PosixPort::MessageBoxRecord> g_boxes;
std::vector<std::string> g_shellOpens;
std::vector<std::string> g_restartDeletions;
int g_boxResult = 1;  // IDOK
bool g_hasModuleFileName = false;
std::string g_moduleFileName;
bool g_hasComputerName = false;
std::string g_computerName;
bool g_hasTempPath = false;
std::string g_tempPath;
const char* const kDefaultProgramFiles = "C:\\Program Files";
std::string g_programFiles = kDefaultProgramFiles;
std::uint32_t (*g_clock)() = nullptr;
std::recursive_mutex g_lock;

constexpr int kWaitTimeout = 258;

// Copies text with its NUL when it fits in size bytes.
bool CopyOut(const std::string& text, char* buffer, std::uint32_t size) {
  if (text.size() + 1 > size) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

namespace Port {

bool GetModuleFileName(ModuleHandle, char* buffer, std::uint32_t size) {
  std::string name = g_moduleFileName;
  if (!g_hasModuleFileName) {
    char native[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", native, sizeof native - 1);
    if (length <= 0) return false;
    native[length] = 0;
    name = PosixPort::WindowsPath(native);
  }
  return !name.empty() && CopyOut(name, buffer, size);
}

std::uint32_t GetTempPath(char* buffer, std::uint32_t size) {
  std::string path = g_tempPath;
  if (!g_hasTempPath) {
    const char* folder = std::getenv("TMPDIR");
    if (!folder || folder[0] != '/') folder = "/tmp";
    path = PosixPort::WindowsPath(folder);
  }
  if (path.empty()) return 0;
  if (path.back() != '\\') path += '\\';
  return CopyOut(path, buffer, size) ? static_cast<std::uint32_t>(path.size()) : 0;
}

bool GetComputerName(char* buffer, std::uint32_t* size) {
  std::string name = g_computerName;
  if (!g_hasComputerName) {
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0) return false;
    // The NetBIOS form: the first label, at most 15 characters.
    name = host;
    name = name.substr(0, name.find('.')).substr(0, 15);
  }
  if (!CopyOut(name, buffer, *size)) return false;
  *size = static_cast<std::uint32_t>(name.size());
  return true;
}

bool GetProgramFilesFolder(char* buffer, std::uint32_t size) {
  return !g_programFiles.empty() && CopyOut(g_programFiles, buffer, size);
}

bool ExpandText(const char* text, char* buffer, std::uint32_t size) {
  if (!text) return false;
  std::string expanded;
  while (*text) {
    const char* end = *text == '%' ? std::strchr(text + 1, '%') : nullptr;
    std::string name = end ? std::string(text + 1, end) : "";
    const char* value = end && !name.empty() ? std::getenv(name.c_str()) : nullptr;
    // Like Windows, an unknown name stays as it was written.
    if (value) {
      expanded += value;
      text = end + 1;
    } else {
      expanded += *text++;
    }
  }
  return CopyOut(expanded, buffer, size);
}

MutexClaim ClaimInstanceMutex(const char* name, MutexHandle* mutex) {
  *mutex = nullptr;
  char folder[PATH_MAX];
  if (!name || GetTempPath(folder, sizeof folder) == 0) return MutexClaim::kFailed;
  std::string native;
  if (!PosixPort::NativePath((std::string(folder) + name + ".lock").c_str(), &native))
    return MutexClaim::kFailed;
  int fd = PosixPort::Sys::Open(native.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return MutexClaim::kFailed;
  if (PosixPort::Sys::Flock(fd, LOCK_EX | LOCK_NB) != 0) {
    bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? MutexClaim::kHeldElsewhere : MutexClaim::kFailed;
  }
  *mutex = reinterpret_cast<MutexHandle>(static_cast<std::intptr_t>(fd) + 1);
  return MutexClaim::kClaimed;
}

void CloseInstanceMutex(MutexHandle mutex) {
  // The lock goes with the descriptor; the file stays for the next run.
  if (mutex) ::close(static_cast<int>(reinterpret_cast<std::intptr_t>(mutex) - 1));
}

std::uint32_t GetMilliseconds() {
  if (g_clock) return g_clock();
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

void SetMillisecondClock(std::uint32_t (*clock)()) { g_clock = clock; }

void Sleep(std::uint32_t milliseconds) {
  struct timespec wait = {static_cast<time_t>(milliseconds / 1000),
                          static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

int ShowMessageBox(const char* text, const char* caption, MessageBoxKind kind) {
  std::string shown = text ? text : "";
  std::string title = caption ? caption : "";
  g_boxes.push_back({shown, title, kind});
  std::fprintf(stderr, "[%s] %s: %s\n", kind == MessageBoxKind::kError ? "error box" : "box",
               title.c_str(), shown.c_str());
  return g_boxResult;
}

bool PrintToConsole(const char* text) {
  return std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0;
}

void GetLastErrorText(char* buffer, std::uint32_t size) {
  int code = errno;
  std::snprintf(buffer, size, "%s (error %d)", std::strerror(code), code);
}

bool IsSystemAccount() { return geteuid() == 0; }

void ShellOpen(const char* what) {
  g_shellOpens.push_back(what ? what : "");
  std::fprintf(stderr, "[shell open] %s\n", what ? what : "");
}

// No restart to wait for: recorded, like the shell's actions.
bool DeleteAtRestart(const char* path) {
  if (!path) return false;
  g_restartDeletions.push_back(path);
  return true;
}

int WaitForInput(std::uint32_t milliseconds) {
  // No message queue here: nothing ever arrives.
  Sleep(milliseconds);
  return kWaitTimeout;
}

void GetSystemTime(CalendarTime* time) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm parts;
  gmtime_r(&now.tv_sec, &parts);
  time->year = static_cast<std::uint16_t>(parts.tm_year + 1900);
  time->month = static_cast<std::uint16_t>(parts.tm_mon + 1);
  time->dayOfWeek = static_cast<std::uint16_t>(parts.tm_wday);
  time->day = static_cast<std::uint16_t>(parts.tm_mday);
  time->hour = static_cast<std::uint16_t>(parts.tm_hour);
  time->minute = static_cast<std::uint16_t>(parts.tm_min);
  time->second = static_cast<std::uint16_t>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
  time->milliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
}

bool FindResource(ModuleHandle, const char* type, int id, const void** data, std::uint32_t* size) {
  if (!type) return false;
  for (const Resource& resource : g_resources) {
    if (resource.id == id && PosixPort::EqualsNoCase(resource.type, type)) {
      *data = resource.bytes.data();
      *size = static_cast<std::uint32_t>(resource.bytes.size());
      return true;
    }
  }
  return false;
}

int GetProductMajorVersion(const char* programFile) {
  if (!programFile) return 0;
  for (const Version& version : g_versions)
    if (PosixPort::EqualsNoCase(version.file, programFile)) return version.major;
  return 0;
}

void CreateLock() {}
void DeleteLock() {}
void Lock() { g_lock.lock(); }
void Unlock() { g_lock.unlock(); }

}  // namespace Port

namespace PosixPort {

void Reset() {
  UnmapDrives();
  ClearRegistry();
  ClearResources();
  g_versions.clear();
  ClearRecords();
  g_boxResult = 1;
  SetModuleFileName(nullptr);
  SetComputerName(nullptr);
  SetTempPath(nullptr);
  SetProgramFilesFolder(nullptr);
  Port::SetMillisecondClock(nullptr);
  ResetSystemCalls();
}

void SetResource(const char* type, int id, const void* data, std::uint32_t size) {
  std::string bytes(static_cast<const char*>(data), size);
  for (Resource& resource : g_resources) {
    if (resource.id == id && EqualsNoCase(resource.type, type)) {
      resource.bytes = bytes;
      return;
    }
  }
  g_resources.push_back({type, id, bytes});
}

void ClearResources() { g_resources.clear(); }

void SetProductMajorVersion(const char* programFile, int major) {
  for (Version& version : g_versions) {
    if (EqualsNoCase(version.file, programFile)) {
      version.major = major;
      return;
    }
  }
  g_versions.push_back({programFile, major});
}

const std::vector<MessageBoxRecord>& MessageBoxes() { return g_boxes; }
const std::vector<std::string>& ShellOpens() { return g_shellOpens; }
const std::vector<std::string>& RestartDeletions() { return g_restartDeletions; }

void ClearRecords() {
  g_boxes.clear();
  g_shellOpens.clear();
  g_restartDeletions.clear();
}

void SetMessageBoxResult(int result) { g_boxResult = result; }

void SetModuleFileName(const char* path) {
  g_hasModuleFileName = path != nullptr;
  g_moduleFileName = path ? path : "";
}

void SetComputerName(const char* name) {
  g_hasComputerName = name != nullptr;
  g_computerName = name ? name : "";
}

void SetTempPath(const char* windowsPath) {
  g_hasTempPath = windowsPath != nullptr;
  g_tempPath = windowsPath ? windowsPath : "";
}

void SetProgramFilesFolder(const char* windowsPath) {
  g_programFiles = windowsPath ? windowsPath : kDefaultProgramFiles;
}

}  // namespace PosixPort
}  // namespace VLN2

#endif  // !_WIN32
