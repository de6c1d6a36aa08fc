// How packed blocks are made. Every packing makes one standard zlib stream (RFC 1950) per
// block, which every reader of the format decodes alike; packings differ in size and time.
#pragma once

#include <cstdint>

struct libdeflate_compressor;

namespace VLN2 {

enum class Encoder { kZlib, kLibdeflate };

struct Packing {
  Encoder encoder;
  int level;
};

// zlib's compress2 at level 9: the bytes every older build made.
constexpr Packing kZlibPacking = {Encoder::kZlib, 9};
// libdeflate's level where the build has libdeflate: the lowest of its near-optimal levels,
// which pack the benchmark corpora 3.7 % (mixed) and 2.7 % (large) smaller than zlib's level
// 9 and so the installer 3 % below NSIS's. Level 9 saves only 0.4 %; levels 11 and 12 save
// under 0.2 % more in 40 % and 70 % more time.
constexpr int kLibdeflateLevel = 10;

// libdeflate at kLibdeflateLevel where the build has it, else kZlibPacking.
Packing DefaultPacking();
// The encoder's levels are 1 to this; 0 for an encoder the build lacks.
int HighestLevel(Encoder encoder);
// Whether this build can pack so: the packings vlnpack takes.
bool IsSupported(Packing packing);
// "zlib" or "libdeflate", and the version that packs.
const char* EncoderName(Encoder encoder);
const char* EncoderVersion(Encoder encoder);

// The longest zlib stream worth a packed block for n bytes of data; a longer one is stored.
// zlib keeps the format's first rule, one and a half times the data, so that its archives
// stay byte for byte those of older builds; libdeflate packs only when the packed block is
// shorter than the stored one.
std::uint32_t PackedLimit(Packing packing, std::uint32_t n);

// The bytes an encoder may need in its buffer beyond the stream it makes: libdeflate writes
// whole words and gives up when it has fewer than about nine bytes to spare.
constexpr std::uint32_t kEncoderRoom = 16;

// One thread's encoder; libdeflate's compressor is made on first use and kept for the next.
// The packing is one this build supports.
class Packer {
 public:
  explicit Packer(Packing packing) : packing_(packing) {}
  ~Packer();
  Packer(const Packer&) = delete;
  Packer& operator=(const Packer&) = delete;

  Packing GetPacking() const { return packing_; }
  // One zlib stream of source in dest: *destLength is dest's capacity on entry, the bytes
  // made on success. zlib's results: 0; -5 when the stream would not fit; -4 out of memory.
  int Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
               unsigned sourceLength);

 private:
  const Packing packing_;
  libdeflate_compressor* compressor_ = nullptr;
};

}  // namespace VLN2
