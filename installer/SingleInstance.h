// One installer at a time: two copies would both remove and install, and the record would
// list only one copy's files, so the other's could never be removed.
#pragma once

#include "system/port/Port.h"

namespace VLN2 {

// The box a second copy shows before it ends, touching nothing.
extern const char* const kAlreadyRunningText;
// The box of a copy that cannot tell whether another one runs: it ends too.
extern const char* const kNotAloneText;

// Claims the installer's named mutex for its own lifetime.
class SingleInstance {
 public:
  SingleInstance();
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this copy holds the mutex. A mutex that could not be claimed for any other
  // reason than another copy holding it (an object of another kind squatting its name) does
  // not make a first copy either: this one cannot be sure that it runs alone.
  bool IsFirst() const { return claim_ == Port::MutexClaim::kClaimed; }
  // The box that tells why this copy ends, when it is not the first.
  const char* Refusal() const {
    return claim_ == Port::MutexClaim::kHeldElsewhere ? kAlreadyRunningText : kNotAloneText;
  }

 private:
  // Before the claim, which fills it.
  Port::MutexHandle mutex_ = nullptr;
  Port::MutexClaim claim_;
};

}  // namespace VLN2
