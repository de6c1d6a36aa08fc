#include "framework/PathRules.h"

#include "framework/String.h"
#include "framework/StringUtil.h"

namespace VLN2 {
namespace {

// Windows opens the device whatever extension follows its name, and ignores blanks
// between the name and the extension.
bool IsDeviceName(const char* level, std::size_t length) {
  std::size_t base = 0;
  while (base < length && level[base] != '.') ++base;
  while (base > 0 && level[base - 1] == ' ') --base;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices)
    if (EqualsNoCase(level, base, device)) return true;
  if (base < 4 || !(EqualsNoCase(level, 3, "COM") || EqualsNoCase(level, 3, "LPT"))) return false;
  // Windows takes the superscript digits 1, 2 and 3 as device numbers too: 0xB9, 0xB2 and
  // 0xB3 in the ANSI code page, the same after 0xC2 in UTF-8.
  auto superscript = [](unsigned char c) { return c == 0xB9 || c == 0xB2 || c == 0xB3; };
  const auto* number = reinterpret_cast<const unsigned char*>(level + 3);
  if (base == 5) return number[0] == 0xC2 && superscript(number[1]);
  return base == 4 && ((number[0] >= '0' && number[0] <= '9') || superscript(number[0]));
}

bool IsSafeCharacter(unsigned char c) {
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
      return true;
  }
}

char Folded(char c) { return IsSeparator(c) ? '\\' : UpperAscii(c); }

// The length of the path in the system's wide characters: UTF-8 continuation bytes add
// none, a character beyond the Basic Multilingual Plane two.
std::size_t WideLength(const char* path) {
  std::size_t length = 0;
  for (const auto* c = reinterpret_cast<const unsigned char*>(path); *c; ++c)
    length += (*c & 0xC0) == 0x80 ? 0 : *c >= 0xF0 ? 2 : 1;
  return length;
}

}  // namespace

bool IsDriveAbsolute(const char* path) {
  if (!path) return false;
  char letter = UpperAscii(path[0]);
  return letter >= 'A' && letter <= 'Z' && path[1] == ':' && IsSeparator(path[2]);
}

bool IsSafeLevel(const char* level, std::size_t length) {
  if (length == 0) return false;
  for (std::size_t i = 0; i < length; ++i)
    if (IsSeparator(level[i]) || !IsSafeCharacter(static_cast<unsigned char>(level[i])))
      return false;
  // "." and ".." end in a dot as well.
  char last = level[length - 1];
  if (last == '.' || last == ' ') return false;
  return !IsDeviceName(level, length);
}

bool AreSafeLevels(const char* path, bool runsAllowed) {
  const char* level = path;
  for (const char* p = path;; ++p) {
    if (*p != '\0' && !IsSeparator(*p)) continue;
    std::size_t length = static_cast<std::size_t>(p - level);
    if (!(runsAllowed && length == 0) && !IsSafeLevel(level, length)) return false;
    if (*p == '\0') return true;
    level = p + 1;
  }
}

bool IsPlainPath(const char* path) {
  return IsDriveAbsolute(path) && WideLength(path) < kMaxPathSize && AreSafeLevels(path + 3, true);
}

bool IsRecordablePath(const char* path) {
  if (!IsPlainPath(path)) return false;
  const char* below = path + 3;
  while (IsSeparator(*below)) ++below;
  // The drive's root itself is nothing an installation wrote.
  return *below != '\0';
}

bool SamePath(const char* a, const char* b) {
  if (!a || !b) return false;
  while (*a && *b) {
    if (Folded(*a) != Folded(*b)) return false;
    if (IsSeparator(*a)) {
      while (IsSeparator(a[1])) ++a;
      while (IsSeparator(b[1])) ++b;
    }
    ++a;
    ++b;
  }
  return *a == *b;
}

bool CutToParent(String* path) {
  const char* text = path->GetText();
  int end = path->GetLength();
  while (end > 0 && IsSeparator(text[end - 1])) --end;
  while (end > 0 && !IsSeparator(text[end - 1])) --end;
  return end > 0 && path->Truncate(end) == 0;
}

}  // namespace VLN2
