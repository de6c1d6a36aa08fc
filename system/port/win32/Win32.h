// The one way into <windows.h> for the Win32 port. The A/W name macros that collide with the
// port's own names are removed: the port calls the -A functions by their full names.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After <windows.h>.
#include <shellapi.h>

#undef DeleteFile
#undef MoveFile
#undef CreateDirectory
#undef RemoveDirectory
#undef RegOpenKey
#undef RegCreateKey
#undef RegDeleteTree
#undef RegEnumValue
#undef RegQueryValue
#undef GetModuleFileName
#undef GetTempPath
#undef GetComputerName
#undef FindResource

namespace VLN2 {
namespace Port {

// A function of a system library that the program must not import: version.dll and winmm.dll
// are looked for beside the program first, so they are loaded from the system folder only.
FARPROC SystemLibraryFunction(const char* library, const char* function);

// The same, typed; null when the library or the function is missing.
template <class F>
F SystemFunction(const char* library, const char* function) {
  // Through the generic function type, which converts to any other without complaint.
  return reinterpret_cast<F>(
      reinterpret_cast<void (*)()>(SystemLibraryFunction(library, function)));
}

}  // namespace Port
}  // namespace VLN2
