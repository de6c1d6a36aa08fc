// extract: writes the entries (those below a prefix, which is left out) into a folder, by the
// archive's rules of extraction, decoding on this thread and writing on another.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "archive/FolderExtraction.h"
#include "archive/Stream.h"
#include "framework/ElementRef.h"
#include "framework/String.h"
#include "system/FileFunc.h"
#include "system/port/Port.h"
#include "tools/vlnpack/ArchiveReading.h"
#include "tools/vlnpack/Commands.h"
#include "tools/vlnpack/Files.h"
#include "tools/vlnpack/NativePath.h"
#include "tools/vlnpack/Report.h"

namespace VLN2::Vlnpack {
namespace {

// Writes decoded entries to disk on a thread of its own, so that creating files (which
// costs the system more than decoding costs us) overlaps with decoding the next entries.
// Only the port's file calls and the entry's memory stream are used there; every element
// is created and released on the main thread.
class EntryWriter {
 public:
  struct Job {
    CompressStream* data;  // owned by the main thread, which releases it when done
    std::string target;    // the port's path, its folders made and checked
    std::string name;
    std::uint64_t cost;
  };

  EntryWriter() : thread_([this] { Run(); }) {}
  ~EntryWriter() { Finish(); }
  EntryWriter(const EntryWriter&) = delete;
  EntryWriter& operator=(const EntryWriter&) = delete;

  // Blocks until an entry that needs cost bytes to decode may be decoded: while the
  // jobs in flight and it would hold more memory than the budget, unless nothing else is
  // in flight. The cost counts as in flight from now on.
  void Reserve(std::uint64_t cost) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return inFlight_ == 0 || inFlight_ + cost <= kBudget || failed_; });
    inFlight_ += cost;
  }

  // Gives back a reservation that did not become a job.
  void Unreserve(std::uint64_t cost) {
    std::lock_guard<std::mutex> lock(mutex_);
    inFlight_ -= cost;
    changed_.notify_all();
  }

  // Hands over a job whose cost was reserved.
  void Push(Job job) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(job));
    changed_.notify_all();
  }

  // The jobs written since the last call (their streams are the caller's to release).
  std::vector<CompressStream*> TakeDone() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<CompressStream*> done;
    done.swap(done_);
    return done;
  }

  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finishing_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    // Jobs the thread never took still hand their streams back.
    for (Job& job : pending_) done_.push_back(job.data);
    pending_.clear();
  }

  bool Failed(std::string* name, const char** why) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_) {
      *name = failedName_;
      *why = failedWhy_;
    }
    return failed_;
  }

 private:
  // Decoded bytes allowed in flight besides the one entry being written.
  static constexpr std::uint64_t kBudget = 8u << 20;

  // No exception may leave the thread: memory running out is a failure like any other.
  void Run() {
    try {
      Loop();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      failed_ = true;
      failedName_ = "(all)";
      failedWhy_ = "out of memory";
      finishing_ = true;
      changed_.notify_all();
    }
  }

  void Loop() {
    std::vector<unsigned char> buffer(kChunk);
    for (;;) {
      Job job;
      bool skip;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !pending_.empty() || finishing_; });
        if (pending_.empty()) return;
        job = std::move(pending_.front());
        pending_.erase(pending_.begin());
        skip = failed_;  // after a failure nothing more is written
      }
      const char* why = skip ? nullptr : Write(job, buffer.data());
      std::lock_guard<std::mutex> lock(mutex_);
      if (why && !failed_) {
        failed_ = true;
        failedName_ = job.name;
        failedWhy_ = why;
      }
      inFlight_ -= job.cost;
      done_.push_back(job.data);
      changed_.notify_all();
    }
  }

  static const char* Write(const Job& job, unsigned char* buffer) {
    Stream* in = CastTo<Stream>(job.data);
    std::uint32_t size = 0;
    in->GetSize(&size);
    // Never through a link: see OpenRealFile.
    Port::FileHandle file = OpenRealFile(job.target.c_str(), Port::kAccessWrite, true);
    if (!file) return "cannot be written (the file cannot be created)";
    bool ok = true;
    for (std::uint32_t left = size; ok && left > 0;) {
      std::uint32_t n = left < kChunk ? left : kChunk;
      std::uint32_t written = 0;
      ok = in->ReadData(buffer, n) == static_cast<int>(n) &&
           Port::WriteFile(file, buffer, n, &written) && written == n;
      left -= n;
    }
    // Cut an older, longer file (or any file, for an empty entry) to the entry's length.
    ok = ok && Port::SetEndOfFile(file);
    Port::CloseFile(file);
    return ok ? nullptr : "cannot be written (disk full?)";
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Job> pending_;
  std::vector<CompressStream*> done_;
  std::uint64_t inFlight_ = 0;
  bool finishing_ = false;
  bool failed_ = false;
  std::string failedName_;
  const char* failedWhy_ = nullptr;
  std::thread thread_;
};

struct Failure {
  std::string name;  // empty while nothing failed
  const char* why = nullptr;
};

const char* Refusal(FolderExtraction::Placement placed) {
  switch (placed) {
    case FolderExtraction::kUnsafeName:
      return "a name that could leave the folder or names a device";
    case FolderExtraction::kTakenName:
      return "a name that Windows takes for an entry already extracted";
    case FolderExtraction::kFolderRefused:
      return "its folder cannot be created, or is a link";
    default:
      return "out of memory";
  }
}

// Places, decodes and hands to the writer each entry in turn, until one fails.
void WriteEntries(const OpenedArchive& opened, FolderExtraction* extraction, Failure* failure) {
  auto target = ElementRef<String>::Create(kStringType);
  if (!target) throw std::bad_alloc();
  Progress progress("extracting", opened.entries.size());
  EntryWriter writer;
  auto releaseDone = [&] {
    for (CompressStream* done : writer.TakeDone()) ReleaseElement(done);
  };
  for (std::size_t i = 0; i < opened.entries.size() && failure->name.empty(); ++i) {
    ArchiveEntry* entry = opened.entries[i];
    releaseDone();
    if (writer.Failed(&failure->name, &failure->why)) break;
    const char* rest = nullptr;
    FolderExtraction::Placement placed = extraction->Place(entry, &rest, target.get());
    if (placed == FolderExtraction::kLeftOut) continue;
    std::string name = Printable(entry->GetEntryName());
    progress.Step(i, name);
    if (placed != FolderExtraction::kPlaced) {
      failure->name = name;
      failure->why = Refusal(placed);
      break;
    }
    // Decoding holds the packed and the unpacked bytes at once.
    std::uint64_t cost =
        entry->GetBlockSize() + static_cast<std::uint64_t>(FormOf(opened, entry).unpacked);
    writer.Reserve(cost);
    releaseDone();
    auto data = Decode(opened, entry, &failure->why);
    if (!data) {
      writer.Unreserve(cost);
      failure->name = name;
      break;
    }
    writer.Push({data.Detach(), target->GetText(), name, cost});
  }
  writer.Finish();
  releaseDone();
  if (failure->name.empty()) writer.Failed(&failure->name, &failure->why);
}

}  // namespace

int ExtractArchive(const char* givenArchive, const char* givenFolder, const char* prefix) {
  std::string path;
  std::string folder;
  if (!ResolveFile(givenArchive, &path) || !ResolveFolder(givenFolder, &folder))
    return kExitFailure;
  OpenedArchive opened;
  int result = OpenForReading(givenArchive, path, &opened);
  if (result != kExitOk) return result;
  if (KindOf(folder) == PathKind::kFile) {
    Message("%s: is a file, not a folder", givenFolder);
    return kExitFailure;
  }
  FolderExtraction extraction;
  if (CreateFolders(folder.c_str()) != 0 || extraction.Begin(folder.c_str(), prefix) != 0) {
    Message("%s: the folder cannot be created", givenFolder);
    return kExitFailure;
  }
  Failure failure;
  WriteEntries(opened, &extraction, &failure);
  if (!failure.name.empty()) {
    Message("%s: entry \"%s\": %s", givenArchive, failure.name.c_str(), failure.why);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace VLN2::Vlnpack
