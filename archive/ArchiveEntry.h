// ArchiveEntry: one directory record of an archive in memory (view: IO).
#pragma once

#include <cstdint>

#include "framework/VLN2.h"

namespace VLN2 {

class ArchiveEntry : public Element {
 public:
  // The name; null when none was ever set.
  virtual const char* GetEntryName() = 0;
  // Null forgets the name; 0.
  virtual int SetEntryName(const char* text) = 0;
  // Absolute file offset of the entry's packed block.
  virtual std::uint32_t GetBlockOffset() = 0;
  virtual int SetBlockOffset(std::uint32_t offset) = 0;
  // Length of the packed block, its tag included.
  virtual std::uint32_t GetBlockSize() = 0;
  virtual int SetBlockSize(std::uint32_t size) = 0;
};

}  // namespace VLN2
