#include "installer/Journal.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "archive/BinaryStream.h"
#include "archive/Stream.h"
#include "archive/StreamIO.h"
#include "framework/Allocator.h"
#include "framework/ElementRef.h"
#include "framework/PathRules.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "installer/Uninstaller.h"
#include "system/FileFunc.h"
#include "system/Log.h"
#include "system/port/Port.h"

namespace VLN2 {
namespace {

const unsigned char kMagic[4] = {'V', 'L', 'N', 'J'};
// Beside a file's place in the journal: its destination failed and it is to go back.
constexpr unsigned char kUndone = 0x80;
constexpr std::uint32_t kVersion = 1;
// A journal names a few thousand paths at most: anything larger is not one.
constexpr std::uint32_t kLargestJournal = 64u << 20;

char* CopyText(const char* text) {
  std::size_t length = std::strlen(text);
  char* copy = static_cast<char*>(Allocate(length + 1));
  if (copy) std::memcpy(copy, text, length + 1);
  return copy;
}

// The bytes of a whole file (allocated) and their count; false when it cannot be read whole.
bool ReadWhole(const char* path, unsigned char** bytes, std::uint32_t* size) {
  *bytes = nullptr;
  *size = 0;
  ElementRef<BinaryStream> file = OpenFileStream(path, kModeRead);
  Stream* stream = CastTo<Stream>(file.get());
  if (!stream || stream->GetSize(size) != 0 || *size > kLargestJournal) return false;
  *bytes = static_cast<unsigned char*>(Allocate(*size ? *size : 1));
  bool read = *bytes && ReadFully(stream, *bytes, *size) == *size;
  if (!read) {
    Free(*bytes);
    *bytes = nullptr;
  }
  return read;
}

// What tells the record written by an installation from the one before it.
struct RecordIdentity {
  bool exists = false;
  std::uint32_t size = 0, crc = 0;
};

// False when the record is there but cannot be read.
bool IdentifyRecord(const char* path, RecordIdentity* identity) {
  *identity = {};
  if (PathExists(path) != 0) return true;
  unsigned char* bytes = nullptr;
  if (!ReadWhole(path, &bytes, &identity->size)) return false;
  identity->exists = true;
  identity->crc = static_cast<std::uint32_t>(crc32(0, bytes, identity->size));
  Free(bytes);
  return true;
}

// A growing buffer of the journal's bytes; false once memory ran out.
class Writer {
 public:
  ~Writer() { Free(bytes_); }
  void Word(std::uint32_t value) {
    unsigned char word[4];
    StoreLE32(word, value);
    Bytes(word, 4);
  }
  void Byte(unsigned char value) { Bytes(&value, 1); }
  // As a stored String: a 16-bit count of the text and its NUL, then both.
  void Text(const char* text) {
    std::size_t length = std::strlen(text) + 1;
    if (length > 0xFFFF) ok_ = false;
    unsigned char count[2] = {static_cast<unsigned char>(length),
                              static_cast<unsigned char>(length >> 8)};
    Bytes(count, 2);
    Bytes(text, length);
  }
  void Bytes(const void* data, std::size_t n) {
    if (!ok_ || (size_ + n > capacity_ && !Grow(size_ + n))) return;
    std::memcpy(bytes_ + size_, data, n);
    size_ += n;
  }
  bool Take(unsigned char** bytes, std::uint32_t* size) {
    if (!ok_) return false;
    *bytes = std::exchange(bytes_, nullptr);
    *size = static_cast<std::uint32_t>(size_);
    return true;
  }
  const unsigned char* Data() const { return bytes_; }
  std::size_t Size() const { return size_; }

 private:
  bool Grow(std::size_t needed) {
    std::size_t capacity = capacity_ ? capacity_ * 2 : 4096;
    while (capacity < needed) capacity *= 2;
    auto* grown = static_cast<unsigned char*>(Allocate(capacity));
    if (!grown) return ok_ = false;
    if (size_) std::memcpy(grown, bytes_, size_);
    Free(bytes_);
    bytes_ = grown;
    capacity_ = capacity;
    return true;
  }
  unsigned char* bytes_ = nullptr;
  std::size_t size_ = 0, capacity_ = 0;
  bool ok_ = true;
};

// Reads what Writer wrote; every read past the end fails from then on.
class Reader {
 public:
  Reader(const unsigned char* bytes, std::uint32_t size) : at_(bytes), end_(bytes + size) {}
  bool Word(std::uint32_t* value) {
    if (end_ - at_ < 4) return ok_ = false;
    *value = LoadLE32(at_);
    at_ += 4;
    return true;
  }
  bool Byte(unsigned char* value) {
    if (end_ - at_ < 1) return ok_ = false;
    *value = *at_++;
    return true;
  }
  // A text, which must be a path an installation could have written.
  const char* Path() {
    if (end_ - at_ < 2) return Fail();
    std::size_t length = at_[0] | at_[1] << 8;
    const auto* text = reinterpret_cast<const char*>(at_ + 2);
    if (length == 0 || static_cast<std::size_t>(end_ - at_ - 2) < length ||
        text[length - 1] != '\0' || std::strlen(text) != length - 1 || !IsRecordablePath(text))
      return Fail();
    at_ += 2 + length;
    return text;
  }
  bool AtEnd() const { return ok_ && at_ == end_; }

 private:
  const char* Fail() {
    ok_ = false;
    return nullptr;
  }
  const unsigned char* at_;
  const unsigned char* end_;
  bool ok_ = true;
};

// The files a record lists, borrowed from it.
struct Listed {
  const char** paths = nullptr;
  std::size_t count = 0, capacity = 0;
  static int Count(const char*, void* self) {
    ++static_cast<Listed*>(self)->capacity;
    return 0;
  }
  static int Collect(const char* path, void* self) {
    auto* listed = static_cast<Listed*>(self);
    if (listed->count == listed->capacity) return 1;
    listed->paths[listed->count++] = path;
    return 0;
  }
};

// Ordered as the record tells its paths apart.
bool LessNoCase(const char* a, const char* b) { return CompareNoCase(a, b) < 0; }

}  // namespace

const char* Journal::NameOf(const char* path, const char* suffix,
                            char (&buffer)[2 * kMaxPathSize]) {
  std::size_t length = std::strlen(path), extra = std::strlen(suffix);
  if (length + extra >= sizeof buffer) return "";
  std::memcpy(buffer, path, length);
  std::memcpy(buffer + length, suffix, extra + 1);
  return buffer;
}

Journal::~Journal() {
  for (int n = 0; n < fileCount_; ++n) Free(files_[n].path);
  Free(files_);
  FreeTexts(&folders_);
  FreeTexts(&previousFiles_);
  FreeTexts(&previousFolders_);
  Free(path_);
  Free(record_);
}

int Journal::AddText(Texts* texts, const char* text) {
  if (texts->count == texts->capacity) {
    int capacity = texts->capacity ? texts->capacity * 2 : 16;
    auto* grown = static_cast<char**>(Allocate(sizeof(char*) * capacity));
    if (!grown) return 1;
    if (texts->count) std::memcpy(grown, texts->items, sizeof(char*) * texts->count);
    Free(texts->items);
    texts->items = grown;
    texts->capacity = capacity;
  }
  char* copy = CopyText(text);
  if (!copy) return 1;
  texts->items[texts->count++] = copy;
  return 0;
}

void Journal::FreeTexts(Texts* texts) {
  for (int n = 0; n < texts->count; ++n) Free(texts->items[n]);
  Free(texts->items);
  *texts = {};
}

int Journal::Begin(const char* record, Uninstaller* previous) {
  // Begun anew after a try that failed.
  Free(std::exchange(path_, nullptr));
  Free(std::exchange(record_, nullptr));
  FreeTexts(&previousFiles_);
  FreeTexts(&previousFolders_);
  ElementRef<String> path = ElementRef<String>::Create(kStringType);
  if (!path || path->SetText(record) != 0 || !CutToParent(path.get()) || path->Append(kName) != 0)
    return 1;
  path_ = CopyText(path->GetText());
  record_ = CopyText(record);
  RecordIdentity identity;
  if (!path_ || !record_ || !IdentifyRecord(record, &identity)) return 1;
  recordExisted_ = identity.exists;
  recordSize_ = identity.size;
  recordCrc_ = identity.crc;
  if (!previous) return 0;
  struct Into {
    Texts* texts;
    static int Add(const char* text, void* self) {
      return AddText(static_cast<Into*>(self)->texts, text);
    }
  } files{&previousFiles_}, folders{&previousFolders_};
  return previous->VisitFiles(&Into::Add, &files) == 0 &&
                 previous->VisitFolders(&Into::Add, &folders) == 0
             ? 0
             : 1;
}

int Journal::AddFile(const char* path, Place place) {
  if (fileCount_ == fileCapacity_) {
    int capacity = fileCapacity_ ? fileCapacity_ * 2 : 64;
    auto* grown = static_cast<File*>(Allocate(sizeof(File) * capacity));
    if (!grown) return 1;
    if (fileCount_) std::memcpy(grown, files_, sizeof(File) * fileCount_);
    Free(files_);
    files_ = grown;
    fileCapacity_ = capacity;
  }
  char* copy = CopyText(path);
  if (!copy) return 1;
  files_[fileCount_++] = {copy, place, false};
  return 0;
}

int Journal::AddFolder(const char* folder) { return AddText(&folders_, folder); }

int Journal::Serialize(unsigned char** bytes, std::uint32_t* size) const {
  Writer out;
  out.Bytes(kMagic, 4);
  out.Word(kVersion);
  out.Byte((recordExisted_ ? 1 : 0) | (committed_ ? 2 : 0));
  out.Word(recordSize_);
  out.Word(recordCrc_);
  out.Word(static_cast<std::uint32_t>(fileCount_));
  for (int n = 0; n < fileCount_; ++n) {
    out.Byte(static_cast<unsigned char>(files_[n].place) | (files_[n].undone ? kUndone : 0));
    out.Text(files_[n].path);
  }
  for (const Texts* texts : {&folders_, &previousFiles_, &previousFolders_}) {
    out.Word(static_cast<std::uint32_t>(texts->count));
    for (int n = 0; n < texts->count; ++n) out.Text(texts->items[n]);
  }
  // A journal cut short or changed anywhere is not followed.
  out.Word(static_cast<std::uint32_t>(crc32(0, out.Data(), static_cast<uInt>(out.Size()))));
  return out.Take(bytes, size) ? 0 : 1;
}

int Journal::Read(const unsigned char* bytes, std::uint32_t size) {
  if (size < 8 || std::memcmp(bytes, kMagic, 4) != 0 ||
      LoadLE32(bytes + size - 4) != crc32(0, bytes, size - 4))
    return 1;
  Reader in(bytes + 4, size - 8);
  std::uint32_t version = 0, count = 0;
  unsigned char existed = 0;
  if (!in.Word(&version) || version != kVersion || !in.Byte(&existed) || !in.Word(&recordSize_) ||
      !in.Word(&recordCrc_) || !in.Word(&count))
    return 1;
  recordExisted_ = (existed & 1) != 0;
  committed_ = (existed & 2) != 0;
  for (std::uint32_t n = 0; n < count; ++n) {
    unsigned char place = 0;
    const char* path = in.Byte(&place) && (place & ~kUndone) <= 2 ? in.Path() : nullptr;
    if (!path || AddFile(path, static_cast<Place>(place & ~kUndone)) != 0) return 1;
    files_[fileCount_ - 1].undone = (place & kUndone) != 0;
  }
  for (Texts* texts : {&folders_, &previousFiles_, &previousFolders_}) {
    if (!in.Word(&count)) return 1;
    for (std::uint32_t n = 0; n < count; ++n) {
      const char* path = in.Path();
      if (!path || AddText(texts, path) != 0) return 1;
    }
  }
  return in.AtEnd() ? 0 : 1;
}

int Journal::Write() {
  unsigned char* bytes = nullptr;
  std::uint32_t size = 0;
  // Beside the record, in the toolbox folder, which the shared files would make anyway.
  int result = Serialize(&bytes, &size) == 0 && CheckRealFolders(path_, true, nullptr) == 0
                   ? WriteWholeFile(path_, bytes, size)
                   : 1;
  Free(bytes);
  if (result == 0) LogEvent("journal written", path_);
  return result;
}

bool Journal::UndoFile(int n) {
  char temp[2 * kMaxPathSize], backup[2 * kMaxPathSize];
  const char* path = files_[n].path;
  bool back = PathExists(NameOf(path, kNewSuffix, temp)) != 0 || RemoveRealFile(temp) == 0;
  if (files_[n].place == Place::kReplaced) {
    if (PathExists(NameOf(path, kOldSuffix, backup)) == 0)
      back = Port::MoveFileReplacing(backup, path) && back;
  } else if (files_[n].place == Place::kEmpty && PathExists(path) == 0) {
    back = RemoveRealFile(path) == 0 && back;
  }
  if (!back) LogSystemError("not put back", path);
  return back;
}

bool Journal::Undo(int fromFile, int fromFolder) {
  bool back = true;
  for (int n = fileCount_ - 1; n >= fromFile; --n) back = UndoFile(n) && back;
  // Backwards, then forwards: a folder goes once the ones made inside it have.
  for (int n = folders_.count - 1; n >= fromFolder; --n) RemoveEmptyRealFolder(folders_.items[n]);
  for (int n = fromFolder; n < folders_.count; ++n) RemoveEmptyRealFolder(folders_.items[n]);
  if (back) return true;
  // What could not go back yet goes back once the new record is written, or at the next start.
  for (int n = fromFile; n < fileCount_; ++n) files_[n].undone = true;
  return false;
}

bool Journal::Finish(Uninstaller* record, String* told, bool* complete) {
  bool changed = false;
  *complete = true;
  auto keep = [&](const char* path) {
    LogSystemError("left", path);
    record->AddFileEntry(path);
    record->AddFolderEntry(path);
    if (told && told->Append(path) == 0) told->Append("\n");
    changed = true;
  };
  char backup[2 * kMaxPathSize];
  for (int n = 0; n < fileCount_; ++n) {
    // A destination that failed goes back as it was, however late.
    if (files_[n].undone) {
      *complete = UndoFile(n) && *complete;
      continue;
    }
    if (files_[n].place != Place::kReplaced) continue;
    const char* old = NameOf(files_[n].path, kOldSuffix, backup);
    // A DLL its host has loaded can be renamed, not deleted: it stays listed for next time.
    if (PathExists(old) != 0) continue;
    if (RemoveRealFile(old) == 0)
      LogEvent("removed", old);
    else
      keep(old);
  }
  // The previous files the new record does not list are no longer installed.
  Listed listed;
  if (record->VisitFiles(&Listed::Count, &listed) == 0)
    listed.paths = static_cast<const char**>(Allocate(sizeof(char*) * (listed.capacity + 1)));
  // Without knowing what the record lists nothing more goes: the next start finishes.
  if (!listed.paths || record->VisitFiles(&Listed::Collect, &listed) != 0) {
    Free(listed.paths);
    *complete = false;
    return changed;
  }
  const char** first = listed.paths;
  const char** last = first + listed.count;
  std::sort(first, last, LessNoCase);
  for (int n = 0; n < previousFiles_.count; ++n) {
    const char* path = previousFiles_.items[n];
    if (std::binary_search(first, last, path, LessNoCase)) continue;
    if (PathExists(path) != 0) {
      LogEvent("already gone", path);
      continue;
    }
    if (RemoveRealFile(path) == 0)
      LogEvent("removed", path);
    else
      keep(path);
  }
  Free(listed.paths);
  // Backwards first, so that a folder recorded after its parent goes before it, then forwards.
  for (int n = previousFolders_.count - 1; n >= 0; --n)
    RemoveEmptyRealFolder(previousFolders_.items[n]);
  for (int n = 0; n < previousFolders_.count; ++n) RemoveEmptyRealFolder(previousFolders_.items[n]);
  return changed;
}

int Journal::MarkCommitted() {
  committed_ = true;
  return Write();
}

int Journal::Remove() { return path_ && RemoveRealFile(path_) == 0 ? 0 : 1; }

int Journal::Recover(const char* record, String* message) {
  Journal journal;
  ElementRef<String> path = ElementRef<String>::Create(kStringType);
  if (!path || path->SetText(record) != 0 || !CutToParent(path.get()) || path->Append(kName) != 0)
    return 1;
  // A journal or a record cut short while it was written under its temporary name was never
  // in force: it goes.
  for (const char* file : {path->GetText(), record}) {
    char saving[2 * kMaxPathSize];
    if (PathExists(NameOf(file, kSavingSuffix, saving)) == 0) RemoveRealFile(saving);
  }
  if (PathExists(path->GetText()) != 0) return 0;
  unsigned char* bytes = nullptr;
  std::uint32_t size = 0;
  bool followed = ReadWhole(path->GetText(), &bytes, &size) && journal.Read(bytes, size) == 0;
  Free(bytes);
  journal.path_ = CopyText(path->GetText());
  journal.record_ = CopyText(record);
  if (!followed || !journal.path_ || !journal.record_) {
    message->SetText("The journal ");
    message->Append(path->GetText());
    message->Append(
        " of an interrupted installation is damaged or names places an installation never "
        "writes, so Setup cannot tell how to finish it.\nRemove VorlaneBox with the Setup that "
        "installed it, or delete the journal.");
    return 1;
  }
  RecordIdentity now;
  IdentifyRecord(record, &now);
  // Committed when it says so, or when the record is not the one it began with: a new record
  // of the same bytes is told by the mark alone.
  bool committed = journal.committed_ || now.exists != journal.recordExisted_ ||
                   now.size != journal.recordSize_ || now.crc != journal.recordCrc_;
  bool complete = true;
  if (!committed) {
    complete = journal.Undo(0, 0);
    LogEvent("interrupted installation undone", path->GetText());
  } else {
    // The new record (none when it named nothing installed), then without what is gone now:
    // the backups and previous files that an earlier try could not delete.
    ElementRef<Uninstaller> current = ElementRef<Uninstaller>::Create(kUninstallerType);
    ElementRef<Uninstaller> pruned = ElementRef<Uninstaller>::Create(kUninstallerType);
    if (!current || !pruned) return 1;
    if (now.exists) current->Load(record);
    journal.Finish(current.get(), nullptr, &complete);
    struct Present {
      static int Keep(const char* file, void* into) {
        if (PathExists(file) != 0) return 0;
        auto* list = static_cast<Uninstaller*>(into);
        return list->AddFileEntry(file) == 0 && list->AddFolderEntry(file) == 0 ? 0 : 1;
      }
    };
    if (current->VisitFiles(&Present::Keep, pruned.get()) != 0 || pruned->SaveOrDelete(record) != 0)
      LogSystemError("record not written", record);
    LogEvent("interrupted installation finished", path->GetText());
  }
  if (complete) return journal.Remove();
  message->SetText(
      "Setup could not put back every file of an interrupted installation, as its "
      "journal ");
  message->Append(path->GetText());
  message->Append(" says.\nClose the programs that may use them, then run Setup again.");
  return 1;
}

}  // namespace VLN2
