// Working the installer's windows from a second program under Wine, as a person would:
// finding boxes by caption, reading and typing text, pressing buttons, switching tabs and
// reading list rows of another process, checking files, and asking the test script for
// screenshots. Everything visible is polled for, never slept on.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace WineUi {

// ---- Checks: each prints one line; the driver's exit code counts the failures.

void Expect(bool ok, const std::string& what);
void ExpectEq(const std::string& actual, const std::string& expected, const std::string& what);
int Failures();
// Polls in 20 ms steps until done() holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& done, int milliseconds = 5000);

// ---- Windows of another process

// The visible dialog box (class #32770) of the process with exactly that caption, or null.
HWND FindBox(DWORD pid, const char* caption);
HWND WaitForBox(DWORD pid, const char* caption, int milliseconds = 10000);
// A control's text through WM_GETTEXT, which Wine marshals between processes.
std::string Text(HWND window);
bool Checked(HWND box);
bool Visible(HWND window);
bool Usable(HWND window);
// Presses a button a person could press (shown and enabled); posted, so that a modal box it
// opens does not block the driver.
void Click(HWND button, const std::string& name);

// Memory in another process for messages whose pointers Wine does not marshal.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, size_t size);
  ~RemoteBlock();
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;
  char* At(size_t offset) const { return base_ + offset; }
  bool Write(size_t offset, const void* data, size_t size);
  bool Read(size_t offset, void* data, size_t size);
  std::string ReadText(size_t offset, size_t size);

 private:
  HANDLE process_;
  char* base_ = nullptr;
};

// ---- Screenshots: the test script serves NAME.req files ("x y width height") in the
// shots folder with NAME.png and answers with NAME.done. An empty folder or "-" takes none.

void SetShotsFolder(const std::string& folder);
void Shot(HWND window, const std::string& name);

// ---- A program started by the driver

class Program {
 public:
  Program() = default;
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Starts exe with the arguments; with an output file, its standard output and error go
  // there.
  bool Start(const std::string& exe, const std::string& arguments,
             const std::string& outputFile = "");
  DWORD Pid() const { return pid_; }
  HANDLE Handle() const { return process_; }
  bool Running() const;
  // Waits for the end; a program still running after that is terminated (and false).
  bool WaitForExit(int milliseconds = 15000);
  int ExitCode() const;

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

// ---- The installation form (caption "VorlaneBox Installation") of a program

class InstallForm {
 public:
  // Waits for the form to appear.
  bool Attach(const Program& program, int milliseconds = 10000);
  HWND Window() const { return form_; }
  HWND Item(int id) const { return GetDlgItem(form_, id); }

  int TabCount() const;
  int CurrentTab() const;
  // Switches tabs so that the form is told of the change.
  void SelectTab(int page);
  void TabItem(int index, std::string* text, int* image) const;

  int ListCount() const;
  std::string ListText(int row, int column) const;
  // The overview list as "[text|folder]" per row.
  std::string Overview() const;

  // Types into a field: the field reports the change before this returns.
  void Type(int id, const std::string& text);

  // The three controls of page row 1 to 8.
  static int CheckId(int row);
  static int FolderId(int row);
  static int BrowseId(int row);

 private:
  HANDLE process_ = nullptr;
  HWND form_ = nullptr;
};

// ---- Files, by Windows path

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// Creates every folder along the path.
bool CreateFolders(const std::string& folder);
// Every file below folder (which ends with a backslash), as full paths, sorted.
std::vector<std::string> FilesBelow(const std::string& folder);
// The names of the folder's entries whose name matches the pattern (e.g. "VLN*").
std::vector<std::string> Entries(const std::string& folder, const std::string& pattern);
// Deletes a folder with everything below it.
void DeleteTree(const std::string& folder);

}  // namespace WineUi
