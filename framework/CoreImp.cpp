#include "framework/CoreImp.h"

#include "system/SystemApp.h"

namespace VLN2 {

Core* g_core = nullptr;

namespace {

// The framework's type names for the whole product family, by type id.
const char* const kTypeNames[kTypeCount] = {
    nullptr, nullptr, "SceneGraph", nullptr, "SystemTime", "Viewport", "ViewportFrame",
    "Node", "Matrix", "Mesh", "MeshFrame", "MeshFrameSphere", "Camera", "CameraFrame",
    "Light", "LightFrame", "Sound", "SoundFrame", "Cursor", "CursorFrame", "FaceSegment",
    "VertexSegment", "TextureFragment", "Material", "Texture", "Bitmap", "Wave", "String",
    "ElementTypeFilter", "ElementNameFilter", "PositionArray", "NormalArray", "Quaternion",
    "Translation", "WeightArray", "UVArray", "ColorArray", "FaceArray", "File", "Physics",
    /* 40 */ nullptr, "Point", "Wall", "WallObject", "RoomObject", "Hole", "PlanGenerator",
    "Encode", "FFT", "Allocate", "BlokData", "CombineFrames", "HannMultiWindow", "Masking",
    "ReadWriteFrame", "Scale", "Profiles", "UnAllocate", "UnScale", "TextBitmap", "Decode",
    /* 61-65 */ nullptr, nullptr, nullptr, nullptr, nullptr, "List", "ListEntry",
    "WaveConvert", "FileSystemIterator", "FilePath", "HtmlManager", "ThumbGenerator",
    "BinaryStream", "Archive", "ArchiveEntry", "CompressDevice", "CompressStream",
    "Triangulator", "StringSpliter", "ToolboxInstall", "Uninstaller", "FileFunc",
    "VideoDriver", "Window", "GUI_ToolboxInstall", "GUI_LicenseDisplay", /* 87 */ nullptr,
    "Screen", "Renderer", "BitmapDX7", "StaticElementArray", "SceneGraphUtil",
    "ElementContainer", "StaticSizeElementIterator", "DynamicSizeElementIterator",
    "PropertyParser", "GeometryUtil", "StringUtil", "Keyboard", "Mouse",
    "CubeToSphereMapConverter", "RayIntersect", "PlanEditor", "Polygonizer"};

int g_live[kTypeCount];

bool InTable(int typeId) { return typeId >= 0 && typeId < kTypeCount; }

}  // namespace

int LiveElements(int typeId) { return g_live[InTable(typeId) ? typeId : 0]; }

int LiveElementsTotal() {
  int total = 0;
  for (int count : g_live) total += count;
  return total;
}

void CountElement(int typeId, int delta) { g_live[InTable(typeId) ? typeId : 0] += delta; }

CoreImp::CoreImp(const ClassEntry* classes, int classCount)
    : ElementImp(this, kCoreType), classes_(classes), classCount_(classCount) {
  g_core = this;
}

CoreImp::~CoreImp() { g_core = nullptr; }

int CoreImp::Destroy() {
  SetSceneGraph(nullptr);
  SetSystemApp(nullptr);
  objects_[kCoreType] = nullptr;
  return 0;
}

Element* CoreImp::CreateElement(int typeId, int parameter) {
  for (int i = 0; i < classCount_; ++i) {
    if (classes_[i].typeId != typeId) continue;
    Element* element = classes_[i].construct(this);
    if (!element) return nullptr;
    element->SetParameter(parameter);
    if (element->Init() != 0) {
      element->Destroy();
      return nullptr;
    }
    return element;
  }
  return nullptr;
}

void CoreImp::ReleaseElement(Element** reference) {
  if (*reference) {
    (*reference)->Release();
    *reference = nullptr;
  }
}

Element* CoreImp::GetSceneGraph() { return objects_[kSceneGraphType]; }

void CoreImp::SetSceneGraph(Element* object) { StoreCounted(kSceneGraphType, object); }

SystemApp* CoreImp::GetSystemApp() { return static_cast<SystemApp*>(objects_[kSystemAppType]); }

void CoreImp::SetSystemApp(SystemApp* object) { StoreCounted(kSystemAppType, object); }

Element* CoreImp::GetRegistered(int typeId) { return InTable(typeId) ? objects_[typeId] : nullptr; }

void CoreImp::SetRegistered(int typeId, Element* object) {
  if (InTable(typeId)) objects_[typeId] = object;
}

void CoreImp::SetCore(Core* core) { g_core = core; }

Core* CoreImp::GetCore() { return g_core; }

const char* CoreImp::GetTypeName(int typeId) { return InTable(typeId) ? kTypeNames[typeId] : nullptr; }

void CoreImp::StoreCounted(int index, Element* object) {
  if (object) object->AddRef();
  if (objects_[index]) objects_[index]->Release();
  objects_[index] = object;
}

}  // namespace VLN2
