#include "installer/FolderText.h"

#include <cstring>

namespace VLN2 {

const char* ProgramFileOf(const char* value, std::size_t* length) {
  if (value[0] != '"') {
    *length = std::strlen(value);
    return value;
  }
  const char* path = value + 1;
  const char* closing = std::strchr(path, '"');
  *length = closing ? static_cast<std::size_t>(closing - path) : std::strlen(path);
  return path;
}

bool FolderFits(const char* folder) {
  std::size_t length = std::strlen(folder);
  // Texts of one character keep their form: the form appends nothing to them.
  bool separated = length <= 1 || folder[length - 1] == '\\' || folder[length - 1] == '/';
  return length + (separated ? 0 : 1) + 1 <= static_cast<std::size_t>(kFolderFieldSize);
}

}  // namespace VLN2
