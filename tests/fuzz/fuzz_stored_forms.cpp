// The stored forms of String and ElementContainer.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  return VLN2::Fuzz::RunOnFreshCore([&] { return VLN2::Fuzz::RunStoredForms(data, size); });
}
