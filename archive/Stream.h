// Stream: the byte-stream interface offered by BinaryStream (a disk file) and
// CompressStream (memory and packed blocks). Reached with Cast(kStreamInterface) and
// never released directly: references go through the element.
//
// Settings (mode, access, option) change only while the stream is closed. Typed values
// are written and read in memory order, that is little-endian.
#pragma once

#include <cstdint>

#include "framework/VLN2.h"

namespace VLN2 {

// Modes.
constexpr int kModeReadWrite = 0;
constexpr int kModeRead = 1;  // the file must exist
constexpr int kModeWrite = 2;
constexpr int kModeCreate = 3;  // write, the file emptied first (or created)
// Access hints.
constexpr int kAccessSequential = 2;
constexpr int kAccessMemoryOnly = 3;  // CompressStream only
// Option flags (BinaryStream). kOptionNoLinks: the file must be reached through no link:
// it is opened without following a link at its name, its final path must equal the
// stream path (letter case ignored), and an existing file that has other names (hard
// links) is replaced by a new one instead of being written into. Otherwise the open fails.
constexpr int kOptionNoLinks = 1;
// kOptionNewFile (with kOptionNoLinks): the file is made new; anything already at its name
// refuses the open.
constexpr int kOptionNewFile = 2;
// Both: a file the caller makes and owns, reached through no link.
constexpr int kOptionNewRealFile = kOptionNoLinks | kOptionNewFile;

class Stream {
 public:
  static constexpr int kInterfaceId = kStreamInterface;
  virtual ~Stream() = default;
  // Opens according to the mode; 0 or a failure code.
  virtual int OpenStream() = 0;
  // 1 while closed, 0 while open.
  virtual int IsClosed() = 0;
  // 0 on success, non-zero when it was not open.
  virtual int CloseStream() = 0;
  // The error flag: 0 while no failure was seen.
  virtual int GetError() = 0;
  // Total length of the data; 1 when unavailable (size untouched).
  virtual int GetSize(std::uint32_t* size) = 0;
  virtual int GetPosition(std::uint32_t* position) = 0;
  // Moves to an absolute position.
  virtual int SetPosition(std::uint32_t position) = 0;
  virtual int GetMode() = 0;
  virtual int SetOption(int value) = 0;
  virtual int SetMode(int mode) = 0;
  virtual int GetAccess() = 0;
  virtual int SetAccess(int access) = 0;
  virtual int GetOption() = 0;
  // The writes return the count of bytes written.
  virtual int Write16(std::uint16_t value) = 0;
  virtual int Write32(std::uint32_t value) = 0;
  virtual int Write32b(std::int32_t value) = 0;
  virtual int Write64(std::uint64_t value) = 0;
  virtual int WriteData(const void* data, std::uint32_t n) = 0;
  // The reads return the count of bytes read; a short read leaves the rest untouched.
  virtual int Read16(std::uint16_t* value) = 0;
  virtual int Read32(std::uint32_t* value) = 0;
  virtual int Read32b(std::int32_t* value) = 0;
  virtual int Read64(std::uint64_t* value) = 0;
  virtual int ReadData(void* data, std::uint32_t n) = 0;
};

}  // namespace VLN2
