// Packing on several cores for create. An encoder gives the same bytes for the same input,
// packing and capacity, so small entries are packed ahead of time on worker threads, each with
// a packer of its own, and a device registered in the Core in place of the shared one hands
// each result to the entry stream when it packs that entry: the archive is byte for byte the
// one a single thread writes. Workers touch no element and no framework memory; everything
// else stays on the main thread.
#pragma once

#include <zlib.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/CompressDeviceImp.h"
#include "archive/Packer.h"

namespace VLN2::Vlnpack {

class ParallelPacker {
 public:
  struct Job {
    std::vector<unsigned char> input;
    // Not cleared first: only what the encoder writes is touched.
    std::unique_ptr<unsigned char[]> output;
    unsigned capacity = 0;  // what the entry stream gives the encoder for the input
    unsigned outputSize = 0;
    int result = Z_OK;
    bool done = false;
  };

  // Entries up to this size go to the workers; jobs ahead of the one being packed may
  // hold up to the budget, so the peak stays near the largest entry.
  static constexpr std::uint32_t kLargestJob = 2u << 20;
  static constexpr std::uint64_t kBudget = 6u << 20;

  // One packer a worker (one at least, for the main thread): an encoder's state is large
  // (libdeflate's slower levels hold 4 MB), so no more exist than pack at once.
  ParallelPacker(unsigned workers, Packing packing);
  ~ParallelPacker();
  ParallelPacker(const ParallelPacker&) = delete;
  ParallelPacker& operator=(const ParallelPacker&) = delete;

  static std::uint64_t Cost(std::uint64_t size) { return 2 * size + size / 1000 + 64; }
  std::uint64_t InFlight();
  void Submit(Job* job);
  // Waits for the job's result.
  void Wait(Job* job);
  // Waits for the job and takes its cost out of the jobs in flight.
  void Retire(Job* job);
  // Packs on the calling thread with a packer of the pool, once one is free.
  int Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
               unsigned sourceLength);

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::condition_variable freed_;
  std::vector<std::unique_ptr<Packer>> packers_;
  std::deque<Job*> queue_;
  std::uint64_t inFlight_ = 0;
  bool stopping_ = false;
  Packing packing_;
  std::vector<std::thread> threads_;
};

// The device the entry streams find in the Core while vlnpack packs: the prepared result
// when the data and the capacity are the current job's, else a packer of the pool.
class PreparedDevice : public CompressDeviceImp {
 public:
  PreparedDevice(Core* core, ParallelPacker* packer, Packing packing)
      : CompressDeviceImp(core, packing), packer_(packer) {}

  void SetCurrent(ParallelPacker::Job* job) { current_ = job; }

  int Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
               unsigned sourceLength) override;

 private:
  ParallelPacker* packer_;
  ParallelPacker::Job* current_ = nullptr;
};

// Reads a whole small file for a worker; null when it is large or cannot be read (the main
// thread then packs it the ordinary way and reports what is wrong).
std::unique_ptr<ParallelPacker::Job> ReadJob(const std::string& path);

// The number of worker threads: VLNPACK_THREADS when set (1 packs on the main thread
// alone), else the processors.
unsigned WorkerCount();

}  // namespace VLN2::Vlnpack
