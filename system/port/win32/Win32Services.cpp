// Application services on Win32: folders, names, clock, boxes, shell, resources, file
// versions and the process-wide lock.
#ifdef _WIN32

#include <cstring>

#include "framework/Allocator.h"
#include "framework/StringUtil.h"
#include "system/port/Port.h"
#include "system/port/win32/Win32.h"
// After <windows.h>.
#include <restartmanager.h>
#include <sddl.h>
#include <shlobj.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace VLN2 {
namespace Port {

namespace {

// Loads a library by its full path in the system folder: a base name would let a module of
// that name already in the process, or one found beside the program, stand in for it.
HMODULE LoadSystemLibrary(const char* library) {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  std::size_t nameLength = std::strlen(library);
  if (length == 0 || length + 1 + nameLength + 1 > MAX_PATH) return nullptr;
  path[length] = '\\';
  std::memcpy(path + length + 1, library, nameLength + 1);
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

std::uint32_t (*g_clock)() = nullptr;

CRITICAL_SECTION g_lock;
bool g_lockCreated = false;

}  // namespace

FARPROC SystemLibraryFunction(const char* library, const char* function) {
  // Libraries stay loaded for the life of the process.
  struct Loaded {
    const char* name;
    HMODULE module;
  };
  static Loaded loaded[4];
  static int count = 0;
  for (int i = 0; i < count; ++i) {
    if (std::strcmp(loaded[i].name, library) == 0)
      return loaded[i].module ? GetProcAddress(loaded[i].module, function) : nullptr;
  }
  HMODULE module = LoadSystemLibrary(library);
  if (count < 4) loaded[count++] = {library, module};
  return module ? GetProcAddress(module, function) : nullptr;
}

bool GetModuleFileName(ModuleHandle module, char* buffer, std::uint32_t size) {
  DWORD length = GetModuleFileNameA(static_cast<HMODULE>(module), buffer, size);
  return length > 0 && length < size;
}

std::uint32_t GetTempPath(char* buffer, std::uint32_t size) {
  // Wide, so that a folder named outside the process code page is refused, not replaced by
  // a look-alike that names another folder.
  wchar_t wide[MAX_PATH + 1];
  DWORD units = GetTempPathW(MAX_PATH + 1, wide);
  std::uint32_t length = size ? size - 1 : 0;
  if (units == 0 || units > MAX_PATH ||
      !FromWideText(reinterpret_cast<const std::uint16_t*>(wide), units, buffer, &length))
    return 0;
  buffer[length] = '\0';
  return length;
}

bool GetComputerName(char* buffer, std::uint32_t* size) {
  DWORD length = *size;
  if (!GetComputerNameA(buffer, &length)) return false;
  *size = length;
  return true;
}

bool GetProgramFilesFolder(char* buffer, std::uint32_t size) {
  char path[MAX_PATH];
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path)))
    return false;
  std::size_t length = std::strlen(path);
  if (length == 0 || length + 1 > size) return false;
  std::memcpy(buffer, path, length + 1);
  return true;
}

bool ExpandText(const char* text, char* buffer, std::uint32_t size) {
  if (!text) return false;
  DWORD length = ExpandEnvironmentStringsA(text, buffer, size);
  return length > 0 && length <= size;
}

namespace {

// An Administrators-only namespace for the mutex; null where the system has none (before
// Vista, or Wine) or this process is no administrator.
HANDLE AdministratorsNamespace(const char* name) {
  using CreateBoundary = HANDLE(WINAPI*)(LPCSTR, ULONG);
  using AddSid = BOOL(WINAPI*)(HANDLE*, PSID);
  using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCSTR);
  using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCSTR);
  using DeleteBoundary = VOID(WINAPI*)(HANDLE);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto find = [kernel](const char* function) {
    return reinterpret_cast<void (*)()>(kernel ? GetProcAddress(kernel, function) : nullptr);
  };
  auto createBoundary = reinterpret_cast<CreateBoundary>(find("CreateBoundaryDescriptorA"));
  auto addSid = reinterpret_cast<AddSid>(find("AddSIDToBoundaryDescriptor"));
  auto createNamespace = reinterpret_cast<CreateNamespace>(find("CreatePrivateNamespaceA"));
  auto openNamespace = reinterpret_cast<OpenNamespace>(find("OpenPrivateNamespaceA"));
  auto deleteBoundary = reinterpret_cast<DeleteBoundary>(find("DeleteBoundaryDescriptor"));
  if (!createBoundary || !addSid || !createNamespace || !openNamespace || !deleteBoundary)
    return nullptr;
  HANDLE boundary = createBoundary(name, 0);
  if (!boundary) return nullptr;
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  HANDLE space = nullptr;
  if (AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                               0, 0, 0, 0, 0, 0, &administrators)) {
    if (addSid(&boundary, administrators)) {
      space = createNamespace(nullptr, boundary, name);
      if (!space && GetLastError() == ERROR_ALREADY_EXISTS) space = openNamespace(boundary, name);
    }
    FreeSid(administrators);
  }
  deleteBoundary(boundary);
  return space;
}

struct InstanceMutex {
  HANDLE space;
  HANDLE mutex;
};

// "prefix\name" in buffer; false when it does not fit.
bool JoinName(const char* prefix, const char* name, char* buffer, std::size_t size) {
  std::size_t prefixLength = std::strlen(prefix);
  std::size_t nameLength = std::strlen(name);
  if (prefixLength + 1 + nameLength + 1 > size) return false;
  std::memcpy(buffer, prefix, prefixLength);
  buffer[prefixLength] = '\\';
  std::memcpy(buffer + prefixLength + 1, name, nameLength + 1);
  return true;
}

}  // namespace

MutexClaim ClaimInstanceMutex(const char* name, MutexHandle* mutex) {
  *mutex = nullptr;
  if (!name) return MutexClaim::kFailed;
  HANDLE space = AdministratorsNamespace(name);
  char full[MAX_PATH];  // as long as an object's name may be
  HANDLE handle = nullptr;
  bool held = false;
  if (JoinName(space ? name : "Global", name, full, sizeof full)) {
    handle = CreateMutexA(nullptr, FALSE, full);
    // Access denied: a mutex of that name exists that this process may not open.
    held = handle ? GetLastError() == ERROR_ALREADY_EXISTS : GetLastError() == ERROR_ACCESS_DENIED;
  }
  if (handle && !held) {
    auto* claimed = static_cast<InstanceMutex*>(Allocate(sizeof(InstanceMutex)));
    if (claimed) {
      *claimed = {space, handle};
      *mutex = claimed;
      return MutexClaim::kClaimed;
    }
  }
  if (handle) CloseHandle(handle);
  if (space) ClosePrivateNamespace(space, 0);
  return held ? MutexClaim::kHeldElsewhere : MutexClaim::kFailed;
}

void CloseInstanceMutex(MutexHandle mutex) {
  auto* held = static_cast<InstanceMutex*>(mutex);
  if (!held) return;
  CloseHandle(held->mutex);
  if (held->space) ClosePrivateNamespace(held->space, 0);
  Free(held);
}

std::uint32_t GetMilliseconds() {
  if (g_clock) return g_clock();
  using TimeGetTime = DWORD(WINAPI*)();
  static TimeGetTime timeGetTime = SystemFunction<TimeGetTime>("winmm.dll", "timeGetTime");
  // Without winmm the tick count is the same counter at a coarser step.
  return timeGetTime ? timeGetTime() : GetTickCount();
}

void SetMillisecondClock(std::uint32_t (*clock)()) { g_clock = clock; }

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

int ShowMessageBox(const char* text, const char* caption, MessageBoxKind kind) {
  UINT style = kind == MessageBoxKind::kError         ? MB_ICONERROR | MB_OK
               : kind == MessageBoxKind::kQuestion    ? MB_ICONQUESTION | MB_YESNO
               : kind == MessageBoxKind::kRetryCancel ? MB_ICONWARNING | MB_RETRYCANCEL
                                                      : MB_OK;
  return MessageBoxA(nullptr, text, caption, style);
}

bool PrintToConsole(const char* text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  bool opened = false;
  // A windowed program has no standard output unless it was redirected; the console of
  // the program that started it can still be written to.
  if (!out || out == INVALID_HANDLE_VALUE) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    out = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    opened = true;
  }
  DWORD written = 0;
  DWORD length = static_cast<DWORD>(std::strlen(text));
  bool done = ::WriteFile(out, text, length, &written, nullptr) && written == length;
  if (opened) CloseHandle(out);
  return done;
}

void GetLastErrorText(char* buffer, std::uint32_t size) {
  DWORD code = GetLastError();
  char text[224];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text - 40, nullptr);
  // One line, without the closing full stop and line break the system adds.
  while (length > 0 && std::strchr("\r\n. ", text[length - 1])) --length;
  for (DWORD i = 0; i < length; ++i)
    if (text[i] == '\r' || text[i] == '\n') text[i] = ' ';
  const char* before = length ? " (error " : "error ";
  std::size_t at = length + std::strlen(before);
  std::memcpy(text + length, before, at - length);
  at += FormatDecimal(static_cast<int>(code), text + at, sizeof text - at - 1);
  if (length) text[at++] = ')';
  text[at] = '\0';
  lstrcpynA(buffer, text, static_cast<int>(size));
}

namespace {

// The account the process runs as, copied into user; false when it cannot be had.
bool GetProcessUser(TOKEN_USER* user, DWORD size) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  bool found = GetTokenInformation(token, TokenUser, user, size, &size) != FALSE;
  CloseHandle(token);
  return found;
}

union ProcessUser {
  TOKEN_USER user;
  BYTE bytes[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
};

}  // namespace

bool IsSystemAccount() {
  ProcessUser info;
  return GetProcessUser(&info.user, sizeof info) &&
         IsWellKnownSid(info.user.User.Sid, WinLocalSystemSid);
}

bool CreatePrivateFolder(const char* path) {
  ProcessUser info;
  char* user = nullptr;
  if (!path || !GetProcessUser(&info.user, sizeof info) ||
      !ConvertSidToStringSidA(info.user.User.Sid, &user))
    return false;
  // Full access, inherited by what is made inside, for the system, the Administrators and this
  // user alone; nothing inherited from the folder above (P).
  // A SID's text has at most 187 characters.
  char sddl[64 + 192];
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  bool made = lstrlenA(user) < 192;
  if (made) {
    lstrcpyA(sddl, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;");
    lstrcatA(sddl, user);
    lstrcatA(sddl, ")");
    made = ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr) != FALSE;
  }
  LocalFree(user);
  if (!made) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  made = CreateDirectoryA(path, &attributes) != FALSE;
  LocalFree(descriptor);
  return made;
}

namespace {

// The Restart Manager's functions, from the system folder; null members when it is absent
// (before Windows Vista).
struct RestartManager {
  using Start = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
  using End = DWORD(WINAPI*)(DWORD);
  using Register = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
  using List = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
  Start start = SystemFunction<Start>("rstrtmgr.dll", "RmStartSession");
  End end = SystemFunction<End>("rstrtmgr.dll", "RmEndSession");
  Register add = SystemFunction<Register>("rstrtmgr.dll", "RmRegisterResources");
  List list = SystemFunction<List>("rstrtmgr.dll", "RmGetList");
  bool Usable() const { return start && end && add && list; }
};

// The paths as wide texts in one block, with their pointers in front; null when any cannot
// be converted or memory runs out. Released with Free.
LPCWSTR* WidePaths(const char* const* paths, int count) {
  std::size_t size = count * sizeof(LPCWSTR);
  for (int i = 0; i < count; ++i) size += (std::strlen(paths[i]) + 1) * sizeof(WCHAR);
  auto* block = static_cast<LPCWSTR*>(Allocate(size));
  if (!block) return nullptr;
  auto* text = reinterpret_cast<std::uint16_t*>(block + count);
  for (int i = 0; i < count; ++i) {
    auto length = static_cast<std::uint32_t>(std::strlen(paths[i]));
    std::uint32_t units = length;
    if (!ToWideText(kProcessCodePage, paths[i], length, text, &units)) {
      Free(block);
      return nullptr;
    }
    text[units] = 0;
    block[i] = reinterpret_cast<LPCWSTR>(text);
    text += units + 1;
  }
  return block;
}

}  // namespace

bool ListFileHolders(const char* const* paths, int count,
                     void (*found)(const char* program, void* context), void* context) {
  static const RestartManager rm;
  if (!rm.Usable() || count <= 0) return false;
  LPCWSTR* wide = WidePaths(paths, count);
  if (!wide) return false;
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  bool told = false;
  if (rm.start(&session, 0, key) == ERROR_SUCCESS) {
    UINT needed = 0, given = 0;
    DWORD reasons = 0;
    RM_PROCESS_INFO* holders = nullptr;
    if (rm.add(session, count, wide, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
      // The list can grow between the two calls: asked again until it fits.
      DWORD status = rm.list(session, &needed, &given, nullptr, &reasons);
      while (status == ERROR_MORE_DATA) {
        Free(holders);
        given = needed;
        holders = static_cast<RM_PROCESS_INFO*>(Allocate(given * sizeof(RM_PROCESS_INFO)));
        if (!holders) break;
        status = rm.list(session, &needed, &given, holders, &reasons);
      }
      told = status == ERROR_SUCCESS;
      for (UINT i = 0; told && holders && i < given; ++i) {
        char name[CCH_RM_MAX_APP_NAME * 2 + 1];
        if (WideCharToMultiByte(CP_ACP, 0, holders[i].strAppName, -1, name, sizeof name, nullptr,
                                nullptr) > 0)
          found(name, context);
      }
    }
    Free(holders);
    rm.end(session);
  }
  Free(wide);
  return told;
}

void ShellOpen(const char* what) {
  ShellExecuteA(nullptr, nullptr, what, nullptr, nullptr, SW_SHOWNORMAL);
}

int WaitForInput(std::uint32_t milliseconds) {
  return static_cast<int>(MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT));
}

void GetSystemTime(CalendarTime* time) {
  SYSTEMTIME now;
  ::GetSystemTime(&now);
  time->year = now.wYear;
  time->month = now.wMonth;
  time->dayOfWeek = now.wDayOfWeek;
  time->day = now.wDay;
  time->hour = now.wHour;
  time->minute = now.wMinute;
  time->second = now.wSecond;
  time->milliseconds = now.wMilliseconds;
}

bool FindResource(ModuleHandle module, const char* type, int id, const void** data,
                  std::uint32_t* size) {
  HMODULE owner = static_cast<HMODULE>(module);
  HRSRC resource = FindResourceA(owner, MAKEINTRESOURCEA(id), type);
  if (!resource) return false;
  DWORD length = SizeofResource(owner, resource);
  HGLOBAL loaded = LoadResource(owner, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return false;
  *data = bytes;
  *size = length;
  return true;
}

int GetProductMajorVersion(const char* programFile) {
  using SizeFunction = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  using InfoFunction = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  auto getSize = SystemFunction<SizeFunction>("version.dll", "GetFileVersionInfoSizeA");
  auto getInfo = SystemFunction<InfoFunction>("version.dll", "GetFileVersionInfoA");
  auto query = SystemFunction<QueryFunction>("version.dll", "VerQueryValueA");
  if (!programFile || !getSize || !getInfo || !query) return 0;
  DWORD unused = 0;
  DWORD size = getSize(programFile, &unused);
  if (size == 0) return 0;
  void* block = Allocate(size);
  if (!block) return 0;
  int major = 0;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (getInfo(programFile, 0, size, block) &&
      query(block, "\\", reinterpret_cast<LPVOID*>(&info), &length) && info &&
      length >= sizeof *info && info->dwSignature == 0xFEEF04BD)
    major = HIWORD(info->dwProductVersionMS);
  Free(block);
  return major;
}

void CreateLock() {
  if (g_lockCreated) return;
  InitializeCriticalSection(&g_lock);
  g_lockCreated = true;
}

void DeleteLock() {
  if (!g_lockCreated) return;
  DeleteCriticalSection(&g_lock);
  g_lockCreated = false;
}

void Lock() {
  if (g_lockCreated) EnterCriticalSection(&g_lock);
}

void Unlock() {
  if (g_lockCreated) LeaveCriticalSection(&g_lock);
}

}  // namespace Port
}  // namespace VLN2

#endif  // _WIN32
