// The common operations of every implementation class: the reference count with its
// never-referenced sentinel, the default Init, Destroy, parameter and Cast, and the
// per-type count of live elements that tests use to find leaks.
#pragma once

#include <cassert>
#include <cstddef>
#include <new>

#include "framework/Allocator.h"
#include "framework/VLN2.h"

namespace VLN2 {

// The count of a constructed element that nobody has AddRef'd yet.
constexpr int kNeverReferenced = static_cast<int>(0x80001234u);

// Live elements of a type id (all ids outside 0 to 104 share slot 0).
int LiveElements(int typeId);
// Live elements of every type id together.
int LiveElementsTotal();
void CountElement(int typeId, int delta);

// Heap placement of every element: through the framework allocator, and a failed
// allocation makes the new-expression give null instead of throwing.
class ElementStorage {
 public:
  static void* operator new(std::size_t size) noexcept { return Allocate(size); }
  static void operator delete(void* block) noexcept { Free(block); }
};

// Implements the nine common operations for an implementation class whose primary
// interface is Interface (an Element).
template <class Interface>
class ElementImp : public Interface, public ElementStorage {
 public:
  ElementImp(Core* core, int typeId) : core_(core), typeId_(typeId) { CountElement(typeId_, +1); }
  ~ElementImp() override { CountElement(typeId_, -1); }

  int Init() override { return 0; }
  int Destroy() override {
    delete this;
    return 0;
  }
  int GetRefCount() override { return refCount_ == kNeverReferenced ? 0 : refCount_; }
  int AddRef() override {
    if (refCount_ == kNeverReferenced) {
      refCount_ = 1;
      return kNeverReferenced;
    }
    return ++refCount_;
  }
  int Release() override {
    assert(refCount_ > 0 || refCount_ == kNeverReferenced);
    if (refCount_ == 1 || refCount_ == kNeverReferenced) {
      refCount_ = 0;
      return Destroy();
    }
    return --refCount_;
  }
  int GetTypeId() override { return typeId_; }
  int GetParameter() override { return 0; }
  int SetParameter(int) override { return 1; }
  void* Cast(int) override { return nullptr; }

 protected:
  Core* core_;

 private:
  int refCount_ = kNeverReferenced;
  int typeId_;
};

}  // namespace VLN2
