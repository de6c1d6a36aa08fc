// GUI_ToolboxInstallImp: the installation form component. Holds the choices in its form
// model, runs dialog 113 and routes the dialog's messages to the model through the Win32
// view.
#pragma once

#include "ui/GUI_ToolboxInstall.h"
#include "ui/ToolboxInstallForm.h"
#include "ui/ToolboxInstallWin32View.h"
#include "ui/WindowImp.h"

namespace VLN2 {

class GUI_ToolboxInstallImp : public WindowImp, public GUI_ToolboxInstall {
 public:
  explicit GUI_ToolboxInstallImp(Core* core);

  int Init() override;
  int Destroy() override;
  void* Cast(int interfaceId) override;

  const char* GetTargetPath(int index) override;
  int SetTargetPath(int index, const char* text) override;
  bool IsTargetSelected(int index) override;
  int SetTargetSelected(int index, bool on) override;
  int Run() override;

  // The form's dialog procedure.
  MessageResult HandleMessage(unsigned message, MessageParam1 first, MessageParam2 second) override;

 private:
  ToolboxInstallForm form_;
  ToolboxInstallWin32View view_;
};

}  // namespace VLN2
