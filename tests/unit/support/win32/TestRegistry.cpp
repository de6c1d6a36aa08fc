// Registry fixtures under Windows: the real registry, below this process's own keys.
#include "unit/support/TestRegistry.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace VLN2 {

namespace {

HKEY RootOf(Port::RegistryHandle root) { return static_cast<HKEY>(root); }

HKEY CreateOrOpen(HKEY root, const std::string& key) {
  HKEY made = nullptr;
  EXPECT_EQ(
      RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr),
      ERROR_SUCCESS)
      << "cannot create test key " << key;
  return made;
}

}  // namespace

TestRegistry::TestRegistry()
    : base_("Software\\VorlaneTest\\" + std::to_string(GetCurrentProcessId())) {}

TestRegistry::~TestRegistry() {
  if (standIn_) {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  }
  RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VorlaneTest");  // only when no one else is in it
  if (madeLocalMachine_) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, base_.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\VorlaneTest");
  }
}

void TestRegistry::StandIn() {
  if (standIn_) return;
  HKEY machine = CreateOrOpen(HKEY_CURRENT_USER, base_ + "\\StandIn\\LocalMachine");
  HKEY user = CreateOrOpen(HKEY_CURRENT_USER, base_ + "\\StandIn\\CurrentUser");
  ASSERT_TRUE(machine && user);
  EXPECT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine), ERROR_SUCCESS);
  EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user), ERROR_SUCCESS);
  RegCloseKey(machine);
  RegCloseKey(user);
  standIn_ = true;
}

void TestRegistry::SetData(Port::RegistryHandle root, const std::string& key, const char* name,
                           const void* data, std::uint32_t size) {
  if (!standIn_ && root == Port::kLocalMachine) madeLocalMachine_ = true;
  HKEY made = CreateOrOpen(RootOf(root), key);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(RegSetValueExA(made, name, 0, REG_SZ, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
  RegCloseKey(made);
}

void TestRegistry::CreateKey(Port::RegistryHandle root, const std::string& key) {
  if (!standIn_ && root == Port::kLocalMachine) madeLocalMachine_ = true;
  HKEY made = CreateOrOpen(RootOf(root), key);
  if (made) RegCloseKey(made);
}

}  // namespace VLN2
