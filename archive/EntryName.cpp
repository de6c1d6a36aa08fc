#include "archive/EntryName.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "framework/Allocator.h"
#include "framework/PathRules.h"

namespace VLN2 {
namespace {

// The Unicode simple upper-case mapping of the Basic Multilingual Plane: characters first to
// last, every stride-th one, map to themselves plus delta. Sorted by first.
struct UpperRun {
  std::uint16_t first, last;
  std::int32_t delta;
  std::uint8_t stride;
};
const UpperRun kUpperRuns[] = {
    {0x00B5, 0x00B5, 743, 1},   {0x00E0, 0x00F6, -32, 1},    {0x00F8, 0x00FE, -32, 1},
    {0x00FF, 0x00FF, 121, 1},   {0x0101, 0x012F, -1, 2},     {0x0131, 0x0131, -232, 1},
    {0x0133, 0x0137, -1, 2},    {0x013A, 0x0148, -1, 2},     {0x014B, 0x0177, -1, 2},
    {0x017A, 0x017E, -1, 2},    {0x017F, 0x017F, -300, 1},   {0x0180, 0x0180, 195, 1},
    {0x0183, 0x0185, -1, 2},    {0x0188, 0x0188, -1, 1},     {0x018C, 0x018C, -1, 1},
    {0x0192, 0x0192, -1, 1},    {0x0195, 0x0195, 97, 1},     {0x0199, 0x0199, -1, 1},
    {0x019A, 0x019A, 163, 1},   {0x019E, 0x019E, 130, 1},    {0x01A1, 0x01A5, -1, 2},
    {0x01A8, 0x01A8, -1, 1},    {0x01AD, 0x01AD, -1, 1},     {0x01B0, 0x01B0, -1, 1},
    {0x01B4, 0x01B6, -1, 2},    {0x01B9, 0x01B9, -1, 1},     {0x01BD, 0x01BD, -1, 1},
    {0x01BF, 0x01BF, 56, 1},    {0x01C5, 0x01C5, -1, 1},     {0x01C6, 0x01C6, -2, 1},
    {0x01C8, 0x01C8, -1, 1},    {0x01C9, 0x01C9, -2, 1},     {0x01CB, 0x01CB, -1, 1},
    {0x01CC, 0x01CC, -2, 1},    {0x01CE, 0x01DC, -1, 2},     {0x01DD, 0x01DD, -79, 1},
    {0x01DF, 0x01EF, -1, 2},    {0x01F2, 0x01F2, -1, 1},     {0x01F3, 0x01F3, -2, 1},
    {0x01F5, 0x01F5, -1, 1},    {0x01F9, 0x021F, -1, 2},     {0x0223, 0x0233, -1, 2},
    {0x023C, 0x023C, -1, 1},    {0x023F, 0x0240, 10815, 1},  {0x0242, 0x0242, -1, 1},
    {0x0247, 0x024F, -1, 2},    {0x0250, 0x0250, 10783, 1},  {0x0251, 0x0251, 10780, 1},
    {0x0252, 0x0252, 10782, 1}, {0x0253, 0x0253, -210, 1},   {0x0254, 0x0254, -206, 1},
    {0x0256, 0x0257, -205, 1},  {0x0259, 0x0259, -202, 1},   {0x025B, 0x025B, -203, 1},
    {0x025C, 0x025C, 42319, 1}, {0x0260, 0x0260, -205, 1},   {0x0261, 0x0261, 42315, 1},
    {0x0263, 0x0263, -207, 1},  {0x0265, 0x0265, 42280, 1},  {0x0266, 0x0266, 42308, 1},
    {0x0268, 0x0268, -209, 1},  {0x0269, 0x0269, -211, 1},   {0x026A, 0x026A, 42308, 1},
    {0x026B, 0x026B, 10743, 1}, {0x026C, 0x026C, 42305, 1},  {0x026F, 0x026F, -211, 1},
    {0x0271, 0x0271, 10749, 1}, {0x0272, 0x0272, -213, 1},   {0x0275, 0x0275, -214, 1},
    {0x027D, 0x027D, 10727, 1}, {0x0280, 0x0280, -218, 1},   {0x0282, 0x0282, 42307, 1},
    {0x0283, 0x0283, -218, 1},  {0x0287, 0x0287, 42282, 1},  {0x0288, 0x0288, -218, 1},
    {0x0289, 0x0289, -69, 1},   {0x028A, 0x028B, -217, 1},   {0x028C, 0x028C, -71, 1},
    {0x0292, 0x0292, -219, 1},  {0x029D, 0x029D, 42261, 1},  {0x029E, 0x029E, 42258, 1},
    {0x0345, 0x0345, 84, 1},    {0x0371, 0x0373, -1, 2},     {0x0377, 0x0377, -1, 1},
    {0x037B, 0x037D, 130, 1},   {0x03AC, 0x03AC, -38, 1},    {0x03AD, 0x03AF, -37, 1},
    {0x03B1, 0x03C1, -32, 1},   {0x03C2, 0x03C2, -31, 1},    {0x03C3, 0x03CB, -32, 1},
    {0x03CC, 0x03CC, -64, 1},   {0x03CD, 0x03CE, -63, 1},    {0x03D0, 0x03D0, -62, 1},
    {0x03D1, 0x03D1, -57, 1},   {0x03D5, 0x03D5, -47, 1},    {0x03D6, 0x03D6, -54, 1},
    {0x03D7, 0x03D7, -8, 1},    {0x03D9, 0x03EF, -1, 2},     {0x03F0, 0x03F0, -86, 1},
    {0x03F1, 0x03F1, -80, 1},   {0x03F2, 0x03F2, 7, 1},      {0x03F3, 0x03F3, -116, 1},
    {0x03F5, 0x03F5, -96, 1},   {0x03F8, 0x03F8, -1, 1},     {0x03FB, 0x03FB, -1, 1},
    {0x0430, 0x044F, -32, 1},   {0x0450, 0x045F, -80, 1},    {0x0461, 0x0481, -1, 2},
    {0x048B, 0x04BF, -1, 2},    {0x04C2, 0x04CE, -1, 2},     {0x04CF, 0x04CF, -15, 1},
    {0x04D1, 0x052F, -1, 2},    {0x0561, 0x0586, -48, 1},    {0x10D0, 0x10FA, 3008, 1},
    {0x10FD, 0x10FF, 3008, 1},  {0x13F8, 0x13FD, -8, 1},     {0x1C80, 0x1C80, -6254, 1},
    {0x1C81, 0x1C81, -6253, 1}, {0x1C82, 0x1C82, -6244, 1},  {0x1C83, 0x1C84, -6242, 1},
    {0x1C85, 0x1C85, -6243, 1}, {0x1C86, 0x1C86, -6236, 1},  {0x1C87, 0x1C87, -6181, 1},
    {0x1C88, 0x1C88, 35266, 1}, {0x1D79, 0x1D79, 35332, 1},  {0x1D7D, 0x1D7D, 3814, 1},
    {0x1D8E, 0x1D8E, 35384, 1}, {0x1E01, 0x1E95, -1, 2},     {0x1E9B, 0x1E9B, -59, 1},
    {0x1EA1, 0x1EFF, -1, 2},    {0x1F00, 0x1F07, 8, 1},      {0x1F10, 0x1F15, 8, 1},
    {0x1F20, 0x1F27, 8, 1},     {0x1F30, 0x1F37, 8, 1},      {0x1F40, 0x1F45, 8, 1},
    {0x1F51, 0x1F57, 8, 2},     {0x1F60, 0x1F67, 8, 1},      {0x1F70, 0x1F71, 74, 1},
    {0x1F72, 0x1F75, 86, 1},    {0x1F76, 0x1F77, 100, 1},    {0x1F78, 0x1F79, 128, 1},
    {0x1F7A, 0x1F7B, 112, 1},   {0x1F7C, 0x1F7D, 126, 1},    {0x1F80, 0x1F87, 8, 1},
    {0x1F90, 0x1F97, 8, 1},     {0x1FA0, 0x1FA7, 8, 1},      {0x1FB0, 0x1FB1, 8, 1},
    {0x1FB3, 0x1FB3, 9, 1},     {0x1FBE, 0x1FBE, -7205, 1},  {0x1FC3, 0x1FC3, 9, 1},
    {0x1FD0, 0x1FD1, 8, 1},     {0x1FE0, 0x1FE1, 8, 1},      {0x1FE5, 0x1FE5, 7, 1},
    {0x1FF3, 0x1FF3, 9, 1},     {0x214E, 0x214E, -28, 1},    {0x2170, 0x217F, -16, 1},
    {0x2184, 0x2184, -1, 1},    {0x24D0, 0x24E9, -26, 1},    {0x2C30, 0x2C5F, -48, 1},
    {0x2C61, 0x2C61, -1, 1},    {0x2C65, 0x2C65, -10795, 1}, {0x2C66, 0x2C66, -10792, 1},
    {0x2C68, 0x2C6C, -1, 2},    {0x2C73, 0x2C73, -1, 1},     {0x2C76, 0x2C76, -1, 1},
    {0x2C81, 0x2CE3, -1, 2},    {0x2CEC, 0x2CEE, -1, 2},     {0x2CF3, 0x2CF3, -1, 1},
    {0x2D00, 0x2D25, -7264, 1}, {0x2D27, 0x2D27, -7264, 1},  {0x2D2D, 0x2D2D, -7264, 1},
    {0xA641, 0xA66D, -1, 2},    {0xA681, 0xA69B, -1, 2},     {0xA723, 0xA72F, -1, 2},
    {0xA733, 0xA76F, -1, 2},    {0xA77A, 0xA77C, -1, 2},     {0xA77F, 0xA787, -1, 2},
    {0xA78C, 0xA78C, -1, 1},    {0xA791, 0xA793, -1, 2},     {0xA794, 0xA794, 48, 1},
    {0xA797, 0xA7A9, -1, 2},    {0xA7B5, 0xA7C3, -1, 2},     {0xA7C8, 0xA7CA, -1, 2},
    {0xA7D1, 0xA7D1, -1, 1},    {0xA7D7, 0xA7D9, -1, 2},     {0xA7F6, 0xA7F6, -1, 1},
    {0xAB53, 0xAB53, -928, 1},  {0xAB70, 0xABBF, -38864, 1}, {0xFF41, 0xFF5A, -32, 1},
};

std::uint32_t SimpleUpper(std::uint32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
  // The file systems' case table covers the Basic Multilingual Plane only: above the last run,
  // every character is its own.
  const UpperRun* end = kUpperRuns + sizeof kUpperRuns / sizeof kUpperRuns[0];
  const UpperRun* run = std::upper_bound(
      kUpperRuns, end, c, [](std::uint32_t code, const UpperRun& r) { return code < r.first; });
  if (run == kUpperRuns) return c;
  --run;
  if (c > run->last || (c - run->first) % run->stride != 0) return c;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(c) + run->delta);
}

// A byte that does not begin a well-formed UTF-8 sequence reads as itself above every
// character.
constexpr std::uint32_t kStrayByte = 0x110000;

// The character at *p, moving past it.
std::uint32_t NextCharacter(const unsigned char** p) {
  const unsigned char* s = *p;
  unsigned char lead = s[0];
  std::uint32_t c = lead;
  int more = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else if (lead >= 0x80) {
    *p = s + 1;
    return kStrayByte + lead;
  }
  for (int i = 1; i <= more; ++i) {
    unsigned char next = s[i];
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
      *p = s + 1;
      return kStrayByte + lead;
    }
    c = (c << 6) | (next & 0x3F);
  }
  *p = s + 1 + more;
  return c;
}

// The character at *p as Windows file systems compare names, moving past it.
std::uint32_t NextFolded(const unsigned char** p) {
  std::uint32_t c = SimpleUpper(NextCharacter(p));
  return c == '/' ? '\\' : c;
}

// CompareNames of the first m bytes of a and the first n of b. A bound falls before a
// separator or at the end, never inside a character.
int CompareFolded(const char* a, std::size_t m, const char* b, std::size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(a);
  const auto* q = reinterpret_cast<const unsigned char*>(b);
  const unsigned char* pEnd = p + m;
  const unsigned char* qEnd = q + n;
  for (;;) {
    std::uint32_t x = p < pEnd ? NextFolded(&p) : 0;
    std::uint32_t y = q < qEnd ? NextFolded(&q) : 0;
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

// FNV-1a over the folded characters: names CompareNames takes for one hash alike.
constexpr std::uint32_t kHashStart = 2166136261u;
std::uint32_t HashStep(std::uint32_t hash, std::uint32_t c) { return (hash ^ c) * 16777619u; }

}  // namespace

struct NameSet::Slot {
  const char* name;    // the name that brought it in; null: empty
  std::size_t length;  // the bytes of name it stands for: all, or a folder above it
  std::uint32_t hash;
  bool folder;
};

NameSet::~NameSet() { Free(slots_); }

NameSet::Slot* NameSet::Find(const char* name, std::size_t length, std::uint32_t hash) const {
  if (!slots_) return nullptr;
  std::size_t at = hash & (capacity_ - 1);
  while (slots_[at].name && (slots_[at].hash != hash ||
                             CompareFolded(slots_[at].name, slots_[at].length, name, length) != 0))
    at = (at + 1) & (capacity_ - 1);
  return &slots_[at];
}

bool NameSet::Reserve(std::size_t more) {
  if (2 * (count_ + more) <= capacity_) return true;
  std::size_t capacity = capacity_ ? capacity_ : 64;
  while (capacity < 2 * (count_ + more)) capacity *= 2;
  auto* grown = static_cast<Slot*>(Allocate(capacity * sizeof(Slot)));
  if (!grown) return false;
  std::memset(grown, 0, capacity * sizeof(Slot));
  for (std::size_t i = 0; i < capacity_; ++i) {
    if (!slots_[i].name) continue;
    std::size_t at = slots_[i].hash & (capacity - 1);
    while (grown[at].name) at = (at + 1) & (capacity - 1);
    grown[at] = slots_[i];
  }
  Free(slots_);
  slots_ = grown;
  capacity_ = capacity;
  return true;
}

bool NameSet::Contains(const char* name) const {
  const auto* p = reinterpret_cast<const unsigned char*>(name);
  std::uint32_t hash = kHashStart;
  while (*p) hash = HashStep(hash, NextFolded(&p));
  const Slot* slot = Find(name, std::strlen(name), hash);
  return slot && slot->name && !slot->folder;
}

NameSet::Result NameSet::Take(const char* name, const char** earlier) {
  const auto* start = reinterpret_cast<const unsigned char*>(name);
  // First the folders above the name, which must not be files taken before; then the name.
  std::size_t levels = 1;
  std::uint32_t hash = kHashStart;
  const unsigned char* p = start;
  const Slot* met = nullptr;
  while (*p && !met) {
    std::uint32_t c = NextFolded(&p);
    if (c == '\\') {
      ++levels;
      const Slot* folder = Find(name, static_cast<std::size_t>(p - 1 - start), hash);
      if (folder && folder->name && !folder->folder) met = folder;
    }
    hash = HashStep(hash, c);
  }
  const std::size_t length = static_cast<std::size_t>(p - start);
  if (!met) met = Find(name, length, hash);
  if (met && met->name) {
    if (earlier) *earlier = met->name;
    return kCollides;
  }
  if (!Reserve(levels)) return kNoMemory;
  hash = kHashStart;
  for (p = start; *p;) {
    std::uint32_t c = NextFolded(&p);
    Slot* folder = c == '\\' ? Find(name, static_cast<std::size_t>(p - 1 - start), hash) : nullptr;
    if (folder && !folder->name) {
      *folder = {name, static_cast<std::size_t>(p - 1 - start), hash, true};
      ++count_;
    }
    hash = HashStep(hash, c);
  }
  *Find(name, length, hash) = {name, length, hash, false};
  ++count_;
  return kTaken;
}

bool IsUtf8Name(const char* name) {
  const auto* p = reinterpret_cast<const unsigned char*>(name);
  while (*p)
    if (NextCharacter(&p) >= kStrayByte) return false;
  return true;
}

int CompareNames(const char* a, const char* b) {
  return CompareFolded(a, std::strlen(a), b, std::strlen(b));
}

bool IsSafeEntryName(const char* name) {
  // An empty or rooted name has an empty first level.
  return name && AreSafeLevels(name, false);
}

}  // namespace VLN2
