// The snapshot iterator: walks an indexed copy of a container's values held in a
// StaticElementArray. It adds, inserts and removes nothing; SetArray replaces the copy.
#pragma once

#include "framework/ElementContainer.h"
#include "framework/ElementImp.h"

namespace VLN2 {

class StaticSizeElementIteratorImp : public ElementImp<StaticSizeElementIterator>, public Iterator {
 public:
  explicit StaticSizeElementIteratorImp(Core* core)
      : ElementImp(core, kStaticSizeElementIteratorType) {}

  int Destroy() override;
  void* Cast(int interfaceId) override;

  StaticElementArray* GetSource() override { return source_; }
  int SetSource(StaticElementArray* source) override;
  int SetElementSize(int size) override {
    elementSize_ = size;
    return 0;
  }
  int GetElementSize() override { return elementSize_; }
  int IsModified() override { return modified_ ? 1 : 0; }

  // Iterator
  void First() override;
  void Next() override;
  bool IsDone() override;
  void Last() override;
  void Prev() override;
  bool IsBeforeFirst() override;
  Value Current() override;
  int Add(Value) override { return 1; }
  int Insert(Value) override { return 1; }
  int Remove() override { return 1; }
  int Clear() override { return SetArray(nullptr, 0); }
  int GetCount() override;
  int GetIndex() override { return index_; }
  int MoveTo(int index) override;
  int GetArray(Value** values, int* count) override;
  int SetArray(Value* values, int count) override;
  Element* GetElement() override { return static_cast<StaticSizeElementIterator*>(this); }

 private:
  // Takes the array and count from the source again. Done before every use, because
  // another iterator over the same snapshot may have replaced its array meanwhile.
  void Sync();

  StaticElementArray* source_ = nullptr;
  Value* array_ = nullptr;
  int count_ = 0;
  int index_ = 0;
  bool done_ = false;
  bool modified_ = false;
  int elementSize_ = 0;
};

}  // namespace VLN2
