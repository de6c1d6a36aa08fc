// Texts on Win32: the system's wide texts and the program's 8-bit texts in the process code
// page.
#ifdef _WIN32

#include "framework/Allocator.h"
#include "system/port/Port.h"
#include "system/port/win32/Win32.h"

#ifndef WC_ERR_INVALID_CHARS
#define WC_ERR_INVALID_CHARS 0x00000080
#endif

namespace VLN2 {
namespace Port {

bool FromWideText(const std::uint16_t* text, std::uint32_t length, char* buffer,
                  std::uint32_t* size) {
  if (length == 0) {
    *size = 0;
    return true;
  }
  const auto* wide = reinterpret_cast<const wchar_t*>(text);
  // UTF-8 has no default character to report; a malformed text is refused instead. Any
  // other code page would quietly give a look-alike (best fit) or a question mark.
  bool utf8 = GetACP() == CP_UTF8;
  BOOL lost = FALSE;
  int written = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS,
                                    wide, static_cast<int>(length), buffer, static_cast<int>(*size),
                                    nullptr, utf8 ? nullptr : &lost);
  if (written <= 0 || lost) return false;
  *size = static_cast<std::uint32_t>(written);
  return true;
}

bool ToWideText(std::uint32_t codePage, const char* text, std::uint32_t length,
                std::uint16_t* buffer, std::uint32_t* units) {
  if (length == 0) {
    *units = 0;
    return true;
  }
  // The process code page is CP_ACP, which is 0.
  int written = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, static_cast<int>(length),
                                    reinterpret_cast<wchar_t*>(buffer), static_cast<int>(*units));
  if (written <= 0) return false;
  *units = static_cast<std::uint32_t>(written);
  return true;
}

bool FromCodePage(std::uint32_t codePage, const char* text, std::uint32_t length, char* buffer,
                  std::uint32_t* size) {
  std::uint32_t units = length;
  auto* wide = static_cast<std::uint16_t*>(Allocate((length ? length : 1) * sizeof(std::uint16_t)));
  bool converted = wide && ToWideText(codePage, text, length, wide, &units) &&
                   FromWideText(wide, units, buffer, size);
  Free(wide);
  return converted;
}

}  // namespace Port
}  // namespace VLN2

#endif  // _WIN32
