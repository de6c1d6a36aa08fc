#include "framework/ListImp.h"

#include <cstring>

namespace VLN2 {

Value TakeValue(Value value, int elementSize) {
  if (!value) return nullptr;
  if (elementSize == 0) {
    static_cast<Element*>(value)->AddRef();
    return value;
  }
  if (elementSize < 0) return value;
  void* copy = Allocate(static_cast<std::size_t>(elementSize));
  if (copy) std::memcpy(copy, value, static_cast<std::size_t>(elementSize));
  return copy;
}

void DisposeValue(Value value, int elementSize) {
  if (!value) return;
  if (elementSize == 0)
    static_cast<Element*>(value)->Release();
  else if (elementSize > 0)
    Free(value);
}

// ListEntry

void ListEntryImp::Link(ListEntry*& field, ListEntry* entry) {
  if (entry) entry->AddRef();
  ListEntry* old = field;
  field = entry;
  if (old) old->Release();
}

void ListEntryImp::SetValue(Value value, int elementSize) {
  // The new value is taken before the old one goes, so setting the value it already
  // holds keeps that element alive.
  Value taken = TakeValue(value, elementSize);
  Value old = value_;
  value_ = taken;
  DisposeValue(old, elementSize);
}

// List

void ListImp::Hold(ListEntry*& field, ListEntry* entry) {
  if (entry) entry->AddRef();
  ListEntry* old = field;
  field = entry;
  if (old) old->Release();
}

int ListImp::Destroy() {
  ListEntry* entry = first_;
  while (entry) {
    ListEntry* next = entry->GetNext();
    entry->SetValue(nullptr, elementSize_);
    Remove(&entry);
    entry = next;
  }
  delete this;
  return 0;
}

int ListImp::Append(ListEntry* entry) {
  if (!entry) return 1;
  ++count_;
  entry->AddRef();  // membership: takes over a new entry's creation reference
  if (!last_) {
    entry->SetNext(nullptr);
    entry->SetPrevious(nullptr);
    Hold(first_, entry);
    Hold(last_, entry);
    return 0;
  }
  last_->SetNext(entry);
  entry->SetPrevious(last_);
  entry->SetNext(nullptr);
  Hold(last_, entry);
  return 0;
}

int ListImp::Remove(ListEntry** entry) {
  if (!entry || !*entry || !MayBeMember(*entry)) return 1;
  ListEntry* removed = *entry;
  ListEntry* previous = removed->GetPrevious();
  ListEntry* next = removed->GetNext();
  if (previous) previous->SetNext(next);
  if (next) next->SetPrevious(previous);
  // The neighbours are still members, so dropping the links to them cannot destroy them.
  removed->SetNext(nullptr);
  removed->SetPrevious(nullptr);
  if (first_ == removed) Hold(first_, next);
  if (last_ == removed) Hold(last_, previous);
  ReleaseElement(*entry);  // the membership
  --count_;
  return 0;
}

int ListImp::InsertBefore(ListEntry* position, ListEntry* entry) {
  if (!entry) return 1;
  // Without a position only an empty list can take the entry.
  if (!position ? count_ != 0 : !MayBeMember(position)) return 1;
  ListEntry* previous = position ? position->GetPrevious() : nullptr;
  if (position) {
    if (previous) previous->SetNext(entry);
    position->SetPrevious(entry);
  }
  entry->SetPrevious(previous);
  entry->SetNext(position);
  entry->AddRef();  // membership
  if (position == first_) Hold(first_, entry);
  if (!last_) Hold(last_, entry);
  ++count_;
  return 0;
}

// StaticElementArray

int StaticElementArrayImp::Destroy() {
  SetArray(nullptr, 0);
  delete this;
  return 0;
}

int StaticElementArrayImp::SetArray(Value* values, int count) {
  if (!values || count < 0) count = 0;
  // New references first: an element in both arrays stays alive.
  if (values && elementSize_ == 0) {
    for (int i = 0; i < count; ++i)
      if (values[i]) static_cast<Element*>(values[i])->AddRef();
  }
  if (values_) {
    if (elementSize_ == 0) {
      for (int i = 0; i < count_; ++i)
        if (values_[i]) static_cast<Element*>(values_[i])->Release();
    }
    if (values_ != values) Free(values_);
  }
  values_ = values;
  count_ = count;
  return 0;
}

int StaticElementArrayImp::GetArray(Value** values, int* count) {
  if (values) *values = values_;
  if (count) *count = count_;
  return 0;
}

}  // namespace VLN2
