#include "unit/support/ArchiveBuilder.h"

#include "archive/Archive.h"
#include "archive/Stream.h"
#include "framework/ElementRef.h"

namespace VLN2 {

bool BuildArchive(const std::string& path, const ArchiveContents& entries) {
  ElementRef<Archive> archive = ElementRef<Archive>::Create(kArchiveType);
  if (!archive || archive->SetArchiveMode(kArchiveWrite) != 0 ||
      archive->OpenArchive(path.c_str()) != 0)
    return false;
  bool ok = true;
  for (const auto& [name, bytes] : entries) {
    Stream* stream = archive->BeginEntry(name.c_str());
    ok = ok && stream &&
         stream->WriteData(bytes.data(), static_cast<std::uint32_t>(bytes.size())) ==
             static_cast<int>(bytes.size());
    ok = archive->EndEntry() == 0 && ok;
  }
  return archive->CloseArchive() == 0 && ok;
}

}  // namespace VLN2
