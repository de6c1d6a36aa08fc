#include "framework/StringImp.h"

#include <cstring>

#include "archive/Stream.h"

namespace VLN2 {

ElementRef<String> NewText(const char* text) {
  ElementRef<String> string = ElementRef<String>::Create(kStringType);
  if (string && string->SetText(text) != 0) string.reset();
  return string;
}

ElementRef<String> Joined(std::initializer_list<const char*> parts) {
  ElementRef<String> text = NewText("");
  for (const char* part : parts)
    if (text && (!part || text->Append(part) != 0)) text.reset();
  return text;
}

int StringImp::Destroy() {
  Free(text_);
  text_ = nullptr;
  delete this;
  return 0;
}

void* StringImp::Cast(int interfaceId) {
  if (interfaceId == kCrunchInterface) return static_cast<Crunch*>(this);
  if (interfaceId == kIOInterface) return static_cast<IO*>(this);
  return nullptr;
}

int StringImp::SetText(const char* text) {
  if (!text) text = "";
  std::size_t length = std::strlen(text);
  // The new copy is made before the old text goes, so text may be our own GetText().
  char* copy = static_cast<char*>(Allocate(length + 1));
  if (copy) std::memcpy(copy, text, length + 1);
  Free(text_);
  text_ = copy;
  return copy ? 0 : 1;
}

int StringImp::Append(const char* text) {
  if (!text) text = "";
  std::size_t oldLength = text_ ? std::strlen(text_) : 0;
  std::size_t length = std::strlen(text);
  char* joined = static_cast<char*>(Allocate(oldLength + length + 1));
  if (!joined) return 1;
  if (oldLength) std::memcpy(joined, text_, oldLength);
  std::memcpy(joined + oldLength, text, length + 1);
  Free(text_);
  text_ = joined;
  return 0;
}

int StringImp::GetLength() { return text_ ? static_cast<int>(std::strlen(text_)) : 0; }

int StringImp::Truncate(int position) {
  if (!text_ || position < 0 || position > GetLength()) return 1;
  text_[position] = '\0';
  return 0;
}

int StringImp::CrunchEquals(Element* other) {
  // Only another String has a text to compare; anything else is simply different.
  if (!other || other->GetTypeId() != kStringType) return 1;
  const char* otherText = static_cast<String*>(other)->GetText();
  if (!text_ || !otherText) return 1;
  return std::strcmp(text_, otherText) == 0 ? 0 : 1;
}

int StringImp::Read(Stream* stream) {
  if (!stream) return 1;
  unsigned char countBytes[2] = {0, 0};
  stream->ReadData(countBytes, 2);
  unsigned count = countBytes[0] | (countBytes[1] << 8);
  if (count == 0) return 0;
  char* text = static_cast<char*>(Allocate(count));
  if (!text) return 1;
  // A damaged or short stream must still leave a terminated text without stray bytes.
  std::memset(text, 0, count);
  stream->ReadData(text, count);
  text[count - 1] = '\0';
  Free(text_);
  text_ = text;
  return 0;
}

int StringImp::Write(Stream* stream) {
  if (!stream) return 1;
  std::size_t length = text_ ? std::strlen(text_) : 0;
  // The count has 16 bits: a longer text cannot be stored and is refused whole rather
  // than written with a wrapped count.
  if (text_ && length > 65534) return 1;
  unsigned count = text_ ? static_cast<unsigned>(length + 1) : 0;
  unsigned char countBytes[2] = {static_cast<unsigned char>(count & 0xFF),
                                 static_cast<unsigned char>(count >> 8)};
  // A text whose count did not go out would be read as a count itself.
  if (stream->WriteData(countBytes, 2) != 2) return 1;
  if (count) stream->WriteData(text_, count);
  return stream->GetError();
}

}  // namespace VLN2
