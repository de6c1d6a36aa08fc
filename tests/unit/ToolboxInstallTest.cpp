// One installation: removal of the previous one, shared files and targets from the archive,
// the record it leaves and the report it shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/ElementRef.h"
#include "installer/Targets.h"
#include "installer/ToolboxInstall.h"
#include "unit/support/ArchiveBuilder.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/FakeSystemApp.h"
#include "unit/support/Sandbox.h"
#include "unit/support/StoredFiles.h"

namespace VLN2 {
namespace {

const ArchiveContents kPayload = {
    {"VLN2_Resources\\Resources.txt", "shared"},
    {"VLN2_Resources\\Shaders\\Default.fx", "shader"},
    {"3DSMax6\\VorlaneBox.dlu", std::string(3000, 'M')},
    {"Cinema4D\\plugins\\VorlaneBox\\VorlaneBox.cdl", "c4d"},
    {"SDK\\include\\VLN2.h", "#pragma once\n"},
    {"SDK\\samples\\Hello.cpp", "int main() {}\n"},
};

class ToolboxInstallTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    box_.MakeFolder("tmp");
    ASSERT_TRUE(BuildArchive(archive_, kPayload));
    RegisterApp();
  }
  void RegisterApp() {
    app_ = new FakeSystemApp(core_, box_.Path("Vorlane\\"), box_.Path("tmp\\"));
    core_->SetSystemApp(app_);
  }
  ElementRef<ToolboxInstall> NewInstall() {
    return ElementRef<ToolboxInstall>::Create(kToolboxInstallType);
  }
  StoredRecord Record() {
    return ParseStoredRecord(box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info"));
  }
  std::string Toolbox(const std::string& rest = "") {
    return box_.Path("Vorlane\\Toolbox\\" + rest);
  }

  Sandbox box_;
  const std::string archive_ = box_.Path("tmp\\Archive.DAT");
  FakeSystemApp* app_ = nullptr;
};

TEST_F(ToolboxInstallTest, InstallsSharedFilesAndTargetsAndRecordsThem) {
  {
    auto install = NewInstall();
    ASSERT_TRUE(install);
    EXPECT_EQ(install->InstallSharedFiles(archive_.c_str()), 0);
    EXPECT_EQ(install->InstallTarget(5, archive_.c_str(), box_.Path("Max8\\").c_str()), 0);
    EXPECT_EQ(install->InstallTarget(11, archive_.c_str(), box_.Path("C4D\\").c_str()), 0);
    EXPECT_EQ(install->InstallTarget(13, archive_.c_str(), box_.Path("SDK\\").c_str()), 0);
    EXPECT_EQ(install->ShowReport(), 0);
  }
  EXPECT_EQ(box_.ReadFile("Vorlane\\Toolbox\\Shaders\\Default.fx"), "shader");
  EXPECT_EQ(box_.ReadFile("Max8\\VorlaneBox.dlu"), std::string(3000, 'M'));
  EXPECT_EQ(box_.ReadFile("C4D\\plugins\\VorlaneBox\\VorlaneBox.cdl"), "c4d");
  EXPECT_EQ(box_.ReadFile("SDK\\samples\\Hello.cpp"), "int main() {}\n");

  ASSERT_EQ(app_->boxes.size(), 1u);
  EXPECT_EQ(app_->boxes[0].caption, "VorlaneBox Installation Report");
  EXPECT_EQ(app_->boxes[0].text, std::string(FindTarget(5)->successText) +
                                     FindTarget(11)->successText + FindTarget(13)->successText);

  StoredRecord record = Record();
  ASSERT_TRUE(record.complete);
  EXPECT_EQ(
      record.files,
      (std::vector<std::string>{
          Toolbox("Resources.txt"), Toolbox("Shaders\\Default.fx"), Toolbox("Uninstall.info"),
          box_.Path("Max8\\VorlaneBox.dlu"), box_.Path("C4D\\plugins\\VorlaneBox\\VorlaneBox.cdl"),
          box_.Path("SDK\\include\\VLN2.h"), box_.Path("SDK\\samples\\Hello.cpp")}));
  EXPECT_EQ(record.folders,
            (std::vector<std::string>{Toolbox(), Toolbox("Shaders\\"), box_.Path("Max8\\"),
                                      box_.Path("C4D\\plugins\\VorlaneBox\\"),
                                      box_.Path("SDK\\include\\"), box_.Path("SDK\\samples\\")}));
}

TEST_F(ToolboxInstallTest, TheNextInstallationRemovesWhatTheLastOneRecordedAndNothingElse) {
  {
    auto install = NewInstall();
    install->InstallSharedFiles(archive_.c_str());
    install->InstallTarget(13, archive_.c_str(), box_.Path("SDK\\").c_str());
  }
  box_.WriteFile("SDK\\include\\mine.h", "the user's own");
  {
    auto install = NewInstall();  // nothing selected this time
    EXPECT_EQ(install->ShowReport(), 0);
  }
  EXPECT_TRUE(app_->boxes.empty());
  EXPECT_FALSE(box_.Exists("SDK\\include\\VLN2.h"));
  EXPECT_FALSE(box_.Exists("SDK\\samples"));
  EXPECT_TRUE(box_.Exists("SDK\\include\\mine.h"));
  EXPECT_FALSE(box_.Exists("Vorlane\\Toolbox\\Shaders"));
  // Nothing is installed any more: no record, and no empty toolbox or product folder.
  EXPECT_FALSE(box_.Exists("Vorlane"));
}

// A previous file removed by hand is not there to remove: it is neither told nor kept.
TEST_F(ToolboxInstallTest, APreviousFileAlreadyGoneIsNeitherToldNorKept) {
  for (int target : {kTargetSDK, kTarget3dsMax6}) {
    auto install = NewInstall();
    install->InstallSharedFiles(archive_.c_str());
    EXPECT_EQ(install->InstallTarget(target, archive_.c_str(),
                                     box_.Path(target == kTargetSDK ? "SDK\\" : "Max\\").c_str()),
              0);
    install->ShowReport();
    box_.Remove("SDK\\samples\\Hello.cpp");
  }
  EXPECT_EQ(app_->boxes.back().text, FindTarget(kTarget3dsMax6)->successText);
  EXPECT_FALSE(box_.Exists("SDK\\include\\VLN2.h"));
  const StoredRecord record = Record();
  EXPECT_EQ(
      std::count(record.files.begin(), record.files.end(), box_.Path("SDK\\samples\\Hello.cpp")),
      0);
}

TEST_F(ToolboxInstallTest, NothingSelectedLeavesNoRecordAndFoldersOnlyWithOtherFiles) {
  box_.WriteFile("Vorlane\\Toolbox\\notes.txt", "kept");
  { auto install = NewInstall(); }
  EXPECT_FALSE(box_.Exists("Vorlane\\Toolbox\\Uninstall.info"));
  EXPECT_TRUE(box_.Exists("Vorlane\\Toolbox\\notes.txt"));
}

TEST_F(ToolboxInstallTest, TargetsSharingAFolderAreInstalledTwiceAndRecordedOnce) {
  box_.WriteFile("C4D\\plugins\\VorlaneBox\\VorlaneBox.cdl", "before");  // set aside once
  {
    auto install = NewInstall();
    EXPECT_EQ(install->InstallTarget(10, archive_.c_str(), box_.Path("C4D\\").c_str()), 0);
    box_.WriteFile("C4D\\plugins\\VorlaneBox\\VorlaneBox.cdl", "changed");
    EXPECT_EQ(install->InstallTarget(11, archive_.c_str(), box_.Path("C4D\\").c_str()), 0);
    install->ShowReport();
  }
  EXPECT_EQ(box_.ReadFile("C4D\\plugins\\VorlaneBox\\VorlaneBox.cdl"), "c4d");
  // No shared files this time: the record, beside the journal that made the toolbox folder,
  // lists the file once, and itself.
  EXPECT_EQ(Record().files,
            (std::vector<std::string>{box_.Path("C4D\\plugins\\VorlaneBox\\VorlaneBox.cdl"),
                                      Toolbox("Uninstall.info")}));
  ASSERT_EQ(app_->boxes.size(), 1u);
  EXPECT_EQ(app_->boxes[0].text,
            std::string(FindTarget(10)->successText) + FindTarget(11)->successText);
}

// Besides a target that cannot write its file and one whose payload folder is empty, the
// previous record is cut short and lists a file that cannot be removed (a folder holding the
// user's file stands in its place): it stays listed, and the report tells both.
TEST_F(ToolboxInstallTest, AFailingTargetIsReportedAndRecordedWhileTheOthersSucceed) {
  box_.MakeFolder("Max8\\VorlaneBox.dlu");  // a folder where the plug-in file must go
  box_.WriteFile("old\\stays.dll\\mine.txt", "the user's");
  std::string previous = StoredRecordBytes({box_.Path("old\\stays.dll")}, {});
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info", previous.substr(0, previous.size() - 2));
  {
    auto install = NewInstall();
    install->InstallSharedFiles(archive_.c_str());
    EXPECT_NE(install->InstallTarget(5, archive_.c_str(), box_.Path("Max8\\").c_str()), 0);
    EXPECT_NE(install->InstallTarget(7, archive_.c_str(), box_.Path("MS\\").c_str()), 0);
    EXPECT_EQ(install->InstallTarget(13, archive_.c_str(), box_.Path("SDK\\").c_str()), 0);
    install->ShowReport();
  }
  ASSERT_EQ(app_->boxes.size(), 1u);
  EXPECT_EQ(app_->boxes[0].text,
            std::string(FindTarget(5)->failureText) + FindTarget(7)->failureText +
                FindTarget(13)->successText +
                "\nThe installation record of the previous installation was damaged: files of "
                "that installation may remain in " +
                Toolbox() +
                " and in the folders of its plug-ins.\n\nThese files of the previous "
                "installation could not be removed; the next installation or removal tries "
                "again:\n" +
                box_.Path("old\\stays.dll") + "\n");
  StoredRecord record = Record();
  ASSERT_TRUE(record.complete);
  // The failed target's files are not installed: only the previous file that stayed is listed.
  EXPECT_EQ(std::count(record.files.begin(), record.files.end(), box_.Path("Max8\\VorlaneBox.dlu")),
            0);
  EXPECT_NE(std::find(record.files.begin(), record.files.end(), box_.Path("old\\stays.dll")),
            record.files.end());
  EXPECT_FALSE(box_.Exists("MS"));
}

// A file named to leave the folder, or a second one Windows takes for the first: that target
// installs none of its files.
TEST_F(ToolboxInstallTest, ATargetWithAFileThePlanRefusesInstallsNoneOfItsFiles) {
  for (const char* refused : {"3DSMax6\\..\\up.dlu", "3DSMax6\\VORLANEBOX.DLU"}) {
    SCOPED_TRACE(refused);
    ArchiveContents contents = kPayload;
    contents.push_back({refused, "x"});
    ASSERT_TRUE(BuildArchive(archive_, contents));
    auto install = NewInstall();
    EXPECT_NE(install->InstallTarget(kTarget3dsMax6, archive_.c_str(), box_.Path("Max\\").c_str()),
              0);
    EXPECT_TRUE(box_.FilesBelow("Max").empty());
  }
}

TEST_F(ToolboxInstallTest, AnArchiveThatCannotBeOpenedFailsEveryTarget) {
  auto install = NewInstall();
  std::string missing = box_.Path("tmp\\missing.DAT");
  EXPECT_EQ(install->InstallSharedFiles(missing.c_str()), 1);
  EXPECT_EQ(install->InstallTarget(13, missing.c_str(), box_.Path("SDK\\").c_str()), 1);
  EXPECT_EQ(install->InstallTarget(12, archive_.c_str(), nullptr), 1);
  EXPECT_EQ(install->InstallTarget(14, archive_.c_str(), box_.Path("x\\").c_str()), 1);
  EXPECT_EQ(install->InstallTarget(-1, archive_.c_str(), box_.Path("x\\").c_str()), 1);
  install->ShowReport();
  ASSERT_EQ(app_->boxes.size(), 1u);
  // The shared files failed too, which the report tells after the targets.
  EXPECT_EQ(app_->boxes[0].text.find(
                std::string(FindTarget(12)->failureText) + FindTarget(13)->failureText +
                "\nThe shared VorlaneBox resources could not be installed into " + Toolbox() + "."),
            0u);
  EXPECT_FALSE(box_.Exists("x"));
}

TEST_F(ToolboxInstallTest, ARefusedRecordRemovesNothing) {
  box_.MakeFolder("Vorlane\\Toolbox");
  box_.WriteFile("precious.txt", "1");
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info",
                 StoredRecordBytes({box_.Path("precious.txt")}, {}, 1));
  { auto install = NewInstall(); }
  EXPECT_TRUE(box_.Exists("precious.txt"));
}

TEST_F(ToolboxInstallTest, WithoutAnApplicationObjectNothingIsInstalledOrShown) {
  core_->SetSystemApp(nullptr);
  auto install = NewInstall();
  ASSERT_TRUE(install);
  EXPECT_EQ(install->InstallSharedFiles(archive_.c_str()), 1);
  EXPECT_EQ(install->ShowReport(), 1);
}

}  // namespace
}  // namespace VLN2
