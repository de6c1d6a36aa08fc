// The CompressDevice element: zlib's one-shot compress2 (level 9) and uncompress.
#pragma once

#include "archive/CompressStream.h"
#include "framework/ElementImp.h"

namespace VLN2 {

class CompressDeviceImp : public ElementImp<CompressDevice> {
 public:
  explicit CompressDeviceImp(Core* core) : ElementImp(core, kCompressDeviceType) {}

  int Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
               unsigned sourceLength) override;
  int Uncompress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
                 unsigned sourceLength) override;
};

}  // namespace VLN2
