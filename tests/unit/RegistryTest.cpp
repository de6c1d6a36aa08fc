#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/Allocator.h"
#include "system/Registry.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/TestRegistry.h"

#ifndef _WIN32
#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

class RegistryTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    registry_ = std::make_unique<TestRegistry>();
    // HKEY_CURRENT_USER\<own key>: named values and a server subkey.
    registry_->SetText(Port::kCurrentUser, registry_->Key(), "InstallPath", "C:\\Host\\");
    registry_->SetText(Port::kCurrentUser, registry_->Key(), "Version", "9.0");
    registry_->SetText(Port::kCurrentUser, registry_->Key("LocalServer32"), nullptr,
                       "C:\\Host\\host.exe /automation");
    registry_->CreateKey(Port::kCurrentUser, registry_->Key("Empty"));
  }
  void TearDown() override {
    registry_.reset();
    CoreFixture::TearDown();
  }
  // Opens this test's own key below the current user.
  void OpenOwn(RegistryKey& key) {
    ASSERT_TRUE(key.SetRootKey(Port::kCurrentUser));
    ASSERT_EQ(key.OpenKey(registry_->Key().c_str()), 0);
  }

  std::unique_ptr<TestRegistry> registry_;
};

TEST_F(RegistryTest, OpenKeyResults) {
  RegistryKey key;
  EXPECT_FALSE(key.IsOpen());
  EXPECT_TRUE(key.SetRootKey(Port::kCurrentUser));
  EXPECT_EQ(key.OpenKey((registry_->Key() + "\\Missing").c_str()), 1);
  EXPECT_FALSE(key.IsOpen());
  // Refused for another reason than its absence.
  EXPECT_EQ(key.OpenKey("\\Software"), -1);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.OpenKey((registry_->Key() + "\\").c_str()), 0);
  EXPECT_TRUE(key.IsOpen());
  EXPECT_EQ(key.CloseKey(), 0);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.CloseKey(), 0);
}

#ifndef _WIN32
TEST_F(RegistryTest, AKeyThatMayNotBeOpened) {
  PosixPort::DenyRegistryKey(Port::kLocalMachine, "SOFTWARE\\Locked");
  RegistryKey key;
  EXPECT_EQ(key.OpenKey("SOFTWARE\\Locked"), -1);
}
#endif

TEST_F(RegistryTest, TheRootIsFixedWhileAKeyIsOpen) {
  RegistryKey key;
  OpenOwn(key);
  EXPECT_FALSE(key.SetRootKey(Port::kLocalMachine));
  // Still the same key.
  char text[64] = {};
  EXPECT_EQ(key.QueryString("^Version", text, sizeof text), 0);
  EXPECT_STREQ(text, "9.0");
  key.CloseKey();
  EXPECT_TRUE(key.SetRootKey(Port::kLocalMachine));
  // The own key does not exist below the other root.
  EXPECT_EQ(key.OpenKey(registry_->Key().c_str()), 1);
}

TEST_F(RegistryTest, OpeningAgainClosesTheFormerKey) {
  RegistryKey key;
  OpenOwn(key);
  EXPECT_EQ(key.OpenKey(registry_->Key("Empty").c_str()), 0);
  char text[64];
  EXPECT_EQ(key.QueryString("^Version", text, sizeof text), -1);
}

TEST_F(RegistryTest, ALocalMachineKey) {
  registry_->SetText(Port::kLocalMachine, registry_->Key(), "ProgramFilesDir", "D:\\Apps");
  RegistryKey key;
  ASSERT_EQ(key.OpenKey(registry_->Key().c_str()), 0);
  RegistryValue value("^ProgramFilesDir");
  EXPECT_EQ(value.Query(key), 0);
  EXPECT_STREQ(value.GetText(), "D:\\Apps");
}

TEST_F(RegistryTest, QueryStringMatchesNamesLoosely) {
  RegistryKey key;
  OpenOwn(key);
  for (const char* name :
       {"^InstallPath", "^installpath", "^Install Path", "^\"INSTALL PATH\"", "^ Install  Path "}) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(key.QueryString(name, text, sizeof text), 0) << name;
    EXPECT_STREQ(text, "C:\\Host\\") << name;
  }
  char text[64];
  EXPECT_EQ(key.QueryString("^Install", text, sizeof text), -1);
  EXPECT_EQ(key.QueryString("^Missing", text, sizeof text), -1);
}

TEST_F(RegistryTest, QueryStringNeedsTheMark) {
  RegistryKey key;
  OpenOwn(key);
  char text[64] = "untouched";
  EXPECT_EQ(key.QueryString("InstallPath", text, sizeof text), -1);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(key.QueryString(nullptr, text, sizeof text), -1);
  EXPECT_STREQ(text, "untouched");
}

TEST_F(RegistryTest, QueryStringSkipsValuesLargerThanTheBuffer) {
  registry_->SetText(Port::kCurrentUser, registry_->Key(), "Install Path",
                     "C:\\A folder name longer than the buffer\\");
  RegistryKey key;
  OpenOwn(key);
  // Both names match; the one that fits is found, whatever the order of the values.
  char text[16];
  EXPECT_EQ(key.QueryString("^installpath", text, sizeof text), 0);
  EXPECT_STREQ(text, "C:\\Host\\");
  char tiny[4];
  EXPECT_EQ(key.QueryString("^installpath", tiny, sizeof tiny), -1);
}

TEST_F(RegistryTest, QueryOnAClosedKeyFails) {
  RegistryKey key;
  char text[16];
  EXPECT_EQ(key.QueryString("^InstallPath", text, sizeof text), -1);
  char* data = nullptr;
  EXPECT_EQ(key.QueryValue("^InstallPath", &data), -1);
  EXPECT_EQ(key.QueryValue("LocalServer32", &data), -1);
  EXPECT_EQ(data, nullptr);
}

TEST_F(RegistryTest, NamedValuesThroughQueryValue) {
  RegistryKey key;
  OpenOwn(key);
  char* data = nullptr;
  ASSERT_EQ(key.QueryValue("^install path", &data), 0);
  EXPECT_STREQ(data, "C:\\Host\\");
  Free(data);
  data = nullptr;
  EXPECT_EQ(key.QueryValue("^Missing", &data), -1);
  EXPECT_EQ(data, nullptr);
}

TEST_F(RegistryTest, NamesAndDataOfAHundredBytesAreNeverFound) {
  std::string longName(100, 'N');
  std::string longData(100, 'd');  // 101 bytes with the NUL
  std::string fitting(98, 'f');    // 99 bytes with the NUL
  registry_->SetText(Port::kCurrentUser, registry_->Key(), longName.c_str(), "x");
  registry_->SetText(Port::kCurrentUser, registry_->Key(), "LongData", longData.c_str());
  registry_->SetText(Port::kCurrentUser, registry_->Key(), "Fitting", fitting.c_str());
  RegistryKey key;
  OpenOwn(key);
  std::string markedLongName = "^" + longName;  // the value keeps the pointer only
  RegistryValue name(markedLongName.c_str());
  RegistryValue data("^LongData");
  RegistryValue fits("^Fitting");
  EXPECT_EQ(name.Query(key), -1);
  EXPECT_EQ(data.Query(key), -1);
  EXPECT_EQ(fits.Query(key), 0);
  EXPECT_EQ(fits.GetText(), fitting);
  // The enumeration goes on past the values it cannot take.
  RegistryValue version("^Version");
  EXPECT_EQ(version.Query(key), 0);
  EXPECT_STREQ(version.GetText(), "9.0");
}

TEST_F(RegistryTest, TheDefaultValueOfASubkey) {
  RegistryKey key;
  OpenOwn(key);
  RegistryValue server("LocalServer32");
  EXPECT_EQ(server.GetText(), nullptr);
  EXPECT_EQ(server.Query(key), 0);
  EXPECT_STREQ(server.GetText(), "C:\\Host\\host.exe /automation");
  // An empty default value counts as absent.
  RegistryValue empty("Empty");
  EXPECT_EQ(empty.Query(key), -1);
  EXPECT_EQ(empty.GetText(), nullptr);
  RegistryValue missing("Missing");
  EXPECT_EQ(missing.Query(key), -1);
}

TEST_F(RegistryTest, TheKeysOwnDefaultValue) {
  registry_->SetText(Port::kCurrentUser, registry_->Key("Own"), nullptr, "own default");
  RegistryKey key;
  key.SetRootKey(Port::kCurrentUser);
  ASSERT_EQ(key.OpenKey(registry_->Key("Own").c_str()), 0);
  RegistryValue own(nullptr);
  EXPECT_EQ(own.Query(key), 0);
  EXPECT_STREQ(own.GetText(), "own default");
}

TEST_F(RegistryTest, AFailedQueryHidesTheFormerText) {
  RegistryKey key;
  OpenOwn(key);
  RegistryValue server("LocalServer32");
  ASSERT_EQ(server.Query(key), 0);
  ASSERT_NE(server.GetText(), nullptr);
  ASSERT_EQ(key.OpenKey(registry_->Key("Empty").c_str()), 0);
  EXPECT_EQ(server.Query(key), -1);
  EXPECT_EQ(server.GetText(), nullptr);
}

TEST_F(RegistryTest, TextsStoredWithoutTheirEndAreEnded) {
  registry_->SetData(Port::kCurrentUser, registry_->Key(), "Raw", "abc", 3);
  registry_->SetData(Port::kCurrentUser, registry_->Key("RawServer"), nullptr, "xyz", 3);
  RegistryKey key;
  OpenOwn(key);
  RegistryValue raw("^Raw");
  ASSERT_EQ(raw.Query(key), 0);
  EXPECT_STREQ(raw.GetText(), "abc");
  RegistryValue server("RawServer");
  ASSERT_EQ(server.Query(key), 0);
  EXPECT_EQ(std::string(server.GetText()).substr(0, 3), "xyz");
}

TEST_F(RegistryTest, WhenMemoryRunsOut) {
  SweepAllocationFailuresBothModes([this] {
    RegistryKey key;
    key.SetRootKey(Port::kCurrentUser);
    ASSERT_EQ(key.OpenKey(registry_->Key().c_str()), 0);
    RegistryValue named("^Install Path");
    RegistryValue server("LocalServer32");
    char text[64];
    int found = key.QueryString("^installpath", text, sizeof text);
    int queried = named.Query(key);
    int serverQueried = server.Query(key);
    if (!AllocationFailureHit()) {
      EXPECT_EQ(found, 0);
      EXPECT_EQ(queried, 0);
      EXPECT_EQ(serverQueried, 0);
    }
    if (found == 0) {
      EXPECT_STREQ(text, "C:\\Host\\");
    }
    EXPECT_EQ(queried == 0, named.GetText() != nullptr);
    if (queried == 0) {
      EXPECT_STREQ(named.GetText(), "C:\\Host\\");
    }
    if (serverQueried == 0) {
      EXPECT_STREQ(server.GetText(), "C:\\Host\\host.exe /automation");
    }
  });
}

}  // namespace
}  // namespace VLN2
