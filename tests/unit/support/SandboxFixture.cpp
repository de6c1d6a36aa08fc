#include "unit/support/SandboxFixture.h"

#include <cstdlib>

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
#ifdef _WIN32
  if (savedTemp_) _putenv_s("TMP", savedTemp_->c_str());  // empty: TMP goes again
#endif
  box_.reset();
#ifndef _WIN32
  PosixPort::Reset();
#endif
  CoreFixture::TearDown();
}

void SandboxFixture::UseTempFolder(const std::string& relative) {
#ifdef _WIN32
  // The system's temporary folder is the one TMP names.
  const char* saved = std::getenv("TMP");
  if (!savedTemp_) savedTemp_ = std::make_unique<std::string>(saved ? saved : "");
  _putenv_s("TMP", box_->NativePath(relative).c_str());
#else
  PosixPort::SetTempPath(box_->Path(relative).c_str());
#endif
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
