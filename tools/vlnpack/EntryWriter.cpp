#include "tools/vlnpack/EntryWriter.h"

#include "archive/Stream.h"
#include "system/FileFunc.h"
#include "system/port/Port.h"
#include "tools/vlnpack/Files.h"

namespace VLN2::Vlnpack {

void EntryWriter::Reserve(std::uint64_t cost) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return inFlight_ == 0 || inFlight_ + cost <= kBudget || failed_; });
  inFlight_ += cost;
}

void EntryWriter::Unreserve(std::uint64_t cost) {
  std::lock_guard<std::mutex> lock(mutex_);
  inFlight_ -= cost;
  changed_.notify_all();
}

void EntryWriter::Push(Job job) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.push_back(std::move(job));
  changed_.notify_all();
}

std::vector<CompressStream*> EntryWriter::TakeDone() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<CompressStream*> done;
  done.swap(done_);
  return done;
}

void EntryWriter::Finish() {
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

bool EntryWriter::Failed(std::string* name, const char** why) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failed_) {
    *name = failedName_;
    *why = failedWhy_;
  }
  return failed_;
}

// No exception may leave the thread: memory running out is a failure like any other.
void EntryWriter::Run() {
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

void EntryWriter::Loop() {
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

const char* EntryWriter::Write(const Job& job, unsigned char* buffer) {
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

}  // namespace VLN2::Vlnpack
