// Runs the installation form the way the installer's driver does and prints what it hands
// back, for FormDriver to check.
// Arguments: "<index>=<folder>" for each detected target (selected with that folder);
// "noapp" runs without an application object.
// Output: "run=<Run's result>", one "target <i> selected=<0|1> path=<folder or (null)>" line
// per target, and "again=<a second Run's result>". The exit code is Run's result.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/CoreImp.h"
#include "framework/String.h"
#include "installer/ClassTable.h"
#include "installer/Targets.h"
#include "system/SystemAppImp.h"
#include "ui/GUI_ToolboxInstall.h"

using namespace VLN2;

int main(int argc, char** argv) {
  bool withApp = true;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "noapp") == 0) withApp = false;

  auto* core = new CoreImp(kClassTable, kClassCount);
  SystemApp* app = nullptr;
  if (withApp) {
    app = new SystemAppImp(core, GetModuleHandleA(nullptr), nullptr, 0);
    app->Init();
    core->SetSystemApp(app);
  }

  Element* component = core->CreateElement(kGUI_ToolboxInstallType, 0);
  GUI_ToolboxInstall* form = CastTo<GUI_ToolboxInstall>(component);
  if (!form) {
    std::printf("no form component\n");
    return 3;
  }
  for (int i = 1; i < argc; ++i) {
    const char* equals = std::strchr(argv[i], '=');
    if (!equals) continue;
    int index = std::atoi(argv[i]);
    form->SetTargetPath(index, equals + 1);
    form->SetTargetSelected(index, true);
  }
  // As the driver: the SDK folder is always proposed, never selected.
  if (app) {
    std::string sdk = std::string(app->GetBaseFolder() ? app->GetBaseFolder() : "") + "SDK\\";
    form->SetTargetPath(kTargetSDK, sdk.c_str());
  }

  int result = form->Run();
  std::printf("run=%d\n", result);
  for (int index = 0; index < kTargetCount; ++index) {
    const char* path = form->GetTargetPath(index);
    std::printf("target %d selected=%d path=%s\n", index, form->IsTargetSelected(index) ? 1 : 0,
                path ? path : "(null)");
  }
  // A component shows its form once.
  std::printf("again=%d\n", form->Run());
  std::fflush(stdout);

  core->ReleaseElement(&component);
  core->Destroy();
  delete core;
  return result;
}
