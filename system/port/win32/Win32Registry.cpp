// The registry on Win32.
#ifdef _WIN32

#include "system/port/Port.h"
#include "system/port/win32/Win32.h"

namespace VLN2 {
namespace Port {

const RegistryHandle kLocalMachine = HKEY_LOCAL_MACHINE;
const RegistryHandle kCurrentUser = HKEY_CURRENT_USER;

namespace {
HKEY AsKey(RegistryHandle key) { return static_cast<HKEY>(key); }
}  // namespace

long RegOpenKey(RegistryHandle root, const char* path, RegistryHandle* key) {
  HKEY opened = nullptr;
  LONG result = RegOpenKeyA(AsKey(root), path, &opened);
  *key = result == ERROR_SUCCESS ? opened : nullptr;
  return result;
}

long RegCloseKey(RegistryHandle key) { return ::RegCloseKey(AsKey(key)); }

long RegEnumValue(RegistryHandle key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                  unsigned char* data, std::uint32_t* dataSize) {
  DWORD nameLength = *nameSize;
  DWORD dataLength = *dataSize;
  LONG result =
      RegEnumValueA(AsKey(key), index, name, &nameLength, nullptr, nullptr, data, &dataLength);
  *nameSize = nameLength;
  *dataSize = dataLength;
  return result;
}

long RegQueryValue(RegistryHandle key, const char* subkey, char* data, long* size) {
  LONG length = *size;
  LONG result = RegQueryValueA(AsKey(key), subkey, data, &length);
  *size = length;
  return result;
}

}  // namespace Port
}  // namespace VLN2

#endif  // _WIN32
