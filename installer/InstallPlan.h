// One installation as a value, built once when the choice is made: the chosen targets with
// their folders, the previous installation's record, the staged archive and, for the shared
// files and each chosen target, the archive entries it writes and where. The checks check it,
// the procedure carries it out; nothing reads the form once it has ended.
#pragma once

#include "framework/ElementImp.h"
#include "framework/ElementRef.h"
#include "installer/Targets.h"

namespace VLN2 {

class Archive;
class ArchiveEntry;
class String;
class Uninstaller;

class InstallPlan : public ElementStorage {
 public:
  // The destination index of the shared files, installed into the toolbox folder.
  static constexpr int kSharedFiles = -1;

  // A file to write: its entry, and its name below the destination's folder (part of the
  // entry's name).
  struct File {
    ArchiveEntry* entry;
    const char* name;
  };
  // The shared files or one chosen target: where they go and what is written there.
  struct Destination {
    int index;           // a target index, or kSharedFiles
    const char* folder;  // as chosen, ending in a separator
    File* files;
    int count;
    // An entry below its archive folder that cannot be written as it is named: the
    // destination fails whole, before anything is written.
    bool refused;
  };

  explicit InstallPlan(Core* core);
  ~InstallPlan();
  InstallPlan(const InstallPlan&) = delete;
  InstallPlan& operator=(const InstallPlan&) = delete;

  // ---- The choice, kept as the form keeps it: a folder of more than one character ends in a
  // separator. Index 0 to 13; outside that range nothing is read or stored.
  const char* GetTargetPath(int index) const;
  // 1 when the text or the separator could not be stored.
  int SetTargetPath(int index, const char* text);
  bool IsTargetSelected(int index) const;
  void SetTargetSelected(int index, bool on);
  bool IsAnySelected() const;

  // ---- What the checks add.
  // The previous installation's record as loaded (held), or null.
  void SetPrevious(Uninstaller* previous);
  Uninstaller* GetPrevious() const { return previous_.get(); }
  // Plans the files of the open archive (held): the shared files into toolbox when anything is
  // chosen, then each chosen target that has a folder. 1 when memory runs out.
  int PlanFiles(Archive* archive, const char* toolbox);
  // Plans one destination: the entries below prefix, in archive order; one whose name is not
  // safe, or that Windows takes for an earlier one, is logged and refuses the destination. 1
  // when memory runs out.
  int PlanDestination(Archive* archive, int index, const char* folder, const char* prefix);
  Archive* GetArchive() const { return archive_.get(); }

  int GetDestinationCount() const { return count_; }
  const Destination& GetDestination(int n) const { return destinations_[n]; }
  // The destination of a target index or kSharedFiles; null when it is not planned.
  const Destination* FindDestination(int index) const;

 private:
  Core* core_;
  ElementRef<String> folders_[kTargetCount];
  bool selected_[kTargetCount] = {};
  ElementRef<Uninstaller> previous_;
  ElementRef<Archive> archive_;
  // The shared files and the fourteen targets at most; each files array is allocated.
  Destination destinations_[kTargetCount + 1] = {};
  int count_ = 0;
};

}  // namespace VLN2
