// The installation record: duplicate rules, the exact bytes of "Uninstall.info", replaying
// it, and damaged records.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/EntryName.h"
#include "framework/ElementRef.h"
#include "installer/Uninstaller.h"
#include "system/port/Port.h"
#ifndef _WIN32
#include "system/port/posix/PosixPort.h"
#endif
#include "unit/support/CoreFixture.h"
#include "unit/support/Sandbox.h"
#include "unit/support/StoredFiles.h"
#include "unit/support/TestRegistry.h"

namespace VLN2 {
namespace {

class UninstallerTest : public CoreFixture {
 protected:
  ElementRef<Uninstaller> NewUninstaller() {
    return ElementRef<Uninstaller>::Create(kUninstallerType);
  }
  // What Save writes for the uninstaller's lists, in one write however many paths they hold.
  std::string Saved(Uninstaller* uninstaller) {
#ifndef _WIN32
    PosixPort::FailSystemCall("write", 0, 0);
#endif
    EXPECT_EQ(uninstaller->Save(box_.Path("saved.info").c_str()), 0);
#ifndef _WIN32
    EXPECT_EQ(PosixPort::SystemCallCount("write"), 1);
#endif
    return box_.ReadFile("saved.info");
  }
  // Loads a record holding bytes and replays it; Load's result. The replay always succeeds.
  int Replay(const std::string& bytes) {
    box_.WriteFile("record.info", bytes);
    ElementRef<Uninstaller> uninstaller = NewUninstaller();
    int loaded = uninstaller->Load(box_.Path("record.info").c_str());
    EXPECT_EQ(uninstaller->Uninstall(), 0);
    return loaded;
  }
  Sandbox box_;
};

TEST_F(UninstallerTest, EmptyListsSaveTwelveZeroBytes) {
  auto uninstaller = NewUninstaller();
  EXPECT_EQ(Saved(uninstaller.get()), std::string(12, '\0'));
}

TEST_F(UninstallerTest, OneFileSavesNineteenBytes) {
  auto uninstaller = NewUninstaller();
  ASSERT_EQ(uninstaller->AddFileEntry("C:\\f"), 0);
  std::string expected("\0\0\0\0\1\0\0\0\5\0C:\\f\0\0\0\0\0", 19);
  EXPECT_EQ(Saved(uninstaller.get()), expected);
}

TEST_F(UninstallerTest, PathsEqualIgnoringCaseAreRecordedOnceInTheFirstSpelling) {
  auto uninstaller = NewUninstaller();
  EXPECT_EQ(uninstaller->AddFileEntry("C:\\A\\x.dll"), 0);
  EXPECT_EQ(uninstaller->AddFileEntry("c:\\a\\X.DLL"), 0);
  EXPECT_EQ(uninstaller->AddFolderEntry("C:\\A\\B\\x.dll"), 0);
  EXPECT_EQ(uninstaller->AddFolderEntry("C:\\A\\b\\y.dll"), 0);
  EXPECT_EQ(Saved(uninstaller.get()), StoredRecordBytes({"C:\\A\\x.dll"}, {"C:\\A\\B\\"}));
}

// Enough paths for the index beside the list to grow twice, each added again in capitals:
// whichever allocation fails, every path and its folder is listed once, whole, in the
// spelling that got in first.
TEST_F(UninstallerTest, ManyPathsAreListedOnceEvenWhenMemoryRunsOut) {
  SweepAllocationFailuresBothModes([&] {
    ElementRef<Uninstaller> uninstaller = NewUninstaller();
    if (!uninstaller) return;
    std::vector<std::string> expected, folders;
    for (int i = 0; i < 70; ++i) {
      std::string path = "C:\\sdk\\file" + std::to_string(i) + ".h";
      std::string capitals = "C:\\SDK\\FILE" + std::to_string(i) + ".H";
      bool first = uninstaller->AddFileEntry(path.c_str()) == 0;
      bool second = uninstaller->AddFileEntry(capitals.c_str()) == 0;
      if (first || second) expected.push_back(first ? path : capitals);
      for (const std::string& file : {path, capitals})
        if (uninstaller->AddFolderEntry(file.c_str()) == 0 && folders.empty())
          folders.push_back(file.substr(0, file.rfind('\\') + 1));
    }
    if (uninstaller->Save(box_.Path("saved.info").c_str()) == 0) {
      EXPECT_EQ(box_.ReadFile("saved.info"), StoredRecordBytes(expected, folders));
    }
  });
}

// The folder count, the record's last write, needs more memory: a failure there is no record.
TEST_F(UninstallerTest, ARecordWhoseLastWriteRunsOutOfMemoryIsNotSaved) {
  const std::string path = "C:\\" + std::string(4080, 'x');  // the count crosses 4 KB
  SweepAllocationFailuresBothModes([&] {
    ElementRef<Uninstaller> uninstaller = NewUninstaller();
    if (!uninstaller || uninstaller->AddFileEntry(path.c_str()) != 0) return;
    if (uninstaller->Save(box_.Path("saved.info").c_str()) == 0) {
      EXPECT_EQ(box_.ReadFile("saved.info"), StoredRecordBytes({path}, {}));
    }
  });
}

// A text the record cannot hold is no record, not one read out of step.
TEST_F(UninstallerTest, APathLongerThanTheRecordHoldsFailsTheSave) {
  auto uninstaller = NewUninstaller();
  ASSERT_EQ(uninstaller->AddFileEntry(("C:\\" + std::string(70000, 'x')).c_str()), 0);
  EXPECT_NE(uninstaller->Save(box_.Path("saved.info").c_str()), 0);
  EXPECT_FALSE(box_.Exists("saved.info"));
}

TEST_F(UninstallerTest, ReplayDeletesTheFilesAndEmptiesTheLists) {
  box_.WriteFile("f", "data");
  auto uninstaller = NewUninstaller();
  uninstaller->AddFileEntry(box_.Path("f").c_str());
  uninstaller->Save(box_.Path("Uninstall.info").c_str());

  auto replay = NewUninstaller();
  EXPECT_EQ(replay->Load(box_.Path("Uninstall.info").c_str()), 0);
  EXPECT_EQ(replay->Uninstall(), 0);
  EXPECT_FALSE(box_.Exists("f"));
  EXPECT_EQ(Saved(replay.get()), std::string(12, '\0'));
  box_.WriteFile("f", "new");
  EXPECT_EQ(replay->Uninstall(), 0);  // nothing listed any more
  EXPECT_TRUE(box_.Exists("f"));
  // A listed file that stays (here a folder in its place) fails the replay.
  box_.WriteFile("g\\mine.txt", "the user's");
  ASSERT_EQ(replay->AddFileEntry(box_.Path("g").c_str()), 0);
  EXPECT_EQ(replay->Uninstall(), 1);
  EXPECT_TRUE(box_.Exists("g\\mine.txt"));
}

// A folder goes once its recorded subfolders have, in whichever order they were recorded.
TEST_F(UninstallerTest, NestedFoldersGoInEitherOrderAndFoldersInUseStay) {
  for (bool childFirst : {false, true}) {
    box_.WriteFile("Q\\mine.txt", "the user's");
    box_.WriteFile("P\\a\\b\\x.dll", "x");
    std::vector<std::string> folders = {box_.Path("P\\a\\"), box_.Path("P\\a\\b\\")};
    if (childFirst) std::swap(folders[0], folders[1]);
    folders.push_back(box_.Path("Q\\"));
    EXPECT_EQ(Replay(StoredRecordBytes({box_.Path("P\\a\\b\\x.dll")}, folders)), 0);
    EXPECT_FALSE(box_.Exists("P\\a")) << "child first: " << childFirst;
    EXPECT_TRUE(box_.Exists("P"));
    EXPECT_TRUE(box_.Exists("Q\\mine.txt"));
  }
}

// Only a record read as one removes anything: one from a newer version (a header above 0)
// or without a whole header is refused; older headers, below 0, are read like the current.
TEST_F(UninstallerTest, WhatARecordRemovesDependsOnItsHeaderAndCounts) {
  const std::vector<std::string> listed = {box_.Path("listed.txt")};
  const struct {
    const char* what;
    std::string bytes;
    int loaded;
    bool removes;
  } rows[] = {
      {"current header", StoredRecordBytes(listed, {}), 0, true},
      {"older header", StoredRecordBytes(listed, {}, -1), 0, true},
      {"oldest header", StoredRecordBytes(listed, {}, INT32_MIN), 0, true},
      {"newer header", StoredRecordBytes(listed, {}, 1), 1, false},
      {"newest header", StoredRecordBytes(listed, {}, INT32_MAX), 1, false},
      {"no whole header", std::string(2, '\0'), 1, false},
      {"negative counts", StoredWord(0) + StoredWord(-5) + StoredWord(-1), 0, false},
      {"an empty text names no file", StoredRecordBytes({"", listed[0]}, {}), 0, true},
  };
  for (const auto& row : rows) {
    box_.WriteFile("listed.txt", "x");
    EXPECT_EQ(Replay(row.bytes), row.loaded) << row.what;
    EXPECT_NE(box_.Exists("listed.txt"), row.removes) << row.what;
  }
  // No record at all: a missing file, or a folder in its place.
  box_.WriteFile("listed.txt", "x");
  box_.MakeFolder("folder.info");
  for (const char* record : {"absent.info", "folder.info"}) {
    auto uninstaller = NewUninstaller();
    EXPECT_EQ(uninstaller->Load(box_.Path(record).c_str()), 1) << record;
    EXPECT_EQ(uninstaller->Uninstall(), 0) << record;
    EXPECT_TRUE(box_.Exists("listed.txt")) << record;
  }
  EXPECT_FALSE(box_.Exists("absent.info"));
}

// A record of an earlier installation may hold paths in the legacy code page (the registry's
// ACP): they are converted before the replay; without a known code page such a path is left
// out. Never is a file deleted under another name.
TEST_F(UninstallerTest, LegacyCodePagePathsAreConvertedBeforeTheReplay) {
  TestRegistry registry;
  registry.StandIn();
  const std::u16string cafe = u"caf\u00E9.txt";
  char name[32] = {};
  std::uint32_t size = sizeof name - 1;
  ASSERT_TRUE(Port::FromWideText(reinterpret_cast<const std::uint16_t*>(cafe.data()),
                                 static_cast<std::uint32_t>(cafe.size()), name, &size));
  const std::string lookAlike = "caf\xEF\xBF\xBD.txt";    // what a lossy conversion names
  const std::string utf8 = std::string("utf-8 ") + name;  // never converted
  // The test programs under Wine keep the ANSI code page as their text (the installer's
  // manifest makes it UTF-8): there the name is no UTF-8 path.
  const bool programTextIsUtf8 = IsUtf8Name(name);
  for (const char* acp : {"", "1252"}) {
    if (*acp)
      registry.SetText(Port::kLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage",
                       "ACP", acp);
    for (const std::string& file : {std::string(name), lookAlike, utf8}) box_.WriteFile(file, "x");
    EXPECT_EQ(Replay(StoredRecordBytes({box_.Path("caf\xE9.txt"), box_.Path(utf8)}, {})), 0);
    EXPECT_NE(box_.Exists(name), *acp != '\0') << "code page " << acp;
    EXPECT_TRUE(box_.Exists(lookAlike)) << "code page " << acp;
    if (programTextIsUtf8) {
      EXPECT_FALSE(box_.Exists(utf8)) << "code page " << acp;
    }
#ifndef _WIN32
    // Without a code page, the legacy path is left out, not taken as bytes.
    box_.WriteFile("caf\xE9.txt", "x");
    EXPECT_EQ(Replay(StoredRecordBytes({box_.Path("caf\xE9.txt")}, {})), 0);
    EXPECT_TRUE(box_.Exists("caf\xE9.txt")) << "code page " << acp;
#endif
  }
}

}  // namespace
}  // namespace VLN2
