#include "framework/DynamicSizeElementIteratorImp.h"

namespace VLN2 {

namespace {

// Value arrays are refused from this count on.
constexpr int kMaxValues = 1 << 30;

}  // namespace

int DynamicSizeElementIteratorImp::Destroy() {
  SetSource(nullptr);
  FreeBuffer();
  delete this;
  return 0;
}

void* DynamicSizeElementIteratorImp::Cast(int interfaceId) {
  return interfaceId == kIteratorInterface ? static_cast<Iterator*>(this) : nullptr;
}

void DynamicSizeElementIteratorImp::Refresh() {
  currentValue_ = done_ || !current_ ? nullptr : current_->GetValue();
}

void DynamicSizeElementIteratorImp::FreeBuffer() {
  Free(buffer_);
  buffer_ = nullptr;
}

ListEntry* DynamicSizeElementIteratorImp::NewEntry(Value value) {
  ListEntry* entry = Create<ListEntry>(kListEntryType);
  if (!entry) return nullptr;
  entry->SetValue(value, elementSize_);
  if (value && !entry->GetValue()) {
    // The copy of the value could not be made: no entry rather than an empty one.
    ReleaseElement(entry);
  }
  return entry;
}

int DynamicSizeElementIteratorImp::SetSource(List* source) {
  if (source) source->AddRef();
  List* old = source_;
  source_ = source;
  if (old) old->Release();
  FreeBuffer();
  current_ = nullptr;
  count_ = source_ ? source_->GetCount() : 0;
  First();
  modified_ = false;
  return 0;
}

void DynamicSizeElementIteratorImp::First() {
  index_ = 0;
  done_ = count_ == 0;
  current_ = source_ ? source_->GetFirst() : nullptr;
  Refresh();
}

void DynamicSizeElementIteratorImp::Next() {
  ListEntry* next = current_ ? current_->GetNext() : nullptr;
  if (next) {
    if (done_) {
      done_ = false;
    } else {
      current_ = next;
      ++index_;
    }
  } else {
    done_ = true;
  }
  Refresh();
}

bool DynamicSizeElementIteratorImp::IsDone() {
  return !current_ || (done_ && current_ == source_->GetLast());
}

void DynamicSizeElementIteratorImp::Last() {
  index_ = count_ > 0 ? count_ - 1 : 0;
  done_ = count_ == 0;
  current_ = source_ ? source_->GetLast() : nullptr;
  Refresh();
}

void DynamicSizeElementIteratorImp::Prev() {
  ListEntry* previous = current_ ? current_->GetPrevious() : nullptr;
  if (previous) {
    if (done_) {
      done_ = false;
    } else {
      current_ = previous;
      --index_;
    }
  } else {
    done_ = true;
  }
  Refresh();
}

int DynamicSizeElementIteratorImp::Add(Value value) {
  FreeBuffer();
  if (!source_) return 1;
  ListEntry* entry = NewEntry(value);
  if (!entry) return 1;
  source_->Append(entry);  // the creation reference becomes the membership
  ++count_;
  Last();
  modified_ = true;
  return 0;
}

int DynamicSizeElementIteratorImp::Insert(Value value) {
  FreeBuffer();
  if (IsDone()) return Add(value);
  ListEntry* entry = NewEntry(value);
  if (!entry) return 1;
  source_->InsertBefore(current_, entry);
  ++count_;
  current_ = entry;
  modified_ = true;
  Refresh();
  return 0;
}

int DynamicSizeElementIteratorImp::Remove() {
  FreeBuffer();
  if (!current_) return 1;
  ListEntry* removed = current_;
  ListEntry* next = removed->GetNext();
  removed->SetValue(nullptr, elementSize_);
  source_->Remove(&removed);
  --count_;
  modified_ = true;
  if (next) {
    current_ = next;
  } else {
    // Off the end: stand on the new last entry, done, with its index.
    current_ = source_->GetLast();
    index_ = count_ > 0 ? count_ - 1 : 0;
    done_ = true;
  }
  Refresh();
  return 0;
}

int DynamicSizeElementIteratorImp::Clear() {
  FreeBuffer();
  if (source_) {
    for (ListEntry* entry = source_->GetFirst(); entry;) {
      ListEntry* next = entry->GetNext();
      entry->SetValue(nullptr, elementSize_);
      source_->Remove(&entry);
      entry = next;
    }
  }
  done_ = true;
  count_ = 0;
  index_ = 0;
  current_ = nullptr;
  currentValue_ = nullptr;
  modified_ = true;
  return 0;
}

int DynamicSizeElementIteratorImp::MoveTo(int index) {
  First();
  for (int steps = index; steps > 0 && !IsDone(); --steps) Next();
  // Indices outside 0 to count - 1, an empty list included, are not positions.
  if (index < 0 || index >= count_ || index_ != index || !current_) return 1;
  done_ = false;
  Refresh();
  return 0;
}

int DynamicSizeElementIteratorImp::GetArray(Value** values, int* count) {
  if (values) *values = nullptr;
  if (count) *count = count_;
  if (count_ == 0) return 0;
  if (!buffer_) {
    if (count_ >= kMaxValues) return 1;
    buffer_ = static_cast<Value*>(Allocate(sizeof(Value) * static_cast<std::size_t>(count_)));
    if (!buffer_) return 1;
    // Filled straight from the list, so the iterator keeps its position.
    int i = 0;
    for (ListEntry* entry = source_->GetFirst(); entry && i < count_; entry = entry->GetNext())
      buffer_[i++] = entry->GetValue();
  }
  // A second call gives the same buffer: it is dropped by every change.
  if (values) *values = buffer_;
  return 0;
}

int DynamicSizeElementIteratorImp::SetArray(Value* values, int count) {
  FreeBuffer();
  Clear();
  int result = 0;
  for (int i = 0; values && i < count; ++i)
    if (Add(values[i]) != 0) result = 1;
  Free(values);
  modified_ = true;
  return result;
}

}  // namespace VLN2
