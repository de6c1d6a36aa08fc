// The installation record: load, save, load again, replay, inside a workspace whose
// surroundings must never change.
#include <cstdio>
#include <cstdlib>

#include "FuzzTarget.h"

namespace {
VLN2::Fuzz::Workspace* g_workspace = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_workspace = new VLN2::Fuzz::Workspace;
  if (!g_workspace->Create()) {
    std::fprintf(stderr, "no workspace\n");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  return VLN2::Fuzz::RunOnFreshCore([&] { return VLN2::Fuzz::RunRecord(data, size, g_workspace); });
}
