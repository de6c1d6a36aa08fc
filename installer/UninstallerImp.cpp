#include "installer/UninstallerImp.h"

#include <cstdint>
#include <cstring>

#include "archive/BinaryStream.h"
#include "archive/CompressStream.h"
#include "archive/EntryName.h"
#include "archive/Stream.h"
#include "archive/StreamIO.h"
#include "framework/Allocator.h"
#include "framework/ElementContainer.h"
#include "framework/ElementRef.h"
#include "framework/FilePath.h"
#include "framework/IO.h"
#include "framework/PathRules.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "system/FileFunc.h"
#include "system/Log.h"
#include "system/Registry.h"
#include "system/port/Port.h"

namespace VLN2 {
namespace {

const char* TextOf(Value value) { return value ? static_cast<String*>(value)->GetText() : nullptr; }

// What became of a listed file.
enum class Removal {
  kGone,     // deleted, or not there
  kLeft,     // still there: the system refused to delete it, or a link leads to it
  kRefused,  // not a place an installation writes to: never looked at
};

Removal RemoveListedFile(const char* path) {
  // An absent text names nothing to remove.
  if (!path || !*path) return Removal::kGone;
  // Not even looked at: a UNC path would have the elevated installer connect to another
  // machine and offer its credentials.
  if (!IsRecordablePath(path)) {
    LogEvent("refused", path, "not a place an installation writes to");
    return Removal::kRefused;
  }
  if (RemoveRealFile(path) == 0) {
    LogEvent("removed", path);
    return Removal::kGone;
  }
  char error[256];
  Port::GetLastErrorText(error, sizeof error);
  if (PathExists(path) != 0) {
    LogEvent("already gone", path);
    return Removal::kGone;
  }
  LogEvent("left", path, error);
  return Removal::kLeft;
}

// Appends text to the list unless an equal one (case ignored) is there. The index answers
// that when it can; otherwise the list is walked.
int AddUnlessListed(ElementContainer* list, TextIndex* index, const char* text) {
  if (!list) return 1;
  Iterator* it = list->GetIterator(kListIterator, nullptr);
  if (!it) return 1;
  int result = 1;
  ElementRef<StringUtil> util = ElementRef<StringUtil>::Create(kStringUtilType);
  if (util) {
    result = 0;
    bool listed = false;
    if (!index->Find(util.get(), text, &listed)) {
      for (it->First(); !it->IsDone() && !listed; it->Next())
        listed = util->CompareNoCase(TextOf(it->Current()), text) == 0;
    }
    if (!listed) {
      ElementRef<String> entry = ElementRef<String>::Create(kStringType);
      // The list takes over the creation reference.
      if (!entry || entry->SetText(text) != 0 || it->Add(entry.get()) != 0)
        result = 1;
      else
        index->Add(util.get(), entry.Detach());
    }
  }
  list->ReleaseIterator(&it);
  return result;
}

// The code page of the system's 8-bit texts before the program's became UTF-8, in which
// records of earlier installations were written; 0 when unknown.
std::uint32_t ReadLegacyCodePage() {
  RegistryKey key;
  RegistryValue codePage("^ACP");
  if (key.OpenKey("SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage") != 0 ||
      codePage.Query(key) != 0 || !codePage.GetText())
    return 0;
  std::uint32_t number = 0;
  for (const char* digit = codePage.GetText(); *digit; ++digit) {
    if (*digit < '0' || *digit > '9' || number > 100000) return 0;
    number = number * 10 + static_cast<std::uint32_t>(*digit - '0');
  }
  return number;
}

// The legacy code page is looked up only for a record that needs it: its registry key holds
// hundreds of values.
constexpr std::uint32_t kCodePageNotRead = 0xFFFFFFFF;

// A recorded path as the program's text: one that is not UTF-8 was written in the legacy
// code page and is converted. False when it cannot be: the path is then left out, so that
// it is never deleted under another name.
bool ToProgramText(String* text, std::uint32_t* legacyCodePage) {
  const char* path = text->GetText();
  if (!path || IsUtf8Name(path)) return true;
  if (*legacyCodePage == kCodePageNotRead) *legacyCodePage = ReadLegacyCodePage();
  if (*legacyCodePage == 0) return false;
  std::uint32_t length = static_cast<std::uint32_t>(text->GetLength());
  std::uint32_t size = length * 3;  // a byte of any code page gives at most three
  char* converted = static_cast<char*>(Allocate(size + 1));
  bool done = converted && Port::FromCodePage(*legacyCodePage, path, length, converted, &size);
  if (done) converted[size] = '\0';
  done = done && text->SetText(converted) == 0;
  Free(converted);
  return done;
}

// Reads a count and that many text records into the emptied list. A record cut short by
// the end of the file is dropped, and reading stops there: a partly read text never
// becomes a path, and a claimed count costs nothing beyond what the file holds.
int ReadList(ElementContainer* list, TextIndex* index, Stream* stream,
             std::uint32_t* legacyCodePage) {
  if (!list) return 1;
  Iterator* it = list->GetIterator(kListIterator, nullptr);
  if (!it) return 1;
  it->Clear();
  index->Clear();
  ElementRef<StringUtil> util = ElementRef<StringUtil>::Create(kStringUtilType);
  std::int32_t count = 0;
  int result = stream->ReadData(&count, 4) == 4 ? 0 : 1;
  for (std::int32_t i = 0; result == 0 && i < count; ++i) {
    ElementRef<String> text = ElementRef<String>::Create(kStringType);
    IO* io = CastTo<IO>(text.get());
    if (!io || io->Read(stream) != 0 || stream->GetError() != 0)
      result = 1;
    else if (!ToProgramText(text.get(), legacyCodePage))
      continue;
    else if (it->Add(text.get()) != 0)
      result = 1;
    else
      index->Add(util.get(), text.Detach());
  }
  list->ReleaseIterator(&it);
  return result;
}

// A write the memory stream loses shows in its error, and it takes no write after it.
int WriteList(ElementContainer* list, Stream* stream) {
  if (!list) return 1;
  Iterator* it = list->GetIterator(kListIterator, nullptr);
  if (!it) return 1;
  std::int32_t count = it->GetCount();
  stream->WriteData(&count, 4);
  int result = 0;
  for (it->First(); result == 0 && !it->IsDone(); it->Next()) {
    IO* io = CastTo<IO>(static_cast<String*>(it->Current()));
    if (!io || io->Write(stream) != 0) result = 1;
  }
  list->ReleaseIterator(&it);
  return result;
}

}  // namespace

int UninstallerImp::Init() {
  files_ = Create<ElementContainer>(kElementContainerType);
  folders_ = Create<ElementContainer>(kElementContainerType);
  if (files_) files_->AddRef();
  if (folders_) folders_->AddRef();
  return files_ && folders_ ? 0 : 1;
}

int UninstallerImp::Destroy() {
  KeepFile(nullptr);
  ReleaseElement(folders_);
  ReleaseElement(files_);
  delete this;
  return 0;
}

int UninstallerImp::AddFileEntry(const char* path) {
  return AddUnlessListed(files_, &fileIndex_, path);
}

int UninstallerImp::AddFolderEntry(const char* path) {
  if (!folders_ || !path) return 1;
  ElementRef<FilePath> folder = ElementRef<FilePath>::Create(kFilePathType);
  if (!folder || folder->SetPath(path) != 0) return 1;
  folder->SetFileName(nullptr);
  // A part that ran out of memory is missing from the path without an error: the folder
  // must be the path's whole beginning, up to the file name.
  const char* text = folder->GetPath();
  std::size_t length = text ? std::strlen(text) : 0;
  if (!text || std::strncmp(text, path, length) != 0 || std::strpbrk(path + length, "\\/"))
    return 1;
  return AddUnlessListed(folders_, &folderIndex_, text);
}

int UninstallerImp::KeepFile(const char* path) {
  if (!path) {
    for (String*& kept : kept_) ReleaseElement(kept);
    return 0;
  }
  for (String*& kept : kept_) {
    if (kept) continue;
    ElementRef<String> text = ElementRef<String>::Create(kStringType);
    if (!text || text->SetText(path) != 0) return 1;
    kept = text.Detach();
    return 0;
  }
  return 1;
}

int UninstallerImp::Load(const char* path) {
  state_ = RecordState::kMissing;
  ElementRef<BinaryStream> file = OpenFileStream(path, kModeRead);
  Stream* stream = CastTo<Stream>(file.get());
  // One that is there but cannot be read names files that may remain.
  if (!stream) {
    if (PathExists(path) == 0) state_ = RecordState::kCutShort;
    return 1;
  }
  // A header that cannot be read at all is refused like a newer one.
  std::int32_t header = 1;
  bool whole = stream->ReadData(&header, 4) == 4;
  int result = whole && header <= 0 ? 0 : 1;
  state_ = !whole        ? RecordState::kCutShort
           : result != 0 ? RecordState::kNewer
                         : RecordState::kWhole;
  std::uint32_t legacyCodePage = kCodePageNotRead;
  if (result == 0) result = ReadList(files_, &fileIndex_, stream, &legacyCodePage);
  if (result == 0) result = ReadList(folders_, &folderIndex_, stream, &legacyCodePage);
  if (result != 0 && state_ == RecordState::kWhole) state_ = RecordState::kCutShort;
  stream->CloseStream();
  return result;
}

int UninstallerImp::Save(const char* path) {
  // Made in memory and written in one piece: a write per text would cost a system call each.
  ElementRef<CompressStream> record = ElementRef<CompressStream>::Create(kCompressStreamType);
  Stream* memory = CastTo<Stream>(record.get());
  const std::int32_t header = 0;
  int result =
      memory && memory->SetAccess(kAccessMemoryOnly) == 0 && memory->OpenStream() == 0 ? 0 : 1;
  if (result == 0) memory->WriteData(&header, 4);
  if (result == 0) result = WriteList(files_, memory);
  if (result == 0) result = WriteList(folders_, memory);
  std::uint32_t size = 0;
  if (result == 0 &&
      (memory->GetError() != 0 || memory->GetSize(&size) != 0 || memory->SetPosition(0) != 0))
    result = 1;
  auto* bytes = result == 0 ? static_cast<unsigned char*>(Allocate(size)) : nullptr;
  if (!bytes || ReadFully(memory, bytes, size) != size) result = 1;
  if (result == 0) result = WriteWholeFile(path, bytes, size);
  Free(bytes);
  return result;
}

int UninstallerImp::Uninstall() {
  // Tells the kept file apart from the others, and the folders that still hold a file.
  ElementRef<StringUtil> util = ElementRef<StringUtil>::Create(kStringUtilType);
  if (!files_ || !util) return 1;
  Iterator* it = files_->GetIterator(kListIterator, nullptr);
  if (!it) return 1;
  int result = 0;
  // What could not be removed stays listed, so that the next replay tries again; the kept
  // file leaves the list like a removed one (its owner records it anew), and a path refused
  // as no place of an installation leaves it too: it should never have been in.
  fileIndex_.Clear();
  for (it->First(); !it->IsDone();) {
    const char* file = TextOf(it->Current());
    bool kept = false;
    for (String* keptFile : kept_)
      kept = kept || (keptFile && util->CompareNoCase(file, keptFile->GetText()) == 0);
    Removal removal = kept ? Removal::kGone : RemoveListedFile(file);
    if (removal != Removal::kGone) result = 1;
    if (removal == Removal::kLeft) {
      fileIndex_.Add(util.get(), it->Current());
      it->Next();
    } else {
      it->Remove();
    }
  }
  files_->ReleaseIterator(&it);

  if (!folders_) return 1;
  it = folders_->GetIterator(kListIterator, nullptr);
  if (!it) return 1;
  // Backwards first, so a folder recorded after its parent goes before it; then forwards
  // for the folders that only became empty on the way.
  for (it->Last(); !it->IsBeforeFirst(); it->Prev()) RemoveEmptyRealFolder(TextOf(it->Current()));
  for (it->First(); !it->IsDone(); it->Next()) RemoveEmptyRealFolder(TextOf(it->Current()));
  folderIndex_.Clear();
  for (it->First(); !it->IsDone();) {
    if (HoldsListedFile(util.get(), TextOf(it->Current()))) {
      folderIndex_.Add(util.get(), it->Current());
      it->Next();
    } else {
      it->Remove();
    }
  }
  folders_->ReleaseIterator(&it);
  return result;
}

bool UninstallerImp::HoldsListedFile(StringUtil* util, const char* folder) {
  std::size_t length = folder ? std::strlen(folder) : 0;
  Iterator* it = length ? files_->GetIterator(kListIterator, nullptr) : nullptr;
  bool holds = false;
  for (it ? it->First() : void(); it && !holds && !it->IsDone(); it->Next()) {
    const char* rest = TextOf(it->Current());
    holds = rest && util->SkipPrefix(&rest, folder) == 0 && *rest;
  }
  if (it) files_->ReleaseIterator(&it);
  return holds;
}

RecordState UninstallerImp::GetRecordState() { return state_; }

int UninstallerImp::SaveOrDelete(const char* path) {
  ElementRef<StringUtil> util = ElementRef<StringUtil>::Create(kStringUtilType);
  Iterator* it = files_ && path ? files_->GetIterator(kListIterator, nullptr) : nullptr;
  if (!util || !it) {
    if (it) files_->ReleaseIterator(&it);
    return 1;
  }
  bool installed = false;
  for (it->First(); !installed && !it->IsDone(); it->Next())
    installed = util->CompareNoCase(TextOf(it->Current()), path) != 0;
  files_->ReleaseIterator(&it);
  // A record lists itself, so that whatever removes the files it lists removes it too.
  if (installed) return AddFileEntry(path) == 0 ? Save(path) : 1;
  if (PathExists(path) == 0 && RemoveRealFile(path) != 0) {
    LogSystemError("record not removed", path);
    return 1;
  }
  LogEvent("record removed", path);
  RemoveRecordFolders(path);
  return 0;
}

namespace {

// Removes the empty folders below folder (ending in a separator), the deepest first, and
// then folder itself when it is empty; links are never entered.
void RemoveEmptyFolders(String* folder, int depth) {
  int length = folder->GetLength();
  Port::FindData entry;
  Port::FindHandle found =
      depth < 32 && folder->Append("*") == 0 ? Port::FindFirst(folder->GetText(), &entry) : nullptr;
  for (bool more = found != nullptr; more; more = Port::FindNext(found, &entry)) {
    if (!entry.isDirectory || entry.isLink || std::strcmp(entry.name, ".") == 0 ||
        std::strcmp(entry.name, "..") == 0)
      continue;
    if (folder->Truncate(length) == 0 && folder->Append(entry.name) == 0 &&
        folder->Append("\\") == 0)
      RemoveEmptyFolders(folder, depth + 1);
  }
  if (found) Port::FindClose(found);
  if (folder->Truncate(length) == 0) RemoveEmptyRealFolder(folder->GetText());
}

}  // namespace

void RemoveRecordFolders(const char* record) {
  ElementRef<String> folder = ElementRef<String>::Create(kStringType);
  if (!folder || folder->SetText(record) != 0 || !CutToParent(folder.get())) return;
  RemoveEmptyRealFolder(folder->GetText());
  // The product folder holds nothing of the user's: the empty folders an installation left
  // there (such as the SDK's, when the record names only the folders of its files) go too.
  if (CutToParent(folder.get())) RemoveEmptyFolders(folder.get(), 0);
}

namespace {

int Visit(ElementContainer* list, int (*visit)(const char* path, void* context), void* context) {
  Iterator* it = list ? list->GetIterator(kListIterator, nullptr) : nullptr;
  if (!it) return 1;
  int result = 0;
  for (it->First(); result == 0 && !it->IsDone(); it->Next())
    result = visit(TextOf(it->Current()), context);
  list->ReleaseIterator(&it);
  return result;
}

}  // namespace

int UninstallerImp::VisitFiles(int (*visit)(const char* path, void* context), void* context) {
  return Visit(files_, visit, context);
}

int UninstallerImp::VisitFolders(int (*visit)(const char* path, void* context), void* context) {
  return Visit(folders_, visit, context);
}

}  // namespace VLN2
