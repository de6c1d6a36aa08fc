// One installer at a time: two copies would both remove and install, and the record would
// list only one copy's files, so the other's could never be removed.
#pragma once

#include "system/port/Port.h"

namespace VLN2 {

// The box a second copy shows before it ends, touching nothing.
extern const char* const kAlreadyRunningText;
extern const char* const kAlreadyRunningCaption;

// Claims the installer's named mutex for its own lifetime.
class SingleInstance {
 public:
  SingleInstance();
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // False when another copy holds the mutex. A mutex the system cannot make at all is no
  // sign of another copy, so that copy goes on.
  bool IsFirst() const { return claim_ != Port::MutexClaim::kHeldElsewhere; }

 private:
  // Before the claim, which fills it.
  Port::MutexHandle mutex_ = nullptr;
  Port::MutexClaim claim_;
};

}  // namespace VLN2
