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
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

int g_failures = 0;
std::string g_shots;

void Expect(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++g_failures;
}

void ExpectEq(const std::string& actual, const std::string& expected, const std::string& what) {
  bool ok = actual == expected;
  Expect(ok, ok ? what : what + ": got \"" + actual + "\", expected \"" + expected + "\"");
}

bool WaitUntil(const std::function<bool()>& done, int milliseconds = 5000) {
  for (int waited = 0;; waited += 20) {
    if (done()) return true;
    if (waited >= milliseconds) return false;
    Sleep(20);
  }
}

// ---- Windows of another process

struct FindRequest {
  DWORD pid;
  const char* caption;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM parameter) {
  auto* request = reinterpret_cast<FindRequest*>(parameter);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != request->pid || !IsWindowVisible(hwnd)) return TRUE;
  char title[256] = {};
  char type[64] = {};
  GetWindowTextA(hwnd, title, sizeof title);
  GetClassNameA(hwnd, type, sizeof type);
  if (std::strcmp(type, "#32770") != 0 || std::strcmp(title, request->caption) != 0) return TRUE;
  request->found = hwnd;
  return FALSE;
}

HWND WaitForBox(DWORD pid, const char* caption, int milliseconds = 10000) {
  FindRequest request = {pid, caption, nullptr};
  WaitUntil(
      [&] {
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&request));
        return request.found != nullptr;
      },
      milliseconds);
  return request.found;
}

std::string Text(HWND window) {
  LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  LRESULT got = SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

bool Checked(HWND box) { return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool Visible(HWND window) { return window && IsWindowVisible(window); }
bool Usable(HWND window) { return Visible(window) && IsWindowEnabled(window); }

// A person can press only what is shown and enabled; posted, so a modal box it opens does
// not block the driver.
void Click(HWND button, const std::string& name) {
  Expect(Usable(button), name + " can be pressed");
  PostMessageA(button, BM_CLICK, 0, 0);
}

// Memory in the host for messages whose pointers Wine does not marshal.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, size_t size) : process_(process) {
    base_ = static_cast<char*>(
        VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~RemoteBlock() {
    if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
  }
  char* At(size_t offset) const { return base_ + offset; }
  bool Write(size_t offset, const void* data, size_t size) {
    return base_ && WriteProcessMemory(process_, At(offset), data, size, nullptr);
  }
  std::string ReadText(size_t offset, size_t size) {
    std::string text(size, '\0');
    if (!base_ || !ReadProcessMemory(process_, At(offset), &text[0], size, nullptr)) return "";
    return text.substr(0, text.find('\0'));
  }

 private:
  HANDLE process_;
  char* base_ = nullptr;
};

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
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string line = "\"" + host + "\" " + arguments;
    PROCESS_INFORMATION started = {};
    bool ok = CreateProcessA(host.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &started);
    CloseHandle(output);
    Expect(ok, "host started: " + line);
    if (!ok) return false;
    process_ = started.hProcess;
    CloseHandle(started.hThread);
    pid_ = started.dwProcessId;
    form_ = WaitForBox(pid_, "VorlaneBox Installation");
    Expect(form_ != nullptr, "the form \"VorlaneBox Installation\" appears");
    if (!form_) TerminateProcess(process_, 99);
    return form_ != nullptr;
  }

  HWND Form() const { return form_; }
  HWND Item(int id) const { return GetDlgItem(form_, id); }
  DWORD Pid() const { return pid_; }
  HANDLE Process() const { return process_; }

  int TabCount() { return static_cast<int>(SendMessageA(Item(IDC_TABS), TCM_GETITEMCOUNT, 0, 0)); }
  int CurrentTab() { return static_cast<int>(SendMessageA(Item(IDC_TABS), TCM_GETCURSEL, 0, 0)); }

  void SelectTab(int page) {
    SendMessageA(Item(IDC_TABS), TCM_SETCURFOCUS, page, 0);
    Expect(WaitUntil([&] { return CurrentTab() == page; }),
           "tab " + std::to_string(page) + " selected");
  }

  void TabItem(int index, std::string* text, int* image) {
    RemoteBlock block(process_, 4096);
    TCITEMA item = {};
    item.mask = TCIF_TEXT | TCIF_IMAGE;
    item.pszText = block.At(512);
    item.cchTextMax = 256;
    block.Write(0, &item, sizeof item);
    SendMessageA(Item(IDC_TABS), TCM_GETITEMA, index, reinterpret_cast<LPARAM>(block.At(0)));
    *text = block.ReadText(512, 256);
    TCITEMA back = {};
    ReadProcessMemory(process_, block.At(0), &back, sizeof back, nullptr);
    *image = back.iImage;
  }

  int ListCount() {
    return static_cast<int>(SendMessageA(Item(IDC_OVERVIEW), LVM_GETITEMCOUNT, 0, 0));
  }

  std::string ListText(int row, int column) {
    RemoteBlock block(process_, 4096);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = block.At(512);
    item.cchTextMax = 1024;
    block.Write(0, &item, sizeof item);
    SendMessageA(Item(IDC_OVERVIEW), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(block.At(0)));
    return block.ReadText(512, 1024);
  }

  // The overview as "[text|folder]" per row.
  std::string Overview() {
    std::string all;
    for (int row = 0; row < ListCount(); ++row)
      all += "[" + ListText(row, 0) + "|" + ListText(row, 1) + "]";
    return all;
  }

  // Types into a folder field: the field reports the change before this returns.
  void Type(int id, const std::string& text) {
    Expect(Usable(Item(id)), "field " + std::to_string(id) + " can be typed into");
    SendMessageA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }

  // Waits for the host to end and reads what it printed.
  HostResult Finish() {
    HostResult result;
    bool ended = WaitForSingleObject(process_, 15000) == WAIT_OBJECT_0;
    Expect(ended, "the host ends");
    if (!ended) TerminateProcess(process_, 99);
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process_);
    std::ifstream in(outputPath_, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    in.close();
    DeleteFileA(outputPath_.c_str());
    result.output = all.str();
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
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND form_ = nullptr;
  std::string outputPath_;
};

// Asks the test script for a screenshot of the window's rectangle and waits for it.
void Shot(HWND window, const std::string& name) {
  if (g_shots.empty() || g_shots == "-") return;
  DWORD_PTR ignored;
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
  Sleep(500);  // let the host paint; nothing is asserted on it
  RECT rect;
  GetWindowRect(window, &rect);
  std::string base = g_shots + "\\" + name;
  {
    std::ofstream request(base + ".tmp");
    request << (rect.left < 0 ? 0 : rect.left) << " " << (rect.top < 0 ? 0 : rect.top) << " "
            << rect.right - rect.left << " " << rect.bottom - rect.top << "\n";
  }
  MoveFileA((base + ".tmp").c_str(), (base + ".req").c_str());
  bool taken = WaitUntil(
      [&] { return GetFileAttributesA((base + ".done").c_str()) != INVALID_FILE_ATTRIBUTES; },
      20000);
  Expect(taken, "screenshot " + name);
}

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

int CheckId(int row) { return IDC_ROW1_CHECK + 3 * (row - 1); }
int FolderId(int row) { return CheckId(row) + 1; }
int BrowseId(int row) { return CheckId(row) + 2; }

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

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf("usage: FormDriver SCENARIO HOST.exe SHOTS-FOLDER LICENSE-FILE\n");
    return 2;
  }
  std::string scenario = argv[1];
  std::string host = argv[2];
  g_shots = argv[3];
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
  std::printf("== %s: %s (%d failed)\n", scenario.c_str(), g_failures ? "FAILED" : "passed",
              g_failures);
  return g_failures ? 1 : 0;
}
