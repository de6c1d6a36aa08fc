// vlnpack: builds, lists, tests and extracts archives in the installer's format, on the
// Archive object and its packed blocks. Paths on the command line are the platform's own;
// on POSIX they are turned into the port's Windows grammar (/x/y is Z:\x\y).
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>

#include "system/port/posix/PosixPort.h"
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <zlib.h>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/BinaryStream.h"
#include "archive/CompressDeviceImp.h"
#include "archive/CompressStream.h"
#include "archive/EntryName.h"
#include "archive/Packer.h"
#include "archive/Stream.h"
#include "framework/CoreImp.h"
#include "framework/ElementContainer.h"
#include "framework/ElementImp.h"
#include "framework/ElementRef.h"
#include "framework/String.h"
#include "framework/StringUtil.h"
#include "installer/ClassTable.h"
#include "system/FileFunc.h"
#include "system/FileSystemIterator.h"
#include "system/port/Port.h"

#ifndef VLNPACK_VERSION
#define VLNPACK_VERSION "0"
#endif

namespace VLN2 {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// vlnpack's own copy loops move this much at a time.
constexpr std::uint32_t kChunk = 1u << 20;
// Archive positions are 32-bit.
constexpr std::uint64_t kArchiveLimit = 0xFFFFFFFFull;

const char kUsage[] =
    "usage: vlnpack create [--level=N] [--zlib] ARCHIVE FOLDER\n"
    "       vlnpack list [-l] ARCHIVE\n"
    "       vlnpack test ARCHIVE\n"
    "       vlnpack extract ARCHIVE FOLDER [PREFIX]\n"
    "       vlnpack --help | --version\n";

const char kHelp[] =
    "\n"
    "Builds, lists, tests and extracts VorlaneBox archives.\n"
    "\n"
    "  create   packs every file below FOLDER; entries are named by their path relative\n"
    "           to FOLDER with backslashes, in byte order of the names, so the same tree\n"
    "           always gives the same archive. Names that extraction would refuse are\n"
    "           refused here, as are names that are not UTF-8 and names that Windows\n"
    "           takes for one file (letter case ignored). Each file is one zlib stream,\n"
    "           which every reader of the format decodes alike, or is stored as it is:\n"
    "           with libdeflate when packing would not make it smaller, with zlib when\n"
    "           zlib's stream would be longer than one and a half times the file.\n"
    "             --level=N  the encoder's level: libdeflate's 1 (fastest) to 12 (smallest),\n"
    "                        zlib's 1 to 9. Levels below 8 (zlib's below 7) change the zlib\n"
    "                        header's second byte from DA, which names the slowest levels.\n"
    "             --zlib     packs with zlib's compress2, at level 9 unless --level says\n"
    "                        otherwise: the same bytes as builds before libdeflate.\n"
    "  list     prints the entry names in directory order; with -l also the block offset,\n"
    "           the block size, the block form (PAC or RAW) and the unpacked size. Names\n"
    "           that are not UTF-8 or that collide with an earlier one are reported.\n"
    "  test     decodes every entry; names each damaged one and each bad name. The last\n"
    "           line gives the archive's size in bytes and its zlib CRC-32 in\n"
    "           hexadecimal, which the installer build records beside the payload.\n"
    "  extract  writes the entries (those whose names begin with PREFIX, which is then\n"
    "           left out, ignoring case) into FOLDER, creating it; an entry that\n"
    "           collides with one already extracted fails.\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

// ---- Messages.

void Message(const char* format, ...) {
  std::fprintf(stderr, "vlnpack: ");
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

// The encoder, its version and the level that create uses without options.
void PrintPacking(Packing packing) {
  std::printf("Packs with %s %s at level %d unless told otherwise.\n", EncoderName(packing.encoder),
              EncoderVersion(packing.encoder), packing.level);
}

int Usage(const char* what) {
  Message("%s", what);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

// One line on stderr, rewritten in place, when stderr is a terminal and the work is long.
class Progress {
 public:
  Progress(const char* verb, std::size_t total)
      : verb_(verb),
        total_(total),
        enabled_(StderrIsTerminal()),
        start_(std::chrono::steady_clock::now()),
        last_(start_) {}
  ~Progress() { Clear(); }

  void Step(std::size_t done, const std::string& name) {
    if (!enabled_) return;
    auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::milliseconds(500) ||
        now - last_ < std::chrono::milliseconds(100))
      return;
    last_ = now;
    std::string shown = name.size() > 50 ? "..." + name.substr(name.size() - 47) : name;
    int width = std::fprintf(stderr, "\r%s %zu/%zu %s", verb_, done, total_, shown.c_str());
    for (int i = width; i < shown_; ++i) std::fputc(' ', stderr);
    shown_ = width;
    std::fflush(stderr);
  }

  void Clear() {
    if (!enabled_ || shown_ == 0) return;
    std::fprintf(stderr, "\r%*s\r", shown_, "");
    std::fflush(stderr);
    shown_ = 0;
  }

 private:
  const char* verb_;
  std::size_t total_;
  bool enabled_;
  int shown_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};

// Names and bytes from an archive may hold anything: control characters are shown as '?'.
std::string Printable(const char* text) {
  std::string out = text ? text : "";
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

// ---- Names that Windows takes for one file.

// The names taken so far, as Windows tells them apart (CompareNames), each with its index.
class NameTracker {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  // The index of an earlier name that name would meet on Windows (the same file, or a file
  // and a folder of one name); kNone once it is taken in.
  std::size_t Add(const std::string& name, std::size_t index) {
    std::vector<std::string> folders;
    for (std::size_t at = name.find_first_of("\\/"); at != std::string::npos;
         at = name.find_first_of("\\/", at + 1))
      folders.push_back(name.substr(0, at));
    for (const std::string& folder : folders)
      if (files_.count(folder)) return files_[folder];
    if (files_.count(name)) return files_[name];
    if (folders_.count(name)) return folders_[name];
    for (const std::string& folder : folders) folders_.emplace(folder, index);
    files_.emplace(name, index);
    return kNone;
  }

 private:
  struct Order {
    bool operator()(const std::string& a, const std::string& b) const {
      return CompareNames(a.c_str(), b.c_str()) < 0;
    }
  };
  std::map<std::string, std::size_t, Order> files_, folders_;
};

// A later name that Windows would take for an earlier one. Indexes into the names.
struct Collision {
  std::size_t earlier, later;
};

// Every name that collides with an earlier one, in the order of the names.
std::vector<Collision> FindCollisions(const std::vector<const char*>& names) {
  NameTracker tracker;
  std::vector<Collision> found;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::size_t earlier = tracker.Add(names[i] ? names[i] : "", i);
    if (earlier != NameTracker::kNone) found.push_back({earlier, i});
  }
  return found;
}

// What is wrong with the names of an archive made elsewhere, for each entry (null: nothing).
std::vector<std::string> NameProblems(const std::vector<ArchiveEntry*>& entries) {
  std::vector<const char*> names;
  for (ArchiveEntry* entry : entries) names.push_back(entry->GetEntryName());
  std::vector<std::string> problems(entries.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] && !IsUtf8Name(names[i])) problems[i] = "a name that is not UTF-8";
  for (const Collision& c : FindCollisions(names))
    if (problems[c.later].empty())
      problems[c.later] =
          "a name that Windows takes for the earlier \"" + Printable(names[c.earlier]) + "\"";
  return problems;
}

// ---- Paths.

// The port's path (Windows grammar, absolute) of a path given on the command line.
bool PortPath(const char* given, bool folder, std::string* out) {
  if (!given || !*given) return false;
#ifdef _WIN32
  char full[4096];
  if (!_fullpath(full, given, sizeof full)) return false;
  std::string path = full;
  std::replace(path.begin(), path.end(), '/', '\\');
#else
  std::string native = given;
  if (native[0] != '/') {
    std::vector<char> cwd(4096);
    while (!getcwd(cwd.data(), cwd.size())) {
      if (cwd.size() > (1u << 20)) return false;
      cwd.resize(cwd.size() * 2);
    }
    native = std::string(cwd.data()) + "/" + native;
  }
  // Lexical clean-up: no ".", "..", or doubled separators reach the port.
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= native.size()) {
    std::size_t slash = native.find('/', at);
    if (slash == std::string::npos) slash = native.size();
    std::string part = native.substr(at, slash - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = slash + 1;
  }
  std::string clean;
  for (const std::string& part : parts) {
    // A backslash inside a POSIX name would read as a separator in the port's grammar.
    if (part.find('\\') != std::string::npos) return false;
    clean += "/" + part;
  }
  if (clean.empty()) clean = "/";
  std::string path = PosixPort::WindowsPath(clean.c_str());
#endif
  if (folder && (path.empty() || path.back() != '\\')) path += '\\';
  if (!folder && !path.empty() && path.back() == '\\') return false;
  *out = path;
  return true;
}

bool SamePath(const std::string& a, const std::string& b) {
#ifdef _WIN32
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
#else
  return a == b;
#endif
}

// 1 = no such file or folder, 2 = a folder, 3 = a file.
int Kind(const std::string& path) {
  std::string bare = path;
  while (bare.size() > 3 && bare.back() == '\\') bare.pop_back();
  if (bare.size() == 3 && bare[1] == ':') return 2;  // a drive's root
  Port::FindData found;
  Port::FindHandle search = Port::FindFirst(bare.c_str(), &found);
  if (!search) return 1;
  Port::FindClose(search);
  return found.isDirectory ? 2 : 3;
}

// ---- Files.

ElementRef<BinaryStream> OpenFile(const std::string& path, int mode, int* code) {
  *code = 1;
  auto file = ElementRef<BinaryStream>::Create(kBinaryStreamType);
  Stream* stream = CastTo<Stream>(file.get());
  if (!stream || file->SetStreamPath(path.c_str()) != 0 || stream->SetMode(mode) != 0 ||
      stream->SetAccess(kAccessSequential) != 0)
    return {};
  *code = stream->OpenStream();
  if (*code != 0) return {};
  return file;
}

class Buffer {
 public:
  explicit Buffer(std::uint32_t size) : data_(static_cast<unsigned char*>(Allocate(size))) {}
  ~Buffer() { Free(data_); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  unsigned char* get() const { return data_; }

 private:
  unsigned char* data_;
};

// ---- Entries of an open archive.

std::vector<ArchiveEntry*> EntriesOf(Archive* archive) {
  std::vector<ArchiveEntry*> entries;
  Iterator* it = archive->GetEntries();
  if (!it) return entries;
  for (it->First(); !it->IsDone(); it->Next())
    entries.push_back(static_cast<ArchiveEntry*>(static_cast<Element*>(it->Current())));
  archive->ReleaseEntries(&it);
  return entries;
}

struct OpenedArchive {
  ElementRef<Archive> archive;
  ElementRef<BinaryStream> file;  // a second reader of the same file, for single blocks
  std::uint32_t fileSize = 0;
  std::vector<ArchiveEntry*> entries;
};

int OpenForReading(const char* given, const std::string& path, OpenedArchive* opened) {
  if (Kind(path) != 3) {
    Message("%s: %s", given, Kind(path) == 2 ? "is a folder, not an archive" : "no such file");
    return kExitFailure;
  }
  opened->archive = ElementRef<Archive>::Create(kArchiveType);
  if (!opened->archive || opened->archive->SetArchiveMode(kArchiveRead) != 0) {
    Message("%s: out of memory", given);
    return kExitFailure;
  }
  int result = opened->archive->OpenArchive(path.c_str());
  if (result == 16) {
    Message("%s: cannot be opened", given);
    return kExitFailure;
  }
  if (result != 0) {
    Message("%s: not a valid archive (bad header, or a directory that runs past the end)", given);
    return kExitFailure;
  }
  int code = 0;
  opened->file = OpenFile(path, kModeRead, &code);
  if (!opened->file || CastTo<Stream>(opened->file.get())->GetSize(&opened->fileSize) != 0) {
    Message("%s: cannot be opened", given);
    return kExitFailure;
  }
  opened->entries = EntriesOf(opened->archive.get());
  return kExitOk;
}

// What the block of an entry looks like on disk.
struct BlockInfo {
  const char* form = "?";
  bool known = false;
  std::uint32_t unpacked = 0;
};

BlockInfo InspectBlock(OpenedArchive& opened, ArchiveEntry* entry) {
  BlockInfo info;
  Stream* file = CastTo<Stream>(opened.file.get());
  unsigned char head[8] = {};
  std::uint32_t size = entry->GetBlockSize();
  std::uint32_t want = size < 8 ? size : 8;
  if (file->SetPosition(entry->GetBlockOffset()) != 0 ||
      static_cast<std::uint32_t>(file->ReadData(head, want)) != want || want < 4)
    return info;
  if (std::memcmp(head, "PAC", 4) == 0 && want == 8) {
    info.form = "PAC";
    info.known = true;
    info.unpacked =
        head[4] | head[5] << 8 | head[6] << 16 | static_cast<std::uint32_t>(head[7]) << 24;
  } else if (std::memcmp(head, "RAW", 4) == 0) {
    info.form = "RAW";
    info.known = true;
    info.unpacked = size - 4;
  }
  return info;
}

// Decodes one entry's block into a memory stream; null and a reason when it fails.
ElementRef<CompressStream> Decode(OpenedArchive& opened, ArchiveEntry* entry, const char** why) {
  *why = "out of memory";
  Stream* file = CastTo<Stream>(opened.file.get());
  std::uint64_t end = static_cast<std::uint64_t>(entry->GetBlockOffset()) + entry->GetBlockSize();
  if (end > opened.fileSize) {
    *why = "block runs past the end of the file";
    return {};
  }
  BlockInfo info = InspectBlock(opened, entry);
  if (!info.known) {
    *why = "unknown block form";
    return {};
  }
  auto stream = ElementRef<CompressStream>::Create(kCompressStreamType);
  Stream* view = CastTo<Stream>(stream.get());
  if (!view) return {};
  stream->SetInput(file);
  stream->SetEntry(entry);
  if (file->SetPosition(entry->GetBlockOffset()) != 0 || view->SetMode(kModeRead) != 0) {
    *why = "cannot be read";
    return {};
  }
  if (view->OpenStream() != 0) {
    *why = "damaged block (does not decode)";
    return {};
  }
  std::uint32_t size = 0;
  view->GetSize(&size);
  if (size != info.unpacked) {
    *why = "damaged block (unpacked length differs from the stored one)";
    return {};
  }
  return stream;
}

// ---- create

struct Collected {
  std::string root;
  std::vector<std::string> skip;  // full paths left out (the archive being written)
  std::vector<std::string> names;
  bool failed = false;
};

int CollectFile(const char* path, void* context) {
  auto* collected = static_cast<Collected*>(context);
  try {
    std::string full = path;
    for (const std::string& skip : collected->skip)
      if (SamePath(full, skip)) return 0;
    collected->names.push_back(full.substr(collected->root.size()));
    return 0;
  } catch (...) {
    collected->failed = true;
    return 1;
  }
}

// Packs one file; *total is the archive's length so far, at most, and grows by this entry.
int AddEntry(Archive* archive, const std::string& path, const std::string& name, Buffer& buffer,
             std::uint64_t* total, const char** why) {
  int code = 0;
  auto file = OpenFile(path, kModeRead, &code);
  Stream* in = CastTo<Stream>(file.get());
  std::uint32_t size = 0;
  if (!in || in->GetSize(&size) != 0) {
    *why = "cannot be read";
    return 1;
  }
  // The block of incompressible data is a little longer than the data itself.
  *total += static_cast<std::uint64_t>(size) + size / 1000 + 64;
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
  std::uint32_t left = size;
  while (left > 0 && result == 0) {
    std::uint32_t n = left < kChunk ? left : kChunk;
    int got = in->ReadData(buffer.get(), n);
    if (got != static_cast<int>(n)) {
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

// Packing on several cores. An encoder gives the same bytes for the same input, packing and
// capacity, so small entries are packed ahead of time on worker threads, each with a packer
// of its own, and a device registered in the Core in place of the shared one hands each
// result to the entry stream when it packs that entry: the archive is byte for byte the one a
// single thread writes. Workers touch no element and no framework memory; everything else
// stays on the main thread.
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
  ParallelPacker(unsigned workers, Packing packing) : packing_(packing) {
    for (unsigned i = 0; i < workers || i == 0; ++i)
      packers_.push_back(std::make_unique<Packer>(packing));
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~ParallelPacker() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      queue_.clear();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  static std::uint64_t Cost(std::uint64_t size) { return 2 * size + size / 1000 + 64; }
  std::uint64_t InFlight() {
    std::lock_guard<std::mutex> lock(mutex_);
    return inFlight_;
  }

  void Submit(Job* job) {
    std::lock_guard<std::mutex> lock(mutex_);
    inFlight_ += Cost(job->input.size());
    queue_.push_back(job);
    wake_.notify_all();
  }

  // Waits for the job's result.
  void Wait(Job* job) {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&] { return job->done; });
  }

  void Retire(Job* job) {
    Wait(job);
    std::lock_guard<std::mutex> lock(mutex_);
    inFlight_ -= Cost(job->input.size());
  }

  // Packs on the calling thread with a packer of the pool, once one is free.
  int Compress(unsigned char* dest, unsigned* destLength, const unsigned char* source,
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

 private:
  void Work() {
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
               unsigned sourceLength) override {
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

 private:
  ParallelPacker* packer_;
  ParallelPacker::Job* current_ = nullptr;
};

// Reads a whole small file for a worker; null when it is large or cannot be read (the main
// thread then packs it the ordinary way and reports what is wrong).
std::unique_ptr<ParallelPacker::Job> ReadJob(const std::string& path) {
  int code = 0;
  auto file = OpenFile(path, kModeRead, &code);
  Stream* in = CastTo<Stream>(file.get());
  std::uint32_t size = 0;
  if (!in || in->GetSize(&size) != 0 || size > ParallelPacker::kLargestJob) return nullptr;
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

// The number of worker threads: VLNPACK_THREADS when set (1 packs on the main thread
// alone), else the processors.
unsigned WorkerCount() {
  const char* setting = std::getenv("VLNPACK_THREADS");
  unsigned count =
      setting ? static_cast<unsigned>(std::atoi(setting)) : std::thread::hardware_concurrency();
  if (count <= 1) return 0;
  return count > 16 ? 16 : count;
}

int Create(const char* givenArchive, const char* givenFolder, Packing packing) {
  std::string archivePath;
  std::string folder;
  if (!PortPath(givenArchive, false, &archivePath)) {
    Message("%s: not a usable file name", givenArchive);
    return kExitFailure;
  }
  if (!PortPath(givenFolder, true, &folder)) {
    Message("%s: not a usable folder name", givenFolder);
    return kExitFailure;
  }
  int kind = Kind(folder);
  if (kind != 2) {
    Message("%s: %s", givenFolder, kind == 1 ? "no such folder" : "is a file, not a folder");
    return kExitFailure;
  }
  if (Kind(archivePath) == 2) {
    Message("%s: is a folder", givenArchive);
    return kExitFailure;
  }
  // Written under a temporary name and renamed at the end, so that a failure never leaves
  // a damaged archive or destroys an older one.
  std::string partial = archivePath + ".vlnpack-tmp";

  Collected collected;
  collected.root = folder;
  collected.skip = {archivePath, partial};
  {
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
  }
  if (collected.names.empty()) {
    Message("%s: no files to pack", givenFolder);
    return kExitFailure;
  }
  // Byte order of the names: the same tree always gives the same archive.
  std::sort(collected.names.begin(), collected.names.end());
  std::uint64_t total = 20;
  for (const std::string& name : collected.names) {
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
    total += 11 + name.size();
  }
  std::vector<const char*> names;
  for (const std::string& name : collected.names) names.push_back(name.c_str());
  std::vector<Collision> collisions = FindCollisions(names);
  if (!collisions.empty()) {
    Message("%s: \"%s\" and \"%s\": names that Windows takes for one file (letter case ignored)",
            givenFolder, Printable(names[collisions[0].earlier]).c_str(),
            Printable(names[collisions[0].later]).c_str());
    return kExitFailure;
  }

  Buffer buffer(kChunk);
  auto archive = ElementRef<Archive>::Create(kArchiveType);
  if (!buffer.get() || !archive || archive->SetArchiveMode(kArchiveWrite) != 0) {
    Message("%s: out of memory", givenArchive);
    return kExitFailure;
  }
  RemoveFile(partial.c_str());
  int opened = archive->OpenArchive(partial.c_str());
  if (opened != 0) {
    Message("%s: cannot be created", givenArchive);
    return kExitFailure;
  }
  Progress progress("packing", collected.names.size());
  const char* why = nullptr;
  std::string failedName;
  unsigned workers = WorkerCount();
  // The jobs outlive the packer, whose workers may still be busy with some of them.
  std::vector<std::unique_ptr<ParallelPacker::Job>> jobs(collected.names.size());
  ParallelPacker packer(workers, packing);
  auto* device = new PreparedDevice(g_core, &packer, packing);
  if (!device) {
    archive.reset();
    RemoveFile(partial.c_str());
    Message("%s: out of memory", givenArchive);
    return kExitFailure;
  }
  // Registered before the first entry stream exists, so that every stream takes it.
  device->AddRef();
  g_core->SetRegistered(kCompressDeviceType, device);
  std::size_t nextRead = 0;
  for (std::size_t i = 0; i < collected.names.size(); ++i) {
    const std::string& name = collected.names[i];
    progress.Step(i, name);
    // Keep the workers fed: read ahead while the jobs in flight stay within the budget.
    while (workers && nextRead < collected.names.size() &&
           (nextRead <= i || (nextRead < i + 256 && packer.InFlight() < ParallelPacker::kBudget))) {
      jobs[nextRead] = ReadJob(folder + collected.names[nextRead]);
      if (jobs[nextRead]) packer.Submit(jobs[nextRead].get());
      ++nextRead;
    }
    ParallelPacker::Job* job = jobs[i].get();
    int added;
    if (job && (total += job->input.size() + job->input.size() / 1000 + 64) > kArchiveLimit) {
      added = 1;
      why = "does not fit: an archive holds at most 4 GiB";
    } else if (job) {
      Stream* out = archive->BeginEntry(name.c_str());
      std::uint32_t size = static_cast<std::uint32_t>(job->input.size());
      added =
          out && (size == 0 || out->WriteData(job->input.data(), size) == static_cast<int>(size))
              ? 0
              : 1;
      device->SetCurrent(job);
      if (out && archive->EndEntry() != 0) added = 1;
      device->SetCurrent(nullptr);
      packer.Retire(job);
      jobs[i].reset();
      if (added) why = "could not be written to the archive";
    } else {
      added = AddEntry(archive.get(), folder + name, name, buffer, &total, &why);
    }
    if (added == 0) continue;
    failedName = name;
    break;
  }
  int closed = archive->CloseArchive();
  progress.Clear();
  archive.reset();
  g_core->SetRegistered(kCompressDeviceType, nullptr);
  device->Release();
  if (!failedName.empty() || closed != 0) {
    RemoveFile(partial.c_str());
    if (!failedName.empty())
      Message("%s: %s", Printable((folder + failedName).c_str()).c_str(), why);
    else
      Message("%s: could not be written completely", givenArchive);
    return kExitFailure;
  }
  RemoveFile(archivePath.c_str());
  if (RenameFile(partial.c_str(), archivePath.c_str()) != 0) {
    RemoveFile(partial.c_str());
    Message("%s: cannot be created", givenArchive);
    return kExitFailure;
  }
  return kExitOk;
}

// ---- list

int List(const char* given, bool details) {
  std::string path;
  if (!PortPath(given, false, &path)) {
    Message("%s: not a usable file name", given);
    return kExitFailure;
  }
  OpenedArchive opened;
  int result = OpenForReading(given, path, &opened);
  if (result != kExitOk) return result;
  std::vector<std::string> problems = NameProblems(opened.entries);
  for (std::size_t i = 0; i < opened.entries.size(); ++i) {
    ArchiveEntry* entry = opened.entries[i];
    std::string name = Printable(entry->GetEntryName());
    if (!problems[i].empty())
      Message("%s: entry \"%s\": %s", given, name.c_str(), problems[i].c_str());
    if (details) {
      BlockInfo info = InspectBlock(opened, entry);
      std::printf("%10u %10u %-3s %10s %s\n", entry->GetBlockOffset(), entry->GetBlockSize(),
                  info.form, info.known ? std::to_string(info.unpacked).c_str() : "?",
                  name.c_str());
    } else {
      std::printf("%s\n", name.c_str());
    }
  }
  if (std::fflush(stdout) != 0) {
    Message("%s: the list could not be written", given);
    return kExitFailure;
  }
  return kExitOk;
}

// ---- test

int Test(const char* given) {
  std::string path;
  if (!PortPath(given, false, &path)) {
    Message("%s: not a usable file name", given);
    return kExitFailure;
  }
  OpenedArchive opened;
  int result = OpenForReading(given, path, &opened);
  if (result != kExitOk) return result;
  std::size_t bad = 0;
  std::vector<std::string> problems = NameProblems(opened.entries);
  Progress progress("testing", opened.entries.size());
  for (std::size_t i = 0; i < opened.entries.size(); ++i) {
    ArchiveEntry* entry = opened.entries[i];
    std::string name = Printable(entry->GetEntryName());
    progress.Step(i, name);
    const char* why = nullptr;
    if (!IsSafeEntryName(entry->GetEntryName())) {
      why = "a name that extraction refuses";
    } else if (!problems[i].empty()) {
      why = problems[i].c_str();
    } else {
      auto data = Decode(opened, entry, &why);
      if (data) why = nullptr;
    }
    if (why) {
      progress.Clear();
      Message("%s: entry \"%s\": %s", given, name.c_str(), why);
      ++bad;
    }
  }
  progress.Clear();
  if (bad) {
    Message("%s: %zu of %zu entries are damaged", given, bad, opened.entries.size());
    return kExitFailure;
  }
  // The whole file's CRC-32, as the installer checks its staged copy.
  Stream* file = CastTo<Stream>(opened.file.get());
  std::vector<unsigned char> piece(kChunk);
  uLong crc = crc32(0, Z_NULL, 0);
  std::uint32_t left = opened.fileSize;
  if (file->SetPosition(0) != 0) left = 1;
  while (left > 0) {
    std::uint32_t n = left < kChunk ? left : kChunk;
    if (static_cast<std::uint32_t>(file->ReadData(piece.data(), n)) != n) break;
    crc = crc32(crc, piece.data(), n);
    left -= n;
  }
  if (left > 0) {
    Message("%s: the file could not be read again", given);
    return kExitFailure;
  }
  std::printf("size %u crc32 %08lx\n", opened.fileSize, static_cast<unsigned long>(crc));
  if (std::fflush(stdout) != 0) {
    Message("%s: the result could not be written", given);
    return kExitFailure;
  }
  return kExitOk;
}

// ---- extract

// Writes decoded entries to disk on a thread of its own, so that creating files (which
// costs the system more than decoding costs us) overlaps with decoding the next entries.
// Only the port's file calls and the entry's memory stream are used there; every element
// is created and released on the main thread.
class Writer {
 public:
  struct Job {
    CompressStream* data;  // owned by the main thread, which releases it when done
    std::string target;
    std::string name;
    std::uint64_t cost;
  };

  Writer() : thread_([this] { Run(); }) {}
  ~Writer() { Finish(); }

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

int Extract(const char* givenArchive, const char* givenFolder, const char* prefix) {
  std::string path;
  std::string folder;
  if (!PortPath(givenArchive, false, &path)) {
    Message("%s: not a usable file name", givenArchive);
    return kExitFailure;
  }
  if (!PortPath(givenFolder, true, &folder)) {
    Message("%s: not a usable folder name", givenFolder);
    return kExitFailure;
  }
  OpenedArchive opened;
  int result = OpenForReading(givenArchive, path, &opened);
  if (result != kExitOk) return result;
  if (Kind(folder) == 3) {
    Message("%s: is a file, not a folder", givenFolder);
    return kExitFailure;
  }
  auto util = ElementRef<StringUtil>::Create(kStringUtilType);
  if (!util) {
    Message("%s: out of memory", givenArchive);
    return kExitFailure;
  }
  // The folder's real place, where every file's final path must lie (see ExtractFolder).
  auto real = ElementRef<String>::Create(kStringType);
  if (CreateFolders(folder.c_str()) != 0 || !real ||
      RealFolderPath(folder.c_str(), real.get()) != 0) {
    Message("%s: the folder cannot be created", givenFolder);
    return kExitFailure;
  }
  folder = real->GetText();
  KnownFolder known;  // the levels found real folders, checked once each
  NameTracker written;
  Progress progress("extracting", opened.entries.size());
  std::string failedName;
  const char* why = nullptr;
  {
    Writer writer;
    auto releaseDone = [&] {
      for (CompressStream* done : writer.TakeDone()) ReleaseElement(done);
    };
    for (std::size_t i = 0; i < opened.entries.size() && failedName.empty(); ++i) {
      ArchiveEntry* entry = opened.entries[i];
      const char* rel = entry->GetEntryName();
      if (prefix && (!rel || util->SkipPrefix(&rel, prefix) != 0)) continue;
      std::string name = Printable(entry->GetEntryName());
      progress.Step(i, name);
      releaseDone();
      if (writer.Failed(&failedName, &why)) break;
      if (!IsSafeEntryName(rel)) {
        failedName = name;
        why = "a name that could leave the folder or names a device";
        break;
      }
      // Never written over an entry of this run that Windows takes for the same file.
      if (written.Add(rel, i) != NameTracker::kNone) {
        failedName = name;
        why = "a name that Windows takes for an entry already extracted";
        break;
      }
      std::string target = folder + rel;
      std::replace(target.begin(), target.end(), '/', '\\');
      if (CheckRealFolders(target.c_str(), true, &known) != 0) {
        failedName = name;
        why = "its folder cannot be created, or is a link";
        break;
      }
      // Decoding holds the packed and the unpacked bytes at once.
      BlockInfo info = InspectBlock(opened, entry);
      std::uint64_t cost = static_cast<std::uint64_t>(entry->GetBlockSize()) + info.unpacked;
      writer.Reserve(cost);
      releaseDone();
      auto data = Decode(opened, entry, &why);
      if (!data) {
        writer.Unreserve(cost);
        failedName = name;
        break;
      }
      writer.Push({data.Detach(), target, name, cost});
    }
    writer.Finish();
    releaseDone();
    if (failedName.empty()) writer.Failed(&failedName, &why);
  }
  progress.Clear();
  if (!failedName.empty()) {
    Message("%s: entry \"%s\": %s", givenArchive, failedName.c_str(), why);
    return kExitFailure;
  }
  return kExitOk;
}

int Run(int argc, char** argv) {
  std::vector<const char*> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command given");
  std::string command = args[0];
  if (command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    PrintPacking(DefaultPacking());
    return kExitOk;
  }
  if (command == "--version") {
    std::printf("vlnpack %s\n", VLNPACK_VERSION);
    PrintPacking(DefaultPacking());
    return kExitOk;
  }
  args.erase(args.begin());
  bool details = false;
  if (command == "list" && !args.empty() && std::strcmp(args[0], "-l") == 0) {
    details = true;
    args.erase(args.begin());
  }
  Packing packing = DefaultPacking();
  int level = -1;
  for (auto arg = args.begin(); command == "create" && arg != args.end();) {
    if (std::strcmp(*arg, "--zlib") == 0) {
      packing.encoder = Encoder::kZlib;
    } else if (std::strncmp(*arg, "--level=", 8) == 0) {
      const char* digits = *arg + 8;
      if (std::strlen(digits) < 1 || std::strlen(digits) > 2 ||
          std::strspn(digits, "0123456789") != std::strlen(digits))
        return Usage("--level takes a number");
      level = std::atoi(digits);
    } else {
      ++arg;
      continue;
    }
    arg = args.erase(arg);
  }
  if (packing.encoder == Encoder::kZlib) packing.level = kZlibPacking.level;
  if (level >= 0) packing.level = level;
  if (!IsSupported(packing)) {
    char levels[80];
    std::snprintf(levels, sizeof levels, "%s packs at levels 1 to %d", EncoderName(packing.encoder),
                  HighestLevel(packing.encoder));
    return Usage(levels);
  }
  for (const char* arg : args)
    if (arg[0] == '-' && arg[1] != '\0')
      return Usage((std::string("unknown option ") + arg).c_str());
  if (command == "create") {
    if (args.size() != 2) return Usage("create takes ARCHIVE and FOLDER");
    return Create(args[0], args[1], packing);
  }
  if (command == "list") {
    if (args.size() != 1) return Usage("list takes one ARCHIVE");
    return List(args[0], details);
  }
  if (command == "test") {
    if (args.size() != 1) return Usage("test takes one ARCHIVE");
    return Test(args[0]);
  }
  if (command == "extract") {
    if (args.size() != 2 && args.size() != 3)
      return Usage("extract takes ARCHIVE, FOLDER and an optional PREFIX");
    return Extract(args[0], args[1], args.size() == 3 ? args[2] : nullptr);
  }
  return Usage((std::string("unknown command ") + command).c_str());
}

}  // namespace
}  // namespace VLN2

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // Entry buffers grow by doubling; large steps go back to the system when they are
  // freed instead of staying in the heap, which keeps the peak near one entry's size.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  // The workers' buffers come from the one heap too, rather than from an arena each.
  mallopt(M_ARENA_MAX, 1);
#endif
  int result;
  VLN2::Port::CreateLock();
  {
    VLN2::CoreImp core(VLN2::kClassTable, VLN2::kClassCount);
    try {
      result = VLN2::Run(argc, argv);
    } catch (...) {
      VLN2::Message("out of memory");
      result = VLN2::kExitFailure;
    }
    core.Destroy();
  }
  VLN2::Port::DeleteLock();
  return result;
}
