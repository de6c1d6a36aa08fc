// The CompressDevice element: zlib's one-shot compress2 (level 9) and uncompress, and
// inflation in pieces.
#pragma once

#include "archive/CompressStream.h"
#include "framework/ElementImp.h"

struct z_stream_s;

namespace VLN2 {

class CompressDeviceImp : public ElementImp<CompressDevice> {
 public:
  explicit CompressDeviceImp(Core* core) : ElementImp(core, kCompressDeviceType) {}

  int Destroy() override;

  int Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
               unsigned sourceLength) override;
  int Uncompress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
                 unsigned sourceLength) override;
  int Inflate(unsigned char* dest, unsigned* destLength, const unsigned char* source,
              unsigned* sourceLength, bool start) override;

 private:
  // The inflater made, or reset for a new stream; zlib's result.
  int StartInflater();

  // One inflater for every Uncompress, reset between them, so that its state is allocated
  // once; made on first use.
  z_stream_s* inflater_ = nullptr;
};

}  // namespace VLN2
