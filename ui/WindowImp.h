// WindowImp: the thin layer over Win32 windows and dialogs. It binds a platform window to
// its object, routes every message of that window to the object's HandleMessage through one
// shared window procedure, and opens windows and runs dialog templates.
#pragma once

#include "framework/ElementImp.h"
#include "ui/Window.h"

namespace VLN2 {

// The class of every window the layer creates.
extern const char* const kWindowClassName;

class WindowImp : public ElementImp<Window> {
 public:
  // Derived screens pass their own type id.
  explicit WindowImp(Core* core, int typeId = kWindowType);
  // Destroys the bound window when it still exists.
  ~WindowImp() override;

  WindowHandle GetHandle() override { return handle_; }
  void SetHandle(WindowHandle handle) override { handle_ = handle; }
  int GetClientWidth() override;
  int GetClientHeight() override;
  int SetClientSize(int width, int height) override;
  int ProcessMessages(int wait) override;
  bool Open(int x, int y, int width, int height, const char* title) override;
  int RunDialog(int templateId) override;
  bool IsOpen() override { return open_ != 0; }
  bool PrepareClass(tagWNDCLASSEXA* description) override;
  void OnDestroyed() override {}
  MessageResult HandleMessage(unsigned message, MessageParam1 first, MessageParam2 second) override;

  // Unbinds the handle: the window's user slots stop naming this object. The former handle.
  WindowHandle Detach();

 private:
  WindowHandle handle_ = nullptr;
  int open_ = 0;
};

}  // namespace VLN2
