#include "system/Registry.h"

#include <cstring>

#include "framework/Allocator.h"
#include "framework/ElementRef.h"
#include "framework/StringUtil.h"

namespace VLN2 {

namespace {

constexpr std::uint32_t kEnumerationBuffer = 100;

// A copy of size bytes of data with a NUL after them, so that a text stored without its
// terminator still ends.
char* CopyData(const void* data, std::uint32_t size) {
  char* copy = static_cast<char*>(Allocate(size + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, data, size);
  copy[size] = 0;
  return copy;
}

// Whether the enumerated name is the one asked for ("^Name"), compared loosely.
bool NameMatches(const char* wanted, const char* found) {
  ElementRef<StringUtil> util = ElementRef<StringUtil>::Create(kStringUtilType);
  return util && util->EqualsLoose(wanted + 1, found) == 0;
}

// A value that is passed over: never taken in part, nor as another text.
bool SkipsValue(long result) {
  return result == Port::kErrorMoreData || result == Port::kErrorNoUnicodeTranslation;
}

}  // namespace

bool RegistryKey::SetRootKey(Port::RegistryHandle root) {
  if (IsOpen()) return false;
  root_ = root;
  return true;
}

int RegistryKey::OpenKey(const char* path) {
  CloseKey();
  Port::RegistryHandle key = nullptr;
  long result = Port::RegOpenKey(root_, path, &key);
  if (result == Port::kErrorSuccess) {
    handle_ = key;
    return 0;
  }
  return result == Port::kErrorFileNotFound ? 1 : -1;
}

int RegistryKey::CloseKey() {
  if (!handle_) return 0;
  long result = Port::RegCloseKey(handle_);
  handle_ = nullptr;
  return result == Port::kErrorSuccess ? 0 : -1;
}

int RegistryKey::QueryValue(const char* name, char** out) {
  if (!IsOpen() || !out) return -1;
  if (name && name[0] == '^') return QueryNamedValue(name, out);
  return QueryDefaultValue(name, out);
}

int RegistryKey::QueryNamedValue(const char* name, char** out) {
  char found[kEnumerationBuffer];
  unsigned char data[kEnumerationBuffer];
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t nameSize = sizeof found;
    std::uint32_t dataSize = sizeof data;
    long result = Port::RegEnumValue(handle_, index, found, &nameSize, data, &dataSize);
    // Too long a name or data, or one the program's texts cannot carry: not this one. Any
    // other error ends the search, which could otherwise fail at every index for ever.
    if (SkipsValue(result)) continue;
    if (result != Port::kErrorSuccess) return -1;
    if (!NameMatches(name, found)) continue;
    char* copy = CopyData(data, dataSize);
    if (!copy) return -1;
    *out = copy;
    return 0;
  }
}

int RegistryKey::QueryDefaultValue(const char* subkey, char** out) {
  long size = 0;
  if (Port::RegQueryValue(handle_, subkey, nullptr, &size) != Port::kErrorSuccess) return -1;
  // An empty default value counts as absent.
  if (size <= 1) return -1;
  char* buffer = static_cast<char*>(Allocate(static_cast<std::size_t>(size) + 1));
  if (!buffer) return -1;
  long filled = size;
  if (Port::RegQueryValue(handle_, subkey, buffer, &filled) != Port::kErrorSuccess ||
      filled > size) {
    Free(buffer);
    return -1;
  }
  buffer[filled] = 0;
  *out = buffer;
  return 0;
}

int RegistryKey::QueryString(const char* name, char* buffer, std::uint32_t size) {
  if (!name || name[0] != '^') return -1;
  if (!IsOpen() || !buffer) return -1;
  ElementRef<StringUtil> util = ElementRef<StringUtil>::Create(kStringUtilType);
  if (!util) return -1;
  std::uint32_t capacity = static_cast<std::uint32_t>(std::strlen(name)) + 512;
  char* found = static_cast<char*>(Allocate(capacity));
  if (!found) return -1;
  int result = -1;
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t nameSize = capacity;
    std::uint32_t dataSize = size;
    long status = Port::RegEnumValue(handle_, index, found, &nameSize,
                                     reinterpret_cast<unsigned char*>(buffer), &dataSize);
    if (SkipsValue(status)) continue;
    if (status != Port::kErrorSuccess) break;
    if (util->EqualsLoose(name + 1, found) == 0) {
      result = 0;
      break;
    }
  }
  Free(found);
  return result;
}

RegistryValue::~RegistryValue() { Free(data_); }

int RegistryValue::Query(RegistryKey& key) {
  char* data = nullptr;
  int result = key.QueryValue(name_, &data);
  if (result != 0) {
    valid_ = false;
    return result;
  }
  Free(data_);
  data_ = data;
  valid_ = true;
  return 0;
}

}  // namespace VLN2
