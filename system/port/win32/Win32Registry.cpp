// The registry on Win32. Read through the wide functions: the 8-bit ones would hand over
// look-alikes or question marks for characters outside the process code page, and so name
// another folder.
#ifdef _WIN32

#include <cstring>

#include "framework/Allocator.h"
#include "system/port/Port.h"
#include "system/port/win32/Win32.h"

namespace VLN2 {
namespace Port {

const RegistryHandle kLocalMachine = HKEY_LOCAL_MACHINE;
const RegistryHandle kCurrentUser = HKEY_CURRENT_USER;

namespace {

HKEY AsKey(RegistryHandle key) { return static_cast<HKEY>(key); }

// A block of the framework allocator, freed on every exit.
struct Block {
  explicit Block(std::size_t size) : data(Allocate(size ? size : 1)) {}
  ~Block() { Free(data); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  void* data;
};

// A key path or subkey name as the wide functions take it, converted in place: they are
// short, and opening a key needs no memory of the program's.
class WideName {
 public:
  explicit WideName(const char* text) : given_(text != nullptr), ok_(!text || Convert(text)) {}
  // False when the text is too long or malformed.
  bool ok() const { return ok_; }
  const wchar_t* get() const { return given_ ? units_ : nullptr; }

 private:
  bool Convert(const char* text) {
    std::uint32_t units = kUnits - 1;
    if (!ToWideText(kProcessCodePage, text, static_cast<std::uint32_t>(std::strlen(text)),
                    reinterpret_cast<std::uint16_t*>(units_), &units))
      return false;
    units_[units] = 0;
    return true;
  }

  static constexpr int kUnits = 1024;
  wchar_t units_[kUnits];
  bool given_;
  bool ok_;
};

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Hands the wide data of a value (bytes long) to the caller as the 8-bit function would:
// texts converted, other data as it is. data null asks for the size; *size: capacity on
// entry, the bytes needed on success and on kErrorMoreData.
long HandOver(DWORD type, const void* wide, DWORD bytes, void* data, std::uint32_t* size) {
  const void* out = wide;
  std::uint32_t length = bytes;
  // One UTF-16 unit gives at most three bytes.
  Block text(IsText(type) ? bytes / 2 * 3 : 0);
  if (IsText(type)) {
    if (!text.data) return ERROR_NOT_ENOUGH_MEMORY;
    length = bytes / 2 * 3;
    if (!FromWideText(static_cast<const std::uint16_t*>(wide), bytes / 2,
                      static_cast<char*>(text.data), &length))
      return kErrorNoUnicodeTranslation;
    out = text.data;
  }
  if (data && length > *size) {
    *size = length;
    return kErrorMoreData;
  }
  if (data) CopyMemory(data, out, length);
  *size = length;
  return kErrorSuccess;
}

}  // namespace

long RegOpenKey(RegistryHandle root, const char* path, RegistryHandle* key) {
  *key = nullptr;
  WideName widePath(path);
  if (!widePath.ok()) return kErrorNoUnicodeTranslation;
  HKEY opened = nullptr;
  LONG result = RegOpenKeyW(AsKey(root), widePath.get(), &opened);
  if (result == ERROR_SUCCESS) *key = opened;
  return result;
}

long RegCloseKey(RegistryHandle key) { return ::RegCloseKey(AsKey(key)); }

long RegEnumValue(RegistryHandle key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                  unsigned char* data, std::uint32_t* dataSize) {
  if (*nameSize == 0) return kErrorMoreData;
  // A name that fits the caller's bytes has no more UTF-16 units than bytes.
  Block wideName(static_cast<std::size_t>(*nameSize) * sizeof(wchar_t));
  if (!wideName.data) return ERROR_NOT_ENOUGH_MEMORY;
  auto* nameUnits = static_cast<wchar_t*>(wideName.data);
  DWORD units = *nameSize;
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  // The data is read whole: its 8-bit length is known only once it is converted.
  LONG result =
      RegEnumValueW(AsKey(key), index, nameUnits, &units, nullptr, &type, nullptr, &bytes);
  if (result != ERROR_SUCCESS) return result;
  Block wideData(bytes);
  if (!wideData.data) return ERROR_NOT_ENOUGH_MEMORY;
  units = *nameSize;
  result = RegEnumValueW(AsKey(key), index, nameUnits, &units, nullptr, &type,
                         static_cast<BYTE*>(wideData.data), &bytes);
  if (result != ERROR_SUCCESS) return result;
  // The name without its NUL, for which the caller's buffer keeps a byte.
  std::uint32_t nameBytes = *nameSize - 1;
  if (!FromWideText(reinterpret_cast<const std::uint16_t*>(nameUnits), units, name, &nameBytes))
    return kErrorNoUnicodeTranslation;
  result = HandOver(type, wideData.data, bytes, data, dataSize);
  if (result != kErrorSuccess) return result;
  name[nameBytes] = '\0';
  *nameSize = nameBytes;
  return kErrorSuccess;
}

long RegQueryValue(RegistryHandle key, const char* subkey, char* data, long* size) {
  WideName wideSubkey(subkey);
  if (!wideSubkey.ok()) return kErrorNoUnicodeTranslation;
  LONG bytes = 0;
  LONG result = RegQueryValueW(AsKey(key), wideSubkey.get(), nullptr, &bytes);
  if (result != ERROR_SUCCESS) return result;
  Block wide(static_cast<std::size_t>(bytes));
  if (!wide.data) return ERROR_NOT_ENOUGH_MEMORY;
  LONG filled = bytes;
  result = RegQueryValueW(AsKey(key), wideSubkey.get(), static_cast<wchar_t*>(wide.data), &filled);
  if (result != ERROR_SUCCESS) return result;
  std::uint32_t length = *size > 0 ? static_cast<std::uint32_t>(*size) : 0;
  result = HandOver(REG_SZ, wide.data, static_cast<DWORD>(filled), data, &length);
  if (result == kErrorSuccess || result == kErrorMoreData) *size = static_cast<long>(length);
  return result;
}

long RegCreateKey(RegistryHandle root, const char* path, RegistryHandle* key) {
  *key = nullptr;
  WideName widePath(path);
  if (!widePath.ok()) return kErrorNoUnicodeTranslation;
  HKEY opened = nullptr;
  LONG result = RegCreateKeyExW(AsKey(root), widePath.get(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                &opened, nullptr);
  if (result == ERROR_SUCCESS) *key = opened;
  return result;
}

long RegSetText(RegistryHandle key, const char* name, const char* text) {
  WideName wideName(name);
  WideName wideText(text);
  if (!wideName.ok() || !wideText.ok() || !text) return kErrorNoUnicodeTranslation;
  DWORD bytes = static_cast<DWORD>((wcslen(wideText.get()) + 1) * sizeof(wchar_t));
  return RegSetValueExW(AsKey(key), wideName.get(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(wideText.get()), bytes);
}

long RegSetNumber(RegistryHandle key, const char* name, std::uint32_t value) {
  WideName wideName(name);
  if (!wideName.ok()) return kErrorNoUnicodeTranslation;
  DWORD number = value;
  return RegSetValueExW(AsKey(key), wideName.get(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&number), sizeof number);
}

long RegDeleteTree(RegistryHandle root, const char* path) {
  WideName widePath(path);
  if (!widePath.ok() || !path) return kErrorNoUnicodeTranslation;
  return RegDeleteTreeW(AsKey(root), widePath.get());
}

}  // namespace Port
}  // namespace VLN2

#endif  // _WIN32
