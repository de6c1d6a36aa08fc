// GUI_LicenseDisplay: the view of the terms box component.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

class GUI_LicenseDisplay {
 public:
  static constexpr int kInterfaceId = kGUI_LicenseDisplayInterface;
  virtual ~GUI_LicenseDisplay() = default;
  // Shows the terms modally; 0 when the box is closed.
  virtual int Show() = 0;
};

}  // namespace VLN2
