// The files vlnpack reads and writes through the library's streams.
#pragma once

#include <cstdint>
#include <string>

#include "archive/BinaryStream.h"
#include "framework/Allocator.h"
#include "framework/ElementRef.h"

namespace VLN2::Vlnpack {

// vlnpack's own copy loops move this much at a time.
constexpr std::uint32_t kChunk = 1u << 20;

// A file opened for reading and its size; null when either cannot be had.
ElementRef<BinaryStream> OpenToRead(const std::string& path, std::uint32_t* size);

// A block of the framework allocator; get() is null when memory ran out.
class Buffer {
 public:
  explicit Buffer(std::uint32_t size) : data_(static_cast<unsigned char*>(Allocate(size))) {}
  ~Buffer() { Free(data_); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  unsigned char* get() const { return data_; }

 private:
  unsigned char* data_;
};

}  // namespace VLN2::Vlnpack
