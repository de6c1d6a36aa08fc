// The CompressStream element: an in-memory Stream that decodes one packed block from its
// input when opened for reading, and packs everything written into one block on its
// output when closed after writing. With access 3 it is a plain memory stream.
//
// Packed block: "PAC\0", the unpacked length (4 bytes), one zlib stream; or "RAW\0" and
// the bytes unchanged. The block's total length comes from the entry's block size.
#pragma once

#include <cstdint>

#include "archive/ArchiveEntry.h"
#include "archive/CompressStream.h"
#include "archive/Stream.h"
#include "framework/ElementImp.h"

namespace VLN2 {

class CompressStreamImp : public ElementImp<CompressStream>, public Stream {
 public:
  explicit CompressStreamImp(Core* core) : ElementImp(core, kCompressStreamType) {}

  // Takes (or creates and registers) the process's shared device.
  int Init() override;
  int Destroy() override;
  int SetParameter(int) override { return 0; }
  void* Cast(int interfaceId) override;

  Stream* GetInput() override { return input_; }
  int SetInput(Stream* stream) override;
  Stream* GetOutput() override { return output_; }
  int SetOutput(Stream* stream) override;
  ArchiveEntry* GetEntry() override { return entry_; }
  int SetEntry(ArchiveEntry* entry) override;
  int GetPassThrough() override { return passThrough_; }
  int SetPassThrough(int flag) override;

  // Stream
  int OpenStream() override;
  int IsClosed() override { return state_; }
  int CloseStream() override;
  int GetError() override { return endFlag_; }
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

  // ReadData of everything left, written to out straight from memory: one write, no copy.
  // 0 when out took it all.
  int WriteRest(Stream* out);
  // Opens the stream on its entry and writes the entry's bytes to out; closes it again. A
  // block larger than kPiece is decoded to out piece by piece, never held whole. 0 when out
  // took it all; on damage, out is back where it was.
  int WriteEntryTo(Stream* out);

  // The bytes a large block is read, decoded and written in at a time.
  static constexpr std::uint32_t kPiece = 1u << 20;
  // Reads the head of a packed block of blockSize bytes at input's position: its unpacked
  // size, and whether it is packed (else stored). 1 when the head names neither form.
  static int ReadBlockHead(Stream* input, std::uint32_t blockSize, std::uint32_t* size,
                           bool* packed);

  // The allocated length of the data buffer (for tests of the growth rule).
  std::uint32_t GetCapacity() const { return capacity_; }

  // End flag values.
  static constexpr int kEndReached = 1;
  static constexpr int kWriteLost = 2;
  // State values besides the failure codes.
  static constexpr int kStateOpen = 0;
  static constexpr int kStateClosed = 1;
  static constexpr int kStateOpening = 17;

 private:
  int Decode();
  int DecodePassThrough();
  int DecodeCompressed();
  int DecodeStored();
  // The next n bytes of the input as the stream's data.
  int ReadWhole(std::uint32_t n);
  // A large block's data from the input to sink_ in pieces: zlib data of packed bytes that
  // makes at most unpacked bytes, or n bytes as they are.
  int InflateToSink(std::uint32_t packed, std::uint32_t unpacked);
  int CopyToSink(std::uint32_t n);
  // The packed bytes' buffer, at least n long.
  bool ReservePacked(std::uint32_t n);
  int Pack();
  // Empties the stream; its buffer is kept as the spare for the next decoding.
  void FreeBuffer();
  // Takes over block as the data buffer of length bytes (capacity bytes allocated).
  void AdoptBuffer(unsigned char* block, std::uint32_t capacity, std::uint32_t length);
  // A block of at least n bytes for a decoding: the spare when it is large enough (a stream
  // reopened for entry after entry then allocates only for a larger one), else a new one;
  // its length in *capacity. Hand it back with KeepSpare unless the buffer adopts it.
  unsigned char* TakeSpare(std::uint32_t n, std::uint32_t* capacity);
  void KeepSpare(unsigned char* block, std::uint32_t capacity);

  int endFlag_ = 0;
  int state_ = kStateClosed;
  int mode_ = 0;
  int access_ = 0;
  int option_ = 0;
  int passThrough_ = 0;
  Stream* input_ = nullptr;
  Stream* output_ = nullptr;
  CompressDevice* device_ = nullptr;
  ArchiveEntry* entry_ = nullptr;
  // Where WriteEntryTo sends a large block while the stream opens.
  Stream* sink_ = nullptr;
  unsigned char* buffer_ = nullptr;
  std::uint32_t capacity_ = 0;
  std::uint32_t size_ = 0;
  std::uint32_t position_ = 0;
  // Kept across openings, freed with the stream: the spare data buffer, and the packed
  // bytes' buffer.
  unsigned char* spare_ = nullptr;
  std::uint32_t spareCapacity_ = 0;
  unsigned char* packed_ = nullptr;
  std::uint32_t packedCapacity_ = 0;
};

}  // namespace VLN2
