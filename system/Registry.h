// Reading texts out of the registry. A key is a path of subkey names below a root; a name
// read from an open key is either "^Value" (the named value of the key) or "Subkey" (the
// default value of that subkey; null: the key's own default value). Plain classes, used as
// local variables.
#pragma once

#include <cstdint>

#include "system/port/Port.h"

namespace VLN2 {

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { CloseKey(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Refused (false) while a key is open.
  bool SetRootKey(Port::RegistryHandle root);
  // 0 opened, 1 no such key, -1 any other error. An open key is closed first.
  int OpenKey(const char* path);
  bool IsOpen() const { return handle_ != nullptr; }
  // 0, or -1 when the platform refused to close it.
  int CloseKey();
  // The value's data in a new buffer (framework allocator, always NUL-terminated) that the
  // caller frees; 0, or -1 when not found. Named values with a name or data of 100 bytes or
  // more are never found.
  int QueryValue(const char* name, char** out);
  // A named value ("^Name") straight into the caller's buffer; 0, or -1 when not found or
  // larger than the buffer. After a failure the buffer holds no meaningful text.
  int QueryString(const char* name, char* buffer, std::uint32_t size);

 private:
  int QueryNamedValue(const char* name, char** out);
  int QueryDefaultValue(const char* subkey, char** out);

  Port::RegistryHandle handle_ = nullptr;
  Port::RegistryHandle root_ = Port::kLocalMachine;
};

class RegistryValue {
 public:
  // name is kept, not copied: the caller keeps it alive.
  explicit RegistryValue(const char* name) : name_(name) {}
  ~RegistryValue();
  RegistryValue(const RegistryValue&) = delete;
  RegistryValue& operator=(const RegistryValue&) = delete;

  // Reads the value from the open key; 0, or the key's error (the text is then null).
  int Query(RegistryKey& key);
  // The text of the last successful read, or null.
  const char* GetText() const { return valid_ ? data_ : nullptr; }

 private:
  const char* name_;
  char* data_ = nullptr;
  bool valid_ = false;
};

}  // namespace VLN2
