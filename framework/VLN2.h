// The object model: every object is an Element, created by the one Core of the process
// from a type id, reference-counted, and reached only through its interfaces.
#pragma once

namespace VLN2 {

// Type ids: what GetTypeId returns, what CreateElement takes, the index of the Core's
// object table.
enum TypeId {
  kCoreType = 1,
  kSceneGraphType = 2,
  kSystemAppType = 3,
  kSystemTimeType = 4,
  kStringType = 27,
  kListType = 66,
  kListEntryType = 67,
  kFileSystemIteratorType = 69,
  kFilePathType = 70,
  kBinaryStreamType = 73,
  kArchiveType = 74,
  kArchiveEntryType = 75,
  kCompressDeviceType = 76,
  kCompressStreamType = 77,
  kToolboxInstallType = 80,
  kUninstallerType = 81,
  kFileFuncType = 82,
  kWindowType = 84,
  kGUI_ToolboxInstallType = 85,
  kGUI_LicenseDisplayType = 86,
  kStaticElementArrayType = 91,
  kElementContainerType = 93,
  kStaticSizeElementIteratorType = 94,
  kDynamicSizeElementIteratorType = 95,
  kStringUtilType = 98,
};

// Number of entries of the Core's object table: one per type id 0 to 104.
constexpr int kTypeCount = 105;

// Interface ids: the secondary views reached with Cast. A numbering of their own.
enum InterfaceId {
  kCrunchInterface = 5,
  kIteratorInterface = 7,
  kStreamInterface = 11,
  kIOInterface = 12,
  kGUI_LicenseDisplayInterface = 14,
  kGUI_ToolboxInstallInterface = 15,
  kArchiveReaderInterface = 16,
  kInstallSourceInterface = 17,
};

// The base interface of every object. Operations return 0 for success; no exception
// ever crosses an interface.
class Element {
 public:
  virtual ~Element() = default;
  // Second-phase initialisation, called once by CreateElement; non-zero = failure.
  virtual int Init() = 0;
  // Releases what the object holds and deletes it. Called by the last Release.
  virtual int Destroy() = 0;
  // 0 while the creator's implicit reference has not been taken over by AddRef.
  virtual int GetRefCount() = 0;
  virtual int AddRef() = 0;
  // Drops a reference; destroys the object at the last one.
  virtual int Release() = 0;
  virtual int GetTypeId() = 0;
  virtual int GetParameter() = 0;
  // Receives CreateElement's parameter before Init; 1 = not taken.
  virtual int SetParameter(int value) = 0;
  // The view for a secondary interface id, or null. Never the primary view; no
  // reference is added.
  virtual void* Cast(int interfaceId) = 0;
};

// The typed form of Cast: I names its interface id as I::kInterfaceId.
template <class I>
I* CastTo(Element* element) {
  return element ? static_cast<I*>(element->Cast(I::kInterfaceId)) : nullptr;
}

class SystemApp;

// The factory and root object of the process.
class Core : public Element {
 public:
  // A new element of the type id's class, holding the caller's implicit reference;
  // null for an unknown id, when memory runs out or when Init fails.
  virtual Element* CreateElement(int typeId, int parameter) = 0;
  // Releases *reference when it is set and nulls it.
  virtual void ReleaseElement(Element** reference) = 0;
  virtual Element* GetSceneGraph() = 0;
  // Counted store: AddRef the new object, Release the old one.
  virtual void SetSceneGraph(Element* object) = 0;
  // The application object; no reference is added.
  virtual SystemApp* GetSystemApp() = 0;
  // Counted store into entry 3.
  virtual void SetSystemApp(SystemApp* object) = 0;
  // The raw entry of the object table (0 to 104); null outside that range.
  virtual Element* GetRegistered(int typeId) = 0;
  // Plain store: no AddRef, no Release. Ignored outside 0 to 104.
  virtual void SetRegistered(int typeId, Element* object) = 0;
  virtual void SetCore(Core* core) = 0;
  virtual Core* GetCore() = 0;
  // The framework's name of a type id, or null.
  virtual const char* GetTypeName(int typeId) = 0;
};

// The process-wide core pointer: set by the Core's constructor, cleared by its destructor.
extern Core* g_core;

// Releases *reference through the Core and nulls it; typed for any element interface.
template <class T>
void ReleaseElement(T*& reference) {
  if (reference) {
    Element* element = reference;
    g_core->ReleaseElement(&element);
    reference = nullptr;
  }
}

// Creates an element of the type id and returns it through its primary interface T.
template <class T>
T* Create(int typeId) {
  return static_cast<T*>(g_core->CreateElement(typeId, 0));
}

}  // namespace VLN2
