#include "archive/Packer.h"

#include <zlib.h>

#ifdef VLN2_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace VLN2 {

Packing DefaultPacking() {
#ifdef VLN2_LIBDEFLATE
  return {Encoder::kLibdeflate, kLibdeflateLevel};
#else
  return kZlibPacking;
#endif
}

int HighestLevel(Encoder encoder) {
#ifdef VLN2_LIBDEFLATE
  if (encoder == Encoder::kLibdeflate) return 12;
#endif
  return encoder == Encoder::kZlib ? 9 : 0;
}

bool IsSupported(Packing packing) {
  return packing.level >= 1 && packing.level <= HighestLevel(packing.encoder);
}

const char* EncoderName(Encoder encoder) {
  return encoder == Encoder::kZlib ? "zlib" : "libdeflate";
}

const char* EncoderVersion(Encoder encoder) {
#ifdef VLN2_LIBDEFLATE
  // Linked statically: the version built against is the one that packs.
  if (encoder == Encoder::kLibdeflate) return LIBDEFLATE_VERSION_STRING;
#endif
  return encoder == Encoder::kZlib ? zlibVersion() : "";
}

std::uint32_t PackedLimit(Packing packing, std::uint32_t n) {
  if (packing.encoder == Encoder::kLibdeflate) return n > 5 ? n - 5 : 0;
  std::uint64_t limit = static_cast<std::uint64_t>(n) + n / 2;
  return limit > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(limit);
}

Packer::~Packer() {
#ifdef VLN2_LIBDEFLATE
  libdeflate_free_compressor(compressor_);
#endif
}

int Packer::Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
                     unsigned sourceLength) {
  if (!destLength) return Z_STREAM_ERROR;
#ifdef VLN2_LIBDEFLATE
  if (packing_.encoder == Encoder::kLibdeflate) {
    if (!compressor_) compressor_ = libdeflate_alloc_compressor(packing_.level);
    if (!compressor_) return Z_MEM_ERROR;
    std::size_t made =
        libdeflate_zlib_compress(compressor_, source, sourceLength, dest, *destLength);
    if (made == 0) return Z_BUF_ERROR;
    *destLength = static_cast<unsigned>(made);
    return Z_OK;
  }
#endif
  uLongf length = *destLength;
  int result = compress2(dest, &length, source, sourceLength, packing_.level);
  if (result == Z_OK) *destLength = static_cast<unsigned>(length);
  return result;
}

}  // namespace VLN2
