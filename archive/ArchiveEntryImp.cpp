#include "archive/ArchiveEntryImp.h"

#include "archive/Stream.h"
#include "archive/StreamIO.h"

namespace VLN2 {

int ArchiveEntryImp::Destroy() {
  ReleaseElement(name_);
  delete this;
  return 0;
}

void* ArchiveEntryImp::Cast(int interfaceId) {
  return interfaceId == kIOInterface ? static_cast<IO*>(this) : nullptr;
}

const char* ArchiveEntryImp::GetEntryName() { return name_ ? name_->GetText() : nullptr; }

int ArchiveEntryImp::SetEntryName(const char* text) {
  if (!text) {
    ReleaseElement(name_);
    return 0;
  }
  if (!name_) {
    name_ = Create<String>(kStringType);
    if (!name_) return 1;
    name_->AddRef();
  }
  if (name_->SetText(text) != 0) {
    ReleaseElement(name_);
    return 1;
  }
  return 0;
}

int ArchiveEntryImp::SetBlockOffset(std::uint32_t offset) {
  offset_ = offset;
  return 0;
}

int ArchiveEntryImp::SetBlockSize(std::uint32_t size) {
  size_ = size;
  return 0;
}

int ArchiveEntryImp::Read(Stream* stream) {
  if (!stream) return 1;
  if (!name_ && SetEntryName("") != 0) return 1;
  IO* nameIO = CastTo<IO>(name_);
  if (!nameIO || nameIO->Read(stream) != 0) return 1;
  unsigned char fields[8];
  if (ReadFully(stream, fields, 8) != 8) return 1;
  offset_ = LoadLE32(fields);
  size_ = LoadLE32(fields + 4);
  return stream->GetError();
}

int ArchiveEntryImp::Write(Stream* stream) {
  if (!stream) return 1;
  if (GetEntryName()) {
    IO* nameIO = CastTo<IO>(name_);
    if (!nameIO || nameIO->Write(stream) != 0) return 1;
  } else {
    static const unsigned char kEmptyName[3] = {1, 0, 0};
    stream->WriteData(kEmptyName, 3);
  }
  unsigned char fields[8];
  StoreLE32(fields, offset_);
  StoreLE32(fields + 4, size_);
  stream->WriteData(fields, 8);
  return stream->GetError();
}

}  // namespace VLN2
