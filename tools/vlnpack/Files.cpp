#include "tools/vlnpack/Files.h"

#include "archive/Stream.h"

namespace VLN2::Vlnpack {

ElementRef<BinaryStream> OpenToRead(const std::string& path, std::uint32_t* size) {
  auto file = OpenFileStream(path.c_str(), kModeRead, 0, kAccessSequential);
  Stream* in = CastTo<Stream>(file.get());
  if (!in || in->GetSize(size) != 0) return {};
  return file;
}

}  // namespace VLN2::Vlnpack
