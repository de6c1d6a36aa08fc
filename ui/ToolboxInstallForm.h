// The installation form's model: the 14 targets' folders and selected flags, the current
// page and the acceptance state, and what the form does on each event. Plain C++: it talks
// to its platform view only through ToolboxInstallView, which the Win32 view implements and
// tests fake.
#pragma once

#include "framework/VLN2.h"
#include "installer/FolderText.h"
#include "resources/resource.h"

namespace VLN2 {

class String;

// What the model asks of the form's controls. Control ids are those of resources/resource.h.
class ToolboxInstallView {
 public:
  virtual ~ToolboxInstallView() = default;
  // How a text the platform hands over was taken: whole, not at all, or refused because the
  // program's texts cannot carry it exactly or it does not fit.
  enum class Taken { kWhole, kNothing, kUnnamable, kTooLong };

  virtual void SetControlText(int id, const char* text) = 0;
  // kWhole with the text in buffer (at most size - 1 bytes, zero-terminated); otherwise the
  // buffer holds "" and the result says why. Never a part of the text.
  virtual Taken GetControlText(int id, char* buffer, int size) = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  virtual bool IsChecked(int id) = 0;
  virtual void ShowControl(int id, bool show) = 0;
  virtual void EnableControl(int id, bool enable) = 0;
  // Once at initialisation: loads the page pictures and the small icons (attached to the
  // list and the tab strip) and turns on the list's full-row selection.
  virtual void PrepareControls() = 0;
  // Shows page picture bitmapId in picture control id.
  virtual void SetPicture(int id, int bitmapId) = 0;
  virtual void AddListColumn(int column, const char* text, int width) = 0;
  virtual void ClearList() = 0;
  // Row row of the overview: text and small icon in column 0, folder in column 1.
  virtual void AddListRow(int row, const char* text, int icon, const char* folder) = 0;
  // icon -1: none.
  virtual void AddTab(int index, const char* text, int icon) = 0;
  // The platform's folder picker owned by the form; kWhole with the picked folder's path,
  // kNothing when none was picked.
  virtual Taken BrowseForFolder(const char* title, char* path, int size) = 0;
  // Ends the form; result becomes Run's dialog result.
  virtual void EndForm(int result) = 0;
};

class ToolboxInstallForm {
 public:
  static constexpr int kPageCount = 6;
  // The result the form ends with for Install and for Cancel.
  static constexpr int kResultInstall = 106;
  static constexpr int kResultCancel = 2;

  explicit ToolboxInstallForm(Core* core);
  ~ToolboxInstallForm();
  ToolboxInstallForm(const ToolboxInstallForm&) = delete;
  ToolboxInstallForm& operator=(const ToolboxInstallForm&) = delete;

  // Creates the 14 folder strings and the flag array; 1 when any of them cannot be had.
  int Init();
  // Releases the strings and frees the arrays; safe after a failed Init.
  void Release();

  // Index 0 to 13; outside that range nothing is read or stored.
  const char* GetTargetPath(int index);
  // Stores the text; one longer than one character gets a backslash appended unless it
  // ends in a backslash or a slash. 1 when the text or the backslash could not be stored.
  int SetTargetPath(int index, const char* text);
  bool IsTargetSelected(int index);
  int SetTargetSelected(int index, bool on);

  // Events of the form, as its view reports them.
  void OnInit(ToolboxInstallView* view);
  void OnTabChanged(int page);
  // A button click (notification 0).
  void OnCommand(int id);
  // The text of field id changed (typed, pasted or set by the program).
  void OnFieldChanged(int id);
  void OnDestroyed();

  // -1 before initialisation, then the tab index 0 to 5.
  int GetCurrentPage() const { return currentPage_; }
  // Whether the acceptance box was last set checked (Install usable).
  bool IsAccepted() const { return accepted_; }

 private:
  void SwitchToPage(int page);
  void SavePage();
  void BuildOverview();
  void BuildHostPage(int page);
  void ToggleAcceptance();
  void ShowTerms();
  void Browse(int row);
  bool SelectedFoldersFit();
  void ShowRefusal(ToolboxInstallView::Taken why, const char* folder = nullptr);
  void DecideInstallOrUpdate();

  Core* core_;
  String** folders_ = nullptr;
  int* selected_ = nullptr;
  // How each target's field was last read: a folder that was not taken whole is refused.
  ToolboxInstallView::Taken fieldTaken_[14] = {};
  int currentPage_ = -1;
  bool accepted_ = false;
  ToolboxInstallView* view_ = nullptr;
};

// The form's fixed texts and layout, for the view and for tests.
struct FormTarget {
  int page;  // tab 1 to 5
  int row;   // 1 = top row
  const char* checkText;
  const char* overviewText;
  int icon;  // index in the small image list
};
struct FormPage {
  const char* tabText;
  int tabIcon;  // -1: none
  const char* hint;
  int picture;  // bitmap id, 0: none
};
const FormTarget& GetFormTarget(int index);
const FormPage& GetFormPage(int page);
// The overview lists selected targets in this order of target index (the order of pages).
extern const int kOverviewOrder[14];
// Ids of a row's controls (row 1 to 8).
constexpr int kRowCount = 8;
inline int RowCheckId(int row) { return IDC_ROW1_CHECK + 3 * (row - 1); }
inline int RowFolderId(int row) { return RowCheckId(row) + 1; }
inline int RowBrowseId(int row) { return RowCheckId(row) + 2; }

}  // namespace VLN2
