#include "archive/BinaryStreamImp.h"

#include "system/FileFunc.h"

namespace VLN2 {

ElementRef<BinaryStream> OpenFileStream(const char* path, int mode, int options, int access,
                                        int* code) {
  int opened = 1;
  auto file = ElementRef<BinaryStream>::Create(kBinaryStreamType);
  Stream* stream = CastTo<Stream>(file.get());
  if (stream && file->SetStreamPath(path) == 0 && stream->SetMode(mode) == 0 &&
      stream->SetOption(options) == 0 && stream->SetAccess(access) == 0)
    opened = stream->OpenStream();
  if (code) *code = opened;
  if (opened != 0) file.reset();
  return file;
}

int BinaryStreamImp::Destroy() {
  CloseStream();
  SetStreamPath(nullptr);
  delete this;
  return 0;
}

void* BinaryStreamImp::Cast(int interfaceId) {
  return interfaceId == kStreamInterface ? static_cast<Stream*>(this) : nullptr;
}

int BinaryStreamImp::SetStreamPath(const char* text) {
  if (!text) {
    ReleaseElement(path_);
    return 0;
  }
  if (!path_) {
    path_ = static_cast<String*>(core_->CreateElement(kStringType, 0));
    if (!path_) return 1;
    path_->AddRef();
  }
  return path_->SetText(text) == 0 ? 0 : 1;
}

int BinaryStreamImp::OpenStream() {
  // A second open would lose the first handle.
  if (file_) return 1;
  int access = Port::kAccessRead | Port::kAccessWrite;
  if (mode_ == kModeRead) {
    if (PathExists(GetStreamPath()) != 0) return 1;
    access = Port::kAccessRead;
  } else if (mode_ == kModeWrite || mode_ == kModeCreate) {
    access = Port::kAccessWrite;
  }
  bool sequential = access_ == kAccessSequential;
  if (option_ & kOptionNewFile) access |= Port::kAccessNew;
  file_ = option_ & kOptionNoLinks ? OpenRealFile(GetStreamPath(), access, sequential)
                                   : Port::OpenFile(GetStreamPath(), access, sequential);
  if (!file_) return 16;
  position_ = 0;
  positionKnown_ = true;
  sizeKnown_ = false;
  // Emptied only once it is known to be the file itself, never another name of it; a new file
  // is empty already.
  if (mode_ == kModeCreate) {
    std::uint32_t size = 0;
    if ((Size(&size) != 0 || size != 0) && !Port::SetEndOfFile(file_)) {
      Port::CloseFile(file_);
      file_ = nullptr;
      return 16;
    }
    size_ = 0;
    sizeKnown_ = true;
  }
  return 0;
}

int BinaryStreamImp::CloseStream() {
  if (!file_) return 1;
  // Only a stream that wrote is cut at its position; one that only read leaves the file, and
  // a file made new has no older content to cut. A cut that could not be made leaves an
  // older, longer content's tail behind: 1.
  int result = 0;
  if (written_ && !(option_ & kOptionNewFile)) {
    std::uint32_t size = 0, position = 0;
    if (Size(&size) != 0 || Position(&position) != 0 ||
        (size != position && !Port::SetEndOfFile(file_)))
      result = 1;
  }
  Port::CloseFile(file_);
  file_ = nullptr;
  positionKnown_ = sizeKnown_ = false;
  return result;
}

int BinaryStreamImp::FlushStream() { return Port::FlushFile(file_) ? 0 : 1; }

int BinaryStreamImp::Size(std::uint32_t* size) {
  if (!sizeKnown_) sizeKnown_ = Port::GetFileSize(file_, &size_);
  if (!sizeKnown_) return 1;
  *size = size_;
  return 0;
}

int BinaryStreamImp::Position(std::uint32_t* position) {
  if (!positionKnown_) positionKnown_ = Port::GetFilePointer(file_, &position_);
  if (!positionKnown_) return 1;
  *position = position_;
  return 0;
}

void BinaryStreamImp::Moved(bool ok, std::uint32_t done, bool wrote) {
  std::uint32_t next = position_ + done;
  // A partial failure leaves the position unknown; one past 4 GB is asked for.
  if (!ok || next < position_) positionKnown_ = false;
  position_ = next;
  if (wrote) {
    if (!positionKnown_) sizeKnown_ = false;
    if (sizeKnown_ && position_ > size_) size_ = position_;
  }
}

int BinaryStreamImp::GetSize(std::uint32_t* size) { return Size(size); }

int BinaryStreamImp::GetPosition(std::uint32_t* position) {
  Position(position);
  return 0;
}

int BinaryStreamImp::SetPosition(std::uint32_t position) {
  if (!positionKnown_ || position != position_) {
    positionKnown_ = Port::SetFilePointer(file_, position);
    position_ = position;
  }
  error_ = positionKnown_ ? 0 : 1;
  return error_;
}

int BinaryStreamImp::SetOption(int value) {
  if (IsClosed() != 1) return 1;
  option_ = value;
  return 0;
}

int BinaryStreamImp::SetMode(int mode) {
  if (IsClosed() != 1) return 1;
  mode_ = mode;
  return 0;
}

int BinaryStreamImp::SetAccess(int access) {
  if (IsClosed() != 1) return 1;
  access_ = access;
  return 0;
}

int BinaryStreamImp::WriteValue(std::uint64_t value, std::uint32_t size) {
  unsigned char bytes[8];
  for (std::uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
  return WriteData(bytes, size);
}

int BinaryStreamImp::Write16(std::uint16_t value) { return WriteValue(value, 2); }
int BinaryStreamImp::Write32(std::uint32_t value) { return WriteValue(value, 4); }
int BinaryStreamImp::Write32b(std::int32_t value) {
  return WriteValue(static_cast<std::uint32_t>(value), 4);
}
int BinaryStreamImp::Write64(std::uint64_t value) { return WriteValue(value, 8); }

int BinaryStreamImp::WriteData(const void* data, std::uint32_t n) {
  written_ = 1;
  std::uint32_t done = 0;
  bool ok = Port::WriteFile(file_, data, n, &done);
  Moved(ok, done, true);
  if (!ok) {
    error_ = 1;
    return 0;
  }
  return static_cast<int>(done);
}

int BinaryStreamImp::ReadValue(std::uint64_t* value, std::uint32_t size) {
  unsigned char bytes[8];
  std::uint32_t done = 0;
  // The end of the file is no error here: 0 bytes come and the variable stays.
  bool ok = Port::ReadFile(file_, bytes, size, &done);
  Moved(ok, done, false);
  if (!ok) error_ = 1;
  if (done == size) {
    std::uint64_t read = 0;
    for (std::uint32_t i = 0; i < size; ++i)
      read |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    *value = read;
  }
  return static_cast<int>(done);
}

int BinaryStreamImp::Read16(std::uint16_t* value) {
  std::uint64_t read = *value;
  int done = ReadValue(&read, 2);
  *value = static_cast<std::uint16_t>(read);
  return done;
}

int BinaryStreamImp::Read32(std::uint32_t* value) {
  std::uint64_t read = *value;
  int done = ReadValue(&read, 4);
  *value = static_cast<std::uint32_t>(read);
  return done;
}

int BinaryStreamImp::Read32b(std::int32_t* value) {
  std::uint64_t read = static_cast<std::uint32_t>(*value);
  int done = ReadValue(&read, 4);
  *value = static_cast<std::int32_t>(static_cast<std::uint32_t>(read));
  return done;
}

int BinaryStreamImp::Read64(std::uint64_t* value) { return ReadValue(value, 8); }

int BinaryStreamImp::ReadData(void* data, std::uint32_t n) {
  std::uint32_t done = 0;
  bool ok = Port::ReadFile(file_, data, n, &done);
  Moved(ok, done, false);
  if (!ok || done < n) error_ = 1;
  return static_cast<int>(done);
}

}  // namespace VLN2
