#include "archive/CompressStreamImp.h"

#include <cstring>

#include "archive/Packer.h"
#include "archive/StreamIO.h"
#include "system/port/Port.h"

namespace VLN2 {
namespace {

const unsigned char kPackedTag[4] = {'P', 'A', 'C', 0};
const unsigned char kStoredTag[4] = {'R', 'A', 'W', 0};

// Capacity for n bytes in an empty buffer, and the doubling rule of a full one.
std::uint64_t LargestPowerOfTwoAtMost(std::uint64_t n) {
  std::uint64_t p = 1;
  while (p * 2 <= n) p *= 2;
  return p;
}

// No zlib stream of c bytes inflates to more than about 1032 times its length, so a
// larger stored length is never needed in full and is not allocated in full.
std::uint64_t InflateBound(std::uint32_t c) { return static_cast<std::uint64_t>(c) * 1032 + 4096; }

}  // namespace

int CompressStreamImp::Init() {
  Element* registered = core_->GetRegistered(kCompressDeviceType);
  if (!registered) {
    registered = core_->CreateElement(kCompressDeviceType, 0);
    if (!registered) return 1;
    core_->SetRegistered(kCompressDeviceType, registered);
  }
  registered->AddRef();
  device_ = static_cast<CompressDevice*>(registered);
  return 0;
}

int CompressStreamImp::Destroy() {
  CloseStream();
  if (device_) {
    // The registration lives exactly as long as some stream holds the device.
    int count = device_->GetRefCount();
    Element* device = device_;
    device_ = nullptr;
    device->Release();
    if (count <= 1 && core_->GetRegistered(kCompressDeviceType) == device)
      core_->SetRegistered(kCompressDeviceType, nullptr);
  }
  FreeBuffer();
  Free(spare_);
  Free(packed_);
  delete this;
  return 0;
}

void* CompressStreamImp::Cast(int interfaceId) {
  return interfaceId == kStreamInterface ? static_cast<Stream*>(this) : nullptr;
}

int CompressStreamImp::SetInput(Stream* stream) {
  input_ = stream;
  return 0;
}

int CompressStreamImp::SetOutput(Stream* stream) {
  output_ = stream;
  return 0;
}

int CompressStreamImp::SetEntry(ArchiveEntry* entry) {
  entry_ = entry;
  return 0;
}

int CompressStreamImp::SetPassThrough(int flag) {
  passThrough_ = flag;
  return 0;
}

void CompressStreamImp::FreeBuffer() {
  KeepSpare(buffer_, capacity_);
  buffer_ = nullptr;
  capacity_ = 0;
  size_ = 0;
  position_ = 0;
}

void CompressStreamImp::AdoptBuffer(unsigned char* block, std::uint32_t capacity,
                                    std::uint32_t length) {
  FreeBuffer();
  buffer_ = block;
  capacity_ = capacity;
  size_ = length;
}

unsigned char* CompressStreamImp::TakeSpare(std::uint32_t n, std::uint32_t* capacity) {
  unsigned char* block = spare_;
  *capacity = spareCapacity_;
  spare_ = nullptr;
  spareCapacity_ = 0;
  if (block && *capacity >= n) return block;
  // Freed before the new one is had: memory never holds both.
  Free(block);
  *capacity = n;
  return static_cast<unsigned char*>(Allocate(n));
}

void CompressStreamImp::KeepSpare(unsigned char* block, std::uint32_t capacity) {
  if (!block) return;
  Free(spare_);
  spare_ = block;
  spareCapacity_ = capacity;
}

int CompressStreamImp::OpenStream() {
  if (state_ != kStateClosed) return 1;
  state_ = kStateOpening;
  endFlag_ = 0;
  FreeBuffer();
  int result = 0;
  if (access_ != kAccessMemoryOnly) {
    if (mode_ == kModeWrite || mode_ == kModeReadWrite) {
      if (!output_)
        result = 1;
      else if (output_->IsClosed() == 1)
        result = output_->OpenStream();
    }
    if (mode_ == kModeRead || mode_ == kModeReadWrite) {
      if (!input_) {
        result = 1;
      } else if (result == 0) {
        if (input_->IsClosed() == 1) result = input_->OpenStream();
        // Without an entry the stream is open and empty.
        if (result == 0 && entry_) result = Decode();
      }
    }
  }
  position_ = 0;
  state_ = result;
  return result;
}

int CompressStreamImp::ReadBlockHead(Stream* input, std::uint32_t blockSize, std::uint32_t* size,
                                     bool* packed) {
  unsigned char head[8];
  if (blockSize < 4 || ReadFully(input, head, 4) != 4) return 1;
  *packed = std::memcmp(head, kPackedTag, 4) == 0;
  if (*packed) {
    if (blockSize < 8 || ReadFully(input, head + 4, 4) != 4) return 1;
    *size = LoadLE32(head + 4);
    return 0;
  }
  *size = blockSize - 4;
  return std::memcmp(head, kStoredTag, 4) == 0 ? 0 : 1;
}

int CompressStreamImp::Decode() {
  if (passThrough_ == 1) return DecodePassThrough();
  unsigned char tag[4];
  if (ReadFully(input_, tag, 4) != 4) return 1;
  if (std::memcmp(tag, kPackedTag, 4) == 0) return DecodeCompressed();
  if (std::memcmp(tag, kStoredTag, 4) == 0) return DecodeStored();
  // An unknown tag: the word after it decides between failure and an empty stream.
  unsigned char word[4] = {0, 0, 0, 0};
  ReadFully(input_, word, 4);
  return LoadLE32(word) == 0 ? 1 : 0;
}

int CompressStreamImp::ReadWhole(std::uint32_t n) {
  std::uint32_t capacity = 0;
  unsigned char* block = TakeSpare(n, &capacity);
  if (!block) return 1;
  if (ReadFully(input_, block, n) != n || input_->GetError() != 0) {
    KeepSpare(block, capacity);
    return 1;
  }
  AdoptBuffer(block, capacity, n);
  return 0;
}

int CompressStreamImp::DecodePassThrough() {
  std::uint32_t n = entry_->GetBlockSize();
  if (input_->SetPosition(entry_->GetBlockOffset()) != 0) return 1;
  std::uint32_t remaining = 0;
  if (RemainingBytes(input_, &remaining) && n > remaining) return 1;
  return ReadWhole(n);
}

int CompressStreamImp::DecodeCompressed() {
  unsigned char word[4];
  if (ReadFully(input_, word, 4) != 4) return 1;
  std::uint32_t unpacked = LoadLE32(word);
  std::uint32_t blockSize = entry_->GetBlockSize();
  if (unpacked == 0 || blockSize <= 8) return 1;
  std::uint32_t packed = blockSize - 8;
  // A length that runs past the input is damage: refuse it before allocating for it.
  std::uint32_t remaining = 0;
  if (RemainingBytes(input_, &remaining) && packed > remaining) return 1;
  if (sink_ && unpacked > kPiece) return InflateToSink(packed, unpacked);
  std::uint32_t wanted = unpacked;
  if (wanted > InflateBound(packed)) wanted = static_cast<std::uint32_t>(InflateBound(packed));
  std::uint32_t capacity = 0;
  unsigned char* block = TakeSpare(wanted, &capacity);
  if (!block) return 1;
  if (ReservePacked(packed) && ReadFully(input_, packed_, packed) == packed && device_) {
    unsigned produced = wanted;
    Port::Lock();
    int rc = device_->Uncompress(block, &produced, packed_, packed);
    Port::Unlock();
    if (rc == 0) {
      AdoptBuffer(block, capacity, produced);
      return 0;
    }
  }
  KeepSpare(block, capacity);
  return 1;
}

int CompressStreamImp::DecodeStored() {
  std::uint32_t blockSize = entry_->GetBlockSize();
  if (blockSize < 4) return 1;
  std::uint32_t n = blockSize - 4;
  if (n == 0) return 0;
  std::uint32_t remaining = 0;
  if (RemainingBytes(input_, &remaining) && n > remaining) return 1;
  if (sink_ && n > kPiece) return CopyToSink(n);
  return ReadWhole(n);
}

bool CompressStreamImp::ReservePacked(std::uint32_t n) {
  if (packedCapacity_ < n) {
    Free(packed_);
    packed_ = static_cast<unsigned char*>(Allocate(n));
    packedCapacity_ = packed_ ? n : 0;
  }
  return packed_ != nullptr;
}

int CompressStreamImp::InflateToSink(std::uint32_t packed, std::uint32_t unpacked) {
  std::uint32_t capacity = 0;
  unsigned char* piece = TakeSpare(kPiece, &capacity);
  int state = piece && ReservePacked(kPiece) && device_ ? 0 : -1;
  std::uint32_t have = 0, at = 0;
  for (bool start = true; state == 0; start = false) {
    if (have == 0 && packed > 0) {
      std::uint32_t n = packed < kPiece ? packed : kPiece;
      if (ReadFully(input_, packed_, n) != n) break;
      packed -= n;
      have = n;
      at = 0;
    }
    // Output beyond the stated length is damage, as it is for a block decoded whole.
    unsigned used = have, made = unpacked < capacity ? unpacked : capacity;
    Port::Lock();
    state = device_->Inflate(piece, &made, packed_ + at, &used, start);
    Port::Unlock();
    at += used;
    have -= used;
    unpacked -= made;
    if (state >= 0 && WriteFully(sink_, piece, made) != made) state = -1;
    // Neither input taken nor output made: the data ended early or makes too much.
    if (state == 0 && used == 0 && made == 0) break;
  }
  KeepSpare(piece, capacity);
  return state == 1 ? 0 : 1;
}

int CompressStreamImp::CopyToSink(std::uint32_t n) {
  std::uint32_t capacity = 0;
  unsigned char* piece = TakeSpare(kPiece, &capacity);
  while (piece && n > 0) {
    std::uint32_t chunk = n < kPiece ? n : kPiece;
    if (ReadFully(input_, piece, chunk) != chunk || WriteFully(sink_, piece, chunk) != chunk) break;
    n -= chunk;
  }
  KeepSpare(piece, capacity);
  return piece && n == 0 ? 0 : 1;
}

int CompressStreamImp::WriteEntryTo(Stream* out) {
  std::uint32_t start = 0;
  if (!out || out->GetPosition(&start) != 0) return 1;
  sink_ = out;
  int result = OpenStream();
  sink_ = nullptr;
  // A block sent out whole leaves the stream open and empty.
  if (result == 0) result = WriteRest(out);
  CloseStream();
  if (result != 0 && out->GetError() == 0) out->SetPosition(start);
  return result;
}

int CompressStreamImp::CloseStream() {
  if (state_ != kStateOpen) {
    FreeBuffer();
    entry_ = nullptr;
    return state_;
  }
  int result = 0;
  if (access_ != kAccessMemoryOnly && (mode_ == kModeWrite || mode_ == kModeReadWrite))
    result = Pack();
  state_ = kStateClosed;
  FreeBuffer();
  entry_ = nullptr;
  return result;
}

int CompressStreamImp::Pack() {
  if (passThrough_ == 1) {
    if (!buffer_) return 1;
    return WriteFully(output_, buffer_, size_) == size_ ? 0 : 1;
  }
  // A zlib stream longer than the device's limit is not worth packing: the block is stored.
  std::uint32_t limit = device_ ? device_->PackedLimit(size_) : 0;
  std::uint64_t room = static_cast<std::uint64_t>(limit) + kEncoderRoom;
  unsigned capacity = room > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(room);
  auto* scratch = static_cast<unsigned char*>(Allocate(capacity));
  static const unsigned char kNothing = 0;
  const unsigned char* data = buffer_ ? buffer_ : &kNothing;
  bool packed = scratch && device_ && device_->Compress(scratch, &capacity, data, size_) == 0 &&
                capacity <= limit;
  bool complete;
  if (packed) {
    unsigned char head[8];
    std::memcpy(head, kPackedTag, 4);
    StoreLE32(head + 4, size_);
    complete =
        WriteFully(output_, head, 8) == 8 && WriteFully(output_, scratch, capacity) == capacity;
  } else {
    // Compression failure (also for want of scratch memory) is not an error: the data
    // goes out unchanged.
    complete = WriteFully(output_, kStoredTag, 4) == 4 && WriteFully(output_, data, size_) == size_;
  }
  Free(scratch);
  return complete ? 0 : 1;
}

int CompressStreamImp::GetSize(std::uint32_t* size) {
  if (size) *size = size_;
  return 0;
}

int CompressStreamImp::GetPosition(std::uint32_t* position) {
  if (state_ != kStateOpen) return 1;
  if (position) *position = position_;
  if (position_ < size_) endFlag_ = 0;
  return 0;
}

int CompressStreamImp::SetPosition(std::uint32_t position) {
  if (state_ != kStateOpen || position > size_) return 1;
  position_ = position;
  if (position_ < size_) endFlag_ = 0;
  return 0;
}

int CompressStreamImp::SetOption(int value) {
  if (IsClosed() != 1) return 1;
  option_ = value;
  return 0;
}

int CompressStreamImp::SetMode(int mode) {
  if (IsClosed() != 1) return 1;
  mode_ = mode;
  return 0;
}

int CompressStreamImp::SetAccess(int access) {
  if (IsClosed() != 1) return 1;
  access_ = access;
  return 0;
}

int CompressStreamImp::Write16(std::uint16_t value) { return WriteData(&value, sizeof value); }
int CompressStreamImp::Write32(std::uint32_t value) { return WriteData(&value, sizeof value); }
int CompressStreamImp::Write32b(std::int32_t value) { return WriteData(&value, sizeof value); }
int CompressStreamImp::Write64(std::uint64_t value) { return WriteData(&value, sizeof value); }
int CompressStreamImp::Read16(std::uint16_t* value) { return ReadData(value, sizeof *value); }
int CompressStreamImp::Read32(std::uint32_t* value) { return ReadData(value, sizeof *value); }
int CompressStreamImp::Read32b(std::int32_t* value) { return ReadData(value, sizeof *value); }
int CompressStreamImp::Read64(std::uint64_t* value) { return ReadData(value, sizeof *value); }

int CompressStreamImp::WriteData(const void* data, std::uint32_t n) {
  if (state_ != kStateOpen) return 0;
  if (!buffer_) {
    // A capacity without a buffer means the first allocation already failed.
    if (capacity_ != 0) return 0;
    std::uint64_t wanted = n < 4096 ? 4096 : 2 * LargestPowerOfTwoAtMost(n);
    if (wanted > 0xFFFFFFFFu) {
      endFlag_ = kWriteLost;
      return 0;
    }
    capacity_ = static_cast<std::uint32_t>(wanted);
    buffer_ = static_cast<unsigned char*>(Allocate(capacity_));
    if (!buffer_) {
      endFlag_ = kWriteLost;
      return 0;
    }
  }
  std::uint64_t end = static_cast<std::uint64_t>(position_) + n;
  if (end > capacity_) {
    std::uint64_t grown = 2 * static_cast<std::uint64_t>(capacity_);
    if (end > grown) grown = 2 * LargestPowerOfTwoAtMost(end);
    auto* larger = grown > 0xFFFFFFFFu ? nullptr : static_cast<unsigned char*>(Allocate(grown));
    if (!larger) {
      // The old buffer stays; the loss shows in the error flag, so that a writer
      // cannot mistake a truncated entry for a complete one.
      endFlag_ = kWriteLost;
      return 0;
    }
    if (position_) std::memcpy(larger, buffer_, position_);
    Free(buffer_);
    buffer_ = larger;
    capacity_ = static_cast<std::uint32_t>(grown);
  }
  if (endFlag_ != 0) return 0;
  if (n) std::memcpy(buffer_ + position_, data, n);
  position_ += n;
  if (position_ > size_) size_ = position_;
  return static_cast<int>(n);
}

int CompressStreamImp::ReadData(void* data, std::uint32_t n) {
  if (state_ != kStateOpen || endFlag_ != 0 || position_ >= size_) return 0;
  if (static_cast<std::uint64_t>(position_) + n >= size_) {
    n = size_ - position_;
    endFlag_ = kEndReached;
  }
  if (n) std::memcpy(data, buffer_ + position_, n);
  position_ += n;
  return static_cast<int>(n);
}

int CompressStreamImp::WriteRest(Stream* out) {
  if (state_ != kStateOpen || endFlag_ != 0 || position_ >= size_) return 0;
  std::uint32_t n = size_ - position_;
  std::uint32_t written = WriteFully(out, buffer_ + position_, n);
  position_ += written;
  endFlag_ = kEndReached;
  return written == n ? 0 : 1;
}

}  // namespace VLN2
