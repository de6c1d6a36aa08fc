// List, ListEntry and StaticElementArray: the storage behind ElementContainer.
#pragma once

#include "framework/ElementImp.h"
#include "framework/List.h"

namespace VLN2 {

// Stores a value by the element size: AddRef for 0, a new copy of that many bytes for a
// positive size (null when memory runs out), the value itself for a negative size.
Value TakeValue(Value value, int elementSize);
// Gives up a value stored by TakeValue: Release for 0, Free for a positive size.
void DisposeValue(Value value, int elementSize);

class ListEntryImp : public ElementImp<ListEntry> {
 public:
  explicit ListEntryImp(Core* core) : ElementImp(core, kListEntryType) {}

  ListEntry* GetNext() override { return next_; }
  void SetNext(ListEntry* entry) override { Link(next_, entry); }
  ListEntry* GetPrevious() override { return previous_; }
  void SetPrevious(ListEntry* entry) override { Link(previous_, entry); }
  Value GetValue() override { return value_; }
  void SetValue(Value value, int elementSize) override;

 private:
  static void Link(ListEntry*& field, ListEntry* entry);

  ListEntry* next_ = nullptr;
  ListEntry* previous_ = nullptr;
  Value value_ = nullptr;
};

class ListImp : public ElementImp<List> {
 public:
  explicit ListImp(Core* core) : ElementImp(core, kListType) {}

  // Disposes of every value by the element size and removes every entry.
  int Destroy() override;

  ListEntry* GetFirst() override { return first_; }
  ListEntry* GetLast() override { return last_; }
  int GetCount() override { return count_; }
  int Append(ListEntry* entry) override;
  int Remove(ListEntry** entry) override;
  int InsertBefore(ListEntry* position, ListEntry* entry) override;
  int SetElementSize(int size) override {
    elementSize_ = size;
    return 0;
  }
  int GetElementSize() override { return elementSize_; }

 private:
  // Whether entry can be one of ours: a member has a previous entry or is the first.
  bool MayBeMember(ListEntry* entry) { return entry->GetPrevious() || entry == first_; }
  // Counted store into first_ or last_.
  static void Hold(ListEntry*& field, ListEntry* entry);

  ListEntry* first_ = nullptr;
  ListEntry* last_ = nullptr;
  int count_ = 0;
  int elementSize_ = 0;
};

class StaticElementArrayImp : public ElementImp<StaticElementArray> {
 public:
  explicit StaticElementArrayImp(Core* core) : ElementImp(core, kStaticElementArrayType) {}

  int Destroy() override;

  int SetArray(Value* values, int count) override;
  int GetArray(Value** values, int* count) override;
  int SetElementSize(int size) override {
    elementSize_ = size;
    return 0;
  }
  int GetElementSize() override { return elementSize_; }

 private:
  Value* values_ = nullptr;
  int count_ = 0;
  int elementSize_ = 0;
};

}  // namespace VLN2
