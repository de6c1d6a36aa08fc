#include "system/SystemAppImp.h"

#include <cstring>

#include "framework/Allocator.h"
#include "framework/ElementRef.h"
#include "framework/FilePath.h"
#include "framework/PathRules.h"
#include "framework/StringUtil.h"
#include "system/FileFunc.h"
#include "system/FileSystemIterator.h"
#include "system/PathGate.h"
#include "system/Registry.h"

namespace VLN2 {

namespace {

const char* const kCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
const char* const kNtCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
const char* const kProductFolder = "Vorlane\\";
constexpr std::size_t kPathBuffer = 260;
constexpr int kTempFolderAttempts = 30;
// The product name starts with "Microsoft ", which is not shown.
constexpr std::size_t kProductNamePrefix = 10;

// Deletes a file found in the temporary folder; a link is left alone, whatever it points
// to. Always goes on.
int DeleteRegularFile(const char* path, void*) {
  Port::FindData entry;
  Port::FindHandle found = Port::FindFirst(path, &entry);
  if (!found) return 0;
  Port::FindClose(found);
  if (!entry.isLink && !entry.isDirectory) RemoveFile(path);
  return 0;
}

}  // namespace

SystemAppImp::SystemAppImp(Core* core, Port::ModuleHandle module, const char* commandLine,
                           int count)
    : ElementImp(core, kSystemAppType), module_(module) {
  if (count > 0) Store(&commandLine_, commandLine);
}

void SystemAppImp::Store(String** property, const char* text) {
  if (!text) {
    ReleaseElement(*property);
    return;
  }
  if (!*property) {
    *property = static_cast<String*>(core_->CreateElement(kStringType, 0));
    if (!*property) return;
    (*property)->AddRef();
  }
  (*property)->SetText(text);
}

void SystemAppImp::Append(String* property, const char* text) {
  if (property) property->Append(text);
}

int SystemAppImp::SetCommandLineText(const char* text) {
  Store(&commandLine_, text);
  return 0;
}

int SystemAppImp::Init() {
  const std::size_t size = kPathBuffer + std::strlen(kProductFolder);
  char* buffer = static_cast<char*>(Allocate(size));
  if (!buffer) return 1;
  std::memset(buffer, 0, size);
  ReadProductFolders(buffer, size);
  ReadModuleFolder(buffer, size);
  CreateTempFolder();
  char name[16];
  std::uint32_t length = sizeof name;
  if (Port::GetComputerName(name, &length)) Store(&machineName_, name);
  ReadOsProductName();
  Free(buffer);
  return 0;
}

void SystemAppImp::ReadProductFolders(char* buffer, std::size_t size) {
  RegistryKey key;
  RegistryValue value("^ProgramFilesDir");
  // An expandable value ("%SystemDrive%\\Program Files") is expanded. A folder that is
  // still not absolute would put the record wherever the installer was started (a
  // downloads folder anyone can write): the system's known folder is used instead, and
  // without one no product folder is set.
  const char* programFiles = nullptr;
  if (key.OpenKey(kCurrentVersionKey) == 0) {
    if (value.Query(key) == 0 && value.GetText()) programFiles = value.GetText();
    key.CloseKey();
  }
  char expanded[kPathBuffer];
  if (programFiles && std::strchr(programFiles, '%') &&
      Port::ExpandText(programFiles, expanded, sizeof expanded))
    programFiles = expanded;
  const std::size_t tail = std::strlen(kProductFolder);
  auto usable = [size, tail](const char* folder) {
    return IsPlainPath(folder) && std::strlen(folder) + 1 + tail + 1 <= size;
  };
  char known[kPathBuffer];
  if (!usable(programFiles)) {
    if (!Port::GetProgramFilesFolder(known, sizeof known) || !usable(known)) return;
    programFiles = known;
  }
  std::size_t length = std::strlen(programFiles);
  std::memcpy(buffer, programFiles, length);
  // One separator whether or not the folder already ends in one.
  if (length > 0) buffer[length++] = '\\';
  std::memcpy(buffer + length, kProductFolder, tail + 1);
  Store(&baseFolder_, buffer);
  Store(&toolboxFolder_, buffer);
  Append(toolboxFolder_, "Toolbox\\");
  Store(&viewerFolder_, buffer);
  Append(viewerFolder_, "Viewer\\");
}

void SystemAppImp::ReadModuleFolder(char* buffer, std::size_t size) {
  std::memset(buffer, 0, size);
  if (!Port::GetModuleFileName(module_, buffer, static_cast<std::uint32_t>(kPathBuffer))) return;
  char* last = std::strrchr(buffer, '\\');
  if (!last) return;
  last[1] = 0;
  Store(&moduleFolder_, buffer);
}

void SystemAppImp::ReadOsProductName() {
  RegistryKey key;
  RegistryValue value("^ProductName");
  if (key.OpenKey(kNtCurrentVersionKey) != 0) return;
  if (value.Query(key) == 0 && value.GetText()) {
    const char* name = value.GetText();
    Store(&osProductName_,
          std::strlen(name) > kProductNamePrefix ? name + kProductNamePrefix : name);
  }
  key.CloseKey();
}

void SystemAppImp::CreateTempFolder() {
  std::uint32_t lastClock = 0;
  bool clockRead = false;
  for (int attempt = 0; attempt < kTempFolderAttempts; ++attempt) {
    if (TryTempFolder(&lastClock, &clockRead)) {
      tempFolderCreated_ = true;
      return;
    }
  }
  // No folder of our own: a name that exists belongs to someone else, so none is kept.
  Store(&tempFolder_, nullptr);
}

bool SystemAppImp::TryTempFolder(std::uint32_t* lastClock, bool* clockRead) {
  char* system = static_cast<char*>(Allocate(kPathBuffer));
  if (!system) return false;
  bool created = false;
  // A system folder the path gate refuses (a share, a device) takes no folder of ours either.
  if (Port::GetTempPath(system, static_cast<std::uint32_t>(kPathBuffer)) == 0 ||
      CheckPlace(system) != PathFault::kNone) {
    Store(&tempFolder_, nullptr);
  } else {
    Store(&tempFolder_, system);
    if (GetTempFolder()) {
      // Each attempt takes a new name: wait for the clock when it has not moved.
      std::uint32_t clock = Port::GetMilliseconds();
      if (*clockRead && clock == *lastClock) {
        Port::Sleep(1);
        clock = Port::GetMilliseconds();
      }
      *lastClock = clock;
      *clockRead = true;
      std::int32_t number = static_cast<std::int32_t>((clock + 0x48F6A1BEu) ^ 0x732A8C43u);
      char name[32] = "VLN";
      std::size_t length = 3 + FormatDecimal(number, name + 3, sizeof name - 4);
      std::memcpy(name + length, "\\", 2);
      // The system's folder may be missing; the private one must be new: a folder of that
      // name already there was put there by someone else (or is a link) and is not used.
      // Only this user, the Administrators and the system may enter it.
      if (tempFolder_->Append(name) == 0 && GetTempFolder()) {
        CreateFolders(system);
        created = Port::CreatePrivateFolder(GetTempFolder());
      }
    }
  }
  Free(system);
  return created;
}

int SystemAppImp::ClearTempFolder() {
  if (!tempFolderCreated_ || !GetTempFolder()) return 0;
  ElementRef<FileSystemIterator> walker(
      static_cast<FileSystemIterator*>(core_->CreateElement(kFileSystemIteratorType, 0)));
  if (!walker) return 0;
  walker->SetFileCallback(DeleteRegularFile);
  walker->SetRoot(GetTempFolder());
  walker->Walk(nullptr);
  return 0;
}

int SystemAppImp::Destroy() {
  ClearTempFolder();
  if (tempFolderCreated_ && GetTempFolder()) {
    // Fails without further effect while the folder still holds anything.
    ElementRef<FilePath> folder = ElementRef<FilePath>::Create(kFilePathType);
    if (folder && folder->SetPath(GetTempFolder()) == 0 && folder->GetPath())
      RemoveFolder(folder->GetPath());
    else
      RemoveFolder(GetTempFolder());
  }
  tempFolderCreated_ = false;
  Store(&commandLine_, nullptr);
  Store(&baseFolder_, nullptr);
  Store(&toolboxFolder_, nullptr);
  Store(&viewerFolder_, nullptr);
  Store(&moduleFolder_, nullptr);
  Store(&tempFolder_, nullptr);
  Store(&machineName_, nullptr);
  Store(&osProductName_, nullptr);
  delete this;
  return 0;
}

int SystemAppImp::ShowBox(const char* text, const char* caption, Port::MessageBoxKind kind) {
  if (log_) log_->WriteLines(quiet_ ? "box (not shown)" : "box", caption, text);
  if (!quiet_) return Port::ShowMessageBox(text, caption, kind);
  return kind == Port::MessageBoxKind::kQuestion ? 0 : Port::kBoxOk;
}

int SystemAppImp::ShowError(const char* text, const char* caption) {
  return ShowBox(text, caption ? caption : "Error", Port::MessageBoxKind::kError);
}

int SystemAppImp::ShowInfo(const char* text, const char* caption) {
  return ShowBox(text, caption ? caption : "Info", Port::MessageBoxKind::kInfo);
}

int SystemAppImp::ShowQuestion(const char* text, const char* caption) {
  return ShowBox(text, caption ? caption : "Question", Port::MessageBoxKind::kQuestion) ==
                 Port::kBoxYes
             ? 0
             : 1;
}

int SystemAppImp::AskRetry(const char* text, const char* caption) {
  // Unattended, the box is a log line and the answer Cancel.
  return ShowBox(text, caption ? caption : "Question", Port::MessageBoxKind::kRetryCancel) ==
                 Port::kBoxRetry
             ? 0
             : 1;
}

int SystemAppImp::ShellOpen(const char* text) {
  if (text) Port::ShellOpen(text);
  return 0;
}

int SystemAppImp::WaitForInput(int milliseconds) {
  return Port::WaitForInput(static_cast<std::uint32_t>(milliseconds));
}

}  // namespace VLN2
