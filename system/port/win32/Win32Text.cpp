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

bool FromCodePage(std::uint32_t codePage, const char* text, std::uint32_t length, char* buffer,
                  std::uint32_t* size) {
  if (length == 0) {
    *size = 0;
    return true;
  }
  int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, static_cast<int>(length),
                                  nullptr, 0);
  if (units <= 0) return false;
  auto* wide = static_cast<wchar_t*>(Allocate(static_cast<std::size_t>(units) * sizeof(wchar_t)));
  bool converted = wide &&
                   MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text,
                                       static_cast<int>(length), wide, units) == units &&
                   FromWideText(reinterpret_cast<const std::uint16_t*>(wide),
                                static_cast<std::uint32_t>(units), buffer, size);
  Free(wide);
  return converted;
}

}  // namespace Port
}  // namespace VLN2

#endif  // _WIN32
