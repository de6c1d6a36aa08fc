#include "installer/ToolboxInstallImp.h"

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/EntryName.h"
#include "framework/ElementContainer.h"
#include "framework/ElementRef.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "installer/Targets.h"
#include "installer/Uninstaller.h"
#include "system/FileFunc.h"
#include "system/Log.h"
#include "system/SystemApp.h"

namespace VLN2 {
namespace {

// Paragraphs after the targets' texts, each around a path.
const char* const kSharedFailedText =
    "\nThe shared VorlaneBox resources could not be installed into ";
const char* const kSharedFailedAdvice = ". The plug-ins may not work until Setup is run again.\n";
const char* const kRecordLostText = "\nThe installation record ";
const char* const kRecordLostAdvice =
    " could not be written. The next installation may not be able to remove the files of "
    "this one.\n";
const char* const kRecordDamagedText =
    "\nThe installation record of the previous installation was damaged: files of that "
    "installation may remain in ";
const char* const kRecordDamagedAdvice = " and in the folders of its plug-ins.\n";
const char* const kLeftOverText =
    "\nThese files of the previous installation could not be removed; the next installation "
    "or removal tries again:\n";

// Adds each file the uninstaller lists to the text, one a line.
int AddLine(const char* path, void* text) {
  auto* lines = static_cast<String*>(text);
  return lines->Append(path) == 0 && lines->Append("\n") == 0 ? 0 : 1;
}

// A new String holding first followed by second, or null (also without first: a record
// path of its own would be relative to wherever the process stands).
ElementRef<String> Joined(const char* first, const char* second) {
  if (!first) return {};
  ElementRef<String> text = ElementRef<String>::Create(kStringType);
  if (text && (text->SetText(first) != 0 || text->Append(second) != 0)) text.reset();
  return text;
}

const char* ToolboxFolder() {
  SystemApp* app = g_core->GetSystemApp();
  return app ? app->GetToolboxFolder() : nullptr;
}

}  // namespace

int ToolboxInstallImp::Init() {
  int result = 0;
  status_ = static_cast<int*>(Allocate(kTargetCount * sizeof(int)));
  if (status_)
    for (int i = 0; i < kTargetCount; ++i) status_[i] = kNotAttempted;
  else
    result = 1;
  uninstaller_ = Create<Uninstaller>(kUninstallerType);
  if (!uninstaller_) return result;
  if (g_core->GetSystemApp()) {
    if (ElementRef<String> record = Joined(ToolboxFolder(), kRecordName)) {
      uninstaller_->Load(record->GetText());
      recordDamaged_ = uninstaller_->GetRecordState() == RecordState::kCutShort;
      // The record stays until the new one replaces it in one step. What could not be
      // removed stays listed, and is told.
      if (uninstaller_->KeepFile(record->GetText()) == 0 && uninstaller_->Uninstall() != 0) {
        leftOver_ = Create<String>(kStringType);
        if (leftOver_ &&
            (leftOver_->SetText("") != 0 || uninstaller_->VisitFiles(&AddLine, leftOver_) != 0))
          ReleaseElement(leftOver_);
      }
    }
  }
  return result;
}

int ToolboxInstallImp::SaveRecord() {
  recordSaved_ = true;
  recordLost_ = true;
  if (!g_core->GetSystemApp() || !uninstaller_) return 1;
  ElementRef<String> record = Joined(ToolboxFolder(), kRecordName);
  if (!record) return 1;
  if (uninstaller_->SaveOrDelete(record->GetText()) != 0) {
    LogSystemError("record not written", record->GetText());
    return 1;
  }
  if (PathExists(record->GetText()) == 0) LogEvent("record written", record->GetText());
  recordLost_ = false;
  return 0;
}

void* ToolboxInstallImp::Cast(int interfaceId) {
  return interfaceId == kInstallSourceInterface ? static_cast<InstallSource*>(this) : nullptr;
}

int ToolboxInstallImp::UseArchive(Archive* archive) {
  if (archive) archive->AddRef();
  ReleaseElement(archive_);
  archive_ = archive;
  return 0;
}

int ToolboxInstallImp::Destroy() {
  if (!recordSaved_) SaveRecord();
  ReleaseElement(archive_);
  ReleaseElement(uninstaller_);
  ReleaseElement(leftOver_);
  Free(status_);
  delete this;
  return 0;
}

int ToolboxInstallImp::RecordFolder(Archive* archive, const char* destination, const char* prefix) {
  if (!uninstaller_) return 1;
  ElementRef<String> path = ElementRef<String>::Create(kStringType);
  ElementRef<StringUtil> util = ElementRef<StringUtil>::Create(kStringUtilType);
  // Where extraction really writes, so that the replay, which refuses links on the way,
  // still finds the files when the destination lies below a link.
  ElementRef<String> real = ElementRef<String>::Create(kStringType);
  if (!path || !util || !real || RealFolderPath(destination, real.get()) != 0) return 1;
  Iterator* it = archive->GetEntries();
  if (!it) return 1;
  int result = 0;
  bool any = false;
  for (it->First(); !it->IsDone(); it->Next()) {
    auto* entry = static_cast<ArchiveEntry*>(it->Current());
    const char* rest = entry ? entry->GetEntryName() : nullptr;
    if (!rest || (prefix && util->SkipPrefix(&rest, prefix) != 0)) continue;
    // Extraction refuses such names, so they never become files.
    if (!IsSafeEntryName(rest)) continue;
    any = true;
    if (path->SetText(real->GetText()) != 0 || path->Append(rest) != 0 ||
        uninstaller_->AddFileEntry(path->GetText()) != 0 ||
        uninstaller_->AddFolderEntry(path->GetText()) != 0)
      result = 1;
  }
  archive->ReleaseEntries(&it);
  // A folder of the payload that holds no file installs nothing: that is no installation.
  if (!any)
    LogEvent("nothing to install into", destination, "the installation files hold no file for it");
  return any ? result : 1;
}

int ToolboxInstallImp::InstallFolder(const char* archivePath, const char* destination,
                                     const char* prefix) {
  // The archive given is read as it is; one named by its path is opened for this folder.
  ElementRef<Archive> opened;
  Archive* archive = archive_;
  if (!archive) {
    opened = ElementRef<Archive>::Create(kArchiveType);
    if (!opened || opened->SetArchiveMode(kArchiveRead) != 0 ||
        opened->OpenArchive(archivePath) != 0)
      return 1;
    archive = opened.get();
  }
  // Recorded before extraction, so a file that fails half-way is removed next time; and
  // nothing is extracted that the record would not name, since no later installation
  // could remove it.
  int result = RecordFolder(archive, destination, prefix);
  if (result == 0) result = archive->ExtractFolder(destination, prefix);
  if (opened) opened->CloseArchive();
  return result;
}

int ToolboxInstallImp::InstallTarget(int index, const char* archivePath, const char* folder) {
  const Target* target = FindTarget(index);
  if (!target) return 1;
  // Without a folder the files would land wherever the process happens to stand.
  int result = folder && *folder ? InstallFolder(archivePath, folder, target->archiveFolder) : 1;
  if (status_) status_[index] = result;
  return result;
}

int ToolboxInstallImp::InstallSharedFiles(const char* archivePath) {
  const char* toolbox = ToolboxFolder();
  if (!toolbox) return 1;
  int result = InstallFolder(archivePath, toolbox, kSharedFolder);
  sharedFailed_ = result != 0;
  if (uninstaller_) {
    if (ElementRef<String> record = Joined(toolbox, kRecordName))
      uninstaller_->AddFileEntry(record->GetText());
  }
  return result;
}

int ToolboxInstallImp::ShowReport() {
  // Saved first, so that the report can tell when the record could not be written.
  if (!recordSaved_) SaveRecord();
  SystemApp* app = g_core->GetSystemApp();
  ElementRef<String> report = ElementRef<String>::Create(kStringType);
  if (!app || !report) return 1;
  bool attempted = false;
  for (int i = 0; status_ && i < kTargetCount; ++i) {
    if (status_[i] == kNotAttempted) continue;
    attempted = true;
    const Target* target = FindTarget(i);
    // A report that lost a target's text would tell the user less than happened.
    if (report->Append(status_[i] == 0 ? target->successText : target->failureText) != 0) return 1;
  }
  if (!attempted) return 0;
  const char* toolbox = ToolboxFolder();
  if (sharedFailed_ && (report->Append(kSharedFailedText) != 0 || report->Append(toolbox) != 0 ||
                        report->Append(kSharedFailedAdvice) != 0))
    return 1;
  if (recordLost_ && (report->Append(kRecordLostText) != 0 || report->Append(toolbox) != 0 ||
                      report->Append(kRecordName) != 0 || report->Append(kRecordLostAdvice) != 0))
    return 1;
  if (recordDamaged_ && (report->Append(kRecordDamagedText) != 0 || report->Append(toolbox) != 0 ||
                         report->Append(kRecordDamagedAdvice) != 0))
    return 1;
  if (leftOver_ && leftOver_->GetLength() > 0 &&
      (report->Append(kLeftOverText) != 0 || report->Append(leftOver_->GetText()) != 0))
    return 1;
  app->ShowInfo(report->GetText(), kReportCaption);
  return 0;
}

}  // namespace VLN2
