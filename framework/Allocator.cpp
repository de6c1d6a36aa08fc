#include "framework/Allocator.h"

#include <cstdlib>

namespace VLN2 {
namespace {

long g_failAt = 0;  // 0 = never
FailMode g_failMode = FailMode::kOnce;
long g_count = 0;
bool g_hit = false;
std::size_t g_largest = 0;

bool ShouldFail() {
  ++g_count;
  if (g_failAt == 0) return false;
  bool fail = g_failMode == FailMode::kOnce ? g_count == g_failAt : g_count >= g_failAt;
  g_hit = g_hit || fail;
  return fail;
}

}  // namespace

void* Allocate(std::size_t size) {
  if (size > g_largest) g_largest = size;
  if (ShouldFail()) return nullptr;
  return std::malloc(size ? size : 1);
}

void Free(void* block) { std::free(block); }

void FailAllocation(long n, FailMode mode) {
  g_failAt = n;
  g_failMode = mode;
  g_count = 0;
  g_hit = false;
  g_largest = 0;
}

long AllocationsSinceHook() { return g_count; }

bool AllocationFailureHit() { return g_hit; }

std::size_t LargestAllocationSinceHook() { return g_largest; }

}  // namespace VLN2
