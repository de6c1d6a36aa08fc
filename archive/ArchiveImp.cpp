#include "archive/ArchiveImp.h"

#include <cstring>
#include <utility>

#include "archive/CompressStreamImp.h"
#include "archive/FolderExtraction.h"
#include "archive/StreamIO.h"
#include "framework/Allocator.h"
#include "framework/ElementRef.h"
#include "framework/FilePath.h"
#include "framework/IO.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "system/FileSystemIterator.h"
#include "system/Log.h"

namespace VLN2 {
namespace {

const unsigned char kMagic[3] = {'V', 'L', 'N'};
const unsigned char kDirectoryTag[4] = {'R', 'A', 'W', 0};
// The smallest record: a 2-byte name length of 0, the offset and the size.
constexpr std::uint32_t kSmallestRecord = 10;
// The largest piece of the copy loop: a file is mostly copied in one read and one write,
// and a large one costs at most this much memory beside its data.
constexpr std::uint32_t kCopyPiece = 1 << 20;

ArchiveEntry* EntryOf(Value value) {
  return static_cast<ArchiveEntry*>(static_cast<Element*>(value));
}

Value ValueOf(ArchiveEntry* entry) { return static_cast<Element*>(entry); }

// Copies size bytes from source to destination in pieces; 1 when a piece could not be
// read or written in full.
int CopyBytes(Stream* source, Stream* destination, std::uint32_t size) {
  std::uint32_t piece = size < kCopyPiece ? size : kCopyPiece;
  auto* buffer = static_cast<unsigned char*>(Allocate(piece));
  if (!buffer) return 1;
  int result = 0;
  while (size > 0) {
    std::uint32_t n = size > piece ? piece : size;
    if (ReadFully(source, buffer, n) != n || WriteFully(destination, buffer, n) != n) {
      result = 1;
      break;
    }
    size -= n;
  }
  Free(buffer);
  return result;
}

// The end of the data the entries' blocks take.
std::uint64_t DataEnd(Iterator* entries) {
  std::uint64_t end = 0;
  for (entries->First(); !entries->IsDone(); entries->Next()) {
    ArchiveEntry* entry = EntryOf(entries->Current());
    if (!entry) continue;
    std::uint64_t last =
        static_cast<std::uint64_t>(entry->GetBlockOffset()) + entry->GetBlockSize();
    if (last > end) end = last;
  }
  return end;
}

// The directory's size, measured by writing it in memory: record lengths do not depend on the
// offsets.
bool MeasureDirectory(Iterator* entries, std::uint32_t count, std::uint32_t* size) {
  auto scratch = ElementRef<CompressStream>::Create(kCompressStreamType);
  Stream* memory = CastTo<Stream>(scratch.get());
  if (!memory || memory->SetAccess(kAccessMemoryOnly) != 0 || memory->OpenStream() != 0)
    return false;
  unsigned char head[12];
  std::memcpy(head, kDirectoryTag, 4);
  StoreLE32(head + 4, 0xFFFFFFFFu);
  StoreLE32(head + 8, count);
  bool measured = memory->WriteData(head, 12) == 12;
  for (entries->First(); measured && !entries->IsDone(); entries->Next()) {
    IO* io = CastTo<IO>(EntryOf(entries->Current()));
    measured = io && io->Write(memory) == 0;
  }
  return measured && memory->GetError() == 0 && memory->GetSize(size) == 0;
}

// Moves the first end bytes of a file up by shift bytes through two buffers of size bytes,
// size at least shift: after Begin has read the first 2 * size bytes the first shift bytes
// may be overwritten, and Finish writes every byte at its new place, each write landing on
// bytes already read while the buffers hold the next 2 * size bytes still to move.
class UpwardMove {
 public:
  UpwardMove(Stream* file, std::uint64_t end, std::uint64_t shift, std::uint32_t size)
      : file_(file),
        end_(end),
        shift_(shift),
        size_(size),
        current_(static_cast<unsigned char*>(Allocate(size))),
        other_(static_cast<unsigned char*>(Allocate(size))) {}
  ~UpwardMove() {
    Free(current_);
    Free(other_);
  }
  UpwardMove(const UpwardMove&) = delete;
  UpwardMove& operator=(const UpwardMove&) = delete;

  bool Ready() const { return current_ && other_; }

  bool Begin() {
    std::uint64_t first = end_ < size_ ? end_ : size_;
    std::uint64_t second = end_ - first < size_ ? end_ - first : size_;
    readAt_ = 2 * std::uint64_t{size_};
    toRead_ = end_ > readAt_ ? end_ - readAt_ : 0;
    return file_->SetPosition(0) == 0 && ReadFully(file_, current_, size_) >= first &&
           (second == 0 || ReadFully(file_, other_, size_) >= second);
  }

  bool Finish() {
    std::uint64_t writeAt = shift_;
    std::uint64_t toWrite = end_;
    bool ok = true;
    while (ok && toWrite > 0) {
      std::uint32_t n = static_cast<std::uint32_t>(toWrite < size_ ? toWrite : size_);
      ok = file_->SetPosition(static_cast<std::uint32_t>(writeAt)) == 0 &&
           WriteFully(file_, current_, n) == n;
      writeAt += n;
      toWrite -= n;
      if (ok && toRead_ > 0) {
        std::uint32_t m = static_cast<std::uint32_t>(toRead_ < size_ ? toRead_ : size_);
        ok = file_->SetPosition(static_cast<std::uint32_t>(readAt_)) == 0 &&
             ReadFully(file_, current_, m) == m;
        readAt_ += m;
        toRead_ -= m;
      }
      std::swap(current_, other_);
    }
    return ok && file_->SetPosition(static_cast<std::uint32_t>(end_ + shift_)) == 0;
  }

 private:
  Stream* file_;
  std::uint64_t end_, shift_;
  std::uint32_t size_;
  unsigned char* current_;
  unsigned char* other_;
  std::uint64_t readAt_ = 0, toRead_ = 0;
};

// A new entry that read its record from stream whole; null otherwise.
ElementRef<ArchiveEntry> ReadEntry(Stream* stream) {
  auto entry = ElementRef<ArchiveEntry>::Create(kArchiveEntryType);
  IO* io = CastTo<IO>(entry.get());
  if (!io || io->Read(stream) != 0) return {};
  return entry;
}

// A memory stream at position 0 holding the n bytes of file from position start on (no more
// than it holds), read in one call; null, with the file back at start, when they cannot be had.
ElementRef<CompressStream> RecordsCopy(Stream* file, std::uint32_t start, std::uint32_t n) {
  std::uint32_t remaining = 0;
  if (!RemainingBytes(file, &remaining)) return {};
  if (n > remaining) n = remaining;
  auto copy = ElementRef<CompressStream>::Create(kCompressStreamType);
  Stream* memory = CastTo<Stream>(copy.get());
  auto* bytes = static_cast<unsigned char*>(Allocate(n));
  bool copied = n > 0 && memory && bytes && memory->SetAccess(kAccessMemoryOnly) == 0 &&
                memory->OpenStream() == 0 && ReadFully(file, bytes, n) == n &&
                WriteFully(memory, bytes, n) == n && memory->SetPosition(0) == 0;
  Free(bytes);
  if (copied) return copy;
  file->SetPosition(start);
  return {};
}

// Holds a String member: created and counted on first use.
int SetMemberText(String** member, const char* text) {
  if (!*member) {
    *member = Create<String>(kStringType);
    if (!*member) return 1;
    (*member)->AddRef();
  }
  return (*member)->SetText(text);
}

// Logs why extraction refused an entry. Called right after Place, so that the system's reason
// for a folder is still the last error.
void LogRefusal(FolderExtraction::Placement placed, const char* name, const char* path) {
  if (placed == FolderExtraction::kUnsafeName)
    LogEvent("file refused", name, "the archive names a place outside the folder");
  else if (placed == FolderExtraction::kTakenName)
    LogEvent("file refused", name, "Windows takes it for a file already extracted");
  else if (placed == FolderExtraction::kFolderRefused)
    LogSystemError("folder not created for", path);
}

}  // namespace

int ArchiveImp::Init() {
  entries_ = Create<ElementContainer>(kElementContainerType);
  if (!entries_) return 1;
  entries_->AddRef();
  return 0;
}

int ArchiveImp::Destroy() {
  CloseArchive();
  ReleaseElement(entries_);
  ReleaseElement(folder_);
  ReleaseElement(second_);
  delete this;
  return 0;
}

void* ArchiveImp::Cast(int interfaceId) {
  return interfaceId == kArchiveReaderInterface ? static_cast<ArchiveReader*>(this) : nullptr;
}

int ArchiveImp::OpenArchiveFile(BinaryStream* file) {
  if (!file || IsArchiveClosed() != 1) return 1;
  ReleaseElement(file_);
  ClearEntries();
  clean_ = 1;
  mode_ = kArchiveRead;
  file->AddRef();
  file_ = file;
  Stream* stream = FileStream();
  int result = stream && stream->SetPosition(0) == 0 ? ReadDirectory(stream) : 1;
  if (result != 0) {
    ClearEntries();
    ReleaseElement(file_);
  }
  return result;
}

int ArchiveImp::GetEntryForm(ArchiveEntry* entry, std::uint32_t* size, bool* packed) {
  Stream* file = FileStream();
  std::uint32_t fileSize = 0;
  if (!entry || !file || entryStream_ || file->GetSize(&fileSize) != 0) return 1;
  std::uint32_t offset = entry->GetBlockOffset(), blockSize = entry->GetBlockSize();
  if (static_cast<std::uint64_t>(offset) + blockSize > fileSize || file->SetPosition(offset) != 0)
    return 1;
  return CompressStreamImp::ReadBlockHead(file, blockSize, size, packed);
}

int ArchiveImp::ExtractEntry(ArchiveEntry* entry, const char* path) {
  auto out = OpenFileStream(path, kModeCreate, kOptionNewRealFile);
  if (!out) return 1;
  Stream* stream = CastTo<Stream>(out.get());
  int result = CopyOut(entry, stream);
  CloseEntry();
  if (stream->CloseStream() != 0) result = 1;
  return result;
}

CompressStream* ArchiveImp::DecodeEntry(ArchiveEntry* entry) {
  Stream* file = FileStream();
  if (!entry || !file || entryStream_ || file->SetPosition(entry->GetBlockOffset()) != 0)
    return nullptr;
  auto decoded = ElementRef<CompressStream>::Create(kCompressStreamType);
  Stream* view = CastTo<Stream>(decoded.get());
  if (!view || decoded->SetInput(file) != 0 || decoded->SetEntry(entry) != 0 ||
      view->SetMode(kModeRead) != 0 || view->OpenStream() != 0)
    return nullptr;
  return decoded.Detach();
}

int ArchiveImp::SetVersion(std::uint16_t version) {
  version_ = version;
  return 0;
}

int ArchiveImp::SetSubVersion(std::uint16_t subversion) {
  subversion_ = subversion;
  return 0;
}

int ArchiveImp::SetArchiveMode(int mode) {
  if (IsArchiveClosed() != 1) return 1;
  mode_ = mode == 2 ? kArchiveWrite : mode;
  return 0;
}

Stream* ArchiveImp::FileStream() { return file_ ? CastTo<Stream>(file_) : nullptr; }

int ArchiveImp::IsArchiveClosed() {
  Stream* stream = FileStream();
  return stream ? stream->IsClosed() : 1;
}

Iterator* ArchiveImp::GetEntries() {
  return entries_ ? entries_->GetIterator(kListIterator, nullptr) : nullptr;
}

int ArchiveImp::ReleaseEntries(Iterator** iterator) {
  if (!entries_) return 1;
  return entries_->ReleaseIterator(iterator);
}

void ArchiveImp::ClearEntries() {
  Iterator* it = GetEntries();
  if (!it) return;
  it->Clear();
  ReleaseEntries(&it);
}

int ArchiveImp::OpenArchive(const char* path) {
  // One opening at a time; and a new opening starts with an empty directory, so that
  // entries read before are never written out with offsets of another file.
  if (IsArchiveClosed() != 1) return 1;
  ReleaseElement(file_);
  ClearEntries();
  clean_ = 1;
  file_ = Create<BinaryStream>(kBinaryStreamType);
  if (!file_) return 1;
  int result = file_->SetStreamPath(path);
  if (result != 0) return result;
  Stream* stream = FileStream();
  if (!stream) return 1;
  stream->SetMode(mode_);
  result = stream->OpenStream();
  if (result != 0) return result;
  if (mode_ == kArchiveWrite) return 0;
  result = ReadDirectory(stream);
  if (result != 0) ClearEntries();
  return result;
}

int ArchiveImp::ReadDirectory(Stream* file) {
  unsigned char head[4];
  if (file->IsClosed() != 0 || ReadFully(file, head, 4) != 4 || std::memcmp(head, kMagic, 3) != 0)
    return 1;
  if (head[3] != 0) {
    unsigned char versions[4];
    if (ReadFully(file, versions, 4) != 4) return 1;
    version_ = static_cast<std::uint16_t>(versions[0] << 8 | versions[1]);
    subversion_ = static_cast<std::uint16_t>(versions[2] << 8 | versions[3]);
  } else {
    version_ = 0;
    subversion_ = 0;
  }
  unsigned char fields[12];
  if (ReadFully(file, fields, 12) != 12 || std::memcmp(fields, kDirectoryTag, 4) != 0) return 1;
  // fields + 4 holds the directory size: the records make it redundant, so it is only a hint.
  std::uint32_t count = LoadLE32(fields + 8);
  if (count == 0 || count >= 0x80000000u) return 0;
  // A count the rest of the file cannot hold is damage: refuse it before making entries.
  std::uint32_t remaining = 0;
  if (RemainingBytes(file, &remaining) && count > remaining / kSmallestRecord) return 1;
  Iterator* it = GetEntries();
  if (!it) return 1;
  // The records come from a copy read in one piece when the directory size tells their
  // length. Should the copy end inside a record (a size that falls short), that record and
  // the rest are read from the file where the copy ended.
  const std::uint32_t recordsStart = (head[3] != 0 ? 8 : 4) + sizeof fields;
  std::uint32_t directorySize = LoadLE32(fields + 4);
  ElementRef<CompressStream> copy;
  if (directorySize > sizeof fields)
    copy = RecordsCopy(file, recordsStart, directorySize - sizeof fields);
  Stream* source = copy ? CastTo<Stream>(copy.get()) : file;
  int result = 0;
  for (std::uint32_t i = 0; i < count && result == 0; ++i) {
    std::uint32_t at = 0;
    if (source != file) source->GetPosition(&at);
    auto entry = ReadEntry(source);
    if (!entry && source != file && source->GetError() != 0) {
      source = file;
      if (file->SetPosition(recordsStart + at) == 0) entry = ReadEntry(file);
    }
    // A record that runs past the end of the file ends the reading with a failure.
    if (!entry || it->Add(ValueOf(entry.get())) != 0)
      result = 1;
    else
      entry.Detach();  // the list took over the creation reference
  }
  ReleaseEntries(&it);
  return result;
}

int ArchiveImp::CloseArchive() {
  int result = 0;
  // An entry still being written is finished; its failure is the archive's.
  if (entryStream_ && newEntry_ && EndEntry() != 0) result = 1;
  CloseEntry();
  if (mode_ == kArchiveWrite) {
    int closed = IsArchiveClosed();
    if (closed != 0) {
      result = closed;
    } else if (!clean_) {
      if (WriteDirectory(FileStream()) != 0) result = 1;
    }
  }
  ReleaseElement(reader_);
  ReleaseElement(file_);
  return result;
}

std::uint32_t ArchiveImp::CopyBufferSize(std::uint32_t directorySize) {
  std::uint64_t needed = 8 + static_cast<std::uint64_t>(directorySize);
  std::uint64_t size = 4096;
  while (size < needed) size *= 2;
  return static_cast<std::uint32_t>(size);
}

int ArchiveImp::WriteDirectory(Stream* file) {
  Iterator* it = GetEntries();
  if (!it) return 1;
  std::uint32_t count = static_cast<std::uint32_t>(it->GetCount());
  std::uint64_t end = DataEnd(it);
  std::uint32_t directorySize = 0;
  int result = 1;
  std::uint64_t shift = 0;
  if (MeasureDirectory(it, count, &directorySize)) shift = 8 + std::uint64_t{directorySize};
  // Positions are 32-bit.
  if (shift != 0 && end + shift <= 0xFFFFFFFFu) {
    UpwardMove move(file, end, shift, CopyBufferSize(directorySize));
    if (move.Ready()) {
      for (it->First(); !it->IsDone(); it->Next()) {
        ArchiveEntry* entry = EntryOf(it->Current());
        if (entry)
          entry->SetBlockOffset(static_cast<std::uint32_t>(entry->GetBlockOffset() + shift));
      }
      bool ok = move.Begin() && WriteHead(file, it, count, directorySize);
      result = ok && move.Finish() ? 0 : 1;
    }
  }
  ReleaseEntries(&it);
  return result;
}

bool ArchiveImp::WriteHead(Stream* file, Iterator* entries, std::uint32_t count,
                           std::uint32_t directorySize) {
  unsigned char header[20];
  std::memcpy(header, kMagic, 3);
  header[3] = 1;
  header[4] = static_cast<unsigned char>(version_ >> 8);
  header[5] = static_cast<unsigned char>(version_);
  header[6] = static_cast<unsigned char>(subversion_ >> 8);
  header[7] = static_cast<unsigned char>(subversion_);
  std::memcpy(header + 8, kDirectoryTag, 4);
  StoreLE32(header + 12, directorySize);
  StoreLE32(header + 16, count);
  bool ok = file->SetPosition(0) == 0 && WriteFully(file, header, 8) == 8;
  ok = ok && file->SetPosition(8) == 0 && WriteFully(file, header + 8, 12) == 12;
  for (entries->First(); ok && !entries->IsDone(); entries->Next()) {
    IO* io = CastTo<IO>(EntryOf(entries->Current()));
    ok = io && io->Write(file) == 0;
  }
  return ok;
}

Stream* ArchiveImp::BeginEntry(const char* name) {
  if (entryStream_ || mode_ != kArchiveWrite) return nullptr;
  Stream* file = FileStream();
  if (!file || file->IsClosed() != 0) return nullptr;
  // Everything that can fail comes before the entry stream is opened on the file, so a
  // failed start leaves neither a current stream nor stray bytes behind.
  auto stream = ElementRef<CompressStream>::Create(kCompressStreamType);
  auto entry = ElementRef<ArchiveEntry>::Create(kArchiveEntryType);
  if (!stream || !entry) return nullptr;
  if (name && entry->SetEntryName(name) != 0) return nullptr;
  std::uint32_t position = 0;
  if (file->GetPosition(&position) != 0) return nullptr;
  entry->SetBlockOffset(position);
  Stream* view = CastTo<Stream>(stream.get());
  stream->SetInput(nullptr);
  stream->SetOutput(file);
  if (!view || view->SetMode(kModeWrite) != 0 || view->OpenStream() != 0) return nullptr;
  entryStream_ = stream.Detach();
  // Our reference is counted, so that the list's reference is one of two.
  newEntry_ = entry.Detach();
  newEntry_->AddRef();
  return view;
}

int ArchiveImp::EndEntry() {
  // Only an entry started by BeginEntry is finished here; a read stream is CloseEntry's.
  if (!entryStream_ || !newEntry_) return 1;
  int result = 0;
  Iterator* it = GetEntries();
  Stream* view = CastTo<Stream>(entryStream_);
  if (!view) {
    result = 1;
  } else {
    // Data that did not fit in memory makes the entry incomplete.
    if (view->GetError() == CompressStreamImp::kWriteLost) result = 1;
    if (view->CloseStream() != 0) result = 1;
    std::uint32_t position = 0;
    Stream* file = FileStream();
    if (!file || file->GetPosition(&position) != 0)
      result = 1;
    else
      newEntry_->SetBlockSize(position - newEntry_->GetBlockOffset());
  }
  if (!it) {
    result = 1;
  } else {
    if (it->Add(ValueOf(newEntry_)) != 0) result = 1;
    clean_ = 0;
    ReleaseEntries(&it);
  }
  ReleaseElement(entryStream_);
  ReleaseElement(newEntry_);
  return result;
}

CompressStreamImp* ArchiveImp::ReaderFor(ArchiveEntry* entry) {
  Stream* file = FileStream();
  if (!file || entryStream_ || !entry) return nullptr;
  if (file->SetPosition(entry->GetBlockOffset()) != 0) return nullptr;
  if (!reader_) {
    reader_ = Create<CompressStream>(kCompressStreamType);
    if (!reader_) return nullptr;
    reader_->AddRef();
  }
  entryStream_ = reader_;
  entryStream_->AddRef();
  entryStream_->SetEntry(entry);
  entryStream_->SetInput(file);
  // A stream that failed to open stays current until CloseEntry.
  Stream* view = CastTo<Stream>(entryStream_);
  if (!view || view->SetMode(kModeRead) != 0) return nullptr;
  return static_cast<CompressStreamImp*>(entryStream_);
}

ArchiveEntry* ArchiveImp::FindEntry(const char* name) {
  if (!name) return nullptr;
  auto util = ElementRef<StringUtil>::Create(kStringUtilType);
  Iterator* it = GetEntries();
  ArchiveEntry* found = nullptr;
  if (util && it) {
    for (it->First(); !found && !it->IsDone(); it->Next()) {
      ArchiveEntry* entry = EntryOf(it->Current());
      if (!entry) break;
      const char* entryName = entry->GetEntryName();
      if (entryName && util->CompareNoCase(entryName, name) == 0) found = entry;
    }
  }
  if (it) ReleaseEntries(&it);
  return found;
}

Stream* ArchiveImp::OpenEntry(const char* name) {
  CompressStreamImp* reader = ReaderFor(FindEntry(name));
  return reader && reader->OpenStream() == 0 ? static_cast<Stream*>(reader) : nullptr;
}

int ArchiveImp::CloseEntry() {
  // An entry being written is finished by EndEntry, not dropped here.
  if (!entryStream_ || newEntry_) return 1;
  // The reader stays for the next entry: closed here, not destroyed.
  CastTo<Stream>(entryStream_)->CloseStream();
  ReleaseElement(entryStream_);
  return 0;
}

int ArchiveImp::CheckEntry(const char* path) {
  if (!path) return 1;
  auto filePath = ElementRef<FilePath>::Create(kFilePathType);
  if (!filePath || filePath->SetPath(path) != 0) return 1;
  const char* fileName = filePath->GetFileName();
  if (!fileName) return 1;
  auto util = ElementRef<StringUtil>::Create(kStringUtilType);
  if (!util) return 1;
  Iterator* it = GetEntries();
  if (!it) return 1;
  int result = 1;  // not found
  for (it->First(); !it->IsDone(); it->Next()) {
    ArchiveEntry* entry = EntryOf(it->Current());
    if (!entry || !entry->GetEntryName()) break;
    if (util->CompareNoCase(entry->GetEntryName(), fileName) == 0) {
      result = 0;
      break;
    }
  }
  ReleaseEntries(&it);
  return result;
}

int ArchiveImp::CopyOut(ArchiveEntry* entry, Stream* out) {
  CompressStreamImp* reader = ReaderFor(entry);
  return reader ? reader->WriteEntryTo(out) : 1;
}

int ArchiveImp::ExtractFile(const char* path) {
  if (CheckEntry(path) != 0) return 1;
  auto out = OpenFileStream(path, kModeCreate, kOptionNoLinks);
  if (!out) return 1;
  Stream* outStream = CastTo<Stream>(out.get());
  auto filePath = ElementRef<FilePath>::Create(kFilePathType);
  int result = 1;
  if (filePath && filePath->SetPath(path) == 0 && filePath->GetFileName()) {
    result = CopyOut(FindEntry(filePath->GetFileName()), outStream);
  }
  CloseEntry();
  if (outStream->CloseStream() != 0) result = 1;
  return result;
}

int ArchiveImp::ExtractFolder(const char* folder, const char* prefix) {
  FolderExtraction extraction;
  auto target = ElementRef<String>::Create(kStringType);
  Iterator* it = GetEntries();
  if (!target || !it || extraction.Begin(folder, prefix) != 0) {
    if (it) ReleaseEntries(&it);
    return 1;
  }
  int result = 0;
  for (it->First(); !it->IsDone(); it->Next()) {
    ArchiveEntry* entry = EntryOf(it->Current());
    const char* rel = nullptr;
    FolderExtraction::Placement placed = extraction.Place(entry, &rel, target.get());
    if (placed == FolderExtraction::kLeftOut) continue;
    const char* path = target->GetText();
    if (placed != FolderExtraction::kPlaced) {
      LogRefusal(placed, rel, path);
      result = 1;
      continue;
    }
    if (result != 0) {
      LogEvent("file skipped", path, "an earlier file failed");
      continue;
    }
    auto out = OpenFileStream(path, kModeCreate, kOptionNoLinks);
    if (!out) {
      LogSystemError("file not written", path);
      result = 1;
      continue;
    }
    Stream* outStream = CastTo<Stream>(out.get());
    if (CopyOut(entry, outStream) != 0) {
      if (outStream->GetError() != 0)
        LogSystemError("file not written", path);
      else
        LogEvent("file not written", path, "its entry in the archive cannot be read");
      result = 1;
    }
    CloseEntry();
    if (outStream->CloseStream() != 0) {
      LogSystemError("file not written", path);
      result = 1;
    }
    if (result == 0) LogEvent("file written", path);
  }
  ReleaseEntries(&it);
  return result;
}

int ArchiveImp::AddOneFile(const char* path, const char* name) {
  // Sources are only read: a missing file is an error, not an empty entry, and a
  // read-only file can be packed.
  int opened = 0;
  auto file = OpenFileStream(path, kModeRead, 0, 0, &opened);
  if (!file) return opened != 0 ? opened : 1;
  Stream* fileStream = CastTo<Stream>(file.get());
  std::uint32_t size = 0;
  if (fileStream->GetSize(&size) != 0) return 1;
  Stream* entry = BeginEntry(name);
  if (!entry) return 1;
  if (entry->IsClosed() != 0) {
    EndEntry();
    return 1;
  }
  int result = CopyBytes(fileStream, entry, size);
  if (EndEntry() != 0) result = 1;
  fileStream->CloseStream();
  return result;
}

int ArchiveImp::AddFile(const char* path) {
  if (!path) return 1;
  auto filePath = ElementRef<FilePath>::Create(kFilePathType);
  if (!filePath || filePath->SetPath(path) != 0 || !filePath->GetFileName()) return 1;
  return AddOneFile(path, filePath->GetFileName());
}

int ArchiveImp::AddFolderFile(const char* path, void* context) {
  auto* archive = static_cast<ArchiveImp*>(context);
  if (!archive || !archive->folder_) return 1;
  auto util = ElementRef<StringUtil>::Create(kStringUtilType);
  if (!util) return 1;
  const char* rel = path;
  if (util->SkipPrefix(&rel, archive->folder_->GetText()) != 0) return 1;
  // Any failure stops the whole walk: a deeper level passes on only the result 1.
  return archive->AddOneFile(path, rel) == 0 ? 0 : 1;
}

int ArchiveImp::AddFolder(const char* folder, const char* second) {
  if (!folder) return 1;
  int result = 1;
  if (SetMemberText(&folder_, folder) == 0 && SetMemberText(&second_, second) == 0) {
    auto walker = ElementRef<FileSystemIterator>::Create(kFileSystemIteratorType);
    if (walker) {
      walker->SetRoot(folder);
      walker->SetFileCallback(&ArchiveImp::AddFolderFile);
      result = walker->GetRoot() ? walker->Walk(this) : 1;
    }
  }
  ReleaseElement(folder_);
  ReleaseElement(second_);
  return result;
}

}  // namespace VLN2
