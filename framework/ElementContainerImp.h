// The ElementContainer element: an ordered sequence of values in a List, lent out through
// list and snapshot iterators, with its Crunch and IO views.
#pragma once

#include "framework/Crunch.h"
#include "framework/ElementContainer.h"
#include "framework/ElementImp.h"
#include "framework/IO.h"

namespace VLN2 {

class ElementContainerImp : public ElementImp<ElementContainer>, public Crunch, public IO {
 public:
  explicit ElementContainerImp(Core* core) : ElementImp(core, kElementContainerType) {}

  int Destroy() override;
  // The container keeps its creation parameter: not 0 selects 2-byte stored entries.
  int GetParameter() override { return parameter_; }
  int SetParameter(int value) override {
    parameter_ = value;
    return 0;
  }
  void* Cast(int interfaceId) override;

  Iterator* GetIterator(int flags, Element* filter) override;
  int ReleaseIterator(Iterator** iterator) override;
  int SetElementSize(int size) override;
  int GetElementSize() override { return elementSize_; }

  // Crunch
  int GetCrunchFlags(int) override { return 0; }
  int CrunchElement(int) override { return 0; }
  int GetCrunchId() override { return crunchId_; }
  void SetCrunchId(int id) override { crunchId_ = id; }
  int CrunchEquals(Element* other) override;

  // IO: a 4-byte count, then one 4-byte entry per value, or 2-byte entries when the
  // creation parameter is not 0.
  int Read(Stream* stream) override;
  int Write(Stream* stream) override;

 private:
  // The list, created on first use; null when it cannot be made.
  List* EnsureList();
  // A new StaticElementArray of the container's element size holding the list's values
  // (those the filter accepts, when one is given); null when memory runs out.
  StaticElementArray* NewArray(Element* filter);
  Iterator* NewSnapshotIterator(StaticElementArray* source);
  // Replaces the list by one holding the values; false (the old list stays) when the
  // new one cannot be made whole.
  bool RebuildList(Value* values, int count);

  StaticElementArray* snapshot_ = nullptr;
  List* list_ = nullptr;
  int crunchId_ = -1;
  int elementSize_ = 0;
  int parameter_ = 0;
};

}  // namespace VLN2
