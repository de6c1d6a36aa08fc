// The rules of entry names, which become paths on disk: shared by extraction and by the tools
// that build archives, so that nothing is packed that would be refused. They add the
// archive's own rules to the path rules (framework/PathRules.h).
#pragma once

#include <cstddef>

namespace VLN2 {

// True when name is a plain relative path that stays below the folder it is extracted
// into and means the same file on Windows as elsewhere: not empty, not rooted, and every
// level safe (IsSafeLevel: no drive or stream, device, ".", "..", trailing dot or blank).
// Levels are separated by a backslash or a slash.
bool IsSafeEntryName(const char* name);

// True when name is well-formed UTF-8 (no stray or overlong byte, no surrogate).
bool IsUtf8Name(const char* name);

// Orders names the way Windows file systems tell them apart: character by character after
// the Unicode simple upper-case mapping of the Basic Multilingual Plane (their case table;
// not only ASCII: "\xC3\xA4" and "\xC3\x84" are one name), slash and backslash alike. A byte
// that is not UTF-8 stands for itself. Negative, zero or positive like strcmp; two names
// collide when the result is 0.
int CompareNames(const char* a, const char* b);

// The names taken so far, ordered as CompareNames orders them, so that a name Windows would
// take for one taken before is seen. The names are borrowed, not copied: they must outlive
// the set.
class NameSet {
 public:
  NameSet() = default;
  ~NameSet();
  NameSet(const NameSet&) = delete;
  NameSet& operator=(const NameSet&) = delete;

  // False when the name collides with one taken before, or memory runs out.
  bool Take(const char* name);
  // Whether a name taken before collides with this one.
  bool Contains(const char* name) const;

 private:
  bool Grow();

  const char** names_ = nullptr;
  std::size_t count_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace VLN2
