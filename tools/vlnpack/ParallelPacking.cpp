#include "tools/vlnpack/ParallelPacking.h"

#include <cstdlib>
#include <cstring>

#include "archive/Stream.h"
#include "tools/vlnpack/Files.h"

namespace VLN2::Vlnpack {

ParallelPacker::ParallelPacker(unsigned workers, Packing packing) : packing_(packing) {
  for (unsigned i = 0; i < workers || i == 0; ++i)
    packers_.push_back(std::make_unique<Packer>(packing));
  for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

ParallelPacker::~ParallelPacker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

std::uint64_t ParallelPacker::InFlight() {
  std::lock_guard<std::mutex> lock(mutex_);
  return inFlight_;
}

void ParallelPacker::Submit(Job* job) {
  std::lock_guard<std::mutex> lock(mutex_);
  inFlight_ += Cost(job->input.size());
  queue_.push_back(job);
  wake_.notify_all();
}

void ParallelPacker::Wait(Job* job) {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [&] { return job->done; });
}

void ParallelPacker::Retire(Job* job) {
  Wait(job);
  std::lock_guard<std::mutex> lock(mutex_);
  inFlight_ -= Cost(job->input.size());
}

int ParallelPacker::Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
                             unsigned sourceLength) {
  std::unique_ptr<Packer> packer;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [&] { return !packers_.empty(); });
    packer = std::move(packers_.back());
    packers_.pop_back();
  }
  int result = packer->Compress(dest, destLength, source, sourceLength);
  std::lock_guard<std::mutex> lock(mutex_);
  packers_.push_back(std::move(packer));  // no allocation: the pool had room for it
  freed_.notify_one();
  return result;
}

void ParallelPacker::Work() {
  for (;;) {
    Job* job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      job = queue_.front();
      queue_.pop_front();
    }
    auto size = static_cast<unsigned>(job->input.size());
    job->capacity = PackedLimit(packing_, size) + kEncoderRoom;
    unsigned length = job->capacity;
    int result = Z_MEM_ERROR;
    try {
      job->output.reset(new unsigned char[length]);
      result = Compress(job->output.get(), &length, job->input.data(), size);
      job->outputSize = result == Z_OK ? length : 0;
    } catch (...) {
      result = Z_MEM_ERROR;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    job->result = result;
    job->done = true;
    finished_.notify_all();
  }
}

int PreparedDevice::Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
                             unsigned sourceLength) {
  ParallelPacker::Job* job = current_;
  if (job && job->input.size() == sourceLength &&
      (sourceLength == 0 || std::memcmp(job->input.data(), source, sourceLength) == 0)) {
    packer_->Wait(job);
    // A stream that did not fit is the answer too; only a worker short of memory is not.
    if (job->capacity == *destLength && (job->result == Z_OK || job->result == Z_BUF_ERROR)) {
      if (job->result == Z_OK) {
        std::memcpy(dest, job->output.get(), job->outputSize);
        *destLength = job->outputSize;
      }
      return job->result;
    }
  }
  return packer_->Compress(dest, destLength, source, sourceLength);
}

std::unique_ptr<ParallelPacker::Job> ReadJob(const std::string& path) {
  std::uint32_t size = 0;
  auto file = OpenToRead(path, &size);
  if (!file || size > ParallelPacker::kLargestJob) return nullptr;
  Stream* in = CastTo<Stream>(file.get());
  std::unique_ptr<ParallelPacker::Job> job;
  try {
    job = std::make_unique<ParallelPacker::Job>();
    job->input.resize(size);
  } catch (...) {
    return nullptr;
  }
  unsigned char extra;
  if ((size && in->ReadData(job->input.data(), size) != static_cast<int>(size)) ||
      in->ReadData(&extra, 1) != 0)
    return nullptr;
  return job;
}

unsigned WorkerCount() {
  const char* setting = std::getenv("VLNPACK_THREADS");
  unsigned count =
      setting ? static_cast<unsigned>(std::atoi(setting)) : std::thread::hardware_concurrency();
  if (count <= 1) return 0;
  return count > 16 ? 16 : count;
}

}  // namespace VLN2::Vlnpack
