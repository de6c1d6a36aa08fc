#include "archive/CompressDeviceImp.h"

#include <zlib.h>

namespace VLN2 {

int CompressDeviceImp::Compress(unsigned char* dest, unsigned* destLength,
                                const unsigned char* source, unsigned sourceLength) {
  if (!destLength) return Z_STREAM_ERROR;
  uLongf length = *destLength;
  int result = compress2(dest, &length, source, sourceLength, 9);
  if (result == Z_OK) *destLength = static_cast<unsigned>(length);
  return result;
}

int CompressDeviceImp::Uncompress(unsigned char* dest, unsigned* destLength,
                                  const unsigned char* source, unsigned sourceLength) {
  if (!destLength) return Z_STREAM_ERROR;
  uLongf length = *destLength;
  int result = uncompress(dest, &length, source, sourceLength);
  if (result == Z_OK) *destLength = static_cast<unsigned>(length);
  return result;
}

}  // namespace VLN2
