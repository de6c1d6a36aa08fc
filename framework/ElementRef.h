// A holder for one element reference: adopts the creation reference and gives it back with
// ReleaseElement when it goes, so every exit of a function releases what it created.
#pragma once

#include <utility>

#include "framework/VLN2.h"

namespace VLN2 {

template <class T>
class ElementRef {
 public:
  ElementRef() = default;
  // Adopts the reference: the holder releases it.
  explicit ElementRef(T* element) : element_(element) {}
  // Creates an element of the type id and adopts it (null when creation fails).
  static ElementRef Create(int typeId) { return ElementRef(VLN2::Create<T>(typeId)); }

  ElementRef(const ElementRef&) = delete;
  ElementRef& operator=(const ElementRef&) = delete;
  ElementRef(ElementRef&& other) noexcept : element_(other.Detach()) {}
  ElementRef& operator=(ElementRef&& other) noexcept {
    reset(other.Detach());
    return *this;
  }
  ~ElementRef() { reset(); }

  T* get() const { return element_; }
  T* operator->() const { return element_; }
  explicit operator bool() const { return element_ != nullptr; }

  // Releases the held reference and adopts another one.
  void reset(T* element = nullptr) {
    T* old = element_;
    element_ = element;
    ReleaseElement(old);
  }
  // Hands the reference over to the caller.
  T* Detach() { return std::exchange(element_, nullptr); }

 private:
  T* element_ = nullptr;
};

}  // namespace VLN2
