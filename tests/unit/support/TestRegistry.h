// Registry fixtures for tests. Natively they fill the POSIX port's in-memory registry;
// under Windows they write the real registry, below keys of this process only
// (Software\VorlaneTest\<process id> under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE), and
// delete everything they made when the object goes.
#pragma once

#include <cstdint>
#include <string>

#include "system/port/Port.h"

namespace VLN2 {

class TestRegistry {
 public:
  TestRegistry();
  ~TestRegistry();
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

  // The key path of this process's own test key, "Software\VorlaneTest\<id>", followed by
  // a backslash and sub when sub is given. Valid below both roots.
  std::string Key(const std::string& sub = "") const;

  // From now on every registry read of this process under HKEY_LOCAL_MACHINE and
  // HKEY_CURRENT_USER sees empty stand-in roots, so that tests can fill keys at their real
  // paths (such as SOFTWARE\Microsoft\Windows\CurrentVersion) without touching the system's.
  void StandIn();

  // A text value (stored with its NUL); a null name is the key's default value.
  void SetText(Port::RegistryHandle root, const std::string& key, const char* name,
               const char* text);
  // Raw bytes, stored as given (a text without its NUL).
  void SetData(Port::RegistryHandle root, const std::string& key, const char* name,
               const void* data, std::uint32_t size);
  void CreateKey(Port::RegistryHandle root, const std::string& key);

 private:
  std::string base_;
  bool standIn_ = false;
  bool madeLocalMachine_ = false;
};

}  // namespace VLN2
