// The registry of the POSIX port: an in-memory tree that tests fill, read through the same
// calls and error codes as the Win32 registry.
#ifndef _WIN32

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "system/port/Port.h"
#include "system/port/posix/PosixInternal.h"
#include "system/port/posix/PosixPort.h"

namespace VLN2 {

namespace {

constexpr long kErrorAccessDenied = 5;
constexpr long kErrorBadPathname = 161;
constexpr long kErrorKeyDeleted = 1018;
constexpr long kErrorInvalidHandle = 6;

struct Value {
  std::string name;  // empty: the default value
  std::string data;
};

struct Key {
  std::string name;
  bool denied = false;
  std::vector<Value> values;  // in the order they were first set
  std::vector<std::unique_ptr<Key>> subkeys;
};

Key g_roots[2];
char g_rootTags[2];

// An open key: its root and path, resolved at every use, so that clearing the registry
// under an open handle gives an error instead of a dangling key.
struct OpenKey {
  int root;
  std::vector<std::string> path;
};

int RootIndex(Port::RegistryHandle handle) {
  if (handle == Port::kLocalMachine) return 0;
  if (handle == Port::kCurrentUser) return 1;
  return -1;
}

// Splits "A\B\C\" into its names, skipping empty ones; false for a leading backslash,
// which the registry refuses.
bool SplitPath(const char* path, std::vector<std::string>* names) {
  names->clear();
  if (!path) return true;
  if (*path == '\\') return false;
  std::string name;
  for (const char* c = path;; ++c) {
    if (*c != '\\' && *c != 0) {
      name += *c;
      continue;
    }
    if (!name.empty()) names->push_back(name);
    name.clear();
    if (*c == 0) return true;
  }
}

Key* Child(Key* key, const std::string& name, bool create) {
  for (auto& child : key->subkeys)
    if (PosixPort::EqualsNoCase(child->name, name)) return child.get();
  if (!create) return nullptr;
  key->subkeys.push_back(std::make_unique<Key>());
  key->subkeys.back()->name = name;
  return key->subkeys.back().get();
}

Key* Walk(int root, const std::vector<std::string>& path, bool create) {
  Key* key = &g_roots[root];
  for (const std::string& name : path) {
    key = Child(key, name, create);
    if (!key) return nullptr;
  }
  return key;
}

Key* Resolve(Port::RegistryHandle handle) {
  int root = RootIndex(handle);
  if (root >= 0) return &g_roots[root];
  if (!handle) return nullptr;
  const OpenKey* open = static_cast<const OpenKey*>(handle);
  return Walk(open->root, open->path, false);
}

Key* KeyOf(Port::RegistryHandle root, const char* path, bool create) {
  int index = RootIndex(root);
  std::vector<std::string> names;
  if (index < 0 || !SplitPath(path, &names)) return nullptr;
  return Walk(index, names, create);
}

void Store(Key* key, const char* name, std::string data) {
  std::string wanted = name ? name : "";
  for (Value& value : key->values) {
    if (PosixPort::EqualsNoCase(value.name, wanted)) {
      value.data = std::move(data);
      return;
    }
  }
  key->values.push_back({wanted, std::move(data)});
}

}  // namespace

namespace Port {

const RegistryHandle kLocalMachine = &g_rootTags[0];
const RegistryHandle kCurrentUser = &g_rootTags[1];

long RegOpenKey(RegistryHandle root, const char* path, RegistryHandle* key) {
  *key = nullptr;
  int rootIndex = RootIndex(root);
  const OpenKey* parent = rootIndex < 0 && root ? static_cast<const OpenKey*>(root) : nullptr;
  if (rootIndex < 0 && !parent) return kErrorInvalidHandle;
  std::vector<std::string> names;
  if (!SplitPath(path, &names)) return kErrorBadPathname;
  OpenKey opened;
  opened.root = parent ? parent->root : rootIndex;
  if (parent) opened.path = parent->path;
  if (parent && !Walk(opened.root, opened.path, false)) return kErrorKeyDeleted;
  Key* key0 = Walk(opened.root, opened.path, false);
  for (const std::string& name : names) {
    key0 = Child(key0, name, false);
    if (!key0) return kErrorFileNotFound;
    if (key0->denied) return kErrorAccessDenied;
    opened.path.push_back(key0->name);
  }
  OpenKey* handle = new (std::nothrow) OpenKey(std::move(opened));
  if (!handle) return 8;  // ERROR_NOT_ENOUGH_MEMORY
  *key = handle;
  return kErrorSuccess;
}

long RegCloseKey(RegistryHandle key) {
  if (RootIndex(key) >= 0) return kErrorSuccess;
  if (!key) return kErrorInvalidHandle;
  delete static_cast<OpenKey*>(key);
  return kErrorSuccess;
}

long RegEnumValue(RegistryHandle key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                  unsigned char* data, std::uint32_t* dataSize) {
  Key* open = Resolve(key);
  if (!open) return key ? kErrorKeyDeleted : kErrorInvalidHandle;
  if (index >= open->values.size()) return kErrorNoMoreItems;
  const Value& value = open->values[index];
  if (value.name.size() + 1 > *nameSize) return kErrorMoreData;
  std::uint32_t size = static_cast<std::uint32_t>(value.data.size());
  if (data && size > *dataSize) {
    *dataSize = size;
    return kErrorMoreData;
  }
  std::memcpy(name, value.name.c_str(), value.name.size() + 1);
  *nameSize = static_cast<std::uint32_t>(value.name.size());
  if (data) std::memcpy(data, value.data.data(), size);
  *dataSize = size;
  return kErrorSuccess;
}

long RegQueryValue(RegistryHandle key, const char* subkey, char* data, long* size) {
  Key* open = Resolve(key);
  if (!open) return key ? kErrorKeyDeleted : kErrorInvalidHandle;
  std::vector<std::string> names;
  if (!SplitPath(subkey, &names)) return kErrorBadPathname;
  for (const std::string& name : names) {
    open = Child(open, name, false);
    if (!open) return kErrorFileNotFound;
    if (open->denied) return kErrorAccessDenied;
  }
  // An unset default value reads as the empty text.
  std::string text(1, '\0');
  for (const Value& value : open->values)
    if (value.name.empty()) text = value.data;
  long length = static_cast<long>(text.size());
  if (data && *size < length) {
    *size = length;
    return kErrorMoreData;
  }
  if (data) std::memcpy(data, text.data(), text.size());
  *size = length;
  return kErrorSuccess;
}

long RegCreateKey(RegistryHandle root, const char* path, RegistryHandle* key) {
  *key = nullptr;
  int rootIndex = RootIndex(root);
  std::vector<std::string> names;
  if (rootIndex < 0) return kErrorInvalidHandle;
  if (!SplitPath(path, &names)) return kErrorBadPathname;
  OpenKey opened{rootIndex, {}};
  Key* walked = &g_roots[rootIndex];
  for (const std::string& name : names) {
    walked = Child(walked, name, true);
    if (walked->denied) return kErrorAccessDenied;
    opened.path.push_back(walked->name);
  }
  OpenKey* handle = new (std::nothrow) OpenKey(std::move(opened));
  if (!handle) return 8;  // ERROR_NOT_ENOUGH_MEMORY
  *key = handle;
  return kErrorSuccess;
}

long RegSetText(RegistryHandle key, const char* name, const char* text) {
  Key* open = RootIndex(key) < 0 ? Resolve(key) : nullptr;
  if (!open || !text) return key ? kErrorKeyDeleted : kErrorInvalidHandle;
  Store(open, name, std::string(text, std::strlen(text) + 1));
  return kErrorSuccess;
}

long RegSetNumber(RegistryHandle key, const char* name, std::uint32_t value) {
  Key* open = RootIndex(key) < 0 ? Resolve(key) : nullptr;
  if (!open) return key ? kErrorKeyDeleted : kErrorInvalidHandle;
  const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                         static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
  Store(open, name, std::string(bytes, 4));
  return kErrorSuccess;
}

long RegDeleteTree(RegistryHandle root, const char* path) {
  int rootIndex = RootIndex(root);
  std::vector<std::string> names;
  if (rootIndex < 0 || !SplitPath(path, &names) || names.empty()) return kErrorBadPathname;
  std::string last = names.back();
  names.pop_back();
  Key* parent = Walk(rootIndex, names, false);
  if (!parent) return kErrorFileNotFound;
  for (auto child = parent->subkeys.begin(); child != parent->subkeys.end(); ++child) {
    if (!PosixPort::EqualsNoCase((*child)->name, last)) continue;
    if ((*child)->denied) return kErrorAccessDenied;
    parent->subkeys.erase(child);
    return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

}  // namespace Port

namespace PosixPort {

bool GetRegistryData(Port::RegistryHandle root, const char* key, const char* name,
                     std::string* data) {
  Key* found = KeyOf(root, key, false);
  std::string wanted = name ? name : "";
  for (const Value& value : found ? found->values : std::vector<Value>())
    if (EqualsNoCase(value.name, wanted)) {
      *data = value.data;
      return true;
    }
  return false;
}

void SetRegistryText(Port::RegistryHandle root, const char* key, const char* name,
                     const char* text) {
  std::string data = text ? text : "";
  data.push_back('\0');
  if (Key* target = KeyOf(root, key, true)) Store(target, name, std::move(data));
}

void SetRegistryData(Port::RegistryHandle root, const char* key, const char* name, const void* data,
                     std::uint32_t size) {
  std::string bytes(static_cast<const char*>(data), size);
  if (Key* target = KeyOf(root, key, true)) Store(target, name, std::move(bytes));
}

void CreateRegistryKey(Port::RegistryHandle root, const char* key) { KeyOf(root, key, true); }

void DenyRegistryKey(Port::RegistryHandle root, const char* key) {
  if (Key* target = KeyOf(root, key, true)) target->denied = true;
}

void ClearRegistry() {
  for (Key& root : g_roots) root = Key();
}

}  // namespace PosixPort
}  // namespace VLN2

#endif  // !_WIN32
