// A small in-memory Stream for tests of stored forms: reads from and writes to a byte
// vector at a position, can be told to deliver at most a number of bytes in all (a
// truncated stream) and to hide its size, and reports an error flag like the real ones.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/Stream.h"

namespace VLN2 {

class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  std::vector<std::uint8_t>& Bytes() { return bytes_; }
  // Reads deliver no byte at or beyond limit (a stream cut short).
  void SetReadLimit(std::uint32_t limit) { readLimit_ = limit; }
  // GetSize answers 1 (unavailable), as a stream without a known length does.
  void HideSize() { sizeHidden_ = true; }
  // Writes are refused from now on and set the error flag.
  void FailWrites() { failWrites_ = true; }

  int OpenStream() override {
    closed_ = false;
    return 0;
  }
  int IsClosed() override { return closed_ ? 1 : 0; }
  int CloseStream() override {
    if (closed_) return 1;
    closed_ = true;
    return 0;
  }
  int GetError() override { return error_; }
  int GetSize(std::uint32_t* size) override {
    if (sizeHidden_) return 1;
    *size = static_cast<std::uint32_t>(std::min<std::size_t>(bytes_.size(), readLimit_));
    return 0;
  }
  int GetPosition(std::uint32_t* position) override {
    *position = position_;
    return 0;
  }
  int SetPosition(std::uint32_t position) override {
    position_ = position;
    return 0;
  }
  int GetMode() override { return mode_; }
  int SetOption(int value) override { return Setting(option_, value); }
  int SetMode(int mode) override { return Setting(mode_, mode); }
  int GetAccess() override { return access_; }
  int SetAccess(int access) override { return Setting(access_, access); }
  int GetOption() override { return option_; }
  int Write16(std::uint16_t value) override { return WriteData(&value, 2); }
  int Write32(std::uint32_t value) override { return WriteData(&value, 4); }
  int Write32b(std::int32_t value) override { return WriteData(&value, 4); }
  int Write64(std::uint64_t value) override { return WriteData(&value, 8); }
  int WriteData(const void* data, std::uint32_t n) override {
    if (failWrites_) {
      error_ = 1;
      return 0;
    }
    if (bytes_.size() < std::size_t{position_} + n) bytes_.resize(std::size_t{position_} + n);
    if (n) std::memcpy(bytes_.data() + position_, data, n);
    position_ += n;
    return static_cast<int>(n);
  }
  int Read16(std::uint16_t* value) override { return ReadData(value, 2); }
  int Read32(std::uint32_t* value) override { return ReadData(value, 4); }
  int Read32b(std::int32_t* value) override { return ReadData(value, 4); }
  int Read64(std::uint64_t* value) override { return ReadData(value, 8); }
  int ReadData(void* data, std::uint32_t n) override {
    std::size_t end = std::min<std::size_t>(bytes_.size(), readLimit_);
    std::size_t available = position_ < end ? end - position_ : 0;
    std::size_t count = std::min<std::size_t>(n, available);
    if (count) std::memcpy(data, bytes_.data() + position_, count);
    position_ += static_cast<std::uint32_t>(count);
    if (count < n) error_ = 1;
    return static_cast<int>(count);
  }

 private:
  int Setting(int& setting, int value) {
    if (IsClosed() != 1) return 1;
    setting = value;
    return 0;
  }

  std::vector<std::uint8_t> bytes_;
  std::uint32_t position_ = 0;
  std::uint32_t readLimit_ = UINT32_MAX;
  bool sizeHidden_ = false;
  bool failWrites_ = false;
  bool closed_ = true;
  int error_ = 0;
  int mode_ = 0;
  int access_ = 0;
  int option_ = 0;
};

}  // namespace VLN2
