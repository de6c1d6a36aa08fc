// StringUtil: stateless text functions on plain NUL-terminated texts owned by the caller.
// Case means the ASCII letters only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/VLN2.h"

namespace VLN2 {

// ---- Letter case as the system ignores it: the ASCII letters only, whatever the code page,
// so that a text compares alike on every system. It is the rule for entry names looked up in
// an archive, the texts of a record's lists, the command line's words and the names the port
// looks up. Paths compare with SamePath (framework/PathRules.h), which adds the separators;
// names Windows would take for one file compare with CompareNames (archive/EntryName.h).
inline char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
// Three-way comparison by UpperAscii of the bytes taken as signed; -1 when either is null.
// The StringUtil element's CompareNoCase forwards to it.
int CompareNoCase(const char* a, const char* b);
// Whether the first length characters of text are word, which has that length.
bool EqualsNoCase(const char* text, std::size_t length, const char* word);

// The one way numbers become text: the decimal digits of value, '-' before a negative one,
// and a NUL into out (size bytes; 21 hold any value). The count of characters written; 0 and
// an empty text when they do not fit.
int FormatDecimal(std::int64_t value, char* out, std::size_t size);

class StringUtil : public Element {
 public:
  virtual char ToUpper(char c) = 0;
  virtual char ToLower(char c) = 0;
  // Bytes before the NUL; 0 for null.
  virtual int Length(const char* text) = 0;
  // 0 when both exist and are byte-for-byte equal, else -1.
  virtual int Equals(const char* a, const char* b) = 0;
  // Three-way comparison ignoring case; -1 when either is null.
  virtual int CompareNoCase(const char* a, const char* b) = 0;
  // 0 on a match of text against a pattern with '*', else -1.
  virtual int MatchWildcard(const char* text, const char* pattern) = 0;
  // 0 when equal ignoring case, blanks and double quotes; 1 otherwise.
  virtual int EqualsLoose(const char* a, const char* b) = 0;
  // 0 and *cursor advanced past prefix when the text begins with it (case ignored); else 1.
  virtual int SkipPrefix(const char** cursor, const char* prefix) = 0;
  // 0 and *cursor advanced when the text at the cursor matches the pattern; else 1.
  virtual int SkipPattern(const char** cursor, const char* pattern) = 0;
  // Replaces every occurrence in the heap text *text (framework allocator); 0 done,
  // 1 null text pointer, 2 out of memory (text unchanged).
  virtual int ReplaceAll(char** text, const char* find, const char* replacement) = 0;
  // Copies one token up to delimiter into buffer (size bytes, NUL only when it fits).
  virtual void ReadToken(const char** cursor, char delimiter, char* buffer, int size) = 0;
  // "#RRGGBB" into out[0..3] = blue, green, red, 255; 0 on success, 1 otherwise.
  virtual int ParseColor(const char* text, unsigned char* out) = 0;
  // "#RRGGBB" and a NUL into out (size at least 9); 0 on success, 1 otherwise.
  virtual int FormatColor(unsigned int color, char* out, int size) = 0;
  // 0 on success, 1 on a sign inside the number.
  virtual int ParseFloat(const char* text, float* out) = 0;
  // Writes at most size characters and a NUL (out needs size + 1 bytes); 0.
  virtual int FormatFloat(float value, char* out, int size) = 0;
  virtual int ParseInt(const char* text, int* out) = 0;
  // Writes at most size characters and a NUL (out needs size + 1 bytes); 0.
  virtual int FormatInt(int value, char* out, int size) = 0;
};

}  // namespace VLN2
