#include "installer/TextIndex.h"

#include "framework/Allocator.h"
#include "framework/String.h"
#include "framework/StringUtil.h"

namespace VLN2 {
namespace {

const char* TextOf(Value value) { return static_cast<String*>(value)->GetText(); }

}  // namespace

TextIndex::~TextIndex() { Free(slots_); }

void TextIndex::Clear() {
  Free(slots_);
  slots_ = nullptr;
  capacity_ = 0;
  count_ = 0;
  usable_ = true;
}

std::uint32_t TextIndex::Hash(StringUtil* util, const char* text) {
  // FNV-1a over the letters as CompareNoCase sees them.
  std::uint32_t hash = 2166136261u;
  for (; *text; ++text)
    hash = (hash ^ static_cast<unsigned char>(util->ToUpper(*text))) * 16777619u;
  return hash;
}

bool TextIndex::Grow(StringUtil* util) {
  std::uint32_t capacity = capacity_ ? 2 * capacity_ : 64;
  auto* slots = static_cast<Value*>(Allocate(capacity * sizeof(Value)));
  if (!slots) return false;
  for (std::uint32_t i = 0; i < capacity; ++i) slots[i] = nullptr;
  for (std::uint32_t i = 0; i < capacity_; ++i) {
    if (!slots_[i]) continue;
    std::uint32_t at = Hash(util, TextOf(slots_[i])) & (capacity - 1);
    while (slots[at]) at = (at + 1) & (capacity - 1);
    slots[at] = slots_[i];
  }
  Free(slots_);
  slots_ = slots;
  capacity_ = capacity;
  return true;
}

void TextIndex::Add(StringUtil* util, Value value) {
  if (!usable_) return;
  // Kept at most half full, so that every probe ends at an empty slot soon.
  if (!util || !value || !TextOf(value) || (2 * (count_ + 1) > capacity_ && !Grow(util))) {
    Clear();
    usable_ = false;
    return;
  }
  std::uint32_t at = Hash(util, TextOf(value)) & (capacity_ - 1);
  while (slots_[at]) at = (at + 1) & (capacity_ - 1);
  slots_[at] = value;
  ++count_;
}

bool TextIndex::Find(StringUtil* util, const char* text, bool* listed) const {
  if (!usable_ || !util || !text) return false;
  *listed = false;
  if (!slots_) return true;
  for (std::uint32_t at = Hash(util, text) & (capacity_ - 1); slots_[at] && !*listed;
       at = (at + 1) & (capacity_ - 1))
    *listed = util->CompareNoCase(TextOf(slots_[at]), text) == 0;
  return true;
}

}  // namespace VLN2
