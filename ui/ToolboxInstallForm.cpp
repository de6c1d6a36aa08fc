#include "ui/ToolboxInstallForm.h"

#include <cstring>

#include "framework/Allocator.h"
#include "framework/ElementRef.h"
#include "framework/String.h"
#include "installer/Targets.h"
#include "installer/Uninstaller.h"
#include "system/FileFunc.h"
#include "system/SystemApp.h"
#include "ui/GUI_LicenseDisplay.h"

namespace VLN2 {

namespace {

constexpr int kCancelId = 2;  // IDCANCEL: Cancel, Escape and the close box
constexpr const char* kBrowseTitle = "Locate folder";
constexpr const char* kFormCaption = "VorlaneBox Installation";
constexpr const char* kTooLongText =
    "The folder name is too long. Please choose a folder with a shorter name.";
constexpr const char* kUnnamableText =
    "The folder name holds characters that cannot be used on this system. Please choose "
    "another folder.";

const FormTarget kTargets[kTargetCount] = {
    {1, 1, "3D Studio Max 3 or Autodesk Viz 3", " 3D Studio Max 3 or Autodesk Viz 3", 0},
    {1, 2, "3D Studio Max 4 or Autodesk Viz 4", " 3D Studio Max 4 or Autodesk Viz 4", 0},
    {1, 3, "3D Studio Max 5", " 3D Studio Max 5", 0},
    {1, 4, "3D Studio Max 6 or Autodesk Viz 5", " 3D Studio Max 6 or Autodesk Viz 5", 0},
    {1, 5, "3D Studio Max 7", " 3D Studio Max 7", 0},
    {1, 6, "3D Studio Max 8", " 3D Studio Max 8", 0},
    {1, 7, "3D Studio Max 9", " 3D Studio Max 9", 0},
    {4, 1, "MicroStation", " Microstation", 3},
    {2, 1, "ArchiCAD 9", " ArchiCAD R9", 1},
    {2, 2, "ArchiCAD 10", " ArchiCAD R10", 1},
    {3, 1, "Cinema 4D R8", " Cinema4D R8", 2},
    {3, 2, "Cinema4D R9", " Cinema4D R9", 2},
    {3, 3, "Cinema4D R10", " Cinema4D R10", 2},
    {5, 1, "Vorlane SDK", " Vorlane SDK", 4},
};

const FormPage kPages[ToolboxInstallForm::kPageCount] = {
    {"Installation overview", -1, nullptr, 0},
    {"3D Studio Max", 0,
     "To install VorlaneBox for 3D Studio Max or Autodesk Viz, make sure that the installation "
     "path points to the 'plugins' folder",
     IDB_PAGE_3DSMAX},
    {"ArchiCAD", 1,
     "To install VorlaneBox for ArchiCAD, please make sure that the installation path point to "
     "the 'Add-Ons' folder",
     IDB_PAGE_ARCHICAD},
    {"Cinema 4D", 2,
     "To install VorlaneBox for Cinema4D, please make sure that the installation path points to "
     "the folder where the Cinema4D.exe file is located",
     IDB_PAGE_CINEMA4D},
    {"MicroStation", 3,
     "To install VorlaneBox for MicroStation, please make sure that the installation path point "
     "to the 'mdlapps' folder",
     IDB_PAGE_MICROSTATION},
    {"Vorlane SDK", 4,
     "To install Vorlane SDK please make sure that the installation path point to where you "
     "want to install the SDK",
     IDB_PAGE_SDK},
};

// The target shown in a row of a page, or -1.
int TargetAt(int page, int row) {
  for (int index = 0; index < kTargetCount; ++index)
    if (kTargets[index].page == page && kTargets[index].row == row) return index;
  return -1;
}

// The row whose control of the given kind (0 box, 1 field, 2 Browse) has id, or 0.
int RowOf(int id, int kind) {
  for (int row = 1; row <= kRowCount; ++row)
    if (RowCheckId(row) + kind == id) return row;
  return 0;
}

}  // namespace

const int kOverviewOrder[kTargetCount] = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 7, 13};

const FormTarget& GetFormTarget(int index) { return kTargets[index]; }
const FormPage& GetFormPage(int page) { return kPages[page]; }

ToolboxInstallForm::ToolboxInstallForm(Core* core) : core_(core) {}

ToolboxInstallForm::~ToolboxInstallForm() { Release(); }

int ToolboxInstallForm::Init() {
  folders_ = static_cast<String**>(Allocate(kTargetCount * sizeof(String*)));
  if (!folders_) return 1;
  std::memset(folders_, 0, kTargetCount * sizeof(String*));
  selected_ = static_cast<int*>(Allocate(kTargetCount * sizeof(int)));
  if (!selected_) return 1;
  std::memset(selected_, 0, kTargetCount * sizeof(int));
  for (int index = 0; index < kTargetCount; ++index) {
    folders_[index] = static_cast<String*>(core_->CreateElement(kStringType, 0));
    if (!folders_[index]) return 1;
  }
  return 0;
}

void ToolboxInstallForm::Release() {
  if (folders_) {
    for (int index = 0; index < kTargetCount; ++index) ReleaseElement(folders_[index]);
    Free(folders_);
    folders_ = nullptr;
  }
  Free(selected_);
  selected_ = nullptr;
}

// The caller keeps to 0 to 13; an index outside is refused rather than read past the arrays.
const char* ToolboxInstallForm::GetTargetPath(int index) {
  if (index < 0 || index >= kTargetCount || !folders_ || !folders_[index]) return nullptr;
  return folders_[index]->GetText();
}

int ToolboxInstallForm::SetTargetPath(int index, const char* text) {
  if (index < 0 || index >= kTargetCount || !folders_ || !folders_[index]) return 1;
  String* folder = folders_[index];
  if (folder->SetText(text) != 0) return 1;
  int length = folder->GetLength();
  if (length > 1) {
    char last = folder->GetText()[length - 1];
    if (last != '\\' && last != '/' && folder->Append("\\") != 0) return 1;
  }
  return 0;
}

bool ToolboxInstallForm::IsTargetSelected(int index) {
  if (index < 0 || index >= kTargetCount || !selected_) return false;
  return selected_[index] != 0;
}

int ToolboxInstallForm::SetTargetSelected(int index, bool on) {
  if (index < 0 || index >= kTargetCount || !selected_) return 1;
  selected_[index] = on ? 1 : 0;
  return 0;
}

void ToolboxInstallForm::OnInit(ToolboxInstallView* view) {
  view_ = view;
  // Without an application object the form shows only what its template holds.
  if (!view_ || !core_->GetSystemApp()) return;
  DecideInstallOrUpdate();
  view_->PrepareControls();
  view_->AddListColumn(0, "Program", 207);
  view_->AddListColumn(1, "Install path", 480);
  for (int page = 0; page < kPageCount; ++page)
    view_->AddTab(page, kPages[page].tabText, kPages[page].tabIcon);
  currentPage_ = -1;
  SwitchToPage(0);
}

// An earlier installation left its record in the toolbox folder: the form offers "Update",
// usable at once.
void ToolboxInstallForm::DecideInstallOrUpdate() {
  ElementRef<String> record(static_cast<String*>(core_->CreateElement(kStringType, 0)));
  if (!record) return;
  const char* toolbox = core_->GetSystemApp()->GetToolboxFolder();
  // A path that could not be built in full must not be mistaken for the record.
  bool update = toolbox && record->SetText(toolbox) == 0 && record->Append(kRecordName) == 0 &&
                PathExists(record->GetText()) == 0;
  if (update) {
    view_->SetControlText(IDC_INSTALL, "Update");
    view_->EnableControl(IDC_INSTALL, true);
    view_->SetChecked(IDC_ACCEPT, true);
    accepted_ = true;
  } else {
    view_->SetControlText(IDC_INSTALL, "Install");
  }
}

void ToolboxInstallForm::OnTabChanged(int page) {
  if (view_) SwitchToPage(page);
}

void ToolboxInstallForm::SwitchToPage(int page) {
  if (page < 0 || page >= kPageCount) return;
  SavePage();
  if (page == 0)
    BuildOverview();
  else
    BuildHostPage(page);
  currentPage_ = page;
}

// Leaving a page is the only moment its controls are copied into the data.
void ToolboxInstallForm::SavePage() {
  if (currentPage_ <= 0) return;
  for (int row = 1; row <= kRowCount; ++row) {
    int target = TargetAt(currentPage_, row);
    if (target < 0) continue;
    char text[kFolderFieldSize];
    fieldTaken_[target] = view_->GetControlText(RowFolderId(row), text, sizeof text);
    SetTargetPath(target, text);
    SetTargetSelected(target, view_->IsChecked(RowCheckId(row)));
  }
}

void ToolboxInstallForm::BuildOverview() {
  view_->ClearList();
  int row = 0;
  for (int index : kOverviewOrder) {
    if (!IsTargetSelected(index)) continue;
    const char* folder = GetTargetPath(index);
    view_->AddListRow(row++, kTargets[index].overviewText, kTargets[index].icon,
                      folder ? folder : "");
  }
  view_->ShowControl(IDC_OVERVIEW, true);
  view_->ShowControl(IDC_OVERVIEW_CAPTION, true);
  for (int id = IDC_ROW1_CHECK; id <= IDC_PAGE_PICTURE; ++id) view_->ShowControl(id, false);
  view_->ShowControl(IDC_HINT, false);
}

void ToolboxInstallForm::BuildHostPage(int page) {
  view_->SetControlText(IDC_HINT, kPages[page].hint);
  view_->ShowControl(IDC_HINT, true);
  for (int row = 1; row <= kRowCount; ++row) {
    int target = TargetAt(page, row);
    if (target < 0) continue;
    view_->ShowControl(RowCheckId(row), true);
    view_->ShowControl(RowFolderId(row), true);
    view_->ShowControl(RowBrowseId(row), true);
    const char* folder = GetTargetPath(target);
    view_->SetControlText(RowFolderId(row), folder ? folder : "");
    view_->SetControlText(RowCheckId(row), kTargets[target].checkText);
    // Set after the text: the automatic check that setting the text triggers must not last.
    view_->SetChecked(RowCheckId(row), IsTargetSelected(target));
  }
  for (int row = 1; row <= kRowCount; ++row) {
    if (TargetAt(page, row) >= 0) continue;
    view_->ShowControl(RowCheckId(row), false);
    view_->ShowControl(RowFolderId(row), false);
    view_->ShowControl(RowBrowseId(row), false);
  }
  view_->ShowControl(IDC_OVERVIEW, false);
  view_->ShowControl(IDC_OVERVIEW_CAPTION, false);
  view_->SetPicture(IDC_PAGE_PICTURE, kPages[page].picture);
  view_->ShowControl(IDC_PAGE_PICTURE, true);
}

void ToolboxInstallForm::OnCommand(int id) {
  if (id == IDC_VIEW_LICENSE) {
    ShowTerms();
    return;
  }
  if (!view_) return;
  if (id == IDC_INSTALL) {
    SavePage();
    if (SelectedFoldersFit()) view_->EndForm(kResultInstall);
  } else if (id == kCancelId) {
    view_->EndForm(kResultCancel);
  } else if (id == IDC_ACCEPT) {
    ToggleAcceptance();
  } else if (int row = RowOf(id, 2)) {
    Browse(row);
  }
}

// The acceptance box does not toggle itself: Install is enabled exactly while it is checked.
void ToolboxInstallForm::ToggleAcceptance() {
  accepted_ = !view_->IsChecked(IDC_ACCEPT);
  view_->EnableControl(IDC_INSTALL, accepted_);
  view_->SetChecked(IDC_ACCEPT, accepted_);
}

// A fresh terms box for every showing: a box is shown only once.
void ToolboxInstallForm::ShowTerms() {
  ElementRef<Element> terms(core_->CreateElement(kGUI_LicenseDisplayType, 0));
  GUI_LicenseDisplay* display = CastTo<GUI_LicenseDisplay>(terms.get());
  if (display) display->Show();
}

void ToolboxInstallForm::Browse(int row) {
  char path[kFolderFieldSize] = {};
  ToolboxInstallView::Taken taken = view_->BrowseForFolder(kBrowseTitle, path, sizeof path);
  if (taken == ToolboxInstallView::Taken::kWhole && !FolderFits(path))
    taken = ToolboxInstallView::Taken::kTooLong;
  if (taken == ToolboxInstallView::Taken::kWhole) {
    view_->SetChecked(RowCheckId(row), true);
    view_->SetControlText(RowFolderId(row), path);
  } else {
    ShowRefusal(taken);
  }
}

// A folder is never cut into the name of another one, nor taken with characters replaced:
// Install waits.
bool ToolboxInstallForm::SelectedFoldersFit() {
  for (int index = 0; index < kTargetCount; ++index) {
    const char* folder = GetTargetPath(index);
    if (!IsTargetSelected(index)) continue;
    if (fieldTaken_[index] != ToolboxInstallView::Taken::kWhole) {
      ShowRefusal(fieldTaken_[index]);
      return false;
    }
    if (folder && !FolderFits(folder)) {
      ShowRefusal(ToolboxInstallView::Taken::kTooLong, folder);
      return false;
    }
  }
  return true;
}

// Says why a folder cannot be used; nothing for a picker closed without a choice.
void ToolboxInstallForm::ShowRefusal(ToolboxInstallView::Taken why, const char* folder) {
  if (why != ToolboxInstallView::Taken::kTooLong && why != ToolboxInstallView::Taken::kUnnamable)
    return;
  SystemApp* app = core_->GetSystemApp();
  ElementRef<String> message(static_cast<String*>(core_->CreateElement(kStringType, 0)));
  const char* text = why == ToolboxInstallView::Taken::kTooLong ? kTooLongText : kUnnamableText;
  if (!app || !message || message->SetText(text) != 0) return;
  if (folder && (message->Append("\n\n") != 0 || message->Append(folder) != 0)) return;
  app->ShowError(message->GetText(), kFormCaption);
}

// Editing a folder selects its row; it never clears a box.
void ToolboxInstallForm::OnFieldChanged(int id) {
  int row = RowOf(id, 1);
  if (!view_ || !row) return;
  if (!view_->IsChecked(RowCheckId(row))) view_->SetChecked(RowCheckId(row), true);
}

void ToolboxInstallForm::OnDestroyed() { view_ = nullptr; }

}  // namespace VLN2
