// IO: the view of an element that saves itself to and loads itself from a Stream.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

class Stream;

class IO {
 public:
  static constexpr int kInterfaceId = kIOInterface;
  virtual ~IO() = default;
  // Loads the element's stored form from the stream's position.
  virtual int Read(Stream* stream) = 0;
  // Saves the stored form at the stream's position; the stream's GetError.
  virtual int Write(Stream* stream) = 0;
};

}  // namespace VLN2
