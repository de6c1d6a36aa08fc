// GUI_ToolboxInstall: the view of the installation form component through which the
// driver fills in what it detected, runs the form and reads the choices back.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

class GUI_ToolboxInstall {
 public:
  static constexpr int kInterfaceId = kGUI_ToolboxInstallInterface;
  virtual ~GUI_ToolboxInstall() = default;
  // The folder of target index (0 to 13); null while it was never set.
  virtual const char* GetTargetPath(int index) = 0;
  // Stores the folder; a text longer than one character gets a trailing backslash
  // unless it ends in a separator. 1 when the text could not be stored.
  virtual int SetTargetPath(int index, const char* text) = 0;
  virtual bool IsTargetSelected(int index) = 0;
  virtual int SetTargetSelected(int index, bool on) = 0;
  // Runs the form modally; 0 only when it was closed with Install.
  virtual int Run() = 0;
};

}  // namespace VLN2
