// The framework allocator. All heap memory of the framework goes through it, so tests can
// make the n-th allocation fail and walk every "memory runs out" path.
#pragma once

#include <cstddef>

namespace VLN2 {

// A block of at least size bytes (a request for 0 bytes gives a valid block), or null.
void* Allocate(std::size_t size);
// Frees a block from Allocate; null is allowed.
void Free(void* block);

// Test hook: the n-th allocation from now (1 = the next one) fails; with fromThenOn, so
// does every one after it. n = 0 switches failures off.
enum class FailMode { kOnce, kFromThenOn };
void FailAllocation(long n, FailMode mode = FailMode::kOnce);
// How many allocations were asked for since the last FailAllocation call.
long AllocationsSinceHook();
// Whether an injected failure has been delivered since the last FailAllocation call.
bool AllocationFailureHit();
// The largest single request since the last FailAllocation call, in bytes: readers of
// damaged files must ask for memory by what the file holds, not by what it claims.
std::size_t LargestAllocationSinceHook();

}  // namespace VLN2
