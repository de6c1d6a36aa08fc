// ElementContainer and its iterators: the framework's general collection, lent out only
// through iterators that are handed back with ReleaseIterator.
#pragma once

#include "framework/List.h"

namespace VLN2 {

// The walking interface of both iterator kinds.
class Iterator {
 public:
  static constexpr int kInterfaceId = kIteratorInterface;
  virtual ~Iterator() = default;
  virtual void First() = 0;
  virtual void Next() = 0;
  // True after stepping past the last value, or when there is none.
  virtual bool IsDone() = 0;
  virtual void Last() = 0;
  virtual void Prev() = 0;
  // True at index 0 after stepping before the first value.
  virtual bool IsBeforeFirst() = 0;
  // The current value; null when done.
  virtual Value Current() = 0;
  virtual int Add(Value value) = 0;
  virtual int Insert(Value value) = 0;
  virtual int Remove() = 0;
  virtual int Clear() = 0;
  virtual int GetCount() = 0;
  virtual int GetIndex() = 0;
  virtual int MoveTo(int index) = 0;
  // The values as an array owned by the iterator, and their count.
  virtual int GetArray(Value** values, int* count) = 0;
  // Takes over values (framework allocator) as the new contents.
  virtual int SetArray(Value* values, int count) = 0;
  // The iterator object itself (its primary view).
  virtual Element* GetElement() = 0;
};

// A filter for GetIterator: Accept gives 0 for a value to keep.
class ElementFilter : public Element {
 public:
  virtual int Accept(Value value) = 0;
};

class ElementContainer : public Element {
 public:
  // Flags bit 0x20: a list iterator that edits the list in place; otherwise a snapshot
  // iterator (over the values the filter accepts, when one is given; the filter loses
  // one reference). Null on failure.
  virtual Iterator* GetIterator(int flags, Element* filter) = 0;
  // Carries the iterator's edits back into the container and destroys it; nulls
  // *iterator; always 0.
  virtual int ReleaseIterator(Iterator** iterator) = 0;
  virtual int SetElementSize(int size) = 0;
  virtual int GetElementSize() = 0;
};

// The snapshot iterator over a StaticElementArray.
class StaticSizeElementIterator : public Element {
 public:
  virtual StaticElementArray* GetSource() = 0;
  virtual int SetSource(StaticElementArray* source) = 0;
  virtual int SetElementSize(int size) = 0;
  virtual int GetElementSize() = 0;
  virtual int IsModified() = 0;
};

// The list iterator over a List.
class DynamicSizeElementIterator : public Element {
 public:
  virtual List* GetSource() = 0;
  virtual int SetSource(List* source) = 0;
  virtual int IsModified() = 0;
  virtual int SetElementSize(int size) = 0;
  virtual int GetElementSize() = 0;
};

// Flags that ask GetIterator for a list iterator, as every user in this system does.
constexpr int kListIterator = 255;

}  // namespace VLN2
