// Works the installation form of FormHost as a person would: finds it by its caption,
// switches tabs, reads the overview list, types folders, clicks boxes and buttons, opens the
// terms box and the folder picker, and checks what the host hands back when the form ends.
// Everything is polled, never slept on, except the settling before a screenshot.
//
// Usage: FormDriver SCENARIO HOST.exe SHOTS-FOLDER LICENSE-FILE
// Exit code 0 when every check of the scenario passed.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "WineUi.h"
#include "resources/resource.h"

namespace {

using namespace WineUi;

// ---- The form and its host

struct HostResult {
  int exitCode = -1;
  int run = -1;
  int again = -1;
  int selected[14] = {};
  std::string path[14];
  std::string output;
};

class Session {
 public:
  bool Start(const std::string& host, const std::string& arguments) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    outputPath_ =
        std::string(folder) + "FormHost-" + std::to_string(GetCurrentProcessId()) + ".txt";
    if (!program_.Start(host, arguments, outputPath_)) return false;
    return form_.Attach(program_);
  }

  HWND Form() const { return form_.Window(); }
  HWND Item(int id) const { return form_.Item(id); }
  DWORD Pid() const { return program_.Pid(); }
  HANDLE Process() const { return program_.Handle(); }
  int TabCount() const { return form_.TabCount(); }
  int CurrentTab() const { return form_.CurrentTab(); }
  void SelectTab(int page) { form_.SelectTab(page); }
  void TabItem(int index, std::string* text, int* image) { form_.TabItem(index, text, image); }
  int ListCount() const { return form_.ListCount(); }
  std::string Overview() const { return form_.Overview(); }
  void Type(int id, const std::string& text) { form_.Type(id, text); }

  // Waits for the host to end and reads what it printed.
  HostResult Finish() {
    HostResult result;
    Expect(program_.WaitForExit(), "the host ends");
    result.exitCode = program_.ExitCode();
    result.output = ReadFileBytes(outputPath_);
    DeleteFileA(outputPath_.c_str());
    std::printf("host printed:\n%s", result.output.c_str());
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      int index = 0, selected = 0, used = 0;
      if (std::sscanf(line.c_str(), "run=%d", &result.run) == 1) continue;
      if (std::sscanf(line.c_str(), "again=%d", &result.again) == 1) continue;
      if (std::sscanf(line.c_str(), "target %d selected=%d path=%n", &index, &selected, &used) >=
              2 &&
          used > 0 && index >= 0 && index < 14) {
        result.selected[index] = selected;
        result.path[index] = line.substr(used);
      }
    }
    return result;
  }

 private:
  Program program_;
  InstallForm form_;
  std::string outputPath_;
};

// ---- What the form is made of

const char* const kTabTexts[] = {"Installation overview", "3D Studio Max", "ArchiCAD", "Cinema 4D",
                                 "MicroStation",          "Vorlane SDK"};
const char* const kPageNames[] = {"overview", "3dsmax",       "archicad",
                                  "cinema4d", "microstation", "sdk"};
const int kRowsUsed[] = {0, 7, 2, 3, 1, 1};
const char* const kRowTexts[6][7] = {
    {},
    {"3D Studio Max 3 or Autodesk Viz 3", "3D Studio Max 4 or Autodesk Viz 4", "3D Studio Max 5",
     "3D Studio Max 6 or Autodesk Viz 5", "3D Studio Max 7", "3D Studio Max 8", "3D Studio Max 9"},
    {"ArchiCAD 9", "ArchiCAD 10"},
    {"Cinema 4D R8", "Cinema4D R9", "Cinema4D R10"},
    {"MicroStation"},
    {"Vorlane SDK"},
};
const char* const kHints[] = {
    nullptr,
    "To install VorlaneBox for 3D Studio Max or Autodesk Viz, make sure that the installation path "
    "points to the 'plugins' folder",
    "To install VorlaneBox for ArchiCAD, please make sure that the installation path point to the "
    "'Add-Ons' folder",
    "To install VorlaneBox for Cinema4D, please make sure that the installation path points to the "
    "folder where the Cinema4D.exe file is located",
    "To install VorlaneBox for MicroStation, please make sure that the installation path point to "
    "the 'mdlapps' folder",
    "To install Vorlane SDK please make sure that the installation path point to where you want to "
    "install the SDK",
};
const char* const kSdkFolder = "C:\\Program Files\\Vorlane\\SDK\\";

int CheckId(int row) { return InstallForm::CheckId(row); }
int FolderId(int row) { return InstallForm::FolderId(row); }
int BrowseId(int row) { return InstallForm::BrowseId(row); }

void ExpectUnselected(const HostResult& result, std::initializer_list<int> except = {}) {
  for (int index = 0; index < 14; ++index) {
    bool skip = false;
    for (int e : except) skip = skip || e == index;
    if (!skip)
      Expect(result.selected[index] == 0, "target " + std::to_string(index) + " unselected");
  }
}

void ExpectTarget(const HostResult& result, int index, int selected, const std::string& path) {
  std::string name = "target " + std::to_string(index);
  Expect(result.selected[index] == selected, name + (selected ? " selected" : " unselected"));
  ExpectEq(result.path[index], path, name + " folder");
}

// ---- Scenarios

// Nothing detected: every page empty and clear except the SDK folder; Cancel hands back
// nothing. Saves a screenshot of every page.
void NothingDetected(const std::string& host) {
  Session s;
  if (!s.Start(host, "")) return;
  ExpectEq(Text(s.Item(IDC_INSTALL)), "Install", "first button reads Install");
  Expect(!IsWindowEnabled(s.Item(IDC_INSTALL)), "Install disabled until the terms are accepted");
  Expect(!Checked(s.Item(IDC_ACCEPT)), "acceptance box clear");
  Expect(s.TabCount() == 6, "six tabs");
  for (int tab = 0; tab < s.TabCount() && tab < 6; ++tab) {
    std::string text;
    int image = -2;
    s.TabItem(tab, &text, &image);
    ExpectEq(text, kTabTexts[tab], "tab " + std::to_string(tab) + " text");
    Expect(image == (tab == 0 ? -1 : tab - 1),
           "tab " + std::to_string(tab) + " icon " + std::to_string(image));
  }
  Expect(s.CurrentTab() == 0, "the overview is the first page");
  Expect(Visible(s.Item(IDC_OVERVIEW)), "overview list shown");
  Expect(!IsWindowEnabled(s.Item(IDC_OVERVIEW)), "overview list not interactive");
  Expect(s.ListCount() == 0, "overview empty");
  ExpectEq(Text(s.Item(IDC_OVERVIEW_CAPTION)),
           "The VorlaneBox will be installed for the following programs (Use tabs above to change "
           "selection):",
           "overview caption");
  Expect(!Visible(s.Item(IDC_HINT)) && !Visible(s.Item(IDC_PAGE_PICTURE)), "no hint, no picture");
  Shot(s.Form(), "form-0-overview");

  for (int page = 1; page <= 5; ++page) {
    std::string p = "page " + std::to_string(page) + ": ";
    s.SelectTab(page);
    ExpectEq(Text(s.Item(IDC_HINT)), kHints[page], p + "hint");
    Expect(Visible(s.Item(IDC_HINT)) && Visible(s.Item(IDC_PAGE_PICTURE)),
           p + "hint and picture shown");
    Expect(!Visible(s.Item(IDC_OVERVIEW)) && !Visible(s.Item(IDC_OVERVIEW_CAPTION)), p + "no list");
    for (int row = 1; row <= 8; ++row) {
      std::string r = p + "row " + std::to_string(row) + " ";
      bool used = row <= kRowsUsed[page];
      Expect(Visible(s.Item(CheckId(row))) == used && Visible(s.Item(FolderId(row))) == used &&
                 Visible(s.Item(BrowseId(row))) == used,
             r + (used ? "shown" : "hidden"));
      if (!used) continue;
      ExpectEq(Text(s.Item(CheckId(row))), kRowTexts[page][row - 1], r + "box text");
      Expect(!Checked(s.Item(CheckId(row))), r + "box clear");
      ExpectEq(Text(s.Item(FolderId(row))), page == 5 ? kSdkFolder : "", r + "folder");
      ExpectEq(Text(s.Item(BrowseId(row))), "Browse", r + "Browse");
    }
    Shot(s.Form(), "form-" + std::to_string(page) + "-" + kPageNames[page]);
  }
  s.SelectTab(0);
  Expect(s.ListCount() == 0, "overview still empty after visiting every page");
  Click(s.Item(2), "Cancel");
  HostResult result = s.Finish();
  Expect(result.run == 1 && result.exitCode == 1, "Cancel: Run gives 1");
  Expect(result.again == 1, "a second Run gives 1 at once");
  ExpectUnselected(result);
  ExpectTarget(result, 13, 0, kSdkFolder);
}

// Folders typed on page 1: the trailing backslash rule, typing checks a row, a cleared box
// keeps the folder; the overview shows the choices; Install hands them back.
void TypedFolders(const std::string& host) {
  Session s;
  if (!s.Start(host, "")) return;
  s.SelectTab(1);
  s.Type(FolderId(1), "D:\\Max");
  Expect(WaitUntil([&] { return Checked(s.Item(CheckId(1))); }), "typing checks row 1");
  s.Type(FolderId(2), "D");
  s.Type(FolderId(3), "E:\\Data/");
  s.Type(FolderId(4), "X:\\Y");
  Expect(WaitUntil([&] { return Checked(s.Item(CheckId(4))); }), "typing checks row 4");
  Click(s.Item(CheckId(4)), "row 4 box");
  Expect(WaitUntil([&] { return !Checked(s.Item(CheckId(4))); }), "row 4 box cleared by a click");
  s.SelectTab(0);
  ExpectEq(s.Overview(),
           "[ 3D Studio Max 3 or Autodesk Viz 3|D:\\Max\\][ 3D Studio Max 4 or Autodesk Viz 4|D]"
           "[ 3D Studio Max 5|E:\\Data/]",
           "overview after page 1");
  Shot(s.Form(), "form-overview-rows");
  s.SelectTab(1);
  ExpectEq(Text(s.Item(FolderId(1))), "D:\\Max\\", "row 1 shows the stored folder");
  ExpectEq(Text(s.Item(FolderId(4))), "X:\\Y\\", "row 4 keeps its folder");
  Expect(!Checked(s.Item(CheckId(4))), "row 4 stays clear");
  s.SelectTab(0);
  Click(s.Item(IDC_ACCEPT), "acceptance box");
  Expect(WaitUntil([&] { return IsWindowEnabled(s.Item(IDC_INSTALL)) != 0; }),
         "accepting enables Install");
  Expect(Checked(s.Item(IDC_ACCEPT)), "acceptance box checked");
  Click(s.Item(IDC_INSTALL), "Install");
  HostResult result = s.Finish();
  Expect(result.run == 0 && result.exitCode == 0, "Install: Run gives 0");
  ExpectTarget(result, 0, 1, "D:\\Max\\");
  ExpectTarget(result, 1, 1, "D");
  ExpectTarget(result, 2, 1, "E:\\Data/");
  ExpectTarget(result, 3, 0, "X:\\Y\\");
  ExpectTarget(result, 4, 0, "");
  ExpectUnselected(result, {0, 1, 2});
}

// Choices of other pages are saved when those pages are left; Install saves the page it is
// pressed on; a page never opened keeps what the driver set.
void InstallSavesCurrentPage(const std::string& host) {
  Session s;
  if (!s.Start(host, "0=C:\\Max3\\Plugins\\")) return;
  ExpectEq(s.Overview(), "[ 3D Studio Max 3 or Autodesk Viz 3|C:\\Max3\\Plugins\\]",
           "detected target listed");
  s.SelectTab(2);
  s.Type(FolderId(2), "C:\\AC10\\Add-Ons");
  Expect(Checked(s.Item(CheckId(2))), "ArchiCAD 10 checked by typing");
  s.SelectTab(0);
  ExpectEq(
      s.Overview(),
      "[ 3D Studio Max 3 or Autodesk Viz 3|C:\\Max3\\Plugins\\][ ArchiCAD R10|C:\\AC10\\Add-Ons\\]",
      "overview shows the ArchiCAD choice");
  s.SelectTab(4);
  Click(s.Item(CheckId(1)), "MicroStation box");
  Expect(WaitUntil([&] { return Checked(s.Item(CheckId(1))); }), "MicroStation checked");
  s.SelectTab(0);
  ExpectEq(
      s.Overview(),
      "[ 3D Studio Max 3 or Autodesk Viz 3|C:\\Max3\\Plugins\\][ ArchiCAD R10|C:\\AC10\\Add-Ons\\]"
      "[ Microstation|]",
      "a selected target without folder has an empty second column");
  s.SelectTab(3);
  s.Type(FolderId(2), "C:\\C4D R9");
  Click(s.Item(IDC_ACCEPT), "acceptance box");
  Expect(WaitUntil([&] { return IsWindowEnabled(s.Item(IDC_INSTALL)) != 0; }), "Install enabled");
  Click(s.Item(IDC_INSTALL), "Install on the Cinema 4D page");
  HostResult result = s.Finish();
  Expect(result.run == 0, "Run gives 0");
  ExpectTarget(result, 0, 1, "C:\\Max3\\Plugins\\");
  ExpectTarget(result, 1, 0, "(null)");
  ExpectTarget(result, 7, 1, "");
  ExpectTarget(result, 8, 0, "");
  ExpectTarget(result, 9, 1, "C:\\AC10\\Add-Ons\\");
  ExpectTarget(result, 10, 0, "");
  ExpectTarget(result, 11, 1, "C:\\C4D R9\\");
  ExpectTarget(result, 12, 0, "");
  ExpectUnselected(result, {0, 7, 9, 11});
}

// An installation record in the toolbox folder: "Update", usable at once.
void Update(const std::string& host) {
  Session s;
  if (!s.Start(host, "")) return;
  ExpectEq(Text(s.Item(IDC_INSTALL)), "Update", "first button reads Update");
  Expect(Usable(s.Item(IDC_INSTALL)), "Update usable at once");
  Expect(Checked(s.Item(IDC_ACCEPT)), "terms already accepted");
  Shot(s.Form(), "form-update");
  Click(s.Item(IDC_ACCEPT), "acceptance box");
  Expect(WaitUntil([&] { return !IsWindowEnabled(s.Item(IDC_INSTALL)); }),
         "one click disables Update");
  Expect(!Checked(s.Item(IDC_ACCEPT)), "acceptance box cleared");
  Click(s.Item(IDC_ACCEPT), "acceptance box again");
  Expect(WaitUntil([&] { return IsWindowEnabled(s.Item(IDC_INSTALL)) != 0; }),
         "a second click enables it");
  Click(s.Item(IDC_INSTALL), "Update");
  HostResult result = s.Finish();
  Expect(result.run == 0 && result.exitCode == 0, "Update: Run gives 0");
}

// The title bar's close box is Cancel.
void CloseBox(const std::string& host) {
  Session s;
  if (!s.Start(host, "5=C:\\Max8\\Plugins\\")) return;
  s.SelectTab(1);
  s.Type(FolderId(1), "C:\\Typed");
  PostMessageA(s.Form(), WM_SYSCOMMAND, SC_CLOSE, 0);
  HostResult result = s.Finish();
  Expect(result.run == 1 && result.exitCode == 1, "closing the form: Run gives 1");
  ExpectTarget(result, 0, 0, "(null)");
  ExpectTarget(result, 5, 1, "C:\\Max8\\Plugins\\");
}

// Reads the whole text of the terms box and closes it.
void ReadTerms(Session& s, const std::string& license, const std::string& shot, bool escape) {
  Click(s.Item(IDC_VIEW_LICENSE), "View License Agreement");
  HWND terms = WaitForBox(s.Pid(), "Vorlane Software Terms");
  Expect(terms != nullptr, "the terms box appears");
  if (!terms) return;
  Expect(IsWindowEnabled(s.Form()) != 0, "the form stays enabled (the box has no owner)");
  HWND field = GetDlgItem(terms, IDC_TERMS_TEXT);
  std::string text = Text(field);
  Expect(!license.empty(), "the terms file was read");
  Expect(text == license, "the box shows the terms exactly as stored (" +
                              std::to_string(text.size()) + " of " +
                              std::to_string(license.size()) + " bytes)");
  LONG style = GetWindowLongA(field, GWL_STYLE);
  Expect((style & ES_READONLY) && (style & ES_MULTILINE) && (style & WS_VSCROLL),
         "read-only scrolling text");
  if (!shot.empty()) Shot(terms, shot);
  if (escape) {
    PostMessageA(terms, WM_KEYDOWN, VK_ESCAPE, 0);
  } else {
    HWND close = GetDlgItem(terms, IDCANCEL);
    ExpectEq(Text(close), "Close", "the box's button");
    Click(close, "Close");
  }
  Expect(WaitUntil([&] { return !IsWindow(terms); }),
         escape ? "Escape closes the box" : "Close closes the box");
}

// The terms box, twice; the folder picker cancelled and used; then Cancel.
void TermsAndBrowse(const std::string& host, const std::string& license) {
  Session s;
  if (!s.Start(host, "")) return;
  ReadTerms(s, license, "terms", false);
  ReadTerms(s, license, "", true);

  s.SelectTab(1);
  Click(s.Item(BrowseId(1)), "Browse of row 1");
  HWND picker = WaitForBox(s.Pid(), "Browse for Folder");
  Expect(picker != nullptr, "the folder picker appears");
  if (picker) {
    ExpectEq(Text(GetDlgItem(picker, 14146)), "Locate folder", "picker title");
    Shot(picker, "browse");
    Click(GetDlgItem(picker, IDCANCEL), "picker Cancel");
    Expect(WaitUntil([&] { return !IsWindow(picker); }), "picker closed");
  }
  Expect(!Checked(s.Item(CheckId(1))) && Text(s.Item(FolderId(1))).empty(),
         "a cancelled picker changes nothing");

  Click(s.Item(BrowseId(2)), "Browse of row 2");
  picker = WaitForBox(s.Pid(), "Browse for Folder");
  Expect(picker != nullptr, "the folder picker appears again");
  if (picker) {
    HWND tree = GetDlgItem(picker, 14145);
    RemoteBlock block(s.Process(), 4096);
    const char path[] = "C:\\PickMe";
    block.Write(0, path, sizeof path);
    SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(block.At(0)));
    std::string label;
    WaitUntil([&] {
      auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
      if (!item) return false;
      TVITEMA query = {};
      query.mask = TVIF_TEXT;
      query.hItem = item;
      query.pszText = block.At(1024);
      query.cchTextMax = 256;
      block.Write(512, &query, sizeof query);
      SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(block.At(512)));
      label = block.ReadText(1024, 256);
      return label == "PickMe";
    });
    ExpectEq(label, "PickMe", "picker selection");
    Click(GetDlgItem(picker, IDOK), "picker OK");
    Expect(WaitUntil([&] { return !IsWindow(picker); }), "picker closed with OK");
  }
  Expect(WaitUntil([&] { return Checked(s.Item(CheckId(2))); }), "a picked folder checks its row");
  ExpectEq(Text(s.Item(FolderId(2))), "C:\\PickMe", "the picked folder fills its row");
  Click(s.Item(2), "Cancel");
  HostResult result = s.Finish();
  Expect(result.run == 1, "Cancel: Run gives 1");
  ExpectTarget(result, 1, 0, "(null)");
}

// Without an application object the form keeps only what its template holds.
void NoApplication(const std::string& host) {
  Session s;
  if (!s.Start(host, "noapp 0=C:\\Max3\\")) return;
  Expect(s.TabCount() == 0, "no tabs");
  ExpectEq(Text(s.Item(IDC_INSTALL)), "Install", "first button reads Install");
  Expect(!IsWindowEnabled(s.Item(IDC_INSTALL)), "Install disabled");
  Expect(!Visible(s.Item(IDC_OVERVIEW)) && !Visible(s.Item(CheckId(1))), "no page content");
  Shot(s.Form(), "form-noapp");
  Click(s.Item(IDC_ACCEPT), "acceptance box");
  Expect(WaitUntil([&] { return IsWindowEnabled(s.Item(IDC_INSTALL)) != 0; }),
         "the box still enables Install");
  Click(s.Item(IDC_INSTALL), "Install");
  HostResult result = s.Finish();
  Expect(result.run == 0, "Install: Run gives 0");
  ExpectTarget(result, 0, 1, "C:\\Max3\\");
  ExpectTarget(result, 13, 0, "(null)");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf("usage: FormDriver SCENARIO HOST.exe SHOTS-FOLDER LICENSE-FILE\n");
    return 2;
  }
  std::string scenario = argv[1];
  std::string host = argv[2];
  SetShotsFolder(argv[3]);
  std::string license = ReadFileBytes(argv[4]);
  std::printf("== %s\n", scenario.c_str());
  if (scenario == "nothing")
    NothingDetected(host);
  else if (scenario == "folders")
    TypedFolders(host);
  else if (scenario == "current-page")
    InstallSavesCurrentPage(host);
  else if (scenario == "update")
    Update(host);
  else if (scenario == "close")
    CloseBox(host);
  else if (scenario == "terms")
    TermsAndBrowse(host, license);
  else if (scenario == "noapp")
    NoApplication(host);
  else
    Expect(false, "known scenario " + scenario);
  std::printf("== %s: %s (%d failed)\n", scenario.c_str(), Failures() ? "FAILED" : "passed",
              Failures());
  return Failures() ? 1 : 0;
}
