// The CompressDevice element: one-shot packing with the process's packing (libdeflate where
// the build has it, else zlib's compress2 at level 9), zlib's uncompress, and inflation in
// pieces.
#pragma once

#include "archive/CompressStream.h"
#include "archive/Packer.h"
#include "framework/ElementImp.h"

struct z_stream_s;

namespace VLN2 {

class CompressDeviceImp : public ElementImp<CompressDevice> {
 public:
  // Packs with packing, one this build supports: the process's default unless vlnpack or a
  // test registers a device of another.
  explicit CompressDeviceImp(Core* core, Packing packing = DefaultPacking())
      : ElementImp(core, kCompressDeviceType), packer_(packing) {}

  int Destroy() override;

  int Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
               unsigned sourceLength) override;
  int Uncompress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
                 unsigned sourceLength) override;
  int Inflate(unsigned char* dest, unsigned* destLength, const unsigned char* source,
              unsigned* sourceLength, bool start) override;
  std::uint32_t PackedLimit(std::uint32_t n) override {
    return VLN2::PackedLimit(packer_.GetPacking(), n);
  }

 private:
  // The inflater made, or reset for a new stream; zlib's result.
  int StartInflater();

  // One inflater for every Uncompress, reset between them, so that its state is allocated
  // once; made on first use.
  z_stream_s* inflater_ = nullptr;
  Packer packer_;
};

}  // namespace VLN2
