// The BinaryStream element: the Stream over one disk file.
#pragma once

#include "archive/BinaryStream.h"
#include "archive/Stream.h"
#include "framework/ElementImp.h"
#include "framework/String.h"
#include "system/port/Port.h"

namespace VLN2 {

class BinaryStreamImp : public ElementImp<BinaryStream>, public Stream {
 public:
  explicit BinaryStreamImp(Core* core) : ElementImp(core, kBinaryStreamType) {}

  // Closes the file and forgets the path.
  int Destroy() override;
  void* Cast(int interfaceId) override;

  const char* GetStreamPath() override { return path_ ? path_->GetText() : nullptr; }
  // 1 when the path cannot be kept.
  int SetStreamPath(const char* text) override;
  int FlushStream() override;

  // Stream. Every mode opens the file as it is, creating it when absent (mode 1: only an
  // existing file, else 1; kModeCreate empties it); 16 when the platform refuses it. A stream that
  // wrote anything leaves the file as long as its final position when it closes.
  int OpenStream() override;
  int IsClosed() override { return file_ ? 0 : 1; }
  int CloseStream() override;
  int GetError() override { return error_; }
  int GetSize(std::uint32_t* size) override;
  int GetPosition(std::uint32_t* position) override;
  int SetPosition(std::uint32_t position) override;
  int GetMode() override { return mode_; }
  int SetOption(int value) override;
  int SetMode(int mode) override;
  int GetAccess() override { return access_; }
  int SetAccess(int access) override;
  int GetOption() override { return option_; }
  int Write16(std::uint16_t value) override;
  int Write32(std::uint32_t value) override;
  int Write32b(std::int32_t value) override;
  int Write64(std::uint64_t value) override;
  int WriteData(const void* data, std::uint32_t n) override;
  int Read16(std::uint16_t* value) override;
  int Read32(std::uint32_t* value) override;
  int Read32b(std::int32_t* value) override;
  int Read64(std::uint64_t* value) override;
  int ReadData(void* data, std::uint32_t n) override;

 private:
  int WriteValue(std::uint64_t value, std::uint32_t size);
  // Reads size bytes into *value only when all of them came.
  int ReadValue(std::uint64_t* value, std::uint32_t size);
  // The file's size and position, asked of the system only when not known: the handle is
  // this stream's alone, and no other program may write the file while it is open.
  int Size(std::uint32_t* size);
  int Position(std::uint32_t* position);
  // After a read or write that moved done bytes.
  void Moved(bool ok, std::uint32_t done, bool wrote);

  String* path_ = nullptr;
  Port::FileHandle file_ = nullptr;
  // Set by a failed read, write or positioning and by a short ReadData; cleared only by a
  // successful SetPosition. Like the written flag, it lasts the object's whole life.
  int error_ = 0;
  int mode_ = kModeReadWrite;
  int access_ = 0;
  int option_ = 0;
  int written_ = 0;
  std::uint32_t position_ = 0;
  std::uint32_t size_ = 0;
  bool positionKnown_ = false;
  bool sizeKnown_ = false;
};

}  // namespace VLN2
