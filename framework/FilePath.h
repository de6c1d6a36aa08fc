// FilePath: one path, kept split into drive, folder, file name, name and extension.
// Setting the whole path splits it; setting a part rebuilds the whole path.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

class FilePath : public Element {
 public:
  // The whole path, owned by the FilePath and valid until the next change; callers may
  // write into it within its length. Null before the first SetPath.
  virtual char* GetPath() = 0;
  // Copies the text (null = empty) and splits it; 1 when memory runs out.
  virtual int SetPath(const char* text) = 0;
  // Appends to the whole path and splits the result; 1 when memory runs out.
  virtual int AppendPath(const char* text) = 0;
  // Part getters give the part's text or null when absent; setters return 0; a null
  // text removes the part, Append* with null appends nothing.
  virtual const char* GetDrive() = 0;
  virtual int SetDrive(const char* text) = 0;
  virtual int AppendDrive(const char* text) = 0;
  virtual const char* GetFolder() = 0;
  virtual int SetFolder(const char* text) = 0;
  virtual int AppendFolder(const char* text) = 0;
  virtual const char* GetFileName() = 0;
  virtual int SetFileName(const char* text) = 0;
  virtual int AppendFileName(const char* text) = 0;
  virtual const char* GetName() = 0;
  virtual int SetName(const char* text) = 0;
  virtual int AppendName(const char* text) = 0;
  virtual const char* GetExtension() = 0;
  virtual int SetExtension(const char* text) = 0;
  virtual int AppendExtension(const char* text) = 0;
};

}  // namespace VLN2
