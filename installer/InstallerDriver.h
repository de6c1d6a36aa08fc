// The installer's one run: detect the hosts, run the form, and when the user confirms
// with Install, copy the embedded archive out and install every chosen target.
#pragma once

#include "framework/ElementImp.h"
#include "system/port/Port.h"

namespace VLN2 {

class GUI_ToolboxInstall;

class InstallerDriver : public ElementStorage {
 public:
  explicit InstallerDriver(Core* core) : core_(core) {}

  // 0 when the user confirmed with Install (an installation was carried out); 1 when the
  // form could not be created or was closed any other way.
  int RunInstallation();

 private:
  // Proposes a folder and selects the target of every host found in the registry, and
  // proposes the SDK folder.
  void DetectHosts(GUI_ToolboxInstall* form);
  // Removes the previous installation, installs the selected targets, reports, records.
  void Install(GUI_ToolboxInstall* form);

  Core* core_;
};

// The program: builds the Core and the application object, runs the installer once and
// tears everything down. The exit code: 0 after Cancel, 1 after an installation and when
// start-up failed.
int RunProgram(Port::ModuleHandle module);

}  // namespace VLN2
