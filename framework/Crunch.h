// Crunch: the view an element offers to be written by number inside a saved container.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

class Crunch {
 public:
  static constexpr int kInterfaceId = kCrunchInterface;
  virtual ~Crunch() = default;
  virtual int GetCrunchFlags(int kind) = 0;
  virtual int CrunchElement(int argument) = 0;
  // The number written in place of the element when a container is saved.
  virtual int GetCrunchId() = 0;
  virtual void SetCrunchId(int id) = 0;
  // 0 when other is equal to this element, else non-zero.
  virtual int CrunchEquals(Element* other) = 0;
};

}  // namespace VLN2
