// String: the reference-counted holder of one heap text (views: Crunch, IO).
#pragma once

#include <initializer_list>

#include "framework/ElementRef.h"
#include "framework/VLN2.h"

namespace VLN2 {

class String : public Element {
 public:
  // The held text, owned by the String; null while none was ever set. Valid until the
  // next SetText, Append or Read.
  virtual const char* GetText() = 0;
  // Replaces the text by a copy (null = empty). 1 when memory runs out: no text then.
  virtual int SetText(const char* text) = 0;
  // Appends a copy (null = empty). 1 when memory runs out: the old text stays.
  virtual int Append(const char* text) = 0;
  virtual int GetLength() = 0;
  // Cuts the text at position (0 to GetLength()); 1 without text or outside that range.
  virtual int Truncate(int position) = 0;
};

// A new String holding a copy of text (null: empty); null when memory runs out.
ElementRef<String> NewText(const char* text);
// A new String holding the parts one after another; null when a part is missing, so that a
// missing folder never leaves a shorter path behind, or when memory runs out.
ElementRef<String> Joined(std::initializer_list<const char*> parts);

}  // namespace VLN2
