#include "ui/WindowImp.h"

#include <windows.h>

#include "framework/CatchAll.h"
#include "system/SystemApp.h"

namespace VLN2 {

const char* const kWindowClassName = "Gui::WindowImp";

static_assert(sizeof(MessageParam1) == sizeof(WPARAM), "WPARAM");
static_assert(sizeof(MessageParam2) == sizeof(LPARAM), "LPARAM");
static_assert(sizeof(MessageResult) == sizeof(LRESULT), "LRESULT");

namespace {

// The module that holds the window class and the dialog templates: the application
// object's, else the program itself.
HINSTANCE ModuleOf(Core* core) {
  SystemApp* app = core ? core->GetSystemApp() : nullptr;
  HINSTANCE module = app ? static_cast<HINSTANCE>(app->GetInstance()) : nullptr;
  return module ? module : GetModuleHandleA(nullptr);
}

WindowImp* ObjectIn(HWND hwnd, int slot) {
  return reinterpret_cast<WindowImp*>(GetWindowLongPtrA(hwnd, slot));
}

// The one way in from the platform for every window and dialog of the layer. The object is
// bound at the first message that carries it; messages before that, and messages of a
// window whose object has gone, get the platform's default handling.
LRESULT Route(HWND hwnd, UINT message, WPARAM first, LPARAM second, bool dialog) {
  if (!dialog && message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(second);
    auto* object = static_cast<WindowImp*>(create->lpCreateParams);
    if (object) object->SetHandle(hwnd);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
  } else if (dialog && message == WM_INITDIALOG && second) {
    auto* object = reinterpret_cast<WindowImp*>(second);
    object->SetHandle(hwnd);
    SetWindowLongPtrA(hwnd, DWLP_USER, second);
  }
  WindowImp* object = dialog ? ObjectIn(hwnd, DWLP_USER) : nullptr;
  if (!object) object = ObjectIn(hwnd, GWLP_USERDATA);
  if (object) return object->HandleMessage(message, first, second);
  // A dialog procedure asks for the dialog manager's default handling with FALSE.
  return dialog ? FALSE : DefWindowProcA(hwnd, message, first, second);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
  VLN2_TRY { return Route(hwnd, message, first, second, false); }
  VLN2_CATCH_ALL {
    // Nothing may unwind through the platform's frames.
    return DefWindowProcA(hwnd, message, first, second);
  }
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
  VLN2_TRY { return Route(hwnd, message, first, second, true); }
  VLN2_CATCH_ALL { return FALSE; }
}

}  // namespace

WindowImp::WindowImp(Core* core, int typeId) : ElementImp(core, typeId) {}

WindowImp::~WindowImp() {
  // Unbind first: the window's last messages must not reach a half-destroyed object.
  HWND hwnd = Detach();
  if (hwnd && IsWindow(hwnd)) {
    if (ObjectIn(hwnd, DWLP_USER) == this) SetWindowLongPtrA(hwnd, DWLP_USER, 0);
    DestroyWindow(hwnd);
  }
}

int WindowImp::GetClientWidth() {
  RECT rect;
  if (!handle_ || !GetClientRect(handle_, &rect)) return 0;
  return rect.right - rect.left;
}

int WindowImp::GetClientHeight() {
  RECT rect;
  if (!handle_ || !GetClientRect(handle_, &rect)) return 0;
  return rect.bottom - rect.top;
}

int WindowImp::SetClientSize(int width, int height) {
  if (!handle_) return 0;
  RECT outer;
  if (!GetWindowRect(handle_, &outer)) return 0;
  RECT wanted;
  SetRect(&wanted, 0, 0, width, height);
  DWORD style = static_cast<DWORD>(GetWindowLongA(handle_, GWL_STYLE));
  DWORD exStyle = static_cast<DWORD>(GetWindowLongA(handle_, GWL_EXSTYLE));
  // A child window's menu slot holds its id, not a menu.
  bool menu = !(style & WS_CHILD) && GetMenu(handle_) != nullptr;
  AdjustWindowRectEx(&wanted, style, menu, exStyle);
  POINT corner = {outer.left, outer.top};
  // Only a child is placed in its parent's client coordinates; GetParent of a top-level
  // window names its owner.
  HWND parent = (style & WS_CHILD) ? GetParent(handle_) : nullptr;
  if (parent) ScreenToClient(parent, &corner);
  return MoveWindow(handle_, corner.x, corner.y, wanted.right - wanted.left,
                    wanted.bottom - wanted.top, FALSE);
}

int WindowImp::ProcessMessages(int wait) {
  MSG msg;
  if (wait) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) return -1;
  } else {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return 0;
    if (msg.message == WM_QUIT) return -1;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) ? 1 : 0;
}

bool WindowImp::Open(int x, int y, int width, int height, const char* title) {
  if (handle_) return false;
  HINSTANCE module = ModuleOf(core_);
  WNDCLASSEXA description = {};
  description.cbSize = sizeof description;
  description.lpfnWndProc = WindowProc;
  description.hInstance = module;
  description.lpszClassName = kWindowClassName;
  if (!PrepareClass(&description)) return false;
  WNDCLASSEXA existing = {};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExA(description.hInstance, description.lpszClassName, &existing) &&
      !RegisterClassExA(&description) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    return false;
  HWND hwnd = CreateWindowExA(0, description.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              x, y, width, height, nullptr, nullptr, description.hInstance, this);
  if (!hwnd) {
    // Creation may have bound the handle before it failed.
    Detach();
    return false;
  }
  handle_ = hwnd;
  open_ = 1;
  SetClientSize(width, height);
  return true;
}

int WindowImp::RunDialog(int templateId) {
  if (handle_) return 1;
  HINSTANCE module = ModuleOf(core_);
  return static_cast<int>(DialogBoxParamA(module, MAKEINTRESOURCEA(templateId & 0xFFFF), nullptr,
                                          DialogProc, reinterpret_cast<LPARAM>(this)));
}

bool WindowImp::PrepareClass(tagWNDCLASSEXA*) { return true; }

MessageResult WindowImp::HandleMessage(unsigned message, MessageParam1 first,
                                       MessageParam2 second) {
  switch (message) {
    case WM_DESTROY:
      OnDestroyed();
      Detach();
      open_ = 0;
      return 0;
    case WM_CLOSE:
      // The window stays; whoever runs the message loop sees IsOpen false and decides.
      open_ = 0;
      return 0;
    default:
      return DefWindowProcA(handle_, message, first, second);
  }
}

WindowHandle WindowImp::Detach() {
  HWND hwnd = handle_;
  if (hwnd) {
    if (ObjectIn(hwnd, GWLP_USERDATA) == this) SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    handle_ = nullptr;
  }
  return hwnd;
}

}  // namespace VLN2
