#include "unit/support/CoreFixture.h"

#include "installer/ClassTable.h"

namespace VLN2 {

CoreFixture::CoreFixture() : classes_(kClassTable, kClassTable + kClassCount) {}

void CoreFixture::NewCore() {
  core_ = new CoreImp(classes_.data(), static_cast<int>(classes_.size()));
  ASSERT_NE(core_, nullptr);
}

void CoreFixture::DeleteCore() {
  FailAllocation(0);
  if (!core_) return;
  core_->Destroy();
  delete core_;
  core_ = nullptr;
}

void CoreFixture::SetUp() { NewCore(); }

void CoreFixture::TearDown() {
  DeleteCore();
  for (int type = 0; type < kTypeCount; ++type)
    EXPECT_EQ(LiveElements(type), 0) << "live elements of type " << type;
}

long CoreFixture::SweepAllocationFailures(const std::function<void()>& scenario, FailMode mode) {
  DeleteCore();
  for (long n = 1;; ++n) {
    NewCore();
    FailAllocation(n, mode);
    scenario();
    bool hit = AllocationFailureHit();
    long made = AllocationsSinceHook();
    DeleteCore();
    EXPECT_EQ(LiveElementsTotal(), 0) << "after failing allocation " << n;
    if (::testing::Test::HasFatalFailure() || !hit || LiveElementsTotal() != 0) {
      EXPECT_GT(made, 0) << "the scenario allocates nothing: no allocation was failed";
      NewCore();
      return made;
    }
  }
}

long CoreFixture::SweepAllocationFailuresBothModes(const std::function<void()>& scenario) {
  long once = SweepAllocationFailures(scenario, FailMode::kOnce);
  long fromThenOn = SweepAllocationFailures(scenario, FailMode::kFromThenOn);
  EXPECT_EQ(once, fromThenOn);
  return once;
}

}  // namespace VLN2
