// The installation form's Win32 view: moves data between the form model and the dialog's
// controls, and owns the page pictures while the dialog lives.
#pragma once

#include "ui/ToolboxInstallForm.h"
#include "ui/Window.h"

struct HBITMAP__;
struct HBRUSH__;
struct HDC__;

namespace VLN2 {

class ToolboxInstallWin32View : public ToolboxInstallView {
 public:
  // module: where the bitmaps are loaded from (null = the program).
  void Attach(WindowHandle dialog, void* module);
  // Deletes the page pictures and brushes (the dialog is being destroyed).
  void DeleteObjects();
  // The background for a control drawn over the tab strip's page area: the page's own look
  // (a themed page is not the dialog's colour). Null for other controls.
  HBRUSH__* PageBackground(WindowHandle control, HDC__* dc);

  void SetControlText(int id, const char* text) override;
  Taken GetControlText(int id, char* buffer, int size) override;
  void SetChecked(int id, bool checked) override;
  bool IsChecked(int id) override;
  void ShowControl(int id, bool show) override;
  void EnableControl(int id, bool enable) override;
  void PrepareControls() override;
  void SetPicture(int id, int bitmapId) override;
  void AddListColumn(int column, const char* text, int width) override;
  void ClearList() override;
  void AddListRow(int row, const char* text, int icon, const char* folder) override;
  void AddTab(int index, const char* text, int icon) override;
  Taken BrowseForFolder(const char* title, char* path, int size) override;
  void EndForm(int result) override;

 private:
  static constexpr int kPictureCount = 5;
  WindowHandle dialog_ = nullptr;
  void* module_ = nullptr;
  HBITMAP__* pictures_[kPictureCount] = {};
  HBITMAP__* pageBitmap_ = nullptr;
  HBRUSH__* pageBrush_ = nullptr;
};

}  // namespace VLN2
