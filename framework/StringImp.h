// The String element: one heap text, with its Crunch and IO views.
#pragma once

#include "framework/Crunch.h"
#include "framework/ElementImp.h"
#include "framework/IO.h"
#include "framework/String.h"

namespace VLN2 {

class StringImp : public ElementImp<String>, public Crunch, public IO {
 public:
  explicit StringImp(Core* core) : ElementImp(core, kStringType) {}

  int Destroy() override;
  void* Cast(int interfaceId) override;

  const char* GetText() override { return text_; }
  int SetText(const char* text) override;
  int Append(const char* text) override;
  int GetLength() override;
  int Truncate(int position) override;

  // Crunch
  int GetCrunchFlags(int kind) override { return kind == 2 ? 0 : 7; }
  int CrunchElement(int) override { return 0; }
  int GetCrunchId() override { return crunchId_; }
  void SetCrunchId(int id) override { crunchId_ = id; }
  int CrunchEquals(Element* other) override;

  // IO: a 2-byte count (length + 1, 0 for no text), then the text and its NUL.
  int Read(Stream* stream) override;
  int Write(Stream* stream) override;

 private:
  char* text_ = nullptr;
  int crunchId_ = -1;
};

}  // namespace VLN2
