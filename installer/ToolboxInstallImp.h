#pragma once

#include "archive/EntryName.h"
#include "framework/ElementImp.h"
#include "framework/ElementRef.h"
#include "installer/InstallPlan.h"
#include "installer/Journal.h"
#include "installer/ToolboxInstall.h"
#include "installer/UninstallEntry.h"

namespace VLN2 {

class Archive;
class String;
class Uninstaller;

// Installs each destination (the shared files, then each target) as one step: its new files
// are written beside under temporary names, then put in place, the files they replace moved
// to backup names; a destination that fails on the way is put back as it was. The new record
// is the commit: only then do the backups and the previous files no longer installed go. A
// journal beside the record lets the next start finish or undo an interrupted run.
class ToolboxInstallImp : public ElementImp<ToolboxInstall>, public InstallSource {
 public:
  explicit ToolboxInstallImp(Core* core) : ElementImp(core, kToolboxInstallType) {}

  // Loads what the previous installation recorded; nothing is removed yet.
  int Init() override;
  // Commits the new installation record, unless SaveRecord did.
  int Destroy() override;
  void* Cast(int interfaceId) override;
  int UsePlan(const InstallPlan* plan) override;

  int InstallTarget(int index, const char* archivePath, const char* folder) override;
  int InstallSharedFiles(const char* archivePath) override;
  // Commits the record unless SaveRecord did, then shows the targets' texts and what went
  // wrong besides.
  int ShowReport() override;
  // Writes the new record, the commit; then deletes the backups and the previous files no
  // longer installed. 0 when the record was written.
  int SaveRecord() override;

 private:
  // Installs the destination of index (a target, or the shared files) into folder: the
  // plan's, or one planned now from the archive file. 0 when every file is in place.
  int Install(int index, const char* archivePath, const char* folder, const char* prefix);
  int Carry(int index, const char* archivePath, const char* folder, const char* prefix);
  int CarryOut(Archive* archive, const InstallPlan::Destination& destination);
  // Notes the destination's files and the folders it makes in the journal and writes it.
  int Journalize(const InstallPlan::Destination& destination, const char* real);
  // Writes each new file under its temporary name; then puts each in place.
  int Stage(Archive* archive, const InstallPlan::Destination& destination, int from);
  int Swap(int from);
  const char* RecordPath();

  static constexpr int kNotAttempted = 18;
  int* status_ = nullptr;
  const InstallPlan* plan_ = nullptr;
  Uninstaller* previous_ = nullptr;     // the previous installation's record
  Uninstaller* uninstaller_ = nullptr;  // the new one
  ElementRef<String> record_;
  Journal journal_;
  bool journalBegun_ = false;
  bool journalWritten_ = false;
  NameSet written_;  // the files this run put in place, borrowed from the journal
  // The real folders of the destinations that failed: their previous files stay.
  ElementRef<String> failed_[kTargetCount + 1];
  int failedCount_ = 0;
  bool recordSaved_ = false;
  bool recordLost_ = false;
  bool sharedFailed_ = false;
  bool recordDamaged_ = false;        // the previous record was cut short
  ElementRef<String> leftOver_;       // the previous files and backups that stayed, one a line
  std::uint64_t installedBytes_ = 0;  // of the destinations put in place
  EntryOutcome entry_ = EntryOutcome::kDone;
};

}  // namespace VLN2
