// What every fuzz target does around its body: a fresh Core with the program's class
// table for each input, and an abort (which libFuzzer reports with the input) when the
// body reports a broken invariant or leaves an element alive.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzEntries.h"
#include "framework/CoreImp.h"
#include "installer/ClassTable.h"

namespace VLN2 {
namespace Fuzz {

template <class Body>
int RunOnFreshCore(Body body) {
  auto* core = new CoreImp(kClassTable, kClassCount);
  std::string broken = body();
  core->Destroy();
  delete core;
  if (!broken.empty()) {
    std::fprintf(stderr, "broken: %s\n", broken.c_str());
    std::abort();
  }
  if (LiveElementsTotal() != 0) {
    std::fprintf(stderr, "broken: %d elements left alive\n", LiveElementsTotal());
    std::abort();
  }
  return 0;
}

}  // namespace Fuzz
}  // namespace VLN2
