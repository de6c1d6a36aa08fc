// Vorlane SDK: the object model. Every object is an Element, created by the Core from a
// type id and released through it.
#pragma once

namespace VLN2 {

class Element {
 public:
  virtual ~Element() = default;
  virtual int Init() = 0;
  virtual int Destroy() = 0;
  virtual int GetRefCount() = 0;
  virtual int AddRef() = 0;
  virtual int Release() = 0;
  virtual int GetTypeId() = 0;
  virtual int GetParameter() = 0;
  virtual int SetParameter(int value) = 0;
  virtual void* Cast(int interfaceId) = 0;
};

}  // namespace VLN2
