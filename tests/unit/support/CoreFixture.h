// The base of every unit test: a fresh Core with the program's class table, and at the end
// the check that every element created was released exactly as often as it was referenced.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "framework/CoreImp.h"
#include "framework/ElementRef.h"

namespace VLN2 {

class CoreFixture : public ::testing::Test {
 protected:
  CoreFixture();
  void SetUp() override;
  void TearDown() override;

  // Runs scenario once for n = 1, 2, ... with the n-th allocation failing (in the given
  // mode), each time on a fresh Core whose elements must all be gone afterwards, until a
  // run completes without meeting the failure. The scenario asserts the documented
  // failure results itself. Returns how many allocations the complete run made, which must
  // be some: a scenario that allocates nothing sweeps nothing.
  long SweepAllocationFailures(const std::function<void()>& scenario,
                               FailMode mode = FailMode::kOnce);
  // Both modes; returns the count of the complete run.
  long SweepAllocationFailuresBothModes(const std::function<void()>& scenario);

  CoreImp* core_ = nullptr;
  // The class table of the Cores the fixture makes: the program's, unless a test puts a
  // stand-in class in front of it before SetUp.
  std::vector<ClassEntry> classes_;

 private:
  void NewCore();
  void DeleteCore();
};

}  // namespace VLN2
