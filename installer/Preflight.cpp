#include "installer/Preflight.h"

#include <zlib.h>

#include <cstring>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/BinaryStream.h"
#include "archive/EntryName.h"
#include "archive/Stream.h"
#include "framework/Allocator.h"
#include "framework/ElementContainer.h"
#include "framework/PathRules.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "installer/InstallPlan.h"
#include "installer/Journal.h"
#include "installer/Targets.h"
#include "installer/Uninstaller.h"
#include "resources/resource.h"
#include "system/FileFunc.h"
#include "system/Log.h"
#include "system/PathGate.h"
#include "system/SystemApp.h"
#include "system/port/Port.h"

namespace VLN2 {

namespace {

const char* const kPayloadType = "ARCHIVE";
// Room counted per file beyond its bytes: the rest of its last cluster, its entry in the
// folder and its two text records in the installation record.
constexpr std::uint64_t kPerFileOverhead = 4096 + 1024;
constexpr std::uint32_t kReadPiece = 64 * 1024;

const char* const kNothingChanged = "\n\nSetup has ended. Nothing was changed on this computer.";
const char* const kOutOfMemoryText = "Setup ran out of memory before installing anything.";
const char* const kNoProgramFilesFolder = ": the system names no program files folder.";

std::uint32_t LE32(const unsigned char* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The folder itself when it exists, else the nearest existing folder above it, at most its
// drive's root (the folder has passed the path gate); null when memory ran out.
ElementRef<String> ExistingFolderOf(const char* folder) {
  ElementRef<String> text = NewText(folder);
  while (text && FolderOfPathExists(text->GetText()) != 0 && CutToParent(text.get())) {
  }
  return text;
}

// Appends the value in whole kilobytes, rounded up.
int AppendKilobytes(String* text, std::uint64_t bytes) {
  char digits[24];
  FormatDecimal(static_cast<std::int64_t>((bytes + 1023) / 1024), digits, sizeof digits);
  return text->Append(digits) == 0 && text->Append(" KB") == 0 ? 0 : 1;
}

// The CRC-32 and length of what the stream gives, read in pieces up to its end or a read
// that fails: a failure leaves fewer bytes counted.
void ChecksumOf(Stream* stream, std::uint32_t* crc, std::uint32_t* length) {
  *crc = 0;
  *length = 0;
  auto* piece = static_cast<unsigned char*>(Allocate(kReadPiece));
  if (!piece) return;
  uLong sum = crc32(0, Z_NULL, 0);
  for (int got = 0; (got = stream->ReadData(piece, kReadPiece)) > 0;) {
    sum = crc32(sum, piece, static_cast<uInt>(got));
    *length += static_cast<std::uint32_t>(got);
  }
  Free(piece);
  *crc = static_cast<std::uint32_t>(sum);
}

// Whether the text holds the line.
bool HoldsLine(const char* text, const char* line) {
  std::size_t length = std::strlen(line);
  for (const char* at = text; at && (at = std::strstr(at, line)); at += length)
    if ((at == text || at[-1] == '\n') && at[length] == '\n') return true;
  return false;
}

}  // namespace

Preflight::Preflight(Core* core, InstallPlan* plan) : core_(core), plan_(plan) {}

Preflight::~Preflight() = default;

const char* Preflight::GetArchivePath() const {
  return archivePath_ ? archivePath_->GetText() : nullptr;
}

const char* Preflight::GetMessage() const {
  return message_ ? message_->GetText() : kOutOfMemoryText;
}

PreflightCause Preflight::Fail(PreflightCause cause, std::initializer_list<const char*> parts) {
  message_ = Joined(parts);
  if (message_ && message_->Append(kNothingChanged) != 0) message_.reset();
  return cause;
}

PreflightCause Preflight::Run() {
  app_ = core_->GetSystemApp();
  anySelected_ = plan_->IsAnySelected();
  PreflightCause cause = app_ ? Check() : PreflightCause::kNoTempFolder;
  if (cause != PreflightCause::kReady) RemoveCreatedFolders();
  plan_->SetPrevious(previous_.get());
  return cause;
}

PreflightCause Preflight::RunRemoval() {
  app_ = core_->GetSystemApp();
  if (!app_) return PreflightCause::kNoTempFolder;
  // Without a program-files folder there is no telling where the record is.
  if (!app_->GetToolboxFolder())
    return Fail(PreflightCause::kToolboxFolder,
                {"Setup cannot tell where programs are installed on this computer", "",
                 kNoProgramFilesFolder});
  PreflightCause cause = CheckPreviousRecord();
  return cause == PreflightCause::kReady ? CheckFilesInUse() : cause;
}

PreflightCause Preflight::Check() {
  PreflightCause cause = CheckPreviousRecord();
  if (cause == PreflightCause::kReady) cause = CheckFolders();
  if (cause == PreflightCause::kReady) cause = CheckTempFolder();
  if (cause == PreflightCause::kReady) cause = StagePayload();
  if (cause == PreflightCause::kReady) cause = CheckArchive();
  if (cause == PreflightCause::kReady) cause = PrepareToolbox();
  if (cause == PreflightCause::kReady) cause = CheckSpace();
  if (cause == PreflightCause::kReady) cause = CheckFilesInUse();
  return cause;
}

PreflightCause Preflight::CheckPreviousRecord() {
  previous_ = ElementRef<Uninstaller>::Create(kUninstallerType);
  if (!previous_) return PreflightCause::kOutOfMemory;
  previous_->AddRef();  // counted: the plan holds it too
  // Without a toolbox folder there is no record, and one that cannot be read names nothing.
  const char* toolbox = app_->GetToolboxFolder();
  if (!toolbox) return PreflightCause::kReady;
  ElementRef<String> record = NewText(toolbox);
  if (!record || record->Append(kRecordName) != 0) return PreflightCause::kOutOfMemory;
  previous_->Load(record->GetText());
  // Replacing it would orphan every file of that installation.
  if (previous_->GetRecordState() == RecordState::kNewer)
    return Fail(PreflightCause::kNewerRecord,
                {"The installation record ", record->GetText(),
                 " was made by a newer VorlaneBox Setup.\nUse that Setup to change or remove "
                 "VorlaneBox."});
  return PreflightCause::kReady;
}

PreflightCause Preflight::CheckFolders() {
  // The toolbox folder is checked with the others only when something goes there.
  for (int index = anySelected_ ? -1 : 0; index < kTargetCount; ++index) {
    const char* folder = index < 0 ? app_->GetToolboxFolder() : plan_->GetTargetPath(index);
    // Without a folder a target fails without touching anything; without a toolbox folder
    // the next check says why nothing can be installed.
    if (index >= 0 && !plan_->IsTargetSelected(index)) continue;
    if (!folder || !*folder) continue;
    PathFault fault = CheckPlace(folder);
    if (fault != PathFault::kNone)
      return Fail(PreflightCause::kBadFolder,
                  {"The folder ", folder, DescribePathFault(fault), ".\nChoose another folder."});
  }
  return PreflightCause::kReady;
}

PreflightCause Preflight::CheckTempFolder() {
  const char* temp = app_->GetTempFolder();
  if (temp && FolderOfPathExists(temp) == 0) return PreflightCause::kReady;
  char system[261] = "the system's temporary folder";
  if (!temp) Port::GetTempPath(system, sizeof system);
  return Fail(PreflightCause::kNoTempFolder,
              {"Setup could not make its temporary folder in ", temp ? temp : system,
               ".\nMake sure that the folder named by the TEMP and TMP settings exists and "
               "that you may write in it, then run Setup again."});
}

PreflightCause Preflight::StagePayload() {
  char program[261] = "this Setup program";
  Port::GetModuleFileName(app_->GetInstance(), program, sizeof program);
  const void* payload = nullptr;
  const void* check = nullptr;
  std::uint32_t size = 0, checkSize = 0;
  const char* const damaged = " are damaged.\nDownload Setup again.";
  if (!Port::FindResource(app_->GetInstance(), kPayloadType, IDR_ARCHIVE, &payload, &size) ||
      !Port::FindResource(app_->GetInstance(), kPayloadType, IDR_ARCHIVE_CHECK, &check,
                          &checkSize) ||
      !payload || !check || checkSize != 8 ||
      LE32(static_cast<const unsigned char*>(check)) != size)
    return Fail(PreflightCause::kPayloadDamaged,
                {"The installation files inside ", program, damaged});

  archivePath_ = NewText(app_->GetTempFolder());
  if (!archivePath_ || archivePath_->Append("Archive.DAT") != 0)
    return PreflightCause::kOutOfMemory;
  const char* path = archivePath_->GetText();
  const char* const notStaged =
      ".\nThe disk may be full, or another program may be using the file.";
  // Made new in the private folder and held, unshared for writing, until the run ends: what
  // is checked here is what the installation reads, through this handle alone.
  // A plain file left there by an earlier run is removed; anything else refuses.
  RemoveRealFile(path);
  staged_ = OpenFileStream(path, kModeReadWrite, kOptionNewRealFile);
  // Counted, so that the archive's reference is a second one.
  if (staged_) staged_->AddRef();
  Stream* stream = CastTo<Stream>(staged_.get());
  // A write that fails reports it in its count.
  if (!stream || static_cast<std::uint32_t>(stream->WriteData(payload, size)) != size ||
      stream->SetPosition(0) != 0)
    return Fail(PreflightCause::kPayloadNotStaged,
                {"Setup could not write its installation files to ", path, notStaged});
  // Read back: what the installation will read is checked, not the bytes in memory.
  std::uint32_t crc = 0, length = 0;
  ChecksumOf(stream, &crc, &length);
  if (length != size)
    return Fail(PreflightCause::kPayloadNotStaged,
                {"Setup could not read back its installation files from ", path, notStaged});
  if (crc != LE32(static_cast<const unsigned char*>(check) + 4))
    return Fail(PreflightCause::kPayloadDamaged,
                {"The installation files inside ", program, damaged});
  LogEvent("archive copied to", path);
  return PreflightCause::kReady;
}

PreflightCause Preflight::CheckArchive() {
  archive_ = ElementRef<Archive>::Create(kArchiveType);
  ArchiveReader* reader = CastTo<ArchiveReader>(archive_.get());
  if (!reader) return PreflightCause::kOutOfMemory;
  archive_->AddRef();  // counted: the plan holds it too
  if (reader->OpenArchiveFile(staged_.get()) != 0)
    return Fail(PreflightCause::kArchiveUnreadable,
                {"The installation files staged in ", archivePath_->GetText(),
                 " cannot be read.\nDownload Setup again."});
  // What each destination will write, from what was checked.
  if (plan_->PlanFiles(archive_.get(), app_->GetToolboxFolder()) != 0)
    return PreflightCause::kOutOfMemory;
  return WalkEntries(&Preflight::Measure);
}

PreflightCause Preflight::WalkEntries(Visit visit) {
  ElementRef<String> path = ElementRef<String>::Create(kStringType);
  if (!path) return PreflightCause::kOutOfMemory;
  for (int n = 0; n < plan_->GetDestinationCount(); ++n) {
    const InstallPlan::Destination& destination = plan_->GetDestination(n);
    for (int i = 0; i < destination.count; ++i) {
      const InstallPlan::File& file = destination.files[i];
      if (path->SetText(destination.folder) != 0 || path->Append(file.name) != 0)
        return PreflightCause::kOutOfMemory;
      PreflightCause cause = (this->*visit)(destination.folder, path->GetText(), file.entry);
      if (cause != PreflightCause::kReady) return cause;
    }
  }
  return PreflightCause::kReady;
}

PreflightCause Preflight::Measure(const char* folder, const char* path, ArchiveEntry* entry) {
  // The file is written under a longer name first, and the system must take that one too.
  char written[2 * kMaxPathSize];
  if (!IsPlainPath(Journal::NameOf(path, Journal::kNewSuffix, written)))
    return Fail(PreflightCause::kBadFolder,
                {"The path ", path, " is too long for Windows.\nChoose a shorter folder."});
  std::uint32_t unpacked = 0;
  bool packed = false;
  if (CastTo<ArchiveReader>(archive_.get())->GetEntryForm(entry, &unpacked, &packed) != 0)
    return Fail(PreflightCause::kArchiveUnreadable,
                {"The installation files staged in ", archivePath_->GetText(),
                 " are damaged.\nDownload Setup again."});
  return Need(folder, unpacked + kPerFileOverhead);
}

PreflightCause Preflight::Need(const char* folder, std::uint64_t bytes) {
  // Entries come folder by folder: the volume is looked for once per destination folder.
  if (!measuredFolder_ || !SamePath(measuredFolder_->GetText(), folder)) {
    char volume[kMaxPathSize];
    measuredFolder_ = NewText(folder);
    lastVolume_ = -1;
    if (!measuredFolder_) return PreflightCause::kOutOfMemory;
    // A folder on no volume the system knows fails its target later, whatever room it has.
    if (!Port::GetVolumeFolder(folder, volume, sizeof volume)) return PreflightCause::kReady;
    for (int i = 0; i < volumeCount_ && lastVolume_ < 0; ++i)
      if (SamePath(volumes_[i].folder->GetText(), volume)) lastVolume_ = i;
    // The destinations are the targets' folders and the toolbox folder: never more volumes.
    static_assert(kMaxVolumes > kTargetCount, "a volume for every destination");
    if (lastVolume_ < 0) {
      volumes_[volumeCount_].folder = NewText(volume);
      if (!volumes_[volumeCount_].folder) return PreflightCause::kOutOfMemory;
      lastVolume_ = volumeCount_++;
    }
  }
  if (lastVolume_ >= 0) volumes_[lastVolume_].need += bytes;
  return PreflightCause::kReady;
}

PreflightCause Preflight::PrepareToolbox() {
  const char* toolbox = app_->GetToolboxFolder();
  // No program-files folder is known: nothing can be recorded, so nothing may be installed.
  if (!toolbox)
    return anySelected_ ? Fail(PreflightCause::kToolboxFolder,
                               {"Setup cannot tell where programs are installed on this computer",
                                "", kNoProgramFilesFolder})
                        : PreflightCause::kReady;
  bool exists = FolderOfPathExists(toolbox) == 0;
  // With nothing selected nothing goes there, and no record without the folder.
  if (!exists && !anySelected_) return PreflightCause::kReady;
  if (!exists) {
    existedAbove_ = ExistingFolderOf(toolbox);
    if (CreateFolders(toolbox) != 0)
      return Fail(PreflightCause::kToolboxFolder,
                  {"Setup could not create the folder ", toolbox,
                   ".\nMake sure that you may write in the folder above it."});
  }
  ElementRef<String> record = NewText(toolbox);
  ElementRef<String> saving = NewText(toolbox);
  if (!record || !saving || record->Append(kRecordName) != 0 || saving->Append(kRecordName) != 0 ||
      saving->Append(kSavingSuffix) != 0)
    return PreflightCause::kOutOfMemory;
  // The record is saved under that name, made new, and then moved over the old one.
  const unsigned char emptyRecord[12] = {};
  RemoveRealFile(saving->GetText());
  ElementRef<BinaryStream> file =
      OpenFileStream(saving->GetText(), kModeCreate, kOptionNewRealFile);
  Stream* stream = CastTo<Stream>(file.get());
  bool written = stream && stream->WriteData(emptyRecord, sizeof emptyRecord) == 12 &&
                 file->FlushStream() == 0;
  if (stream && stream->CloseStream() != 0) written = false;
  file.reset();
  bool removed = RemoveRealFile(saving->GetText()) == 0;
  // An old record that cannot be written cannot be replaced either.
  if (written && removed && PathExists(record->GetText()) == 0)
    written = static_cast<bool>(OpenFileStream(record->GetText(), kModeWrite));
  if (!written || !removed)
    return Fail(PreflightCause::kRecordNotWritable,
                {"Setup cannot write the installation record Uninstall.info in the folder ",
                 toolbox, ".\nMake sure that you may write in that folder."});
  return Need(toolbox, kPerFileOverhead);
}

PreflightCause Preflight::CheckSpace() {
  // An update needs room for the new files and the previous ones at once.
  int previousFiles = 0;
  previous_->VisitFiles(
      [](const char*, void* count) {
        ++*static_cast<int*>(count);
        return 0;
      },
      &previousFiles);
  for (int i = 0; i < volumeCount_; ++i) {
    const char* folder = volumes_[i].folder->GetText();
    std::uint64_t free = 0;
    // A volume that does not tell is not held against the installation.
    if (!Port::GetVolumeFreeBytes(folder, &free) || free >= volumes_[i].need) continue;
    message_ = NewText("There is not enough free space on the disk of ");
    if (!message_ || message_->Append(folder) != 0 || message_->Append(": ") != 0 ||
        AppendKilobytes(message_.get(), volumes_[i].need) != 0 ||
        message_->Append(" are needed, ") != 0 || AppendKilobytes(message_.get(), free) != 0 ||
        message_->Append(" are free.\n") != 0 ||
        (previousFiles > 0 &&
         message_->Append("The new files are written beside the previous ones, which go only "
                          "once every new one is in place.\n") != 0) ||
        message_->Append("Make room on the disk, then run Setup again.") != 0 ||
        message_->Append(kNothingChanged) != 0)
      message_.reset();
    return PreflightCause::kNoSpace;
  }
  return PreflightCause::kReady;
}

int Preflight::NoteRecordedInUse(const char* path, void* preflight) {
  auto* self = static_cast<Preflight*>(preflight);
  // The replay refuses such a path without looking at it: so does this check.
  if (!IsRecordablePath(path)) return 0;
  // The program's own file is in use as long as it runs; it goes last.
  if (self->ownFile_ && SamePath(path, self->ownFile_)) return 0;
  return self->NoteInUse(nullptr, path, nullptr) == PreflightCause::kReady ? 0 : 1;
}

void Preflight::NoteHolder(const char* program, void* preflight) {
  auto* self = static_cast<Preflight*>(preflight);
  // Each program once, however many of the files it holds.
  if (HoldsLine(self->holders_->GetText(), program)) return;
  self->holders_->Append(program);
  self->holders_->Append("\n");
}

bool Preflight::FolderOfPathIsThere(const char* path) {
  const char* folder = lastFolder_ ? lastFolder_->GetText() : nullptr;
  std::size_t length = folder ? std::strlen(folder) : 0;
  const char* name = path + length;
  bool same = length > 0 && std::strncmp(path, folder, length) == 0 && *name &&
              !std::strchr(name, '\\') && !std::strchr(name, '/');
  if (same) return lastFolderThere_;
  lastFolderThere_ = FolderOfPathExists(path) == 0;
  // Without memory for the folder's name, the next path asks again.
  lastFolder_ = NewText(path);
  if (lastFolder_ && !CutToParent(lastFolder_.get())) lastFolder_.reset();
  return lastFolderThere_;
}

PreflightCause Preflight::NoteInUse(const char*, const char* path, ArchiveEntry*) {
  // A file the removal deletes and the extraction writes again is listed once.
  if (!path || !FolderOfPathIsThere(path) || HoldsLine(inUse_->GetText(), path) ||
      !Port::IsFileInUse(path))
    return PreflightCause::kReady;
  if (inUse_->Append(path) != 0 || inUse_->Append("\n") != 0) return PreflightCause::kOutOfMemory;
  Port::ListFileHolders(&path, 1, &Preflight::NoteHolder, this);
  return PreflightCause::kReady;
}

PreflightCause Preflight::CheckFilesInUse() {
  for (;;) {
    inUse_ = NewText("");
    holders_ = NewText("");
    lastFolder_.reset();
    if (!inUse_ || !holders_ || previous_->VisitFiles(&Preflight::NoteRecordedInUse, this) != 0)
      return PreflightCause::kOutOfMemory;
    // A removal writes nothing new.
    PreflightCause cause = archive_ ? WalkEntries(&Preflight::NoteInUse) : PreflightCause::kReady;
    if (cause != PreflightCause::kReady) return cause;
    if (inUse_->GetLength() == 0) return PreflightCause::kReady;
    ElementRef<String> text =
        NewText(archive_ ? "These files are in use and cannot be replaced:\n\n"
                         : "These files are in use and cannot be removed:\n\n");
    if (!text || text->Append(inUse_->GetText()) != 0 ||
        (holders_->GetLength() > 0 && (text->Append("\nThey are held by:\n\n") != 0 ||
                                       text->Append(holders_->GetText()) != 0)) ||
        text->Append("\nClose the programs that use them, then press Retry. Press Cancel to end "
                     "Setup without changing anything.") != 0)
      return PreflightCause::kOutOfMemory;
    if (app_->AskRetry(text->GetText(), kSetupCaption) != 0)
      return Fail(
          PreflightCause::kFilesInUse,
          {"Setup was cancelled while these files were in use:\n\n", inUse_->GetText(), ""});
  }
}

void Preflight::RemoveCreatedFolders() {
  const char* toolbox = app_ ? app_->GetToolboxFolder() : nullptr;
  if (!existedAbove_ || !toolbox) return;
  ElementRef<String> folder = NewText(toolbox);
  if (!folder) return;
  // From the deepest up to the folder that was there before: the toolbox folder cut to its
  // parents, it has that folder's length exactly when it is that folder.
  while (folder->GetLength() > existedAbove_->GetLength()) {
    RemoveFolder(folder->GetText());
    if (!CutToParent(folder.get())) break;
  }
}

}  // namespace VLN2
