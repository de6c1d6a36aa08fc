// The base of tests that work on files: a CoreFixture with a fresh sandbox. Natively the
// POSIX port is put back in its start state before the sandbox is made and after it is
// gone, so no test sees the drives, registry or injected failures of another.
#pragma once

#include <memory>
#include <string>

#include "unit/support/CoreFixture.h"
#include "unit/support/Sandbox.h"

namespace VLN2 {

class SandboxFixture : public CoreFixture {
 protected:
  void SetUp() override;
  // A derived fixture releases what it holds first, then calls this.
  void TearDown() override;

  // Makes the file read-only; false when nothing refuses this user to write it anyway.
  // Natively the super-user's next opening is refused through the port instead.
  bool MakeReadOnly(const std::string& relative);
  // Makes the sandbox's folder (relative, ending in a backslash; it need not exist) the
  // system's temporary folder until the test ends.
  void UseTempFolder(const std::string& relative);

  std::unique_ptr<Sandbox> box_;

 private:
  std::unique_ptr<std::string> savedTemp_;  // under Windows: TMP before UseTempFolder
};

}  // namespace VLN2
