// The Core: the factory of every element, the object table of process-wide objects and
// the type-name table.
#pragma once

#include "framework/ElementImp.h"

namespace VLN2 {

// One row of a class table: the type id and the function that constructs its class.
struct ClassEntry {
  int typeId;
  Element* (*construct)(Core* core);
};

// Constructs an implementation class (null when memory runs out).
template <class T>
Element* Construct(Core* core) {
  return static_cast<Element*>(new T(core));
}

class CoreImp : public ElementImp<Core> {
 public:
  // classes: the program's one explicit class table, kept by reference.
  CoreImp(const ClassEntry* classes, int classCount);
  ~CoreImp() override;

  // The Core lives until the process ends: Destroy only drops the registrations.
  int Destroy() override;

  Element* CreateElement(int typeId, int parameter) override;
  void ReleaseElement(Element** reference) override;
  Element* GetSceneGraph() override;
  void SetSceneGraph(Element* object) override;
  SystemApp* GetSystemApp() override;
  void SetSystemApp(SystemApp* object) override;
  Element* GetRegistered(int typeId) override;
  void SetRegistered(int typeId, Element* object) override;
  void SetCore(Core* core) override;
  Core* GetCore() override;
  const char* GetTypeName(int typeId) override;

 private:
  void StoreCounted(int index, Element* object);

  const ClassEntry* classes_;
  int classCount_;
  Element* objects_[kTypeCount] = {};
};

}  // namespace VLN2
