// CompressDevice: one-shot packing (Packer.h) and zlib's decompression, shared by the
// process through the Core's object table entry 76. CompressStream: an in-memory Stream that
// decodes one packed block from its input, or packs what was written into one block on its output
// at close.
#pragma once

#include <cstdint>

#include "framework/VLN2.h"

namespace VLN2 {

class ArchiveEntry;
class Stream;

class CompressDevice : public Element {
 public:
  // One zlib stream made with the device's packing: *destLength is dest's capacity on entry,
  // the bytes produced on success. zlib's result: 0, -5 when dest is too small, another
  // negative code.
  virtual int Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
                       unsigned sourceLength) = 0;
  // zlib uncompress, same conventions (-5 too small or incomplete, -3 corrupt).
  virtual int Uncompress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
                         unsigned sourceLength) = 0;
  // One zlib stream inflated piece by piece; start begins a new one. Takes what it can of
  // *sourceLength bytes into at most *destLength; both become the bytes used. 0 while the
  // stream goes on, 1 at its end, a negative zlib code for damage.
  virtual int Inflate(unsigned char* dest, unsigned* destLength, const unsigned char* source,
                      unsigned* sourceLength, bool start) = 0;
  // The longest zlib stream worth a packed block for n bytes of data with the device's
  // packing; a block whose stream would be longer is stored.
  virtual std::uint32_t PackedLimit(std::uint32_t n) = 0;
};

class CompressStream : public Element {
 public:
  // Input, output and entry are not owned: the caller keeps them alive while open.
  virtual Stream* GetInput() = 0;
  virtual int SetInput(Stream* stream) = 0;
  virtual Stream* GetOutput() = 0;
  virtual int SetOutput(Stream* stream) = 0;
  virtual ArchiveEntry* GetEntry() = 0;
  virtual int SetEntry(ArchiveEntry* entry) = 0;
  // 1: the block's bytes are read and written as they are, without tags.
  virtual int GetPassThrough() = 0;
  virtual int SetPassThrough(int flag) = 0;
};

}  // namespace VLN2
