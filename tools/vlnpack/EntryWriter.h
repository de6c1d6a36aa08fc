// Writes decoded entries to disk on a thread of its own, so that creating files (which costs
// the system more than decoding costs us) overlaps with decoding the next entries. Only the
// port's file calls and the entry's memory stream are used there; every element is created
// and released on the main thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/CompressStream.h"

namespace VLN2::Vlnpack {

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

  // Blocks until an entry that needs cost bytes to decode may be decoded: while the jobs in
  // flight and it would hold more memory than the budget, unless nothing else is in flight.
  // The cost counts as in flight from now on.
  void Reserve(std::uint64_t cost);
  // Gives back a reservation that did not become a job.
  void Unreserve(std::uint64_t cost);
  // Hands over a job whose cost was reserved.
  void Push(Job job);
  // The jobs written since the last call (their streams are the caller's to release).
  std::vector<CompressStream*> TakeDone();
  // Writes what was handed over, and ends the thread.
  void Finish();
  // Whether a job failed: the first one's name and reason.
  bool Failed(std::string* name, const char** why);

 private:
  // Decoded bytes allowed in flight besides the one entry being written.
  static constexpr std::uint64_t kBudget = 8u << 20;

  void Run();
  void Loop();
  // Null, or why the job's file could not be written.
  static const char* Write(const Job& job, unsigned char* buffer);

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

}  // namespace VLN2::Vlnpack
