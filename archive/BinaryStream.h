// BinaryStream: the Stream over one disk file (view: Stream).
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

class BinaryStream : public Element {
 public:
  // The file name; null when none was set.
  virtual const char* GetStreamPath() = 0;
  // Null releases the path; 1 when the path String cannot be created.
  virtual int SetStreamPath(const char* text) = 0;
  // Writes what the open file holds through to the disk; 1 when it is closed or refused.
  virtual int FlushStream() = 0;
};

}  // namespace VLN2
