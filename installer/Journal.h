// The journal of an installation in progress, beside its record: each new file it puts in
// place (written first under a temporary name beside it) and what was at that place before
// (moved to a backup name until the end), the folders it makes, and the previous installation
// as its record named it. Written whole and flushed before a file is written; removed when the
// installation is over. The new record is the commit: a start that finds a journal undoes an
// installation interrupted before it (every file back as it was), and finishes one
// interrupted after it (backups and the previous files the new record does not list deleted).
#pragma once

#include <cstdint>

#include "framework/ElementImp.h"
#include "framework/PathRules.h"

namespace VLN2 {

class String;
class Uninstaller;

class Journal : public ElementStorage {
 public:
  // Its name beside the record, and what the names of new files and backups add to a file's.
  static constexpr const char* kName = "Uninstall.journal";
  static constexpr const char* kNewSuffix = ".VLNnew";
  static constexpr const char* kOldSuffix = ".VLNold";

  // What was at a new file's place when the journal noted it.
  enum class Place : std::uint8_t {
    kEmpty,     // nothing: undoing deletes the new file
    kReplaced,  // a file, moved to the backup name while the installation runs
    kOurs,      // a file this installation wrote before: replaced where it is
  };

  Journal() = default;
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Starts the journal of an installation whose record is record (its bytes as they are now
  // tell later whether the new one was written); previous: the previous installation's
  // record as loaded (null: none). 1 when memory runs out or the record cannot be read.
  int Begin(const char* record, Uninstaller* previous);
  // Notes a new file and what is at its place now; a folder the installation makes. 1 when
  // memory runs out.
  int AddFile(const char* path, Place place);
  int AddFolder(const char* folder);
  int GetFileCount() const { return fileCount_; }
  const char* GetFilePath(int n) const { return files_[n].path; }
  Place GetFilePlace(int n) const { return files_[n].place; }
  // path followed by suffix, in buffer; "" when it does not fit.
  static const char* NameOf(const char* path, const char* suffix, char (&buffer)[2 * kMaxPathSize]);
  // Writes the journal whole and flushed in place of the one before; 0 when it is on disk.
  int Write();
  int GetFolderCount() const { return folders_.count; }
  // Puts back the files from the fromFile-th on, the last first: a new file goes, the file it
  // replaced takes its place again; then the folders made from the fromFolder-th on go when
  // they are empty. False when a file could not be put back (logged): those files are marked
  // to go back after the commit, or at the next start, once the journal is written again.
  bool Undo(int fromFile, int fromFolder);
  // After the new record, which record holds: deletes the backups and the previous files it
  // does not list, and puts back the files marked to go back. Each file that stays is added
  // to it and to told (one a line; may be null); true when any was. *complete: false when a
  // file marked to go back still could not: the journal must stay for the next start.
  bool Finish(Uninstaller* record, String* told, bool* complete);
  // Notes in the journal, written again, that the new record is in place; 0 when it is on disk.
  // Only then may backups go: a new record of the same bytes as the old tells nothing.
  int MarkCommitted();
  // Deletes the journal's file; 0 when it is gone.
  int Remove();

  // Acts on a journal left beside record by a run that did not finish, and removes it: 0
  // when there was none or it is done; 1 when it cannot be followed (damaged, or naming a
  // path an installation never writes), with *message saying so.
  static int Recover(const char* record, String* message);

 private:
  struct File {
    char* path;
    Place place;
    bool undone;  // its destination failed: it goes back whatever happens
  };
  bool UndoFile(int n);
  // A list of texts this journal owns.
  struct Texts {
    char** items = nullptr;
    int count = 0;
    int capacity = 0;
  };
  static int AddText(Texts* texts, const char* text);
  static void FreeTexts(Texts* texts);
  int Read(const unsigned char* bytes, std::uint32_t size);
  // The journal's bytes in *bytes (allocated) and their count; 1 when memory runs out.
  int Serialize(unsigned char** bytes, std::uint32_t* size) const;

  char* path_ = nullptr;    // the journal's file
  char* record_ = nullptr;  // the record's
  bool recordExisted_ = false;
  bool committed_ = false;
  std::uint32_t recordSize_ = 0, recordCrc_ = 0;
  File* files_ = nullptr;
  int fileCount_ = 0, fileCapacity_ = 0;
  Texts folders_, previousFiles_, previousFolders_;
};

}  // namespace VLN2
