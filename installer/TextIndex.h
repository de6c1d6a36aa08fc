// An index beside a list of String values: finds a listed text, letter case ignored, without
// walking the list. It holds the list's values, not copies, and is told of every change.
#pragma once

#include <cstdint>

#include "framework/List.h"

namespace VLN2 {

class StringUtil;

class TextIndex {
 public:
  TextIndex() = default;
  TextIndex(const TextIndex&) = delete;
  TextIndex& operator=(const TextIndex&) = delete;
  ~TextIndex();

  // Forgets every value; the index is usable again (the list was emptied).
  void Clear();
  // Takes in a String value just appended to the list. When the index cannot grow it is
  // given up until the next Clear, and Find answers nothing.
  void Add(StringUtil* util, Value value);
  // False when the index cannot answer (the list must be walked); otherwise true, with
  // *listed telling whether an equal text (CompareNoCase) is in the list.
  bool Find(StringUtil* util, const char* text, bool* listed) const;

 private:
  static std::uint32_t Hash(StringUtil* util, const char* text);
  bool Grow(StringUtil* util);

  Value* slots_ = nullptr;  // open addressing; capacity_ is a power of two or 0
  std::uint32_t capacity_ = 0;
  std::uint32_t count_ = 0;
  bool usable_ = true;
};

}  // namespace VLN2
