// One installer at a time.
#include <gtest/gtest.h>

#include "installer/CommandLine.h"
#include "installer/InstallerDriver.h"
#include "installer/SingleInstance.h"
#include "unit/support/Sandbox.h"
#ifndef _WIN32
#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

TEST(SingleInstanceTest, OnlyOneCopyAtATimeGoesOn) {
#ifndef _WIN32
  Sandbox box;  // the lock file's folder, away from other runs on this machine
  PosixPort::SetTempPath(box.Root().c_str());
#endif
  {
    SingleInstance first;
    EXPECT_TRUE(first.IsFirst());
    SingleInstance second;
    EXPECT_FALSE(second.IsFirst());
  }
  {
    SingleInstance later;
    EXPECT_TRUE(later.IsFirst());
  }
  EXPECT_STREQ(kAlreadyRunningText, "VorlaneBox Setup is already running.");
#ifndef _WIN32
  // A lock the system cannot give, or something else under the lock's name: this copy cannot
  // tell, so it does not go on either.
  PosixPort::FailSystemCall("flock", 1, ENOLCK);
  EXPECT_STREQ(SingleInstance().Refusal(), kNotAloneText);
  PosixPort::FailSystemCall("flock", 0, 0);
  box.Remove("VorlaneBoxSetup.lock");
  box.MakeFolder("VorlaneBoxSetup.lock");
  SingleInstance squatted;
  EXPECT_FALSE(squatted.IsFirst());
  EXPECT_STREQ(squatted.Refusal(), kNotAloneText);
  EXPECT_EQ(RunProgram(nullptr, "/quiet /accept-terms"), kExitAlreadyRunning);
  PosixPort::SetTempPath(nullptr);
#endif
}

}  // namespace
}  // namespace VLN2
