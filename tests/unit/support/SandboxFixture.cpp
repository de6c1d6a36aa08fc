#include "unit/support/SandboxFixture.h"

#ifndef _WIN32
#include <cerrno>

#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {

void SandboxFixture::SetUp() {
  CoreFixture::SetUp();
#ifndef _WIN32
  PosixPort::Reset();
#endif
  box_ = std::make_unique<Sandbox>();
}

void SandboxFixture::TearDown() {
  box_.reset();
#ifndef _WIN32
  PosixPort::Reset();
#endif
  CoreFixture::TearDown();
}

bool SandboxFixture::MakeReadOnly(const std::string& relative) {
  if (box_->MakeReadOnly(relative)) return true;
#ifndef _WIN32
  return PosixPort::FailSystemCall("open", 1, EACCES);
#else
  return false;
#endif
}

}  // namespace VLN2
