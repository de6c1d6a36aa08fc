#include "ui/GUI_ToolboxInstallImp.h"

#include <windows.h>
// After windows.h:
#include <commctrl.h>

#include "system/SystemApp.h"

namespace VLN2 {

GUI_ToolboxInstallImp::GUI_ToolboxInstallImp(Core* core)
    : WindowImp(core, kGUI_ToolboxInstallType), form_(core) {}

int GUI_ToolboxInstallImp::Init() { return form_.Init(); }

int GUI_ToolboxInstallImp::Destroy() {
  form_.Release();
  delete this;
  return 0;
}

void* GUI_ToolboxInstallImp::Cast(int interfaceId) {
  if (interfaceId == kGUI_ToolboxInstallInterface) return static_cast<GUI_ToolboxInstall*>(this);
  return nullptr;
}

const char* GUI_ToolboxInstallImp::GetTargetPath(int index) { return form_.GetTargetPath(index); }

int GUI_ToolboxInstallImp::SetTargetPath(int index, const char* text) {
  return form_.SetTargetPath(index, text);
}

bool GUI_ToolboxInstallImp::IsTargetSelected(int index) { return form_.IsTargetSelected(index); }

int GUI_ToolboxInstallImp::SetTargetSelected(int index, bool on) {
  return form_.SetTargetSelected(index, on);
}

int GUI_ToolboxInstallImp::Run() {
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&classes);
  return RunDialog(IDD_INSTALL) == ToolboxInstallForm::kResultInstall ? 0 : 1;
}

MessageResult GUI_ToolboxInstallImp::HandleMessage(unsigned message, MessageParam1 first,
                                                   MessageParam2 second) {
  switch (message) {
    case WM_INITDIALOG: {
      SystemApp* app = core_->GetSystemApp();
      view_.Attach(GetHandle(), app ? app->GetInstance() : nullptr);
      form_.OnInit(&view_);
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(second);
      if (header->idFrom == IDC_TABS && header->code == static_cast<UINT>(TCN_SELCHANGE))
        form_.OnTabChanged(static_cast<int>(SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
      return FALSE;
    }
    case WM_COMMAND:
      if (HIWORD(first) == EN_CHANGE)
        form_.OnFieldChanged(LOWORD(first));
      else if (HIWORD(first) == 0)
        form_.OnCommand(LOWORD(first));
      return FALSE;
    case WM_CTLCOLORSTATIC:
      // Dialog procedures hand the background brush back as their result.
      return reinterpret_cast<MessageResult>(
          view_.PageBackground(reinterpret_cast<HWND>(second), reinterpret_cast<HDC>(first)));
    case WM_DESTROY:
      view_.DeleteObjects();
      form_.OnDestroyed();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace VLN2
