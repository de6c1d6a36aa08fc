// create: packs every file below a folder into a new archive, named by its path relative to
// the folder, in byte order of the names, so that the same tree always gives the same archive.
#include <algorithm>
#include <new>

#include "archive/Archive.h"
#include "archive/EntryName.h"
#include "archive/Stream.h"
#include "framework/PathRules.h"
#include "system/FileFunc.h"
#include "system/FileSystemIterator.h"
#include "tools/vlnpack/Commands.h"
#include "tools/vlnpack/Files.h"
#include "tools/vlnpack/NativePath.h"
#include "tools/vlnpack/ParallelPacking.h"
#include "tools/vlnpack/Report.h"

namespace VLN2::Vlnpack {
namespace {

// Archive positions are 32-bit.
constexpr std::uint64_t kArchiveLimit = 0xFFFFFFFFull;

// The longest block a file of size bytes makes: stored data is a little longer than the data.
std::uint64_t BlockBound(std::uint64_t size) { return size + size / 1000 + 64; }

struct Collected {
  std::string root;
  std::vector<std::string> skip;  // full paths left out (the archive being written)
  std::vector<std::string> names;
  bool failed = false;
};

int CollectFile(const char* path, void* context) {
  auto* collected = static_cast<Collected*>(context);
  try {
    for (const std::string& skip : collected->skip)
      if (SamePath(path, skip.c_str())) return 0;
    collected->names.push_back(path + collected->root.size());
    return 0;
  } catch (...) {
    collected->failed = true;
    return 1;
  }
}

// The names of the files below folder, relative to it, in byte order; skip is left out.
int CollectNames(const char* givenFolder, const std::string& folder, std::vector<std::string> skip,
                 std::vector<std::string>* names) {
  Collected collected{folder, std::move(skip), {}, false};
  auto walker = ElementRef<FileSystemIterator>::Create(kFileSystemIteratorType);
  if (!walker) {
    Message("%s: out of memory", givenFolder);
    return kExitFailure;
  }
  walker->SetRoot(folder.c_str());
  walker->SetFileCallback(&CollectFile);
  if (walker->Walk(&collected) != 0 || collected.failed) {
    Message("%s: the folder could not be listed", givenFolder);
    return kExitFailure;
  }
  if (collected.names.empty()) {
    Message("%s: no files to pack", givenFolder);
    return kExitFailure;
  }
  std::sort(collected.names.begin(), collected.names.end());
  *names = std::move(collected.names);
  return kExitOk;
}

// Refuses what extraction would refuse, names that are not UTF-8 and names that Windows takes
// for one file; *total grows by the directory's records.
int CheckNames(const char* givenFolder, const std::vector<std::string>& names,
               std::uint64_t* total) {
  for (const std::string& name : names) {
    if (!IsSafeEntryName(name.c_str()) || name.size() > 65534) {
      Message(
          "%s: \"%s\": a name that extraction would refuse (a device name, a trailing "
          "dot or blank, a colon, a control character or wildcard)",
          givenFolder, Printable(name.c_str()).c_str());
      return kExitFailure;
    }
    if (!IsUtf8Name(name.c_str())) {
      Message("%s: \"%s\": a name that is not UTF-8", givenFolder, Printable(name.c_str()).c_str());
      return kExitFailure;
    }
    *total += 11 + name.size();
  }
  NameSet taken;
  for (const std::string& name : names) {
    const char* earlier = nullptr;
    NameSet::Result result = taken.Take(name.c_str(), &earlier);
    if (result == NameSet::kNoMemory) throw std::bad_alloc();
    if (result == NameSet::kCollides) {
      Message("%s: \"%s\" and \"%s\": names that Windows takes for one file (letter case ignored)",
              givenFolder, Printable(earlier).c_str(), Printable(name.c_str()).c_str());
      return kExitFailure;
    }
  }
  return kExitOk;
}

// Packs one file on this thread; *total is the archive's length so far, at most, and grows by
// this entry.
int AddEntry(Archive* archive, const std::string& path, const std::string& name, Buffer& buffer,
             std::uint64_t* total, const char** why) {
  std::uint32_t size = 0;
  auto file = OpenToRead(path, &size);
  if (!file) {
    *why = "cannot be read";
    return 1;
  }
  Stream* in = CastTo<Stream>(file.get());
  *total += BlockBound(size);
  if (*total > kArchiveLimit || size >= 0x80000000u) {
    *why = "does not fit: an archive holds at most 4 GiB, an entry less than 2 GiB";
    return 1;
  }
  Stream* out = archive->BeginEntry(name.c_str());
  if (!out) {
    *why = "cannot be added (out of memory?)";
    return 1;
  }
  int result = 0;
  for (std::uint32_t left = size; left > 0 && result == 0;) {
    std::uint32_t n = left < kChunk ? left : kChunk;
    if (in->ReadData(buffer.get(), n) != static_cast<int>(n)) {
      *why = "changed or could not be read while it was packed";
      result = 1;
    } else if (out->WriteData(buffer.get(), n) != static_cast<int>(n)) {
      *why = "too large for memory";
      result = 1;
    }
    left -= n;
  }
  // A file that grew while it was packed would be cut short without a word.
  unsigned char extra;
  if (result == 0 && in->ReadData(&extra, 1) != 0) {
    *why = "changed while it was packed";
    result = 1;
  }
  if (archive->EndEntry() != 0 && result == 0) {
    *why = "could not be written to the archive";
    result = 1;
  }
  return result;
}

// The named files packed into an archive being written, in order: small files are read ahead
// and packed on the workers, the rest on this thread. The prepared device is registered while
// this lives: the archive, whose entry streams take it, must go first.
class FilePacking {
 public:
  FilePacking(const std::string& folder, const std::vector<std::string>& names, Packing packing)
      : folder_(folder),
        names_(names),
        workers_(WorkerCount()),
        jobs_(names.size()),
        packer_(workers_, packing),
        device_(new PreparedDevice(g_core, &packer_, packing)),
        buffer_(kChunk) {
    if (!device_) return;
    device_->AddRef();
    g_core->SetRegistered(kCompressDeviceType, device_);
  }
  ~FilePacking() {
    if (!device_) return;
    g_core->SetRegistered(kCompressDeviceType, nullptr);
    device_->Release();
  }
  FilePacking(const FilePacking&) = delete;
  FilePacking& operator=(const FilePacking&) = delete;

  bool Ready() const { return device_ && buffer_.get(); }

  // 0 when every file went into the archive; else 1, with the file's name and why.
  int PackAll(Archive* archive, std::uint64_t total, Progress* progress) {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      progress->Step(i, names_[i]);
      ReadAhead(i);
      int added = jobs_[i]
                      ? AddRead(archive, i, &total)
                      : AddEntry(archive, folder_ + names_[i], names_[i], buffer_, &total, &why);
      if (added != 0) {
        failedName = names_[i];
        return 1;
      }
    }
    return 0;
  }

  std::string failedName;
  const char* why = nullptr;

 private:
  // Keeps the workers fed: reads ahead while the jobs in flight stay within the budget.
  void ReadAhead(std::size_t current) {
    while (workers_ && nextRead_ < names_.size() &&
           (nextRead_ <= current ||
            (nextRead_ < current + 256 && packer_.InFlight() < ParallelPacker::kBudget))) {
      jobs_[nextRead_] = ReadJob(folder_ + names_[nextRead_]);
      if (jobs_[nextRead_]) packer_.Submit(jobs_[nextRead_].get());
      ++nextRead_;
    }
  }

  // Adds the entry of a file read ahead, whose stream a worker packs.
  int AddRead(Archive* archive, std::size_t i, std::uint64_t* total) {
    ParallelPacker::Job* job = jobs_[i].get();
    auto size = static_cast<std::uint32_t>(job->input.size());
    if ((*total += BlockBound(size)) > kArchiveLimit) {
      why = "does not fit: an archive holds at most 4 GiB";
      return 1;
    }
    Stream* out = archive->BeginEntry(names_[i].c_str());
    int added =
        out && (size == 0 || out->WriteData(job->input.data(), size) == static_cast<int>(size)) ? 0
                                                                                                : 1;
    device_->SetCurrent(job);
    if (out && archive->EndEntry() != 0) added = 1;
    device_->SetCurrent(nullptr);
    packer_.Retire(job);
    jobs_[i].reset();
    if (added) why = "could not be written to the archive";
    return added;
  }

  const std::string& folder_;
  const std::vector<std::string>& names_;
  const unsigned workers_;
  // The jobs outlive the packer, whose workers may still be busy with some of them.
  std::vector<std::unique_ptr<ParallelPacker::Job>> jobs_;
  ParallelPacker packer_;
  PreparedDevice* device_;
  Buffer buffer_;
  std::size_t nextRead_ = 0;
};

// Writes the archive under its temporary name; nothing is left there when it fails.
int WriteArchive(const char* givenArchive, const std::string& partial, const std::string& folder,
                 const std::vector<std::string>& names, Packing packing, std::uint64_t total) {
  FilePacking files(folder, names, packing);
  auto archive = ElementRef<Archive>::Create(kArchiveType);
  if (!files.Ready() || !archive || archive->SetArchiveMode(kArchiveWrite) != 0) {
    Message("%s: out of memory", givenArchive);
    return kExitFailure;
  }
  RemoveFile(partial.c_str());
  if (archive->OpenArchive(partial.c_str()) != 0) {
    Message("%s: cannot be created", givenArchive);
    return kExitFailure;
  }
  Progress progress("packing", names.size());
  int packed = files.PackAll(archive.get(), total, &progress);
  int closed = archive->CloseArchive();
  progress.Clear();
  archive.reset();
  if (packed == 0 && closed == 0) return kExitOk;
  RemoveFile(partial.c_str());
  if (packed != 0)
    Message("%s: %s", Printable((folder + files.failedName).c_str()).c_str(), files.why);
  else
    Message("%s: could not be written completely", givenArchive);
  return kExitFailure;
}

}  // namespace

int CreateArchive(const char* givenArchive, const char* givenFolder, Packing packing) {
  std::string archivePath;
  std::string folder;
  if (!ResolveFile(givenArchive, &archivePath) || !ResolveFolder(givenFolder, &folder))
    return kExitFailure;
  PathKind kind = KindOf(folder);
  if (kind != PathKind::kFolder) {
    Message("%s: %s", givenFolder,
            kind == PathKind::kMissing ? "no such folder" : "is a file, not a folder");
    return kExitFailure;
  }
  if (KindOf(archivePath) == PathKind::kFolder) {
    Message("%s: is a folder", givenArchive);
    return kExitFailure;
  }
  // Written under a temporary name and renamed at the end, so that a failure never leaves
  // a damaged archive or destroys an older one.
  std::string partial = archivePath + ".vlnpack-tmp";
  std::vector<std::string> names;
  std::uint64_t total = 20;  // the header
  int result = CollectNames(givenFolder, folder, {archivePath, partial}, &names);
  if (result == kExitOk) result = CheckNames(givenFolder, names, &total);
  if (result == kExitOk)
    result = WriteArchive(givenArchive, partial, folder, names, packing, total);
  if (result != kExitOk) return result;
  RemoveFile(archivePath.c_str());
  if (RenameFile(partial.c_str(), archivePath.c_str()) != 0) {
    RemoveFile(partial.c_str());
    Message("%s: cannot be created", givenArchive);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace VLN2::Vlnpack
