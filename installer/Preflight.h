// The checks between the user's Install and the removal of the previous installation. They
// stage the payload and make sure that the installation can run to its end, so that any
// failure stops the run while the previous installation is still whole.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "framework/ElementRef.h"
#include "framework/VLN2.h"

namespace VLN2 {

class Archive;
class ArchiveEntry;
class BinaryStream;
class InstallPlan;
class String;
class SystemApp;
class Uninstaller;

// What ended the checks, in their order.
enum class PreflightCause {
  kReady,              // every check passed: the payload is staged
  kNewerRecord,        // the previous installation's record was written by a newer Setup
  kBadFolder,          // a folder or a path to write the path gate refuses
  kNoTempFolder,       // the private temporary folder is missing
  kPayloadNotStaged,   // the payload could not be written to the temporary folder whole
  kPayloadDamaged,     // the payload is not what the build recorded
  kArchiveUnreadable,  // the staged archive does not open, or an entry lies outside it
  kToolboxFolder,      // the toolbox folder cannot be created
  kRecordNotWritable,  // no installation record can be written in the toolbox folder
  kNoSpace,            // a destination volume lacks room
  kFilesInUse,         // files were in use and the user cancelled
  kOutOfMemory,
};

class Preflight {
 public:
  // plan: the installation chosen, which the checks complete with the previous record, the
  // staged archive and the files planned; null for a removal.
  Preflight(Core* core, InstallPlan* plan);
  ~Preflight();
  Preflight(const Preflight&) = delete;
  Preflight& operator=(const Preflight&) = delete;

  // Runs the checks in order until one fails. Files in use are shown in a Retry/Cancel box
  // through the application object; Retry checks them again. A toolbox folder the checks
  // created is removed again when a later check fails.
  PreflightCause Run();
  // The checks before a removal of the installation: its record is one this Setup reads, and
  // none of the files it lists is in use (asked as Run asks).
  PreflightCause RunRemoval();
  // Names the running program's own file, which the removal checks do not count as in use.
  void SetOwnFile(const char* path) { ownFile_ = path; }
  // After Run or RunRemoval: the previous installation's record as loaded, or null.
  Uninstaller* GetPrevious() const { return previous_.get(); }
  // After kReady: the staged archive file, held open until the Preflight goes; the plan holds
  // the archive open on it, which reads it through the handle the checks read it by.
  const char* GetArchivePath() const;
  // After a failure: what the user is told, naming the cause and the path.
  const char* GetMessage() const;

 private:
  using Visit = PreflightCause (Preflight::*)(const char* folder, const char* path,
                                              ArchiveEntry* entry);

  PreflightCause Check();
  PreflightCause CheckPreviousRecord();
  PreflightCause CheckFolders();
  PreflightCause CheckTempFolder();
  PreflightCause StagePayload();
  PreflightCause CheckArchive();
  PreflightCause PrepareToolbox();
  PreflightCause CheckSpace();
  PreflightCause CheckFilesInUse();
  // Calls visit for every file the installation will extract: the shared folder's into
  // the toolbox folder, then each selected target's into its folder.
  PreflightCause WalkEntries(Visit visit);
  PreflightCause Measure(const char* folder, const char* path, ArchiveEntry* entry);
  PreflightCause NoteInUse(const char* folder, const char* path, ArchiveEntry* entry);
  static int NoteRecordedInUse(const char* path, void* preflight);
  // Whether the folder of path exists, asked once for a run of paths in one folder: a file in
  // a missing folder is missing, and cannot be in use.
  bool FolderOfPathIsThere(const char* path);
  static void NoteHolder(const char* program, void* preflight);
  // Adds bytes to what the volume of folder must hold.
  PreflightCause Need(const char* folder, std::uint64_t bytes);
  void RemoveCreatedFolders();
  // Sets the message: the parts one after another (null ones left out), then the closing
  // sentence; returns cause.
  PreflightCause Fail(PreflightCause cause, std::initializer_list<const char*> parts);

  Core* core_;
  InstallPlan* plan_;
  SystemApp* app_ = nullptr;
  bool anySelected_ = false;
  ElementRef<String> archivePath_;
  ElementRef<String> message_;
  ElementRef<Archive> archive_;
  ElementRef<BinaryStream> staged_;   // the staged archive file, held open
  ElementRef<Uninstaller> previous_;  // the record of the previous installation
  // The nearest folder above the toolbox folder that existed before the checks created
  // the toolbox folder; null when they created nothing.
  ElementRef<String> existedAbove_;
  // The destination volumes: an existing folder on each, and the bytes going there.
  struct Volume {
    ElementRef<String> folder;
    std::uint64_t need = 0;
  };
  static constexpr int kMaxVolumes = 16;
  Volume volumes_[kMaxVolumes];
  int volumeCount_ = 0;
  // The destination folder Need last looked up, and its volume's index (-1: none).
  ElementRef<String> measuredFolder_;
  int lastVolume_ = -1;
  // The files found in use and the programs holding them, one per line.
  ElementRef<String> inUse_;
  ElementRef<String> holders_;
  // The folder FolderOfPathIsThere last asked about, and its answer.
  ElementRef<String> lastFolder_;
  bool lastFolderThere_ = false;
  const char* ownFile_ = nullptr;
};

}  // namespace VLN2
