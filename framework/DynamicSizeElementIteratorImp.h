// The list iterator: walks a container's List and edits it in place.
#pragma once

#include "framework/ElementContainer.h"
#include "framework/ElementImp.h"

namespace VLN2 {

class DynamicSizeElementIteratorImp : public ElementImp<DynamicSizeElementIterator>,
                                      public Iterator {
 public:
  explicit DynamicSizeElementIteratorImp(Core* core)
      : ElementImp(core, kDynamicSizeElementIteratorType) {}

  int Destroy() override;
  void* Cast(int interfaceId) override;

  List* GetSource() override { return source_; }
  int SetSource(List* source) override;
  int IsModified() override { return modified_ ? 1 : 0; }
  int SetElementSize(int size) override {
    elementSize_ = size;
    return 0;
  }
  int GetElementSize() override { return elementSize_; }

  // Iterator
  void First() override;
  void Next() override;
  bool IsDone() override;
  void Last() override;
  void Prev() override;
  bool IsBeforeFirst() override { return index_ == 0 && done_; }
  Value Current() override { return currentValue_; }
  int Add(Value value) override;
  int Insert(Value value) override;
  int Remove() override;
  int Clear() override;
  int GetCount() override { return count_; }
  int GetIndex() override { return index_; }
  int MoveTo(int index) override;
  int GetArray(Value** values, int* count) override;
  int SetArray(Value* values, int count) override;
  Element* GetElement() override { return static_cast<DynamicSizeElementIterator*>(this); }

 private:
  // The cached value after every move: the current entry's, or null when done.
  void Refresh();
  void FreeBuffer();
  // A new entry holding value by the element size; null when it cannot be made whole.
  ListEntry* NewEntry(Value value);

  List* source_ = nullptr;
  ListEntry* current_ = nullptr;  // not counted: the list holds it
  Value currentValue_ = nullptr;
  Value* buffer_ = nullptr;
  int index_ = 0;
  int count_ = 0;
  bool done_ = false;
  bool modified_ = false;
  int elementSize_ = 0;
};

}  // namespace VLN2
