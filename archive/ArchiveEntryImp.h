// The ArchiveEntry element: one directory record (name, block offset, block size) with
// its IO view.
#pragma once

#include <cstdint>

#include "archive/ArchiveEntry.h"
#include "framework/ElementImp.h"
#include "framework/IO.h"
#include "framework/String.h"

namespace VLN2 {

class ArchiveEntryImp : public ElementImp<ArchiveEntry>, public IO {
 public:
  explicit ArchiveEntryImp(Core* core) : ElementImp(core, kArchiveEntryType) {}

  int Destroy() override;
  void* Cast(int interfaceId) override;

  const char* GetEntryName() override;
  // 1 when memory runs out (the entry then has no name).
  int SetEntryName(const char* text) override;
  std::uint32_t GetBlockOffset() override { return offset_; }
  int SetBlockOffset(std::uint32_t offset) override;
  std::uint32_t GetBlockSize() override { return size_; }
  int SetBlockSize(std::uint32_t size) override;

  // IO: the name in the stored form of a String, then the offset and the size (4 bytes
  // each, little-endian). An entry without a name is stored with the empty name.
  int Read(Stream* stream) override;
  int Write(Stream* stream) override;

 private:
  String* name_ = nullptr;
  std::uint32_t offset_ = 0;
  std::uint32_t size_ = 0;
};

}  // namespace VLN2
