#include "tools/vlnpack/Files.h"

#include "archive/Stream.h"

namespace VLN2::Vlnpack {

ElementRef<BinaryStream> OpenFile(const std::string& path, int mode, int* code) {
  *code = 1;
  auto file = ElementRef<BinaryStream>::Create(kBinaryStreamType);
  Stream* stream = CastTo<Stream>(file.get());
  if (!stream || file->SetStreamPath(path.c_str()) != 0 || stream->SetMode(mode) != 0 ||
      stream->SetAccess(kAccessSequential) != 0)
    return {};
  *code = stream->OpenStream();
  if (*code != 0) return {};
  return file;
}

ElementRef<BinaryStream> OpenToRead(const std::string& path, std::uint32_t* size) {
  int code = 0;
  auto file = OpenFile(path, kModeRead, &code);
  Stream* in = CastTo<Stream>(file.get());
  if (!in || in->GetSize(size) != 0) return {};
  return file;
}

}  // namespace VLN2::Vlnpack
