// BinaryStream: the Stream over one disk file (view: Stream).
#pragma once

#include "framework/ElementRef.h"
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

// The one way the installer and its tools open a file of their own: a BinaryStream on path,
// its Stream set to mode, the option flags (kOption*) and the access hint, and opened. Null
// when a step fails; *code (when given) then holds the opening's failure code, or 1.
ElementRef<BinaryStream> OpenFileStream(const char* path, int mode, int options = 0, int access = 0,
                                        int* code = nullptr);

}  // namespace VLN2
