// Packed-block decoding through a CompressStream.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  return VLN2::Fuzz::RunOnFreshCore([&] { return VLN2::Fuzz::RunPackedBlock(data, size); });
}
