#include "archive/CompressDeviceImp.h"

#include <zlib.h>

#include <cstring>

namespace VLN2 {

int CompressDeviceImp::Destroy() {
  if (inflater_) {
    inflateEnd(inflater_);
    Free(inflater_);
  }
  delete this;
  return 0;
}

int CompressDeviceImp::Compress(unsigned char* dest, unsigned* destLength,
                                const unsigned char* source, unsigned sourceLength) {
  return packer_.Compress(dest, destLength, source, sourceLength);
}

int CompressDeviceImp::Uncompress(unsigned char* dest, unsigned* destLength,
                                  const unsigned char* source, unsigned sourceLength) {
  if (!destLength) return Z_STREAM_ERROR;
  if (*destLength == 0) {
    // zlib's own call for the corner it treats specially.
    uLongf length = 0;
    return uncompress(dest, &length, source, sourceLength);
  }
  int started = StartInflater();
  if (started != Z_OK) return started;
  inflater_->next_in = const_cast<unsigned char*>(source);
  inflater_->avail_in = sourceLength;
  inflater_->next_out = dest;
  inflater_->avail_out = *destLength;
  // Everything in one call to finish: zlib then keeps no window. The results are
  // uncompress's: input that ends early is damage, output that fills up is too small.
  int result = inflate(inflater_, Z_FINISH);
  if (result == Z_STREAM_END) {
    *destLength -= inflater_->avail_out;
    return Z_OK;
  }
  if (result == Z_NEED_DICT || (result == Z_BUF_ERROR && inflater_->avail_out > 0))
    return Z_DATA_ERROR;
  return result;
}

int CompressDeviceImp::StartInflater() {
  if (inflater_) return inflateReset(inflater_) == Z_OK ? Z_OK : Z_STREAM_ERROR;
  auto* stream = static_cast<z_stream*>(Allocate(sizeof(z_stream)));
  if (!stream) return Z_MEM_ERROR;
  std::memset(stream, 0, sizeof *stream);
  int result = inflateInit(stream);
  if (result != Z_OK) {
    Free(stream);
    return result;
  }
  inflater_ = stream;
  return Z_OK;
}

int CompressDeviceImp::Inflate(unsigned char* dest, unsigned* destLength,
                               const unsigned char* source, unsigned* sourceLength, bool start) {
  if (!destLength || !sourceLength) return Z_STREAM_ERROR;
  int result = start ? StartInflater() : inflater_ ? Z_OK : Z_STREAM_ERROR;
  if (result != Z_OK) return result;
  inflater_->next_in = const_cast<unsigned char*>(source);
  inflater_->avail_in = *sourceLength;
  inflater_->next_out = dest;
  inflater_->avail_out = *destLength;
  result = inflate(inflater_, Z_NO_FLUSH);
  *sourceLength -= inflater_->avail_in;
  *destLength -= inflater_->avail_out;
  if (result == Z_STREAM_END) return 1;
  // No progress possible is for the caller to see: nothing used, nothing made.
  if (result == Z_OK || result == Z_BUF_ERROR) return 0;
  return result == Z_NEED_DICT ? Z_DATA_ERROR : result;
}

}  // namespace VLN2
