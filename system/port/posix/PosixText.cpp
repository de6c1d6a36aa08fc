// Texts of the POSIX port: the program's 8-bit texts are UTF-8.
#ifndef _WIN32

#include <iconv.h>

#include <cstdio>

#include "system/port/Port.h"

namespace VLN2 {
namespace Port {

bool FromWideText(const std::uint16_t* text, std::uint32_t length, char* buffer,
                  std::uint32_t* size) {
  std::uint32_t written = 0;
  for (std::uint32_t i = 0; i < length; ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDFFF) {
      // A pair of surrogates, high then low, makes one character; any other use is malformed.
      if (c > 0xDBFF || i + 1 == length || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
        return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    unsigned char bytes[4];
    std::uint32_t n;
    if (c < 0x80) {
      bytes[0] = static_cast<unsigned char>(c);
      n = 1;
    } else if (c < 0x800) {
      bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
      n = 2;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
      n = 3;
    } else {
      bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
      n = 4;
    }
    for (std::uint32_t k = 1; k < n; ++k)
      bytes[k] = static_cast<unsigned char>(0x80 | ((c >> (6 * (n - 1 - k))) & 0x3F));
    if (written + n > *size) return false;
    for (std::uint32_t k = 0; k < n; ++k) buffer[written++] = static_cast<char>(bytes[k]);
  }
  *size = written;
  return true;
}

namespace {

// Converts length bytes of text from the Windows code page (0: the program's UTF-8) into the
// encoding to, at most *size bytes into buffer; *size then holds the bytes written.
bool Convert(const char* to, std::uint32_t codePage, const char* text, std::uint32_t length,
             char* buffer, std::size_t* size) {
  char name[16];
  std::snprintf(name, sizeof name, codePage == kProcessCodePage ? "UTF-8" : "CP%u",
                static_cast<unsigned>(codePage));
  iconv_t converter = iconv_open(to, name);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  char* in = const_cast<char*>(text);
  std::size_t inLeft = length;
  char* out = buffer;
  std::size_t outLeft = *size;
  // A character without an exact equivalent counts as irreversible: refused like a bad one.
  std::size_t irreversible = iconv(converter, &in, &inLeft, &out, &outLeft);
  iconv_close(converter);
  if (irreversible != 0 || inLeft != 0) return false;
  *size -= outLeft;
  return true;
}

}  // namespace

bool FromCodePage(std::uint32_t codePage, const char* text, std::uint32_t length, char* buffer,
                  std::uint32_t* size) {
  std::size_t bytes = *size;
  if (!Convert("UTF-8", codePage, text, length, buffer, &bytes)) return false;
  *size = static_cast<std::uint32_t>(bytes);
  return true;
}

bool ToWideText(std::uint32_t codePage, const char* text, std::uint32_t length,
                std::uint16_t* buffer, std::uint32_t* units) {
  std::size_t bytes = std::size_t{*units} * 2;
  if (!Convert("UTF-16LE", codePage, text, length, reinterpret_cast<char*>(buffer), &bytes))
    return false;
  *units = static_cast<std::uint32_t>(bytes / 2);
  return true;
}

}  // namespace Port
}  // namespace VLN2

#endif  // _WIN32
