// An application object for tests: folders chosen by the test, message boxes recorded.
#pragma once

#include <string>
#include <vector>

#include "framework/ElementImp.h"
#include "system/SystemApp.h"

namespace VLN2 {

class FakeSystemApp : public ElementImp<SystemApp> {
 public:
  struct Box {
    std::string text, caption;
  };

  // base: the base folder, ending in a backslash; the toolbox folder is base + "Toolbox\".
  // An empty base or temp leaves those folders absent.
  FakeSystemApp(Core* core, const std::string& base, const std::string& temp)
      : ElementImp(core, kSystemAppType),
        base_(base),
        toolbox_(base.empty() ? "" : base + "Toolbox\\"),
        temp_(temp) {}

  std::vector<Box> boxes;

  Port::ModuleHandle GetInstance() override { return nullptr; }
  void SetInstance(Port::ModuleHandle) override {}
  const char* GetCommandLineText() override { return nullptr; }
  int SetCommandLineText(const char*) override { return 0; }
  const char* GetModuleFolder() override { return nullptr; }
  void SetModuleFolder(const char*) override {}
  const char* GetMachineName() override { return nullptr; }
  void SetMachineName(const char*) override {}
  const char* GetOsProductName() override { return nullptr; }
  void SetOsProductName(const char*) override {}
  const char* GetBaseFolder() override { return Folder(base_); }
  const char* GetToolboxFolder() override { return Folder(toolbox_); }
  const char* GetViewerFolder() override { return nullptr; }
  const char* GetTempFolder() override { return Folder(temp_); }
  int ShowError(const char* text, const char* caption) override { return Record(text, caption); }
  int ShowInfo(const char* text, const char* caption) override { return Record(text, caption); }
  int ClearTempFolder() override { return 0; }
  int ShellOpen(const char*) override { return 0; }
  int WaitForInput(int) override { return 0; }

 private:
  static const char* Folder(const std::string& folder) {
    return folder.empty() ? nullptr : folder.c_str();
  }
  int Record(const char* text, const char* caption) {
    boxes.push_back({text ? text : "", caption ? caption : ""});
    return 1;
  }
  std::string base_, toolbox_, temp_;
};

}  // namespace VLN2
