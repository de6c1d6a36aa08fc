// The installation record: duplicate rules, the exact bytes of "Uninstall.info", replaying
// it, and damaged records.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "framework/ElementRef.h"
#include "installer/Uninstaller.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/Sandbox.h"
#include "unit/support/StoredFiles.h"

namespace VLN2 {
namespace {

class UninstallerTest : public CoreFixture {
 protected:
  ElementRef<Uninstaller> NewUninstaller() {
    return ElementRef<Uninstaller>::Create(kUninstallerType);
  }
  // What Save writes for the uninstaller's lists.
  std::string Saved(Uninstaller* uninstaller) {
    EXPECT_EQ(uninstaller->Save(box_.Path("saved.info").c_str()), 0);
    return box_.ReadFile("saved.info");
  }
  // Loads a record holding bytes and replays it.
  int Replay(const std::string& bytes) {
    box_.WriteFile("record.info", bytes);
    ElementRef<Uninstaller> uninstaller = NewUninstaller();
    int loaded = uninstaller->Load(box_.Path("record.info").c_str());
    uninstaller->Uninstall();
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
// whichever allocation fails, every path is listed once, in the spelling that got in first.
TEST_F(UninstallerTest, ManyPathsAreListedOnceEvenWhenMemoryRunsOut) {
  SweepAllocationFailuresBothModes([&] {
    ElementRef<Uninstaller> uninstaller = NewUninstaller();
    if (!uninstaller) return;
    std::vector<std::string> expected;
    for (int i = 0; i < 70; ++i) {
      std::string path = "C:\\sdk\\file" + std::to_string(i) + ".h";
      std::string capitals = "C:\\SDK\\FILE" + std::to_string(i) + ".H";
      bool first = uninstaller->AddFileEntry(path.c_str()) == 0;
      bool second = uninstaller->AddFileEntry(capitals.c_str()) == 0;
      if (first || second) expected.push_back(first ? path : capitals);
    }
    if (uninstaller->Save(box_.Path("saved.info").c_str()) == 0) {
      EXPECT_EQ(box_.ReadFile("saved.info"), StoredRecordBytes(expected, {}));
    }
  });
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
}

TEST_F(UninstallerTest, NestedFoldersGoInTheRightOrderAndFoldersInUseStay) {
  box_.MakeFolder("P\\a\\b");
  box_.MakeFolder("Q");
  box_.WriteFile("Q\\mine.txt", "the user's");
  box_.WriteFile("P\\a\\b\\x.dll", "x");
  auto uninstaller = NewUninstaller();
  uninstaller->AddFileEntry(box_.Path("P\\a\\b\\x.dll").c_str());
  uninstaller->AddFolderEntry(box_.Path("P\\a\\x.dll").c_str());
  uninstaller->AddFolderEntry(box_.Path("P\\a\\b\\x.dll").c_str());
  uninstaller->AddFolderEntry(box_.Path("Q\\y.dll").c_str());
  EXPECT_EQ(uninstaller->Uninstall(), 0);
  EXPECT_FALSE(box_.Exists("P\\a"));
  EXPECT_TRUE(box_.Exists("P"));
  EXPECT_TRUE(box_.Exists("Q\\mine.txt"));
}

TEST_F(UninstallerTest, ARecordFromANewerVersionIsRefusedWhole) {
  box_.WriteFile("f", "data");
  std::string record = StoredRecordBytes({box_.Path("f")}, {});
  record[0] = 1;
  EXPECT_EQ(Replay(record), 1);
  EXPECT_TRUE(box_.Exists("f"));
}

TEST_F(UninstallerTest, AMissingRecordRemovesNothing) {
  auto uninstaller = NewUninstaller();
  EXPECT_EQ(uninstaller->Load(box_.Path("absent.info").c_str()), 1);
  EXPECT_FALSE(box_.Exists("absent.info"));
}

TEST_F(UninstallerTest, ATruncatedRecordNeverDeletesThroughAPartlyReadText) {
  box_.MakeFolder("keep");
  const std::string victim = box_.Path("keep\\victim.txt");
  const std::string first = box_.Path("first.txt");
  const std::string record = StoredRecordBytes({first, victim}, {box_.Path("keep\\")});
  for (size_t cut = 0; cut < record.size(); ++cut) {
    box_.WriteFile("first.txt", "1");
    // Every prefix of the victim's path names a file that must survive a cut inside it.
    for (size_t n = box_.Path("keep\\").size() + 1; n <= victim.size(); ++n)
      box_.WriteFile(victim.substr(box_.Root().size(), n - box_.Root().size()), "x");
    Replay(record.substr(0, cut));
    size_t firstEnds = 8 + 2 + first.size() + 1, victimEnds = firstEnds + 2 + victim.size() + 1;
    EXPECT_EQ(box_.Exists("first.txt"), cut < firstEnds) << cut;
    EXPECT_EQ(box_.Exists("keep\\victim.txt"), cut < victimEnds) << cut;
    for (size_t n = box_.Path("keep\\").size() + 1; n < victim.size(); ++n)
      EXPECT_TRUE(box_.Exists(victim.substr(box_.Root().size(), n - box_.Root().size()))) << cut;
  }
}

TEST_F(UninstallerTest, AbsurdCountsCostNoMoreThanTheFileHolds) {
  box_.WriteFile("a", "1");
  std::string record = StoredWord(0) + StoredWord(0x7FFFFFFF) + StoredText(box_.Path("a"));
  EXPECT_EQ(Replay(record), 1);
  EXPECT_FALSE(box_.Exists("a"));  // the complete record before the end still counts
  box_.WriteFile("a", "1");
  EXPECT_EQ(Replay(StoredWord(0) + StoredWord(-5) + StoredWord(-1)), 0);  // no records at all
  EXPECT_EQ(Replay(std::string("\0\0", 2)), 1);                           // no complete header
  EXPECT_TRUE(box_.Exists("a"));
}

TEST_F(UninstallerTest, RunningOutOfMemoryNeverCrashesOrLeaks) {
  box_.WriteFile("gone", "1");
  const std::string record = StoredRecordBytes({box_.Path("gone")}, {box_.Path("sub\\")});
  box_.WriteFile("in.info", record);
  long made = SweepAllocationFailuresBothModes([&] {
    ElementRef<Uninstaller> uninstaller = ElementRef<Uninstaller>::Create(kUninstallerType);
    if (!uninstaller) return;
    uninstaller->AddFileEntry("C:\\x\\y.dll");
    uninstaller->AddFolderEntry("C:\\x\\y.dll");
    uninstaller->Save(box_.Path("out.info").c_str());
    uninstaller->Load(box_.Path("in.info").c_str());
    uninstaller->Uninstall();
    box_.WriteFile("gone", "1");
  });
  EXPECT_GT(made, 10);
}

}  // namespace
}  // namespace VLN2
