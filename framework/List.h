// List, ListEntry and StaticElementArray: the storage behind ElementContainer.
//
// Values are interpreted by an element size: 0 = Element pointers held by reference,
// > 0 = owned copies of that many bytes, < 0 = plain 32-bit values stored as they are.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

using Value = void*;

class ListEntry : public Element {
 public:
  virtual ListEntry* GetNext() = 0;
  // AddRef the new entry, Release the old one, store.
  virtual void SetNext(ListEntry* entry) = 0;
  virtual ListEntry* GetPrevious() = 0;
  virtual void SetPrevious(ListEntry* entry) = 0;
  virtual Value GetValue() = 0;
  // Null clears and disposes of the held value; otherwise stores it by the element size.
  virtual void SetValue(Value value, int elementSize) = 0;
};

class List : public Element {
 public:
  virtual ListEntry* GetFirst() = 0;
  virtual ListEntry* GetLast() = 0;
  virtual int GetCount() = 0;
  // Adds the entry at the end; the caller's creation reference becomes its membership.
  virtual int Append(ListEntry* entry) = 0;
  // Unlinks the entry, drops the list's references and nulls *entry; the value is left.
  virtual int Remove(ListEntry** entry) = 0;
  // Links entry in before position (null only on an empty list).
  virtual int InsertBefore(ListEntry* position, ListEntry* entry) = 0;
  virtual int SetElementSize(int size) = 0;
  virtual int GetElementSize() = 0;
};

class StaticElementArray : public Element {
 public:
  // Replaces the contents, taking over values (framework allocator) and count.
  virtual int SetArray(Value* values, int count) = 0;
  // The array (still owned by the StaticElementArray) and its count.
  virtual int GetArray(Value** values, int* count) = 0;
  virtual int SetElementSize(int size) = 0;
  virtual int GetElementSize() = 0;
};

}  // namespace VLN2
