// The rules of entry names, which become paths on disk: shared by extraction and by the tools
// that build archives, so that nothing is packed that would be refused. They add the
// archive's own rules to the path rules (framework/PathRules.h).
#pragma once

#include <cstddef>
#include <cstdint>

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

// The names taken so far, told apart as CompareNames does: a name collides with an earlier
// one that is the same name, that is a folder above it (a file "a" and "A\x"), or that has
// it as a folder above (the other way round). Extraction takes the names it writes; the tools
// take an archive's names to find those Windows could not hold side by side. Names are
// borrowed and must outlive the set; memory comes from the framework allocator.
class NameSet {
 public:
  enum Result { kTaken, kCollides, kNoMemory };

  NameSet() = default;
  ~NameSet();
  NameSet(const NameSet&) = delete;
  NameSet& operator=(const NameSet&) = delete;

  // Takes name in with the folders above it; kCollides leaves the set as it was and names in
  // *earlier (when not null) the earlier name it meets.
  Result Take(const char* name, const char** earlier = nullptr);
  // Whether the name itself was taken before.
  bool Contains(const char* name) const;

 private:
  struct Slot;
  // The slot of the first length bytes of name, or the empty slot where they would go; null
  // while the set is empty.
  Slot* Find(const char* name, std::size_t length, std::uint32_t hash) const;
  // Room for more slots at half load at the most.
  bool Reserve(std::size_t more);

  Slot* slots_ = nullptr;
  std::size_t capacity_ = 0;  // a power of two, or 0
  std::size_t count_ = 0;
};

}  // namespace VLN2
