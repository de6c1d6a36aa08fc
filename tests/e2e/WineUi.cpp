#include "WineUi.h"

// After windows.h:
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "resources/resource.h"

namespace WineUi {

namespace {

int g_failures = 0;
std::string g_shots;

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

void CollectFiles(const std::string& folder, std::vector<std::string>* files) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      CollectFiles(folder + name + "\\", files);
    else
      files->push_back(folder + name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

}  // namespace

// ---- Checks

void Expect(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++g_failures;
}

void ExpectEq(const std::string& actual, const std::string& expected, const std::string& what) {
  bool ok = actual == expected;
  Expect(ok, ok ? what : what + ": got \"" + actual + "\", expected \"" + expected + "\"");
}

int Failures() { return g_failures; }

bool WaitUntil(const std::function<bool()>& done, int milliseconds) {
  for (int waited = 0;; waited += 20) {
    if (done()) return true;
    if (waited >= milliseconds) return false;
    Sleep(20);
  }
}

// ---- Windows of another process

HWND FindBox(DWORD pid, const char* caption) {
  FindRequest request = {pid, caption, nullptr};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&request));
  return request.found;
}

HWND WaitForBox(DWORD pid, const char* caption, int milliseconds) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindBox(pid, caption)) != nullptr; }, milliseconds);
  return found;
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

void Click(HWND button, const std::string& name) {
  Expect(Usable(button), name + " can be pressed");
  PostMessageA(button, BM_CLICK, 0, 0);
}

RemoteBlock::RemoteBlock(HANDLE process, size_t size) : process_(process) {
  base_ = static_cast<char*>(
      VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

RemoteBlock::~RemoteBlock() {
  if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
}

bool RemoteBlock::Write(size_t offset, const void* data, size_t size) {
  return base_ && WriteProcessMemory(process_, At(offset), data, size, nullptr);
}

bool RemoteBlock::Read(size_t offset, void* data, size_t size) {
  return base_ && ReadProcessMemory(process_, At(offset), data, size, nullptr);
}

std::string RemoteBlock::ReadText(size_t offset, size_t size) {
  std::string text(size, '\0');
  if (!Read(offset, &text[0], size)) return "";
  return text.substr(0, text.find('\0'));
}

// ---- Screenshots

void SetShotsFolder(const std::string& folder) { g_shots = folder; }

void Shot(HWND window, const std::string& name) {
  if (g_shots.empty() || g_shots == "-") return;
  DWORD_PTR ignored;
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
  Sleep(500);  // let the program paint; nothing is asserted on it
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

// ---- Program

Program::~Program() {
  if (!process_) return;
  if (Running()) TerminateProcess(process_, 99);
  CloseHandle(process_);
}

bool Program::Start(const std::string& exe, const std::string& arguments,
                    const std::string& outputFile) {
  HANDLE output = nullptr;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (!outputFile.empty()) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    output = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                         CREATE_ALWAYS, 0, nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  std::string line = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  PROCESS_INFORMATION started = {};
  bool ok = CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, output != nullptr, 0, nullptr,
                           nullptr, &startup, &started);
  if (output) CloseHandle(output);
  Expect(ok, "started: " + line);
  if (!ok) return false;
  process_ = started.hProcess;
  pid_ = started.dwProcessId;
  CloseHandle(started.hThread);
  return true;
}

bool Program::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Program::WaitForExit(int milliseconds) {
  if (!process_) return false;
  bool ended = WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0;
  if (!ended) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
  }
  return ended;
}

int Program::ExitCode() const {
  DWORD code = 0;
  if (!process_ || !GetExitCodeProcess(process_, &code)) return -1;
  return static_cast<int>(code);
}

// ---- InstallForm

bool InstallForm::Attach(const Program& program, int milliseconds) {
  process_ = program.Handle();
  form_ = WaitForBox(program.Pid(), "VorlaneBox Installation", milliseconds);
  Expect(form_ != nullptr, "the form \"VorlaneBox Installation\" appears");
  return form_ != nullptr;
}

int InstallForm::TabCount() const {
  return static_cast<int>(SendMessageA(Item(IDC_TABS), TCM_GETITEMCOUNT, 0, 0));
}

int InstallForm::CurrentTab() const {
  return static_cast<int>(SendMessageA(Item(IDC_TABS), TCM_GETCURSEL, 0, 0));
}

void InstallForm::SelectTab(int page) {
  SendMessageA(Item(IDC_TABS), TCM_SETCURFOCUS, page, 0);
  Expect(WaitUntil([&] { return CurrentTab() == page; }),
         "tab " + std::to_string(page) + " selected");
}

void InstallForm::TabItem(int index, std::string* text, int* image) const {
  RemoteBlock block(process_, 4096);
  TCITEMA item = {};
  item.mask = TCIF_TEXT | TCIF_IMAGE;
  item.pszText = block.At(512);
  item.cchTextMax = 256;
  block.Write(0, &item, sizeof item);
  SendMessageA(Item(IDC_TABS), TCM_GETITEMA, index, reinterpret_cast<LPARAM>(block.At(0)));
  *text = block.ReadText(512, 256);
  TCITEMA back = {};
  block.Read(0, &back, sizeof back);
  *image = back.iImage;
}

int InstallForm::ListCount() const {
  return static_cast<int>(SendMessageA(Item(IDC_OVERVIEW), LVM_GETITEMCOUNT, 0, 0));
}

std::string InstallForm::ListText(int row, int column) const {
  RemoteBlock block(process_, 4096);
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = block.At(512);
  item.cchTextMax = 1024;
  block.Write(0, &item, sizeof item);
  SendMessageA(Item(IDC_OVERVIEW), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(block.At(0)));
  return block.ReadText(512, 1024);
}

std::string InstallForm::Overview() const {
  std::string all;
  for (int row = 0; row < ListCount(); ++row)
    all += "[" + ListText(row, 0) + "|" + ListText(row, 1) + "]";
  return all;
}

void InstallForm::Type(int id, const std::string& text) {
  Expect(Usable(Item(id)), "field " + std::to_string(id) + " can be typed into");
  SendMessageA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int InstallForm::CheckId(int row) { return IDC_ROW1_CHECK + 3 * (row - 1); }
int InstallForm::FolderId(int row) { return CheckId(row) + 1; }
int InstallForm::BrowseId(int row) { return CheckId(row) + 2; }

// ---- Files

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolders(const std::string& folder) {
  for (size_t at = folder.find('\\', 3); at != std::string::npos; at = folder.find('\\', at + 1))
    CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
  return FolderExists(folder);
}

std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  CollectFiles(folder, &files);
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> Entries(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

void DeleteTree(const std::string& folder) {
  std::string base = folder.back() == '\\' ? folder : folder + "\\";
  for (const std::string& name : Entries(base, "*")) {
    std::string path = base + name;
    if (FolderExists(path))
      DeleteTree(path);
    else
      DeleteFileA(path.c_str());
  }
  RemoveDirectoryA(base.c_str());
}

}  // namespace WineUi
