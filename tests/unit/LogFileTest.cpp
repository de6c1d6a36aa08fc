// The log of a run, as the installer opens it from its command line.
#include <gtest/gtest.h>

#include <string>

#include "installer/CommandLine.h"
#include "unit/support/InstallerRun.h"
#ifndef _WIN32
#include <unistd.h>
#endif

namespace VLN2 {
namespace {

#ifndef _WIN32
TEST_F(CommandLineRunTest, ALogThatCannotBeWrittenSafelyEndsTheRun) {
  // A log file planted as a link is not written through.
  box_.WriteFile("elsewhere.log", "someone else's");
  ASSERT_EQ(
      ::symlink(box_.NativePath("elsewhere.log").c_str(), box_.NativePath("link.log").c_str()), 0);
  EXPECT_EQ(InstallerDriverTest::Run("/uninstall /quiet /log=" + box_.Path("link.log")),
            kExitFailed);
  EXPECT_EQ(box_.ReadFile("elsewhere.log"), "someone else's");
  // Nor one whose folder is a link, to a folder holding a log of that name.
  box_.WriteFile("elsewhere\\setup.log", "someone else's");
  ASSERT_EQ(::symlink(box_.NativePath("elsewhere").c_str(), box_.NativePath("linked").c_str()), 0);
  EXPECT_EQ(InstallerDriverTest::Run("/uninstall /quiet /log=" + box_.Path("linked\\setup.log")),
            kExitFailed);
  EXPECT_EQ(box_.ReadFile("elsewhere\\setup.log"), "someone else's");
  EXPECT_EQ(InstallerDriverTest::Run("\"/log=" + box_.Path("no folder\\setup.log") + "\""), 1);
  EXPECT_EQ(app_->boxes.back().text.find("The log file " + box_.Path("no folder")), 0u);
}
#endif

}  // namespace
}  // namespace VLN2
