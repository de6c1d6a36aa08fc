// GUI_LicenseDisplayImp: the terms box. Shows the licence agreement, carried as resource
// "TXT" 104, exactly as stored, in a modal box with a "Close" button.
#pragma once

#include "ui/GUI_LicenseDisplay.h"
#include "ui/WindowImp.h"

namespace VLN2 {

class GUI_LicenseDisplayImp : public WindowImp, public GUI_LicenseDisplay {
 public:
  explicit GUI_LicenseDisplayImp(Core* core);

  void* Cast(int interfaceId) override;
  // Runs box 103 once; 0 when it is closed, whatever its result.
  int Show() override;
  MessageResult HandleMessage(unsigned message, MessageParam1 first, MessageParam2 second) override;

 private:
  void FillText();
};

}  // namespace VLN2
