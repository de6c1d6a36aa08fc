#include "installer/ToolboxInstallImp.h"

#include <cstring>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "framework/PathRules.h"
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
    " could not be written, so nothing was installed: the previous installation stays as it "
    "was.\n";
const char* const kRecordDamagedText =
    "\nThe installation record of the previous installation was damaged: files of that "
    "installation may remain in ";
const char* const kRecordDamagedAdvice = " and in the folders of its plug-ins.\n";
const char* const kEntryFailedText =
    "\nVorlaneBox could not be entered in the list of installed apps (";
const char* const kEntryNotOursText =
    "\nThe list of installed apps holds a VorlaneBox entry of another installation, which was "
    "left as it is (";
const char* const kEntryAdvice = "). To remove VorlaneBox, run ";
const char* const kLeftOverText =
    "\nThese files of the previous installation could not be removed; the next installation "
    "or removal tries again:\n";

const char* ToolboxFolder() {
  SystemApp* app = g_core->GetSystemApp();
  return app ? app->GetToolboxFolder() : nullptr;
}

// Whether the path lies below the folder (ending in a separator).
bool IsBelow(StringUtil* util, const char* path, const char* folder) {
  return util->SkipPrefix(&path, folder) == 0 && *path;
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
  previous_ = Create<Uninstaller>(kUninstallerType);
  if (!uninstaller_ || !previous_) return result;
  if (const char* record = RecordPath()) {
    previous_->Load(record);
    recordDamaged_ = previous_->GetRecordState() == RecordState::kCutShort;
  }
  return result;
}

const char* ToolboxInstallImp::RecordPath() {
  if (!record_ && ToolboxFolder()) {
    record_ = NewText(ToolboxFolder());
    if (record_ && record_->Append(kRecordName) != 0) record_.reset();
  }
  return record_ ? record_->GetText() : nullptr;
}

void* ToolboxInstallImp::Cast(int interfaceId) {
  return interfaceId == kInstallSourceInterface ? static_cast<InstallSource*>(this) : nullptr;
}

int ToolboxInstallImp::UsePlan(const InstallPlan* plan) {
  plan_ = plan;
  // The record the checks read and vetted is the one acted on.
  if (plan && plan->GetPrevious()) {
    plan->GetPrevious()->AddRef();
    ReleaseElement(previous_);
    previous_ = plan->GetPrevious();
  }
  return 0;
}

int ToolboxInstallImp::Destroy() {
  if (!recordSaved_) SaveRecord();
  ReleaseElement(uninstaller_);
  ReleaseElement(previous_);
  Free(status_);
  delete this;
  return 0;
}

int ToolboxInstallImp::Install(int index, const char* archivePath, const char* folder,
                               const char* prefix) {
  int result = Carry(index, archivePath, folder, prefix);
  // However it failed, what the folder held before is still installed, and stays listed.
  ElementRef<String> real = ElementRef<String>::Create(kStringType);
  if (result != 0 && real && RealFolderPath(folder, real.get()) == 0 &&
      failedCount_ <= kTargetCount)
    failed_[failedCount_++] = std::move(real);
  return result;
}

int ToolboxInstallImp::Carry(int index, const char* archivePath, const char* folder,
                             const char* prefix) {
  if (!uninstaller_ || !previous_) return 1;
  if (plan_) {
    // What was planned and checked, read through the handle that was checked.
    const InstallPlan::Destination* planned = plan_->FindDestination(index);
    return planned ? CarryOut(plan_->GetArchive(), *planned) : 1;
  }
  ElementRef<Archive> archive = ElementRef<Archive>::Create(kArchiveType);
  if (!archive || archive->SetArchiveMode(kArchiveRead) != 0 ||
      archive->OpenArchive(archivePath) != 0)
    return 1;
  InstallPlan single(core_);
  int result = single.PlanDestination(archive.get(), index, folder, prefix) == 0
                   ? CarryOut(archive.get(), single.GetDestination(0))
                   : 1;
  archive->CloseArchive();
  return result;
}

int ToolboxInstallImp::CarryOut(Archive* archive, const InstallPlan::Destination& destination) {
  if (destination.refused) return 1;
  // A folder of the payload that holds no file installs nothing: that is no installation.
  if (destination.count == 0) {
    LogEvent("nothing to install into", destination.folder,
             "the installation files hold no file for it");
    return 1;
  }
  // Where the files really go, so that the record names them there even when the folder lies
  // below a link the user chose; the replay refuses links on the way.
  ElementRef<String> real = ElementRef<String>::Create(kStringType);
  if (!real || RealFolderPath(destination.folder, real.get()) != 0 || !RecordPath()) return 1;
  int fromFile = journal_.GetFileCount(), fromFolder = journal_.GetFolderCount();
  int result = Journalize(destination, real->GetText());
  if (result == 0) result = Stage(archive, destination, fromFile);
  if (result == 0) result = Swap(fromFile);
  // What the record cannot name is not installed: it goes back too.
  for (int n = fromFile; result == 0 && n < journal_.GetFileCount(); ++n) {
    const char* path = journal_.GetFilePath(n);
    if (uninstaller_->AddFileEntry(path) != 0 || uninstaller_->AddFolderEntry(path) != 0)
      result = 1;
  }
  ArchiveReader* reader = CastTo<ArchiveReader>(archive);
  for (int i = 0; result == 0 && reader && i < destination.count; ++i) {
    std::uint32_t unpacked = 0;
    bool packed = false;
    if (reader->GetEntryForm(destination.files[i].entry, &unpacked, &packed) == 0)
      installedBytes_ += unpacked;
  }
  // Put back as it was; what cannot go back now is the journal's to put back later.
  if (result != 0 && !journal_.Undo(fromFile, fromFolder)) journal_.Write();
  return result;
}

int ToolboxInstallImp::Journalize(const InstallPlan::Destination& destination, const char* real) {
  if (!journalBegun_ && journal_.Begin(RecordPath(), previous_) != 0) return 1;
  journalBegun_ = true;
  ElementRef<String> path = ElementRef<String>::Create(kStringType);
  ElementRef<String> folder = ElementRef<String>::Create(kStringType);
  ElementRef<String> missing = ElementRef<String>::Create(kStringType);
  if (!path || !folder || !missing || folder->SetText("") != 0) return 1;
  bool folderExists = true;
  for (int i = 0; i < destination.count; ++i) {
    if (path->SetText(real) != 0 || path->Append(destination.files[i].name) != 0 ||
        path->Append(Journal::kNewSuffix) != 0)
      return 1;
    // The temporary and backup names must fit the system too.
    if (!IsPlainPath(path->GetText()) ||
        path->Truncate(path->GetLength() - static_cast<int>(std::strlen(Journal::kNewSuffix))) != 0)
      return 1;
    // The folders it makes, the highest first, and whether a file can be there already: in a
    // folder that is not there, none is.
    if (missing->SetText(path->GetText()) != 0 || !CutToParent(missing.get())) return 1;
    if (!SamePath(missing->GetText(), folder->GetText())) {
      if (folder->SetText(missing->GetText()) != 0) return 1;
      folderExists = FolderOfPathExists(path->GetText()) == 0;
      // Up to the drive's root at most: the path is a plain one.
      while (!folderExists && missing->GetLength() > 3 &&
             FolderOfPathExists(missing->GetText()) != 0)
        if (journal_.AddFolder(missing->GetText()) != 0 || !CutToParent(missing.get())) return 1;
    }
    Journal::Place place = Journal::Place::kEmpty;
    PathKind kind = folderExists ? KindOfPath(path->GetText()) : PathKind::kNothing;
    if (written_.Contains(path->GetText())) {
      place = Journal::Place::kOurs;
    } else if (kind == PathKind::kFile) {
      place = Journal::Place::kReplaced;
    } else if (kind == PathKind::kOther) {
      // A folder or a link where the file goes is the user's: it is not moved aside.
      LogEvent("file not written", path->GetText(), "a folder or a link is in its place");
      return 1;
    }
    if (journal_.AddFile(path->GetText(), place) != 0) return 1;
  }
  if (journal_.Write() != 0) {
    LogSystemError("journal not written", RecordPath());
    return 1;
  }
  journalWritten_ = true;
  return 0;
}

int ToolboxInstallImp::Stage(Archive* archive, const InstallPlan::Destination& destination,
                             int from) {
  ArchiveReader* reader = CastTo<ArchiveReader>(archive);
  ElementRef<String> temp = ElementRef<String>::Create(kStringType);
  if (!reader || !temp) return 1;
  KnownFolder known;
  for (int i = 0; i < destination.count; ++i) {
    const char* path = journal_.GetFilePath(from + i);
    if (temp->SetText(path) != 0 || temp->Append(Journal::kNewSuffix) != 0) return 1;
    // A folder that cannot be made, or is a link, fails the destination.
    if (CheckRealFolders(temp->GetText(), true, &known) != 0) {
      LogSystemError("folder not created for", path);
      return 1;
    }
    if (reader->ExtractEntry(destination.files[i].entry, temp->GetText()) != 0) {
      LogSystemError("file not written", path);
      return 1;
    }
  }
  return 0;
}

int ToolboxInstallImp::Swap(int from) {
  char temp[2 * kMaxPathSize], backup[2 * kMaxPathSize];
  for (int n = from; n < journal_.GetFileCount(); ++n) {
    const char* path = journal_.GetFilePath(n);
    Journal::Place place = journal_.GetFilePlace(n);
    journal_.NameOf(path, Journal::kNewSuffix, temp);
    if (place == Journal::Place::kReplaced &&
        !Port::MoveFile(path, journal_.NameOf(path, Journal::kOldSuffix, backup), false)) {
      LogSystemError("file not replaced", path);
      return 1;
    }
    if (!Port::MoveFile(temp, path, place == Journal::Place::kOurs)) {
      LogSystemError("file not written", path);
      return 1;
    }
    written_.Take(path);
    LogEvent("file written", path);
  }
  return 0;
}

int ToolboxInstallImp::InstallTarget(int index, const char* archivePath, const char* folder) {
  const Target* target = FindTarget(index);
  if (!target) return 1;
  // Without a folder the files would land wherever the process happens to stand.
  int result = folder && *folder ? Install(index, archivePath, folder, target->archiveFolder) : 1;
  if (status_) status_[index] = result;
  return result;
}

int ToolboxInstallImp::InstallSharedFiles(const char* archivePath) {
  const char* toolbox = ToolboxFolder();
  if (!toolbox) return 1;
  int result = Install(InstallPlan::kSharedFiles, archivePath, toolbox, kSharedFolder);
  sharedFailed_ = result != 0;
  if (uninstaller_ && RecordPath()) uninstaller_->AddFileEntry(RecordPath());
  return result;
}

int ToolboxInstallImp::SaveRecord() {
  recordSaved_ = true;
  recordLost_ = true;
  const char* record = RecordPath();
  if (!record || !uninstaller_ || !previous_) return 1;
  // The previous files of a destination that failed are still installed.
  ElementRef<StringUtil> util = ElementRef<StringUtil>::Create(kStringUtilType);
  if (!util) return 1;
  struct Keep {
    ToolboxInstallImp* self;
    StringUtil* util;
    static int Visit(const char* path, void* context) {
      auto* keep = static_cast<Keep*>(context);
      for (int n = 0; n < keep->self->failedCount_; ++n) {
        if (!IsBelow(keep->util, path, keep->self->failed_[n]->GetText())) continue;
        keep->self->uninstaller_->AddFileEntry(path);
        keep->self->uninstaller_->AddFolderEntry(path);
      }
      return 0;
    }
  } keep{this, util.get()};
  previous_->VisitFiles(&Keep::Visit, &keep);
  // Before the commit the journal names what the previous installation had, so that a run cut
  // short after it still removes what is no longer installed.
  if (!journalWritten_ &&
      ((!journalBegun_ && journal_.Begin(record, previous_) != 0) || journal_.Write() != 0)) {
    LogSystemError("journal not written", record);
    return 1;
  }
  journalWritten_ = true;
  if (uninstaller_->SaveOrDelete(record) != 0) {
    LogSystemError("record not written", record);
    // Nothing is committed: every destination goes back as it was.
    if (journal_.Undo(0, 0))
      journal_.Remove();
    else
      journal_.Write();
    for (int i = 0; status_ && i < kTargetCount; ++i)
      if (status_[i] != kNotAttempted) status_[i] = 1;
    return 1;
  }
  bool installed = PathExists(record) == 0;
  if (installed) LogEvent("record written", record);
  recordLost_ = false;
  leftOver_ = NewText("");
  bool complete = journal_.MarkCommitted() == 0;
  // Without the mark nothing goes: the next start finishes or undoes as the record tells.
  if (!complete) LogSystemError("journal not written", record);
  if (complete && journal_.Finish(uninstaller_, leftOver_.get(), &complete) &&
      uninstaller_->SaveOrDelete(record) != 0)
    LogSystemError("record not written", record);
  // Files that could not go back yet: the next start puts them back.
  if (complete) journal_.Remove();
  // Nothing installed any more: no entry, and no empty toolbox or product folder either.
  installed = PathExists(record) == 0;
  entry_ = installed ? WriteUninstallEntry(ToolboxFolder(), installedBytes_)
                     : DeleteUninstallEntry(ToolboxFolder());
  if (!installed) RemoveRecordFolders(record);
  return 0;
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
  if ((entry_ == EntryOutcome::kFailed || entry_ == EntryOutcome::kNotOurs) &&
      (report->Append(entry_ == EntryOutcome::kFailed ? kEntryFailedText : kEntryNotOursText) !=
           0 ||
       report->Append(kUninstallEntryName) != 0 || report->Append(kEntryAdvice) != 0 ||
       report->Append(toolbox) != 0 || report->Append(kUninstallerProgram) != 0 ||
       report->Append(".\n") != 0))
    return 1;
  if (leftOver_ && leftOver_->GetLength() > 0 &&
      (report->Append(kLeftOverText) != 0 || report->Append(leftOver_->GetText()) != 0))
    return 1;
  app->ShowInfo(report->GetText(), kReportCaption);
  return 0;
}

}  // namespace VLN2
