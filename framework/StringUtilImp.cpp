#include "framework/StringUtilImp.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "framework/CFormat.h"

namespace VLN2 {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLooseBlank(char c) { return c == ' ' || c == '"'; }
bool IsLooseEnd(char c) { return c == '\0' || c == '\r'; }

}  // namespace

int CompareNoCase(const char* a, const char* b) {
  if (!a || !b) return -1;
  for (int i = 0;; ++i) {
    int d = static_cast<signed char>(UpperAscii(a[i])) - static_cast<signed char>(UpperAscii(b[i]));
    if (d != 0 || a[i] == '\0' || b[i] == '\0') return d;
  }
}

bool EqualsNoCase(const char* text, std::size_t length, const char* word) {
  std::size_t i = 0;
  for (; i < length; ++i)
    if (word[i] == '\0' || UpperAscii(text[i]) != UpperAscii(word[i])) return false;
  return word[i] == '\0';
}

int FormatDecimal(std::int64_t value, char* out, std::size_t size) {
  // Kept unsigned, so that the most negative value has its true digits too.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : value;
  char reversed[20];
  std::size_t digits = 0;
  do reversed[digits++] = static_cast<char>('0' + magnitude % 10), magnitude /= 10;
  while (magnitude);
  std::size_t length = digits + (value < 0 ? 1 : 0);
  if (length >= size) {
    if (size) out[0] = '\0';
    return 0;
  }
  char* at = out;
  if (value < 0) *at++ = '-';
  while (digits) *at++ = reversed[--digits];
  *at = '\0';
  return static_cast<int>(length);
}

char StringUtilImp::ToUpper(char c) { return UpperAscii(c); }

char StringUtilImp::ToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

int StringUtilImp::Length(const char* text) {
  return text ? static_cast<int>(std::strlen(text)) : 0;
}

int StringUtilImp::Equals(const char* a, const char* b) {
  if (!a || !b) return -1;
  return std::strcmp(a, b) == 0 ? 0 : -1;
}

int StringUtilImp::CompareNoCase(const char* a, const char* b) { return VLN2::CompareNoCase(a, b); }

int StringUtilImp::MatchWildcard(const char* text, const char* pattern) {
  if (!text || !pattern) return -1;
  bool starSeen = false;
  for (;;) {
    if (*text == '\0' && *pattern == '\0') return 0;
    if (*pattern == '*') {
      while (*pattern == '*') ++pattern;
      starSeen = true;
    }
    if (Upper(*text) != Upper(*pattern) && !starSeen) return -1;
    if (*text) ++text;
    if (*pattern) ++pattern;
  }
}

int StringUtilImp::EqualsLoose(const char* a, const char* b) {
  if (!a || !b || IsLooseEnd(a[0]) || IsLooseEnd(b[0])) return 1;
  for (;;) {
    while (IsLooseBlank(*a)) ++a;
    while (IsLooseBlank(*b)) ++b;
    bool endA = IsLooseEnd(*a);
    bool endB = IsLooseEnd(*b);
    if (endA || endB) return endA && endB ? 0 : 1;
    if (Upper(*a) != Upper(*b)) return 1;
    ++a;
    ++b;
  }
}

int StringUtilImp::SkipPrefix(const char** cursor, const char* prefix) {
  if (!cursor || !*cursor || !prefix) return 1;
  const char* text = *cursor;
  std::size_t i = 0;
  for (; prefix[i]; ++i) {
    if (Upper(text[i]) != Upper(prefix[i])) return 1;
  }
  *cursor = text + i;
  return 0;
}

int StringUtilImp::SkipPattern(const char** cursor, const char* pattern) {
  if (!cursor || !*cursor || !pattern) return 1;
  const char* s = *cursor;
  const char* last = s;
  const char* resume = nullptr;
  const char* p = pattern;
  for (;;) {
    if (*p == '\0' && *s == '\0') break;
    if (*p == '*') {
      while (*p == '*') ++p;
      resume = p;
    }
    if (Upper(*s) == Upper(*p)) {
      last = s;
      if (*p == '\0') break;
      ++p;
    } else {
      // No backtracking: the breaking character is not tried against the resume point.
      if (!resume) return 1;
      p = resume;
    }
    if (*s == '\0') {
      if (*p != '\0') return 1;
      break;
    }
    ++s;
  }
  *cursor = *last ? last + 1 : last;
  return 0;
}

int StringUtilImp::ReplaceAll(char** text, const char* find, const char* replacement) {
  if (!text) return 1;
  if (!*text || !**text || !find || !*find) return 0;
  if (!replacement) replacement = "";
  const char* source = *text;
  std::size_t findLength = std::strlen(find);
  std::size_t replacementLength = std::strlen(replacement);
  std::size_t length = std::strlen(source);

  // A character that breaks a partial match is not itself tried as a new start.
  std::size_t occurrences = 0;
  std::size_t matched = 0;
  for (const char* c = source; *c; ++c) {
    if (*c == find[matched]) {
      if (++matched == findLength) {
        ++occurrences;
        matched = 0;
      }
    } else {
      matched = 0;
    }
  }
  if (occurrences == 0) return 0;

  std::size_t kept = length - occurrences * findLength;
  if (replacementLength && occurrences > (SIZE_MAX - kept - 1) / replacementLength) return 2;
  char* result = static_cast<char*>(Allocate(kept + occurrences * replacementLength + 1));
  if (!result) return 2;

  char* out = result;
  matched = 0;
  for (const char* c = source; *c; ++c) {
    if (*c == find[matched]) {
      if (++matched == findLength) {
        std::memcpy(out, replacement, replacementLength);
        out += replacementLength;
        matched = 0;
      }
    } else {
      std::memcpy(out, find, matched);
      out += matched;
      *out++ = *c;
      matched = 0;
    }
  }
  std::memcpy(out, find, matched);
  out += matched;
  *out = '\0';
  Free(*text);
  *text = result;
  return 0;
}

void StringUtilImp::ReadToken(const char** cursor, char delimiter, char* buffer, int size) {
  if (!buffer) return;
  if (!cursor || !*cursor) {
    if (size > 0) buffer[0] = '\0';
    return;
  }
  for (int i = 0; i < size; ++i) {
    buffer[i] = '\0';
    char c = **cursor;
    if (c == '\0') return;
    ++*cursor;
    if (c == delimiter) return;
    buffer[i] = c;
  }
}

int StringUtilImp::ParseColor(const char* text, unsigned char* out) {
  if (!text || !out) return 1;
  unsigned red = 0, green = 0, blue = 0;
  if (VLN2_ScanColor(text, &red, &green, &blue) != 3) return 1;
  out[0] = static_cast<unsigned char>(blue);
  out[1] = static_cast<unsigned char>(green);
  out[2] = static_cast<unsigned char>(red);
  out[3] = 255;
  return 0;
}

int StringUtilImp::FormatColor(unsigned int color, char* out, int size) {
  if (!out || size < 9) return 1;
  VLN2_FormatColor(out, static_cast<std::size_t>(size), color & 0xFFFFFFu);
  return 0;
}

int StringUtilImp::ParseFloat(const char* text, float* out) {
  if (!out) return 1;
  *out = 0.0f;
  if (!text) return 0;
  float step = 0.1f;
  const char* c = text;
  bool negative = false;
  for (; *c == '+' || *c == '-'; ++c) negative = negative || *c == '-';
  if (negative) step = -0.1f;
  for (const char* d = c; IsDigit(*d); ++d) step *= 10.0f;
  for (;; ++c) {
    if (IsDigit(*c)) {
      *out += static_cast<float>(*c - '0') * step;
      step /= 10.0f;
    } else if (*c == '.' || *c == ',') {
      continue;
    } else if (*c == '+' || *c == '-') {
      return 1;
    } else {
      return 0;
    }
  }
}

int StringUtilImp::FormatFloat(float value, char* out, int size) {
  if (!out) return 0;
  if (size < 0) size = 0;
  // Not a number has no digits to give; it is written as "nan", cut to size.
  if (std::isnan(value)) {
    int written = 0;
    for (const char* c = "nan"; *c && written < size; ++c) out[written++] = *c;
    out[written] = '\0';
    return 0;
  }
  // Worked in double: the places are then close enough to powers of ten that the
  // decimal point is found after the units digit even for the largest floats.
  const double kEpsilon = 1.1920928955078125e-07;
  const double kLargest = 3.4028234663852886e38;
  double rest = value;
  if (rest > kLargest) rest = kLargest;
  if (rest < -kLargest) rest = -kLargest;
  int written = 0;
  if (rest < 0) {
    if (size > 0) out[written++] = '-';
    rest = -rest;
  }
  double place = 1.0;
  if (rest >= 10.0) {
    while (place * 10.0 <= rest) place *= 10.0;
  }
  while (place > kEpsilon && written < size) {
    double quotient = (rest + kEpsilon) / place;
    int digit = quotient >= 9.0 ? 9 : quotient <= 0.0 ? 0 : static_cast<int>(quotient);
    out[written++] = static_cast<char>('0' + digit);
    rest -= digit * place;
    if (std::fabs(place - 1.0) <= kEpsilon && written < size) out[written++] = '.';
    place /= 10.0;
  }
  if (written == size && written > 0) --written;
  while (written > 0 && out[written - 1] == '0') --written;
  out[written] = '\0';
  return 0;
}

int StringUtilImp::ParseInt(const char* text, int* out) {
  if (!out) return 0;
  *out = 0;
  if (!text) return 0;
  bool negative = false;
  const char* c = text;
  for (; *c && !IsDigit(*c); ++c) negative = negative || *c == '-';
  // Worked in unsigned 32 bits: exact within the range, wrapping (never undefined) outside.
  std::uint32_t magnitude = 0;
  for (; IsDigit(*c); ++c) magnitude = magnitude * 10u + static_cast<std::uint32_t>(*c - '0');
  *out = static_cast<int>(negative ? 0u - magnitude : magnitude);
  return 0;
}

int StringUtilImp::FormatInt(int value, char* out, int size) {
  if (!out) return 0;
  char digits[16];
  int length = FormatDecimal(value, digits, sizeof digits);
  int kept = length < size ? length : size > 0 ? size : 0;
  std::memcpy(out, digits, static_cast<std::size_t>(kept));
  out[kept] = '\0';
  return 0;
}

}  // namespace VLN2
