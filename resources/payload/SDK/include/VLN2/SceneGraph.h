// Vorlane SDK: the scene graph (type id 2) that a viewer loads from a *.vln file.
#pragma once

#include "VLN2/VLN2.h"

namespace VLN2 {

class SceneGraph : public Element {
 public:
  virtual int Load(const char* path) = 0;
  virtual int Save(const char* path) = 0;
  virtual int GetNodeCount() = 0;
};

}  // namespace VLN2
