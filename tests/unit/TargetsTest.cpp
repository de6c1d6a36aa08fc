// The fourteen installation targets: the procedure's table against the form's, and the
// report texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "installer/Targets.h"
#include "ui/ToolboxInstallForm.h"

namespace VLN2 {
namespace {

TEST(TargetsTest, IndicesOutsideTheTableNameNoTarget) {
  EXPECT_EQ(FindTarget(-1), nullptr);
  EXPECT_EQ(FindTarget(14), nullptr);
  for (int i = 0; i < kTargetCount; ++i) EXPECT_NE(FindTarget(i), nullptr) << i;
}

// The form and the procedure keep a table each. Their check box names agree; the overview
// and the report spell some hosts their own way, and only those.
TEST(TargetsTest, TheFormAndTheProcedureNameEachTargetAlikeButWhereTheirTextsDiffer) {
  const std::map<int, std::string> overview = {{kTargetMicroStation, "Microstation"},
                                               {kTargetArchiCAD9, "ArchiCAD R9"},
                                               {kTargetArchiCAD10, "ArchiCAD R10"},
                                               {kTargetCinema4DR8, "Cinema4D R8"}};
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  for (int i = 0; i < kTargetCount; ++i) {
    const Target* target = FindTarget(i);
    const FormTarget& row = GetFormTarget(i);
    EXPECT_STREQ(row.checkText, target->name) << i;
    auto own = overview.find(i);
    EXPECT_EQ(row.overviewText, " " + (own != overview.end() ? own->second : target->name)) << i;
    std::string host =
        replaced(replaced(target->name, "3D Studio Max", "3ds Max"), "Cinema 4D", "Cinema4D");
    if (i != kTargetSDK) host = "VorlaneBox for " + host;
    const std::string success = target->successText, failure = target->failureText;
    EXPECT_EQ(success.find("\n" + host + " is successfully installed.\n"), 0u) << success;
    EXPECT_EQ(failure.find("\nThe installation of " + host + " failed."), 0u) << failure;
  }
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
