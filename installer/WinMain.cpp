// The program entry of the installer, and of the uninstaller (VLN2_UNINSTALLER) built from the
// same sources.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "installer/InstallerDriver.h"
#ifdef VLN2_UNINSTALLER
#include "installer/CommandLine.h"
#include "installer/UninstallEntry.h"
#endif

namespace {

// Installers run from download folders, where a planted DLL named like a system one would
// run with the installer's rights: load DLLs from the system folder only.
void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryA("");
}

#ifdef VLN2_UNINSTALLER
// A running program's file cannot be deleted. Asked interactively, the uninstaller in the
// toolbox folder hands the removal to a copy of itself in a new private temporary folder and
// ends; the copy waits for it to end, removes everything, its first file included, and has
// the system delete the copy and its folder at the next start. An unattended run removes in
// place, so that whoever started it gets its exit code; its own file goes at the next start.
const char* const kOriginalVariable = "VLN2_UNINSTALL_ORIGINAL";

bool IsQuiet(const char* commandLine) {
  VLN2::CommandLine options;
  return options.Parse(commandLine, true) == 0 && options.IsQuiet();
}

// Starts the copy; false, leaving nothing behind, when it cannot be.
bool StartCopy(const char* commandLine) {
  char self[MAX_PATH], folder[MAX_PATH], copy[MAX_PATH + 32];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  DWORD temp = GetTempPathA(sizeof folder - 24, folder);
  if (length == 0 || length >= sizeof self || temp == 0 || temp >= sizeof folder - 24) return false;
  bool made = false;
  for (unsigned attempt = 0; attempt < 30 && !made; ++attempt) {
    std::snprintf(folder + temp, sizeof folder - temp, "VLNU%lu",
                  static_cast<unsigned long>(GetTickCount() + attempt));
    made = VLN2::Port::CreatePrivateFolder(folder);
  }
  std::snprintf(copy, sizeof copy, "%s\\%s", folder, VLN2::kUninstallerProgram);
  if (!made || !CopyFileA(self, copy, TRUE)) {
    if (made) DeleteFileA(copy), RemoveDirectoryA(folder);
    return false;
  }
  std::size_t size = std::strlen(copy) + std::strlen(commandLine) + 4;
  char* line = static_cast<char*>(std::malloc(size));
  char pid[16];
  std::snprintf(pid, sizeof pid, "%lu", GetCurrentProcessId());
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // Started in its own folder: a process's current folder cannot be removed.
  bool started =
      line && SetEnvironmentVariableA(kOriginalVariable, pid) &&
      std::snprintf(line, size, "\"%s\" %s", copy, commandLine) > 0 &&
      CreateProcessA(copy, line, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process);
  std::free(line);
  SetEnvironmentVariableA(kOriginalVariable, nullptr);
  if (!started) {
    DeleteFileA(copy);
    RemoveDirectoryA(folder);
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

int RunCopy(HINSTANCE instance, const char* commandLine, const char* original) {
  SetEnvironmentVariableA(kOriginalVariable, nullptr);
  if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, std::strtoul(original, nullptr, 10))) {
    WaitForSingleObject(process, 30000);
    CloseHandle(process);
  }
  int exitCode = VLN2::RunProgram(instance, commandLine, VLN2::Program::kUninstaller,
                                  VLN2::kRemovalClassTable, VLN2::kRemovalClassCount);
  // Only a copy in a folder StartCopy makes goes: the variable alone proves nothing.
  char self[MAX_PATH], temp[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  DWORD tempLength = GetTempPathA(sizeof temp, temp);
  char* name = length > 0 && length < sizeof self ? std::strrchr(self, '\\') : nullptr;
  if (name && tempLength > 0 && tempLength < sizeof temp &&
      _strnicmp(self, temp, tempLength) == 0 && _strnicmp(self + tempLength, "VLNU", 4) == 0 &&
      std::strchr(self + tempLength, '\\') == name) {
    MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    *name = '\0';
    MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  return exitCode;
}
#endif

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  RestrictDllSearch();
#ifdef VLN2_UNINSTALLER
  char original[16];
  DWORD length = GetEnvironmentVariableA(kOriginalVariable, original, sizeof original);
  if (length > 0 && length < sizeof original) return RunCopy(instance, commandLine, original);
  if (!IsQuiet(commandLine) && StartCopy(commandLine)) return 0;
  return VLN2::RunProgram(instance, commandLine, VLN2::Program::kUninstaller,
                          VLN2::kRemovalClassTable, VLN2::kRemovalClassCount);
#else
  return VLN2::RunProgram(instance, commandLine);
#endif
}

// The default terminate handler prints demangled type names, which drags the whole C++
// demangler into the executable. The installer has no console to print to.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
