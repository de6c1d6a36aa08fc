// The installation form's model against a fake view that behaves like the dialog's
// controls: edit fields report every change of their text, row boxes toggle when clicked,
// the acceptance box does not.
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "framework/String.h"
#include "installer/Targets.h"
#include "system/SystemApp.h"
#include "ui/ToolboxInstallForm.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/FakeSystemApp.h"
#include "unit/support/Sandbox.h"

namespace VLN2 {
namespace {

struct Control {
  std::string text;
  bool checked = false;
  bool visible = false;
  bool enabled = true;
};

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

struct Row {
  std::string text;
  int icon;
  std::string folder;
};

class FakeView : public ToolboxInstallView {
 public:
  explicit FakeView(ToolboxInstallForm* form) : form_(form) {
    // The template's initial state.
    for (int row = 1; row <= kRowCount; ++row) {
      controls_[RowCheckId(row)].text =
          row <= 7 ? GetFormTarget(row - 1).checkText : GetFormTarget(0).checkText;
      controls_[RowFolderId(row)];
      controls_[RowBrowseId(row)].text = "Browse";
    }
    controls_[IDC_INSTALL].text = "Install";
    controls_[IDC_INSTALL].enabled = false;
    controls_[IDC_INSTALL].visible = true;
    controls_[IDC_ACCEPT].visible = true;
    controls_[IDC_OVERVIEW].enabled = false;
    controls_[IDC_PAGE_PICTURE];
    controls_[IDC_OVERVIEW_CAPTION];
    controls_[IDC_HINT];
  }

  // --- ToolboxInstallView
  void SetControlText(int id, const char* text) override {
    controls_[id].text = text;
    if (IsField(id)) form_->OnFieldChanged(id);  // EN_CHANGE, also for the program's text
  }
  Taken GetControlText(int id, char* buffer, int size) override {
    ++reads_[id];
    buffer[0] = '\0';
    const std::string& text = controls_[id].text;
    if (unnamable_.count(id)) return Taken::kUnnamable;
    if (text.size() + 1 > static_cast<std::size_t>(size)) return Taken::kTooLong;
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    return Taken::kWhole;
  }
  void SetChecked(int id, bool checked) override { controls_[id].checked = checked; }
  bool IsChecked(int id) override { return controls_[id].checked; }
  void ShowControl(int id, bool show) override { controls_[id].visible = show; }
  void EnableControl(int id, bool enable) override { controls_[id].enabled = enable; }
  void PrepareControls() override { ++prepared_; }
  void SetPicture(int id, int bitmapId) override { pictures_[id] = bitmapId; }
  void AddListColumn(int column, const char* text, int width) override {
    columns_.push_back(std::to_string(column) + ":" + text + ":" + std::to_string(width));
  }
  void ClearList() override { rows_.clear(); }
  void AddListRow(int row, const char* text, int icon, const char* folder) override {
    EXPECT_EQ(row, static_cast<int>(rows_.size())) << "rows are added without gaps";
    rows_.push_back({text, icon, folder});
  }
  void AddTab(int index, const char* text, int icon) override {
    EXPECT_EQ(index, static_cast<int>(tabs_.size()));
    tabs_.push_back({text, icon, ""});
  }
  Taken BrowseForFolder(const char* title, char* path, int size) override {
    browseTitles_.push_back(title);
    if (!browseAnswer_) return browseRefusal_;
    std::string answer = browseAnswer_;
    if (answer.size() + 1 > static_cast<std::size_t>(size)) return Taken::kTooLong;
    answer.copy(path, answer.size());
    path[answer.size()] = '\0';
    return Taken::kWhole;
  }
  void EndForm(int result) override { results_.push_back(result); }

  // --- What a person does
  void Type(int id, const std::string& text) {
    controls_[id].text = text;
    form_->OnFieldChanged(id);
  }
  // A row's box toggles by itself and then reports the click.
  void ClickRowBox(int row) {
    controls_[RowCheckId(row)].checked = !controls_[RowCheckId(row)].checked;
    form_->OnCommand(RowCheckId(row));
  }
  void Click(int id) { form_->OnCommand(id); }
  void SelectTab(int page) { form_->OnTabChanged(page); }

  static bool IsField(int id) {
    for (int row = 1; row <= kRowCount; ++row)
      if (id == RowFolderId(row)) return true;
    return false;
  }

  std::map<int, Control> controls_;
  std::map<int, int> reads_;
  std::map<int, int> pictures_;
  std::vector<std::string> columns_;
  std::vector<Row> rows_;
  std::vector<Row> tabs_;
  std::vector<std::string> browseTitles_;
  std::vector<int> results_;
  const char* browseAnswer_ = nullptr;
  Taken browseRefusal_ = Taken::kNothing;  // the picker's answer without a folder
  std::set<int> unnamable_;                // fields whose text the program cannot carry
  int prepared_ = 0;

 private:
  ToolboxInstallForm* form_;
};

class ToolboxInstallFormTest : public CoreFixture {
 protected:
  void TearDown() override {
    view_.reset();
    form_.reset();
    sandbox_.reset();
    CoreFixture::TearDown();
  }
  // Registers an application object whose base folder is the given one (its toolbox folder
  // is base + "Toolbox\"; none with an empty base).
  void UseApp(const std::string& base) {
    auto* app = new FakeSystemApp(core_, base, "");
    ASSERT_NE(app, nullptr);
    core_->SetSystemApp(app);
  }
  // The start of most tests: an application object whose base folder is a fresh sandbox,
  // and a form not yet initialised. The test initialises it, may set targets as the driver
  // does, and then shows it with OpenView.
  ToolboxInstallForm& NewForm() {
    sandbox_ = std::make_unique<Sandbox>();
    UseApp(sandbox_->Root());
    form_ = std::make_unique<ToolboxInstallForm>(core_);
    return *form_;
  }
  // The form of NewForm in a fake view, after the dialog's initialisation.
  FakeView& OpenView() {
    view_ = std::make_unique<FakeView>(form_.get());
    form_->OnInit(view_.get());
    return *view_;
  }
  // What the driver does when it detected nothing: only the SDK folder, unselected.
  static void FillAsDriver(ToolboxInstallForm& form) {
    ASSERT_EQ(form.SetTargetPath(kTargetSDK, "C:\\Program Files\\Vorlane\\SDK\\"), 0);
  }
  static std::string Path(ToolboxInstallForm& form, int index) {
    const char* text = form.GetTargetPath(index);
    return text ? text : "(null)";
  }
  static std::string Texts(const std::vector<Row>& rows) {
    std::string all;
    for (const Row& row : rows) all += "[" + row.text + "|" + row.folder + "]";
    return all;
  }

  std::unique_ptr<Sandbox> sandbox_;
  std::unique_ptr<ToolboxInstallForm> form_;
  std::unique_ptr<FakeView> view_;
};

// ---------------------------------------------------------------------------------------
// The data: folders and selected flags

TEST_F(ToolboxInstallFormTest, StartsWithFourteenUnsetUnselectedTargets) {
  ToolboxInstallForm form(core_);
  ASSERT_EQ(form.Init(), 0);
  EXPECT_EQ(LiveElements(kStringType), kTargetCount);
  for (int index = 0; index < kTargetCount; ++index) {
    EXPECT_EQ(form.GetTargetPath(index), nullptr) << index;
    EXPECT_FALSE(form.IsTargetSelected(index)) << index;
  }
  EXPECT_EQ(form.GetCurrentPage(), -1);
  EXPECT_FALSE(form.IsAccepted());
}

TEST_F(ToolboxInstallFormTest, FolderGetsOneTrailingBackslash) {
  ToolboxInstallForm form(core_);
  ASSERT_EQ(form.Init(), 0);
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"D:\\Max", "D:\\Max\\"},
      {"D:\\Max\\", "D:\\Max\\"},
      {"E:\\Data/", "E:\\Data/"},
      {"D", "D"},
      {"\\", "\\"},
      {"", ""},
      {"ab", "ab\\"},
      {"C:", "C:\\"},
      {"C:\\a b\\c d", "C:\\a b\\c d\\"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(form.SetTargetPath(kTarget3dsMax9, c.in), 0) << c.in;
    EXPECT_EQ(Path(form, kTarget3dsMax9), c.out) << c.in;
  }
  EXPECT_EQ(form.SetTargetPath(kTargetSDK, nullptr), 0);
  EXPECT_EQ(Path(form, kTargetSDK), "");
}

TEST_F(ToolboxInstallFormTest, IndexOutsideTheTableIsRefused) {
  ToolboxInstallForm form(core_);
  ASSERT_EQ(form.Init(), 0);
  for (int index : {-1, kTargetCount, 1000}) {
    EXPECT_EQ(form.SetTargetPath(index, "C:\\x"), 1);
    EXPECT_EQ(form.GetTargetPath(index), nullptr);
    EXPECT_EQ(form.SetTargetSelected(index, true), 1);
    EXPECT_FALSE(form.IsTargetSelected(index));
  }
}

TEST_F(ToolboxInstallFormTest, InitReportsEveryAllocationFailureWithoutLeaking) {
  long made = SweepAllocationFailuresBothModes([this] {
    ToolboxInstallForm form(core_);
    int result = form.Init();
    if (AllocationFailureHit()) {
      EXPECT_EQ(result, 1);
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(LiveElements(kStringType), kTargetCount);
    }
  });
  EXPECT_GE(made, 2 + kTargetCount);
}

TEST_F(ToolboxInstallFormTest, SetTargetPathReportsAFailedCopyOrAppend) {
  ToolboxInstallForm form(core_);
  ASSERT_EQ(form.Init(), 0);
  // Each allocation fails in turn, until a run meets no failure.
  long n = 0;
  int result = 1;
  for (bool hit = true; hit;) {
    ASSERT_LT(n, 1000);
    FailAllocation(++n);
    result = form.SetTargetPath(kTarget3dsMax3, "D:\\Max");
    hit = AllocationFailureHit();
    FailAllocation(0);
    if (hit) {
      EXPECT_EQ(result, 1) << "allocation " << n;
      EXPECT_NE(Path(form, kTarget3dsMax3), "D:\\Max\\") << "allocation " << n;
    }
  }
  EXPECT_GT(n, 1) << "no allocation to fail";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Path(form, kTarget3dsMax3), "D:\\Max\\");
}

// ---------------------------------------------------------------------------------------
// Initialisation

TEST_F(ToolboxInstallFormTest, WithoutApplicationObjectOnlyTheTemplateShows) {
  ToolboxInstallForm form(core_);
  ASSERT_EQ(form.Init(), 0);
  form.SetTargetPath(kTarget3dsMax3, "C:\\Max");
  form.SetTargetSelected(kTarget3dsMax3, true);
  FakeView view(&form);
  form.OnInit(&view);
  EXPECT_EQ(view.prepared_, 0);
  EXPECT_TRUE(view.tabs_.empty());
  EXPECT_TRUE(view.columns_.empty());
  EXPECT_EQ(form.GetCurrentPage(), -1);
  EXPECT_EQ(view.controls_[IDC_INSTALL].text, "Install");
  EXPECT_FALSE(view.controls_[IDC_INSTALL].enabled);
  // The acceptance box still works, and Install saves nothing.
  view.Click(IDC_ACCEPT);
  EXPECT_TRUE(view.controls_[IDC_INSTALL].enabled);
  view.controls_[IDC_ROW1_FOLDER].text = "E:\\Other";
  view.Click(IDC_INSTALL);
  EXPECT_EQ(view.results_, std::vector<int>{ToolboxInstallForm::kResultInstall});
  EXPECT_TRUE(view.reads_.empty());
  EXPECT_EQ(Path(form, kTarget3dsMax3), "C:\\Max\\");
  EXPECT_TRUE(form.IsTargetSelected(kTarget3dsMax3));
}

TEST_F(ToolboxInstallFormTest, InitialisationBuildsTabsColumnsAndOverview) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  EXPECT_EQ(view.prepared_, 1);
  ASSERT_EQ(view.tabs_.size(), 6u);
  const char* texts[] = {"Installation overview", "3D Studio Max", "ArchiCAD", "Cinema 4D",
                         "MicroStation",          "Vorlane SDK"};
  const int icons[] = {-1, 0, 1, 2, 3, 4};
  for (int tab = 0; tab < 6; ++tab) {
    EXPECT_EQ(view.tabs_[tab].text, texts[tab]);
    EXPECT_EQ(view.tabs_[tab].icon, icons[tab]);
  }
  EXPECT_EQ(view.columns_, (std::vector<std::string>{"0:Program:207", "1:Install path:480"}));
  EXPECT_EQ(form.GetCurrentPage(), 0);
  EXPECT_TRUE(view.controls_[IDC_OVERVIEW].visible);
  EXPECT_TRUE(view.controls_[IDC_OVERVIEW_CAPTION].visible);
  EXPECT_FALSE(view.controls_[IDC_HINT].visible);
  for (int id = IDC_ROW1_CHECK; id <= IDC_PAGE_PICTURE; ++id)
    EXPECT_FALSE(view.controls_[id].visible) << id;
  // The list stays not interactive.
  EXPECT_FALSE(view.controls_[IDC_OVERVIEW].enabled);
}

TEST_F(ToolboxInstallFormTest, NothingDetectedShowsOnlyTheSdkFolderUnchecked) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FillAsDriver(form);
  FakeView& view = OpenView();
  EXPECT_TRUE(view.rows_.empty());
  EXPECT_EQ(view.controls_[IDC_INSTALL].text, "Install");
  EXPECT_FALSE(view.controls_[IDC_INSTALL].enabled);
  EXPECT_FALSE(view.controls_[IDC_ACCEPT].checked);
  for (int page = 1; page <= 5; ++page) {
    view.SelectTab(page);
    for (int row = 1; row <= kRowCount; ++row) {
      if (!view.controls_[RowCheckId(row)].visible) continue;
      EXPECT_FALSE(view.controls_[RowCheckId(row)].checked) << page << "/" << row;
      std::string expected = page == 5 ? "C:\\Program Files\\Vorlane\\SDK\\" : "";
      EXPECT_EQ(view.controls_[RowFolderId(row)].text, expected) << page << "/" << row;
    }
  }
  view.SelectTab(0);
  EXPECT_TRUE(view.rows_.empty());
  view.Click(IDC_INSTALL);
  for (int index = 0; index < kTargetCount; ++index) EXPECT_FALSE(form.IsTargetSelected(index));
  EXPECT_EQ(Path(form, kTargetSDK), "C:\\Program Files\\Vorlane\\SDK\\");
  EXPECT_EQ(Path(form, kTarget3dsMax3), "") << "saved from its empty field";
}

// ---------------------------------------------------------------------------------------
// Install or Update

TEST_F(ToolboxInstallFormTest, EarlierInstallationRecordOffersUpdate) {
  ToolboxInstallForm& form = NewForm();
  sandbox_->WriteFile("Toolbox\\Uninstall.info", "record");
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  EXPECT_EQ(view.controls_[IDC_INSTALL].text, "Update");
  EXPECT_TRUE(view.controls_[IDC_INSTALL].enabled);
  EXPECT_TRUE(view.controls_[IDC_ACCEPT].checked);
  EXPECT_TRUE(form.IsAccepted());
  view.Click(IDC_ACCEPT);
  EXPECT_FALSE(view.controls_[IDC_INSTALL].enabled);
  EXPECT_FALSE(view.controls_[IDC_ACCEPT].checked);
  EXPECT_FALSE(form.IsAccepted());
  EXPECT_EQ(view.controls_[IDC_INSTALL].text, "Update");
}

TEST_F(ToolboxInstallFormTest, WithoutRecordTheFormOffersInstallUntilAccepted) {
  ToolboxInstallForm& form = NewForm();
  sandbox_->WriteFile("Toolbox\\Other.info", "not the record");
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  EXPECT_EQ(view.controls_[IDC_INSTALL].text, "Install");
  EXPECT_FALSE(view.controls_[IDC_INSTALL].enabled);
  for (int click = 1; click <= 4; ++click) {
    view.Click(IDC_ACCEPT);
    bool accepted = click % 2 == 1;
    EXPECT_EQ(view.controls_[IDC_ACCEPT].checked, accepted) << click;
    EXPECT_EQ(view.controls_[IDC_INSTALL].enabled, accepted) << click;
    EXPECT_EQ(form.IsAccepted(), accepted) << click;
  }
}

TEST_F(ToolboxInstallFormTest, NoToolboxFolderMeansInstall) {
  UseApp("");
  ToolboxInstallForm form(core_);
  ASSERT_EQ(form.Init(), 0);
  FakeView view(&form);
  form.OnInit(&view);
  EXPECT_EQ(view.controls_[IDC_INSTALL].text, "Install");
  EXPECT_FALSE(view.controls_[IDC_INSTALL].enabled);
}

TEST_F(ToolboxInstallFormTest, UpdateIsNeverShownForARecordPathBuiltOnlyInPart) {
  Sandbox sandbox;
  sandbox.WriteFile("Toolbox\\Uninstall.info", "record");
  // The toolbox folder itself exists too: a record path cut short would name it.
  UseApp(sandbox.Root());
  // Each allocation of the dialog's initialisation fails in turn, until a run meets none.
  long n = 0;
  Control install;
  for (bool hit = true; hit;) {
    ASSERT_LT(n, 1000);
    ToolboxInstallForm form(core_);
    ASSERT_EQ(form.Init(), 0);
    FakeView view(&form);
    FailAllocation(++n);
    form.OnInit(&view);
    hit = AllocationFailureHit();
    FailAllocation(0);
    install = view.controls_[IDC_INSTALL];
    if (hit) {
      EXPECT_EQ(install.text, "Install") << "allocation " << n;
      EXPECT_FALSE(install.enabled) << "allocation " << n;
    }
  }
  EXPECT_GT(n, 1) << "no allocation to fail";
  EXPECT_EQ(install.text, "Update");
  EXPECT_TRUE(install.enabled);
}

// ---------------------------------------------------------------------------------------
// Pages

TEST_F(ToolboxInstallFormTest, HostPagesShowTheirRowsHintAndPicture) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  const int rowsUsed[] = {0, 7, 2, 3, 1, 1};
  const int pictures[] = {
      0,           IDB_PAGE_3DSMAX, IDB_PAGE_ARCHICAD, IDB_PAGE_CINEMA4D, IDB_PAGE_MICROSTATION,
      IDB_PAGE_SDK};
  const char* firstRow[] = {nullptr,        "3D Studio Max 3 or Autodesk Viz 3",
                            "ArchiCAD 9",   "Cinema 4D R8",
                            "MicroStation", "Vorlane SDK"};
  for (int page = 1; page <= 5; ++page) {
    view.SelectTab(page);
    EXPECT_EQ(form.GetCurrentPage(), page);
    EXPECT_EQ(view.controls_[IDC_HINT].text, GetFormPage(page).hint);
    EXPECT_TRUE(view.controls_[IDC_HINT].visible);
    EXPECT_EQ(view.pictures_[IDC_PAGE_PICTURE], pictures[page]);
    EXPECT_TRUE(view.controls_[IDC_PAGE_PICTURE].visible);
    EXPECT_FALSE(view.controls_[IDC_OVERVIEW].visible);
    EXPECT_FALSE(view.controls_[IDC_OVERVIEW_CAPTION].visible);
    EXPECT_EQ(view.controls_[IDC_ROW1_CHECK].text, firstRow[page]);
    for (int row = 1; row <= kRowCount; ++row) {
      bool used = row <= rowsUsed[page];
      EXPECT_EQ(view.controls_[RowCheckId(row)].visible, used) << page << "/" << row;
      EXPECT_EQ(view.controls_[RowFolderId(row)].visible, used) << page << "/" << row;
      EXPECT_EQ(view.controls_[RowBrowseId(row)].visible, used) << page << "/" << row;
    }
  }
  EXPECT_EQ(view.controls_[IDC_HINT].text,
            "To install Vorlane SDK please make sure that the installation path point to where "
            "you want to install the SDK");
  view.SelectTab(3);
  EXPECT_EQ(view.controls_[IDC_ROW2_CHECK].text, "Cinema4D R9");
  EXPECT_EQ(view.controls_[IDC_ROW3_CHECK].text, "Cinema4D R10");
}

TEST_F(ToolboxInstallFormTest, PageShowsSelectionAsStoredDespiteTheFolderText) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  form.SetTargetPath(kTargetArchiCAD9, "C:\\AC9\\Add-Ons\\");
  form.SetTargetSelected(kTargetArchiCAD9, false);
  form.SetTargetPath(kTargetArchiCAD10, "C:\\AC10\\Add-Ons\\");
  form.SetTargetSelected(kTargetArchiCAD10, true);
  FakeView& view = OpenView();
  view.SelectTab(2);
  EXPECT_EQ(view.controls_[IDC_ROW1_FOLDER].text, "C:\\AC9\\Add-Ons\\");
  EXPECT_FALSE(view.controls_[IDC_ROW1_CHECK].checked);
  EXPECT_EQ(view.controls_[IDC_ROW2_FOLDER].text, "C:\\AC10\\Add-Ons\\");
  EXPECT_TRUE(view.controls_[IDC_ROW2_CHECK].checked);
}

TEST_F(ToolboxInstallFormTest, TypingChecksTheRowAndClearingItKeepsTheFolder) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  view.SelectTab(1);
  view.Type(IDC_ROW1_FOLDER, "D:\\Max");
  EXPECT_TRUE(view.controls_[IDC_ROW1_CHECK].checked);
  view.Type(IDC_ROW1_FOLDER, "D:\\Max");  // editing never clears a box
  EXPECT_TRUE(view.controls_[IDC_ROW1_CHECK].checked);
  view.Type(IDC_ROW4_FOLDER, "X:\\Y");
  view.ClickRowBox(4);
  EXPECT_FALSE(view.controls_[IDC_ROW4_CHECK].checked);
  view.Click(IDC_ACCEPT);
  view.Click(IDC_INSTALL);
  EXPECT_EQ(view.results_, std::vector<int>{ToolboxInstallForm::kResultInstall});
  EXPECT_TRUE(form.IsTargetSelected(kTarget3dsMax3));
  EXPECT_EQ(Path(form, kTarget3dsMax3), "D:\\Max\\");
  EXPECT_FALSE(form.IsTargetSelected(kTarget3dsMax6));
  EXPECT_EQ(Path(form, kTarget3dsMax6), "X:\\Y\\");
}

TEST_F(ToolboxInstallFormTest, LeavingAPageSavesItsRowsWithTheFolderRule) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  view.SelectTab(1);
  view.Type(IDC_ROW1_FOLDER, "D:\\Max");
  view.Type(IDC_ROW2_FOLDER, "D");
  view.Type(IDC_ROW3_FOLDER, "E:\\Data/");
  view.Type(IDC_ROW5_FOLDER, "F:\\Seven\\");
  view.Type(IDC_ROW5_FOLDER, "");
  view.SelectTab(2);
  EXPECT_EQ(Path(form, kTarget3dsMax3), "D:\\Max\\");
  EXPECT_EQ(Path(form, kTarget3dsMax4), "D");
  EXPECT_EQ(Path(form, kTarget3dsMax5), "E:\\Data/");
  EXPECT_EQ(Path(form, kTarget3dsMax7), "");
  EXPECT_TRUE(form.IsTargetSelected(kTarget3dsMax7)) << "emptying a field keeps the box";
  EXPECT_EQ(Path(form, kTarget3dsMax8), "");
  EXPECT_FALSE(form.IsTargetSelected(kTarget3dsMax8));
  // Back on the page, the fields show the stored folders.
  view.SelectTab(1);
  EXPECT_EQ(view.controls_[IDC_ROW1_FOLDER].text, "D:\\Max\\");
  EXPECT_EQ(view.controls_[IDC_ROW2_FOLDER].text, "D");
  // Row 8 is never read, nor rows a page does not use.
  EXPECT_EQ(view.reads_[IDC_ROW8_FOLDER], 0);
  view.SelectTab(5);
  std::map<int, int> before = view.reads_;
  view.SelectTab(0);
  EXPECT_EQ(view.reads_[IDC_ROW1_FOLDER], before[IDC_ROW1_FOLDER] + 1);
  EXPECT_EQ(view.reads_[IDC_ROW2_FOLDER], before[IDC_ROW2_FOLDER]);
  EXPECT_EQ(view.reads_[IDC_ROW8_FOLDER], 0);
}

// A folder is never cut into the name of another one: Install refuses it with a box and the
// form stays; a folder that fits (backslash and NUL included) is taken.
TEST_F(ToolboxInstallFormTest, FolderTooLongForTheFieldIsRefusedAtInstall) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  auto* app = static_cast<FakeSystemApp*>(core_->GetSystemApp());
  const std::string longest = "C:\\" + std::string(255, 'm');  // 258 bytes + backslash + NUL
  const struct {
    std::string typed;
    bool installs;
  } rows[] = {{longest, true},
              {longest + "m", false},
              {longest + "\\", true},
              {"C:\\" + std::string(400, 'm'), false},
              // 100 full-width letters: 300 bytes in UTF-8.
              {"C:\\" + Repeat("\xEF\xBC\xA3", 100), false}};
  for (const auto& row : rows) {
    view.results_.clear();
    app->boxes.clear();
    view.SelectTab(4);
    view.Type(IDC_ROW1_FOLDER, row.typed);
    view.Click(IDC_INSTALL);
    EXPECT_EQ(view.results_.size(), row.installs ? 1u : 0u) << row.typed.size();
    ASSERT_EQ(app->boxes.size(), row.installs ? 0u : 1u) << row.typed.size();
    if (!row.installs) {
      EXPECT_EQ(app->boxes[0].caption, "VorlaneBox Installation");
      EXPECT_NE(app->boxes[0].text.find("too long"), std::string::npos);
    }
  }
  // Typed characters the program cannot carry exactly: refused likewise, with the reason.
  app->boxes.clear();
  view.results_.clear();
  view.unnamable_.insert(IDC_ROW1_FOLDER);
  view.Click(IDC_INSTALL);
  EXPECT_TRUE(view.results_.empty());
  ASSERT_EQ(app->boxes.size(), 1u);
  EXPECT_NE(app->boxes[0].text.find("characters"), std::string::npos);
}

TEST_F(ToolboxInstallFormTest, OverviewListsSelectedTargetsInPageOrder) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  for (int index = 0; index < kTargetCount; ++index) {
    form.SetTargetPath(index, ("C:\\T" + std::to_string(index)).c_str());
    form.SetTargetSelected(index, true);
  }
  FakeView& view = OpenView();
  ASSERT_EQ(view.rows_.size(), 14u);
  const int order[] = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 7, 13};
  for (int n = 0; n < 14; ++n) {
    EXPECT_EQ(view.rows_[n].text, GetFormTarget(order[n]).overviewText) << n;
    EXPECT_EQ(view.rows_[n].folder, "C:\\T" + std::to_string(order[n]) + "\\") << n;
    EXPECT_EQ(view.rows_[n].icon, GetFormTarget(order[n]).icon) << n;
  }
  EXPECT_EQ(view.rows_[12].text, " Microstation");
  EXPECT_EQ(view.rows_[12].icon, 3);
  EXPECT_EQ(view.rows_[13].text, " Vorlane SDK");
  EXPECT_EQ(view.rows_[7].text, " ArchiCAD R9");
  EXPECT_EQ(view.rows_[9].text, " Cinema4D R8");
}

TEST_F(ToolboxInstallFormTest, OverviewShowsChoicesJustMadeOnAPage) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  form.SetTargetPath(kTarget3dsMax9, "C:\\Max9\\Plugins\\");
  form.SetTargetSelected(kTarget3dsMax9, true);
  FakeView& view = OpenView();
  EXPECT_EQ(Texts(view.rows_), "[ 3D Studio Max 9|C:\\Max9\\Plugins\\]");
  view.SelectTab(2);
  view.Type(IDC_ROW2_FOLDER, "C:\\AC10\\Add-Ons");
  view.ClickRowBox(1);  // ArchiCAD 9 selected with an empty folder
  view.SelectTab(0);
  EXPECT_EQ(
      Texts(view.rows_),
      "[ 3D Studio Max 9|C:\\Max9\\Plugins\\][ ArchiCAD R9|][ ArchiCAD R10|C:\\AC10\\Add-Ons\\]");
  EXPECT_EQ(view.rows_[1].icon, 1);
  // Unselecting removes the row.
  view.SelectTab(2);
  view.ClickRowBox(2);
  view.SelectTab(0);
  EXPECT_EQ(Texts(view.rows_), "[ 3D Studio Max 9|C:\\Max9\\Plugins\\][ ArchiCAD R9|]");
}

TEST_F(ToolboxInstallFormTest, InstallSavesOnlyTheCurrentPage) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  form.SetTargetPath(kTarget3dsMax3, "C:\\Max3\\Plugins\\");
  form.SetTargetSelected(kTarget3dsMax3, true);
  FakeView& view = OpenView();
  view.SelectTab(3);
  view.Type(IDC_ROW2_FOLDER, "C:\\C4D R9");
  // Controls of other pages hold stale texts the form must not read.
  view.controls_[IDC_ROW3_FOLDER].text = "C:\\C4D R10";
  view.Click(IDC_ACCEPT);
  view.Click(IDC_INSTALL);
  EXPECT_TRUE(form.IsTargetSelected(kTargetCinema4DR9));
  EXPECT_EQ(Path(form, kTargetCinema4DR9), "C:\\C4D R9\\");
  EXPECT_EQ(Path(form, kTargetCinema4DR10), "C:\\C4D R10\\");
  EXPECT_FALSE(form.IsTargetSelected(kTargetCinema4DR10));
  // Page 1 was never opened: the driver's values stand.
  EXPECT_TRUE(form.IsTargetSelected(kTarget3dsMax3));
  EXPECT_EQ(Path(form, kTarget3dsMax3), "C:\\Max3\\Plugins\\");
}

TEST_F(ToolboxInstallFormTest, InstallOnTheOverviewSavesNothingFurther) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  view.SelectTab(1);
  view.Type(IDC_ROW1_FOLDER, "D:\\Max");
  view.SelectTab(0);
  view.controls_[IDC_ROW1_FOLDER].text = "D:\\Changed";
  view.controls_[IDC_ROW1_CHECK].checked = false;
  int reads = view.reads_[IDC_ROW1_FOLDER];
  view.Click(IDC_INSTALL);
  EXPECT_EQ(view.reads_[IDC_ROW1_FOLDER], reads);
  EXPECT_EQ(Path(form, kTarget3dsMax3), "D:\\Max\\");
  EXPECT_TRUE(form.IsTargetSelected(kTarget3dsMax3));
}

TEST_F(ToolboxInstallFormTest, CancelEndsWithoutSaving) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  view.SelectTab(5);
  view.Type(IDC_ROW1_FOLDER, "D:\\Sdk");
  view.Click(2);
  EXPECT_EQ(view.results_, std::vector<int>{ToolboxInstallForm::kResultCancel});
  EXPECT_EQ(form.GetTargetPath(kTargetSDK), nullptr);
  EXPECT_FALSE(form.IsTargetSelected(kTargetSDK));
}

TEST_F(ToolboxInstallFormTest, TabSelectionOutsideThePagesIsIgnored) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  view.SelectTab(2);
  view.SelectTab(-1);
  view.SelectTab(6);
  EXPECT_EQ(form.GetCurrentPage(), 2);
}

// ---------------------------------------------------------------------------------------
// Browse, terms, other commands

TEST_F(ToolboxInstallFormTest, BrowsePutsThePickedFolderIntoItsRow) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  view.SelectTab(3);
  view.browseAnswer_ = "C:\\Programs\\MAXON\\CINEMA 4D R10";
  view.Click(IDC_ROW3_BROWSE);
  EXPECT_EQ(view.browseTitles_, std::vector<std::string>{"Locate folder"});
  EXPECT_TRUE(view.controls_[IDC_ROW3_CHECK].checked);
  EXPECT_EQ(view.controls_[IDC_ROW3_FOLDER].text, "C:\\Programs\\MAXON\\CINEMA 4D R10");
  EXPECT_FALSE(view.controls_[IDC_ROW2_CHECK].checked);
  view.SelectTab(0);
  EXPECT_EQ(Path(form, kTargetCinema4DR10), "C:\\Programs\\MAXON\\CINEMA 4D R10\\");
  EXPECT_TRUE(form.IsTargetSelected(kTargetCinema4DR10));
}

// A cancelled picker changes nothing; a folder the program cannot name exactly, or one too
// long for the field, is refused with a box that says why.
TEST_F(ToolboxInstallFormTest, BrowseThatGivesNoUsableFolderChangesNothing) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  auto* app = static_cast<FakeSystemApp*>(core_->GetSystemApp());
  const std::string tooLong = "C:\\" + std::string(256, 'x');  // no room for the backslash
  const struct {
    ToolboxInstallView::Taken answer;
    const char* folder;
    const char* box;  // a word of the box's text, null: no box
  } rows[] = {{ToolboxInstallView::Taken::kNothing, nullptr, nullptr},
              {ToolboxInstallView::Taken::kUnnamable, nullptr, "characters"},
              {ToolboxInstallView::Taken::kTooLong, nullptr, "too long"},
              {ToolboxInstallView::Taken::kWhole, tooLong.c_str(), "too long"}};
  view.SelectTab(1);
  for (const auto& row : rows) {
    app->boxes.clear();
    view.browseAnswer_ = row.folder;
    view.browseRefusal_ = row.answer;
    view.Click(IDC_ROW7_BROWSE);
    EXPECT_FALSE(view.controls_[IDC_ROW7_CHECK].checked);
    EXPECT_EQ(view.controls_[IDC_ROW7_FOLDER].text, "");
    ASSERT_EQ(app->boxes.size(), row.box ? 1u : 0u);
    if (row.box) {
      EXPECT_NE(app->boxes[0].text.find(row.box), std::string::npos);
    }
  }
  EXPECT_EQ(view.browseTitles_.size(), 4u);
}

TEST_F(ToolboxInstallFormTest, OtherCommandsAreIgnored) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  for (int id : {1, 0, 1025, IDC_ROW1_FOLDER, IDC_HINT, 9999}) view.Click(id);
  EXPECT_TRUE(view.results_.empty());
  EXPECT_TRUE(view.browseTitles_.empty());
  EXPECT_FALSE(view.controls_[IDC_INSTALL].enabled);
}

#ifndef _WIN32
// Natively there is no terms box to create: the button then does nothing.
TEST_F(ToolboxInstallFormTest, TermsThatCannotBeCreatedDoNothing) {
  ToolboxInstallForm form(core_);
  ASSERT_EQ(form.Init(), 0);
  FakeView view(&form);
  form.OnInit(&view);
  view.Click(IDC_VIEW_LICENSE);
  EXPECT_TRUE(view.results_.empty());
  EXPECT_EQ(LiveElements(kGUI_LicenseDisplayType), 0);
}
#endif

TEST_F(ToolboxInstallFormTest, EventsAfterDestructionAreIgnored) {
  ToolboxInstallForm& form = NewForm();
  ASSERT_EQ(form.Init(), 0);
  FakeView& view = OpenView();
  form.OnDestroyed();
  view.Click(IDC_ACCEPT);
  view.SelectTab(1);
  view.Type(IDC_ROW1_FOLDER, "C:\\x");
  EXPECT_FALSE(view.controls_[IDC_INSTALL].enabled);
  EXPECT_EQ(form.GetCurrentPage(), 0);
  EXPECT_FALSE(view.controls_[IDC_ROW1_CHECK].checked);
}

}  // namespace
}  // namespace VLN2
