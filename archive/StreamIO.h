// Small helpers for readers and writers of stored formats on any Stream.
#pragma once

#include <cstdint>

#include "archive/Stream.h"

namespace VLN2 {

// Reads until n bytes arrived or the stream gives nothing more; the count read. A stream
// may deliver fewer bytes than asked without having ended.
inline std::uint32_t ReadFully(Stream* stream, void* data, std::uint32_t n) {
  std::uint32_t done = 0;
  while (done < n) {
    int got = stream->ReadData(static_cast<unsigned char*>(data) + done, n - done);
    if (got <= 0) break;
    done += static_cast<std::uint32_t>(got);
  }
  return done;
}

// Writes until n bytes are taken or the stream takes nothing more; the count written.
inline std::uint32_t WriteFully(Stream* stream, const void* data, std::uint32_t n) {
  std::uint32_t done = 0;
  while (done < n) {
    int put = stream->WriteData(static_cast<const unsigned char*>(data) + done, n - done);
    if (put <= 0) break;
    done += static_cast<std::uint32_t>(put);
  }
  return done;
}

inline std::uint32_t LoadLE32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline void StoreLE32(unsigned char* bytes, std::uint32_t value) {
  bytes[0] = static_cast<unsigned char>(value);
  bytes[1] = static_cast<unsigned char>(value >> 8);
  bytes[2] = static_cast<unsigned char>(value >> 16);
  bytes[3] = static_cast<unsigned char>(value >> 24);
}

// Bytes left between the stream's position and its end; false when the stream cannot
// say, which callers take as "unknown" and do not hold against the data.
inline bool RemainingBytes(Stream* stream, std::uint32_t* remaining) {
  std::uint32_t size = 0;
  std::uint32_t position = 0;
  if (stream->GetSize(&size) != 0 || stream->GetPosition(&position) != 0) return false;
  *remaining = position < size ? size - position : 0;
  return true;
}

}  // namespace VLN2
