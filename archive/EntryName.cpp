#include "archive/EntryName.h"

#include <cstddef>

namespace VLN2 {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsNoCase(const char* text, std::size_t length, const char* word) {
  std::size_t i = 0;
  for (; i < length; ++i)
    if (word[i] == '\0' || Upper(text[i]) != word[i]) return false;
  return word[i] == '\0';
}

// Windows opens the device whatever extension follows its name, and ignores blanks
// between the name and the extension.
bool IsDeviceName(const char* level, std::size_t length) {
  std::size_t base = 0;
  while (base < length && level[base] != '.') ++base;
  while (base > 0 && level[base - 1] == ' ') --base;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices)
    if (EqualsNoCase(level, base, device)) return true;
  if (base == 4 && (EqualsNoCase(level, 3, "COM") || EqualsNoCase(level, 3, "LPT"))) {
    unsigned char digit = static_cast<unsigned char>(level[3]);
    // 0xB9, 0xB2 and 0xB3 are the superscript digits 1, 2 and 3 of the ANSI code page,
    // which Windows also takes as device numbers.
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

bool IsSafeLevel(const char* level, std::size_t length) {
  if (length == 0) return false;
  if (length == 1 && level[0] == '.') return false;
  if (length == 2 && level[0] == '.' && level[1] == '.') return false;
  char last = level[length - 1];
  if (last == '.' || last == ' ') return false;
  return !IsDeviceName(level, length);
}

}  // namespace

bool IsSafeEntryName(const char* name) {
  if (!name || name[0] == '\0') return false;
  if (IsSeparator(name[0])) return false;
  const char* level = name;
  for (const char* p = name;; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == '\0' || IsSeparator(*p)) {
      if (!IsSafeLevel(level, static_cast<std::size_t>(p - level))) return false;
      if (c == '\0') return true;
      level = p + 1;
      continue;
    }
    if (c < 0x20 || c == 0x7F) return false;
    switch (c) {
      case ':':  // a drive, or an alternate data stream
      case '*':
      case '?':  // wildcards: the file functions would match other files
      case '<':
      case '>':
      case '|':
      case '"':
        return false;
      default:
        break;
    }
  }
}

}  // namespace VLN2
