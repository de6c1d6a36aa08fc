// Window: an element that owns at most one platform window or dialog at a time and handles
// its messages. Win32 only; the handle and message types are the platform's own, declared
// here without the platform header.
#pragma once

#include <cstdint>

#include "framework/VLN2.h"

struct HWND__;
struct tagWNDCLASSEXA;

namespace VLN2 {

using WindowHandle = HWND__*;          // HWND
using MessageParam1 = std::uintptr_t;  // WPARAM
using MessageParam2 = std::intptr_t;   // LPARAM
using MessageResult = std::intptr_t;   // LRESULT, or a dialog procedure's truth value

class Window : public Element {
 public:
  // The bound window or dialog, or null.
  virtual WindowHandle GetHandle() = 0;
  // Replaces the bound handle; nothing else changes.
  virtual void SetHandle(WindowHandle handle) = 0;
  // Size of the client area in pixels; 0 without a window.
  virtual int GetClientWidth() = 0;
  virtual int GetClientHeight() = 0;
  // Resizes the window so that its client area is width x height; the platform's result.
  virtual int SetClientSize(int width, int height) = 0;
  // Takes and dispatches one message of the thread (waiting for one when wait is
  // non-zero); 1 when another is waiting, 0 when not, -1 on quit or failure.
  virtual int ProcessMessages(int wait) = 0;
  // Creates a visible top-level window whose client area is width x height; false when the
  // object already has a window or the window cannot be made.
  virtual bool Open(int x, int y, int width, int height, const char* title) = 0;
  // Runs dialog template templateId modally with this object as its handler; the value the
  // dialog was ended with, 1 at once when the object already has a handle, the platform's
  // failure value (-1) when the dialog cannot be made.
  virtual int RunDialog(int templateId) = 0;
  // Set while a window made by Open has not been asked to close.
  virtual bool IsOpen() = 0;
  // Hook before the window class is registered; false stops Open.
  virtual bool PrepareClass(tagWNDCLASSEXA* description) = 0;
  // Hook when the bound window is being destroyed.
  virtual void OnDestroyed() = 0;
  // The object's message handler. Dialog classes replace it by their dialog procedure and
  // return whether they handled the message.
  virtual MessageResult HandleMessage(unsigned message, MessageParam1 first,
                                      MessageParam2 second) = 0;
};

}  // namespace VLN2
