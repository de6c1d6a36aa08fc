#include "framework/StaticSizeElementIteratorImp.h"

namespace VLN2 {

int StaticSizeElementIteratorImp::Destroy() {
  SetSource(nullptr);
  delete this;
  return 0;
}

void* StaticSizeElementIteratorImp::Cast(int interfaceId) {
  return interfaceId == kIteratorInterface ? static_cast<Iterator*>(this) : nullptr;
}

void StaticSizeElementIteratorImp::Sync() {
  array_ = nullptr;
  count_ = 0;
  if (source_) source_->GetArray(&array_, &count_);
}

int StaticSizeElementIteratorImp::SetSource(StaticElementArray* source) {
  if (source) source->AddRef();
  StaticElementArray* old = source_;
  source_ = source;
  if (old) old->Release();
  Sync();
  index_ = 0;
  done_ = false;
  return source ? 0 : 1;
}

void StaticSizeElementIteratorImp::First() {
  Sync();
  index_ = 0;
  done_ = count_ == 0;
}

void StaticSizeElementIteratorImp::Next() {
  Sync();
  if (index_ >= count_ - 1)
    done_ = true;
  else if (done_)
    done_ = false;
  else
    ++index_;
}

bool StaticSizeElementIteratorImp::IsDone() {
  Sync();
  return done_ || index_ >= count_;
}

void StaticSizeElementIteratorImp::Last() {
  Sync();
  index_ = count_ > 0 ? count_ - 1 : 0;
  done_ = count_ == 0;
}

void StaticSizeElementIteratorImp::Prev() {
  Sync();
  if (index_ == 0)
    done_ = true;
  else if (done_)
    done_ = false;
  else
    --index_;
}

bool StaticSizeElementIteratorImp::IsBeforeFirst() { return index_ == 0 && done_; }

Value StaticSizeElementIteratorImp::Current() {
  Sync();
  if (done_ || !array_ || index_ < 0 || index_ >= count_) return nullptr;
  return array_[index_];
}

int StaticSizeElementIteratorImp::GetCount() {
  Sync();
  return count_;
}

int StaticSizeElementIteratorImp::MoveTo(int index) {
  Sync();
  if (static_cast<unsigned>(index) >= static_cast<unsigned>(count_)) return 1;
  index_ = index;
  done_ = false;
  return 0;
}

int StaticSizeElementIteratorImp::GetArray(Value** values, int* count) {
  Sync();
  if (values) *values = array_;
  if (count) *count = count_;
  return 0;
}

int StaticSizeElementIteratorImp::SetArray(Value* values, int count) {
  if (!source_) {
    // The array was handed over: nobody else will free it.
    Free(values);
    return 1;
  }
  source_->SetArray(values, count);
  Sync();
  modified_ = true;
  return 0;
}

}  // namespace VLN2
