// The fourteen installation targets: archive folders and report texts by index.
#include <gtest/gtest.h>

#include <string>

#include "installer/Targets.h"

namespace VLN2 {
namespace {

TEST(TargetsTest, IndicesOutsideTheTableNameNoTarget) {
  EXPECT_EQ(FindTarget(-1), nullptr);
  EXPECT_EQ(FindTarget(14), nullptr);
  for (int i = 0; i < kTargetCount; ++i) EXPECT_NE(FindTarget(i), nullptr) << i;
}

TEST(TargetsTest, TargetsShareArchiveFoldersAsTheProductsDo) {
  const char* expected[kTargetCount] = {"3DSMax3\\",  "3DSMax4\\",      "3DSMax4\\", "3DSMax6\\",
                                        "3DSMax6\\",  "3DSMax6\\",      "3DSMax9\\", "MicroStation\\",
                                        "Archicad\\", "Archicad10\\",   "Cinema4D\\", "Cinema4D\\",
                                        "Cinema4D10\\", "SDK\\"};
  for (int i = 0; i < kTargetCount; ++i) EXPECT_STREQ(FindTarget(i)->archiveFolder, expected[i]) << i;
  EXPECT_STREQ(kSharedFolder, "VLN2_Resources\\");
}

TEST(TargetsTest, CheckBoxNamesKeepTheirOwnSpelling) {
  EXPECT_STREQ(FindTarget(0)->name, "3D Studio Max 3 or Autodesk Viz 3");
  EXPECT_STREQ(FindTarget(10)->name, "Cinema 4D R8");
  EXPECT_STREQ(FindTarget(11)->name, "Cinema4D R9");
  EXPECT_STREQ(FindTarget(13)->name, "Vorlane SDK");
}

TEST(TargetsTest, ReportTextsStartWithALineFeedAndEndEveryLineWithOne) {
  for (int i = 0; i < kTargetCount; ++i) {
    std::string success = FindTarget(i)->successText, failure = FindTarget(i)->failureText;
    EXPECT_EQ(success.front(), '\n') << i;
    EXPECT_EQ(success.back(), '\n') << i;
    EXPECT_EQ(std::count(success.begin(), success.end(), '\n'), 3) << i;
    EXPECT_EQ(failure.front(), '\n') << i;
    EXPECT_EQ(std::count(failure.begin(), failure.end(), '\n'), 2) << i;
  }
}

TEST(TargetsTest, ReportTextsAreExact) {
  EXPECT_STREQ(FindTarget(2)->successText,
               "\nVorlaneBox for 3ds Max 5 is successfully installed.\n"
               "The plug-in can now be found in the 'Utilities' panel.\n");
  EXPECT_STREQ(FindTarget(5)->failureText,
               "\nThe installation of VorlaneBox for 3ds Max 8 failed. Make sure that the program "
               "is closed before installing.\n");
  EXPECT_STREQ(FindTarget(7)->successText,
               "\nVorlaneBox for MicroStation is successfully installed.\n"
               "The plug-in can now be found under 'Export' in the File menu.\n");
  EXPECT_STREQ(FindTarget(9)->successText,
               "\nVorlaneBox for ArchiCAD 10 is successfully installed.\n"
               "The plug-in can now be started by saving a 3D scene as a *.vln file.\n");
  EXPECT_STREQ(FindTarget(10)->failureText,
               "\nThe installation of VorlaneBox for Cinema4D R8 failed. Make sure that the "
               "program is closed before installing.\n");
  EXPECT_STREQ(FindTarget(12)->successText,
               "\nVorlaneBox for Cinema4D R10 is successfully installed.\n"
               "The plug-in can now be found in the 'Plugins' menu.\n");
  EXPECT_STREQ(FindTarget(13)->successText,
               "\nVorlane SDK is successfully installed.\nYou need a C++ compiler to use it.\n");
  EXPECT_STREQ(FindTarget(13)->failureText,
               "\nThe installation of Vorlane SDK failed. Make sure that no files are in used "
               "before installing.\n");
  EXPECT_STREQ(kReportCaption, "VorlaneBox Installation Report");
}

}  // namespace
}  // namespace VLN2
