// The program entry of the installer.
#include <windows.h>

#include <cstdlib>

#include "installer/InstallerDriver.h"

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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  RestrictDllSearch();
  return VLN2::RunProgram(instance, commandLine);
}

// The default terminate handler prints demangled type names, which drags the whole C++
// demangler into the executable. The installer has no console to print to.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
