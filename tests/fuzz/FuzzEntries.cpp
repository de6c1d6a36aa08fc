#include "FuzzEntries.h"

#include <cstring>
#include <set>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/CompressStream.h"
#include "archive/Stream.h"
#include "framework/ElementContainer.h"
#include "framework/ElementRef.h"
#include "framework/IO.h"
#include "framework/String.h"
#include "installer/Uninstaller.h"
#include "system/FileFunc.h"
#include "unit/support/MemoryStream.h"
#include "unit/support/StoredFiles.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace Fuzz {
namespace {

std::uint32_t LoadLE32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Everything a stream gives from its position on, in pieces of the given size.
std::vector<std::uint8_t> Drain(Stream* stream, std::uint32_t piece, std::uint32_t limit) {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> buffer(piece);
  while (bytes.size() < limit) {
    int got = stream->ReadData(buffer.data(), piece);
    if (got <= 0) break;
    bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + got);
  }
  return bytes;
}

std::string CheckString(const std::uint8_t* data, std::size_t size) {
  auto text = ElementRef<String>::Create(kStringType);
  IO* io = CastTo<IO>(text.get());
  if (!io) return "no String";
  MemoryStream in(std::vector<std::uint8_t>(data, data + size));
  in.OpenStream();
  if (io->Read(&in) != 0) return {};
  const char* read = text->GetText();
  if (read && std::strlen(read) > 65534) return "a String read a text longer than its count";
  MemoryStream out;
  out.OpenStream();
  if (io->Write(&out) != 0) return "a String that was read cannot be written";
  // The count is 0 for no text at all.
  std::string stored = read ? StoredText(read) : std::string(2, '\0');
  if (std::string(out.Bytes().begin(), out.Bytes().end()) != stored)
    return "a String wrote another form than its text";
  auto again = ElementRef<String>::Create(kStringType);
  IO* againIO = CastTo<IO>(again.get());
  out.SetPosition(0);
  if (!againIO || againIO->Read(&out) != 0) return "a written String cannot be read back";
  const char* second = again->GetText();
  if ((read == nullptr) != (second == nullptr) || (read && std::strcmp(read, second) != 0))
    return "a String read back differs";
  return {};
}

std::string CheckContainer(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  int parameter = data[0] & 1;
  auto make = [parameter] {
    return ElementRef<ElementContainer>(
        static_cast<ElementContainer*>(g_core->CreateElement(kElementContainerType, parameter)));
  };
  auto container = make();
  IO* io = CastTo<IO>(container.get());
  if (!io) return "no ElementContainer";
  MemoryStream in(std::vector<std::uint8_t>(data + 1, data + size));
  in.OpenStream();
  if (io->Read(&in) != 0) return {};
  MemoryStream out;
  out.OpenStream();
  if (io->Write(&out) != 0) return "a container that was read cannot be written";
  const std::vector<std::uint8_t>& written = out.Bytes();
  if (written.size() < 4) return "a container wrote no count";
  std::uint64_t count = LoadLE32(written.data());
  std::uint64_t entrySize = parameter ? 2 : 4;
  if (written.size() != 4 + count * entrySize) return "a container's count disagrees with it";
  if (count > size) return "a container holds more values than its input had bytes";
  auto again = make();
  IO* againIO = CastTo<IO>(again.get());
  MemoryStream reread(written);
  reread.OpenStream();
  if (!againIO || againIO->Read(&reread) != 0) return "a written container cannot be read back";
  MemoryStream second;
  second.OpenStream();
  againIO->Write(&second);
  if (second.Bytes() != written) return "a container read back writes other bytes";
  return {};
}

}  // namespace

std::string RunPackedBlock(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return {};
  const std::uint8_t flags = data[0];
  const bool passThrough = flags & 1;
  const bool claimedSize = flags & 2;
  const std::uint32_t offset = (flags >> 2) & 7;
  const std::uint32_t piece = 1u + ((flags >> 5) * 97u);
  const std::uint32_t claimed = LoadLE32(data + 1);
  const std::uint8_t* block = data + 5;
  const std::uint32_t length = static_cast<std::uint32_t>(size - 5);

  std::vector<std::uint8_t> bytes(offset, 0xEE);
  bytes.insert(bytes.end(), block, block + length);
  MemoryStream input(bytes);
  input.OpenStream();
  input.SetPosition(offset);

  auto entry = ElementRef<ArchiveEntry>::Create(kArchiveEntryType);
  auto stream = ElementRef<CompressStream>::Create(kCompressStreamType);
  Stream* view = CastTo<Stream>(stream.get());
  if (!entry || !view) return "no entry or stream";
  const std::uint32_t blockSize = claimedSize ? claimed : length;
  entry->SetBlockOffset(offset);
  entry->SetBlockSize(blockSize);
  stream->SetEntry(entry.get());
  stream->SetInput(&input);
  stream->SetPassThrough(passThrough ? 1 : 0);
  view->SetMode(kModeRead);
  std::string broken;
  if (view->OpenStream() == 0) {
    std::uint32_t decoded = 0;
    view->GetSize(&decoded);
    std::vector<std::uint8_t> read = Drain(view, piece, decoded + 1);
    if (read.size() != decoded) broken = "a decoded block reads other than its size";
    bool packed = length >= 4 && std::memcmp(block, "PAC", 4) == 0;
    bool stored = length >= 4 && std::memcmp(block, "RAW", 4) == 0;
    if (passThrough) {
      if (decoded != blockSize || blockSize > length ||
          (decoded && std::memcmp(read.data(), block, decoded) != 0))
        broken = "a pass-through block differs from its bytes";
    } else if (stored) {
      if (decoded != blockSize - 4 || blockSize > length ||
          (decoded && std::memcmp(read.data(), block + 4, decoded) != 0))
        broken = "a stored block differs from its bytes";
    } else if (packed) {
      if (length < 8 || decoded > LoadLE32(block + 4))
        broken = "a packed block gave more than its unpacked length";
    } else if (decoded != 0) {
      broken = "a block of unknown kind gave data";
    }
    if (decoded > 0 && (view->SetPosition(0) != 0 || Drain(view, 4096, decoded + 1) != read))
      broken = "a decoded block reads differently the second time";
    if (view->SetPosition(decoded + 1) == 0) broken = "a position beyond the data was taken";
  }
  view->CloseStream();
  return broken;
}

std::string RunStoredForms(const std::uint8_t* data, std::size_t size) {
  std::string broken = CheckString(data, size);
  if (broken.empty()) broken = CheckContainer(data, size);
  return broken;
}

#ifndef _WIN32

namespace {

const char* const kGuardedCalls[] = {"open", "unlink", "mkdir", "rmdir", "rename"};

std::string g_guardRoot;  // S
int g_refused = 0;

// Whether a native path stays inside S once "." and ".." are taken as the kernel takes
// them (links aside: the workspace holds none).
bool Inside(const char* path) {
  if (!path || path[0] != '/' || g_guardRoot.empty()) return false;
  std::vector<std::string> parts;
  const char* p = path;
  while (*p) {
    while (*p == '/') ++p;
    const char* start = p;
    while (*p && *p != '/') ++p;
    std::string part(start, p);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string normal;
  for (const std::string& part : parts) normal += "/" + part;
  return normal == g_guardRoot || normal.compare(0, g_guardRoot.size() + 1, g_guardRoot + "/") == 0;
}

int Refuse() {
  ++g_refused;
  errno = EACCES;
  return -1;
}

int GuardOpen(const char* path, int flags, mode_t mode) {
  if ((flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) && !Inside(path)) return Refuse();
  return ::open(path, flags, mode);
}
int GuardUnlink(const char* path) { return Inside(path) ? ::unlink(path) : Refuse(); }
int GuardMkdir(const char* path, mode_t mode) {
  return Inside(path) ? ::mkdir(path, mode) : Refuse();
}
int GuardRmdir(const char* path) { return Inside(path) ? ::rmdir(path) : Refuse(); }
int GuardRename(const char* from, const char* to) {
  return Inside(from) && Inside(to) ? ::rename(from, to) : Refuse();
}

template <class F>
PosixPort::SystemCall Erase(F* function) {
  return reinterpret_cast<PosixPort::SystemCall>(function);
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

// Removes a native folder with everything in it, never following a link.
void RemoveTree(const std::string& folder) {
  ::nftw(folder.c_str(), RemoveEntry, 16, FTW_PHYS | FTW_DEPTH);
}

bool WriteNative(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::string ReadNative(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  char block[4096];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
  std::fclose(file);
  return bytes;
}

// The walk of Snapshot: nftw takes no context.
std::map<std::string, std::string>* g_snapshot = nullptr;
std::size_t g_snapshotRoot = 0;
bool g_snapshotDrive = false;

bool Under(const std::string& relative, const char* folder) {
  std::size_t n = std::strlen(folder);
  return relative.compare(0, n, folder) == 0 && (relative.size() == n || relative[n] == '/');
}

int Note(const char* path, const struct stat* status, int kind, struct FTW*) {
  std::string relative = std::string(path).substr(g_snapshotRoot);
  if (!relative.empty() && relative[0] == '/') relative.erase(0, 1);
  if (relative.empty()) return 0;
  if (g_snapshotDrive) {
    // The input folder and the extraction folders may change; the folders themselves
    // are listed all the same.
    for (const char* open : {"c/in", "c/out/all", "c/out/pre"})
      if (Under(relative, open) && relative != open) return 0;
  } else if (Under(relative, "c") && relative != "c") {
    return 0;
  }
  std::string what;
  if (kind == FTW_SL || kind == FTW_SLN) {
    char target[4096];
    ssize_t n = ::readlink(path, target, sizeof target);
    what = "link:" + std::string(target, n > 0 ? static_cast<std::size_t>(n) : 0);
  } else if (kind == FTW_D || kind == FTW_DNR) {
    what = "folder";
  } else if (S_ISREG(status->st_mode)) {
    what = "file:" + ReadNative(path);
  } else {
    what = "other";
  }
  (*g_snapshot)[relative] = what;
  return 0;
}

std::string Describe(const std::map<std::string, std::string>& before,
                     const std::map<std::string, std::string>& after) {
  for (const auto& [path, what] : before) {
    auto found = after.find(path);
    if (found == after.end()) return path + " is gone";
    if (found->second != what) return path + " changed";
  }
  for (const auto& [path, what] : after)
    if (!before.count(path)) return path + " appeared";
  return {};
}

// Every entry name with '/' between its levels, for comparing with what landed on disk.
std::string Levels(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

// What lies below a native folder, as relative paths ("a/b"), folders ending in '/'.
void List(const std::string& folder, const std::string& relative, std::set<std::string>* out) {
  std::string here = folder + (relative.empty() ? "" : "/" + relative);
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(here.c_str())) {
    while (struct dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  for (const std::string& name : names) {
    std::string path = relative.empty() ? name : relative + "/" + name;
    struct stat status;
    if (::lstat((folder + "/" + path).c_str(), &status) != 0) continue;
    if (S_ISDIR(status.st_mode)) {
      out->insert(path + "/");
      List(folder, path, out);
    } else {
      out->insert(path);
    }
  }
}

// Whether everything below folder is a file some name put there, or a folder on the way
// to one; the offending path otherwise.
std::string OnlyNamed(const std::string& folder, const std::vector<std::string>& names) {
  std::set<std::string> found;
  List(folder, "", &found);
  for (const std::string& path : found) {
    bool named = false;
    for (const std::string& name : names) {
      if (path.back() == '/' ? name.compare(0, path.size(), path) == 0 : name == path) {
        named = true;
        break;
      }
    }
    if (!named) return path;
  }
  return {};
}

}  // namespace

Workspace::~Workspace() {
  if (native_.empty()) return;
  for (const char* call : kGuardedCalls) PosixPort::SetSystemCall(call, nullptr);
  PosixPort::UnmapDrives();
  g_guardRoot.clear();
  RemoveTree(native_);
}

bool Workspace::Create() {
  const char* temp = std::getenv("TMPDIR");
  std::string pattern = std::string(temp && temp[0] == '/' ? temp : "/tmp") + "/vln2-fuzz-XXXXXX";
  if (!::mkdtemp(&pattern[0])) return false;
  native_ = pattern;
  if (!WriteNative(native_ + "/sentinel.txt", "outside every drive: " + native_)) return false;
  PosixPort::UnmapDrives();
  PosixPort::MapDrive('Z', nullptr);
  PosixPort::MapDrive('C', (native_ + "/c").c_str());
  g_guardRoot = native_;
  PosixPort::SetSystemCall("open", Erase(GuardOpen));
  PosixPort::SetSystemCall("unlink", Erase(GuardUnlink));
  PosixPort::SetSystemCall("mkdir", Erase(GuardMkdir));
  PosixPort::SetSystemCall("rmdir", Erase(GuardRmdir));
  PosixPort::SetSystemCall("rename", Erase(GuardRename));
  Reset();
  outside_ = Snapshot(false);
  outsideDrive_ = Snapshot(true);
  return outside_.count("sentinel.txt") && outsideDrive_.count("c/out/sentinel.txt");
}

void Workspace::Reset() {
  std::string c = native_ + "/c";
  RemoveTree(c);
  for (const char* folder : {"", "/in", "/out", "/out/all", "/out/pre", "/files", "/files/sub",
                             "/files/sub/deeper", "/files/empty"})
    ::mkdir((c + folder).c_str(), 0777);
  WriteNative(c + "/sentinel.txt", "on the drive");
  WriteNative(c + "/out/sentinel.txt", "beside the extraction folders");
  WriteNative(c + "/files/a.txt", "a");
  WriteNative(c + "/files/sub/b.txt", "b");
  WriteNative(c + "/files/sub/deeper/c.txt", "c");
  g_refused = 0;
}

std::map<std::string, std::string> Workspace::Snapshot(bool driveToo) {
  std::map<std::string, std::string> snapshot;
  g_snapshot = &snapshot;
  g_snapshotRoot = native_.size();
  g_snapshotDrive = driveToo;
  ::nftw(native_.c_str(), Note, 16, FTW_PHYS);
  g_snapshot = nullptr;
  return snapshot;
}

std::string Workspace::CheckOutside(bool driveToo) {
  return Describe(driveToo ? outsideDrive_ : outside_, Snapshot(driveToo));
}

int Workspace::Refused() const { return g_refused; }

bool Workspace::WriteInput(const char* name, const std::uint8_t* data, std::size_t size) {
  return WriteNative(native_ + "/c/in/" + name,
                     std::string(reinterpret_cast<const char*>(data), size));
}

std::string RunArchive(const std::uint8_t* data, std::size_t size, Workspace* workspace) {
  workspace->Reset();
  if (!workspace->WriteInput("Archive.DAT", data, size)) return "cannot write the input";
  std::vector<std::string> names;  // with '/' between levels
  std::string prefix;
  std::string broken;
  {
    auto archive = ElementRef<Archive>::Create(kArchiveType);
    if (!archive) return "no archive";
    archive->SetArchiveMode(kArchiveRead);
    if (archive->OpenArchive("C:\\in\\Archive.DAT") == 0) {
      std::vector<std::string> raw;
      Iterator* it = archive->GetEntries();
      if (!it) return "no entry iterator";
      for (it->First(); !it->IsDone(); it->Next()) {
        auto* entry = static_cast<ArchiveEntry*>(static_cast<Element*>(it->Current()));
        if (!entry) {
          broken = "a missing entry in the list";
          continue;
        }
        const char* name = entry->GetEntryName();
        raw.push_back(name ? name : "");
        // Each entry's record takes at least 10 bytes of the file.
        if (raw.size() * 10 > size) broken = "more entries than the file can hold";
      }
      archive->ReleaseEntries(&it);
      for (std::size_t i = 0; i < raw.size() && i < 32; ++i) {
        if (Stream* stream = archive->OpenEntry(raw[i].c_str())) {
          std::uint32_t length = 0;
          stream->GetSize(&length);
          if (Drain(stream, 4096, length + 1).size() != length)
            broken = "an entry reads other than its size";
        }
        archive->CloseEntry();
      }
      archive->CheckEntry("C:\\out\\all\\x");
      archive->ExtractFolder("C:\\out\\all\\", nullptr);
      for (const std::string& name : raw) names.push_back(Levels(name));
      std::size_t level = raw.empty() ? std::string::npos : raw[0].find('\\');
      if (level != std::string::npos) {
        prefix = raw[0].substr(0, level + 1);
        archive->ExtractFolder("C:\\out\\pre\\", prefix.c_str());
      }
    }
    archive->CloseArchive();
  }
  if (!broken.empty()) return broken;
  std::string changed = workspace->CheckOutside(true);
  if (!changed.empty()) return "outside the extraction folders: " + changed;
  if (workspace->Refused() != 0) return "tried to change something outside the workspace";
  std::string stray = OnlyNamed(workspace->Native() + "/c/out/all", names);
  if (!stray.empty()) return "extracted what no entry names: " + stray;
  std::vector<std::string> rests;
  std::string levels = Levels(prefix);
  for (const std::string& name : names)
    if (!prefix.empty() && StartsNoCase(name, levels)) rests.push_back(name.substr(levels.size()));
  stray = OnlyNamed(workspace->Native() + "/c/out/pre", rests);
  if (!stray.empty()) return "extracted with a prefix what no entry names: " + stray;
  return {};
}

std::string RunRecord(const std::uint8_t* data, std::size_t size, Workspace* workspace) {
  workspace->Reset();
  if (!workspace->WriteInput("Uninstall.info", data, size)) return "cannot write the input";
  std::string broken;
  {
    auto record = ElementRef<Uninstaller>::Create(kUninstallerType);
    if (!record) return "no uninstaller";
    record->Load("C:\\in\\Uninstall.info");
    if (record->Save("C:\\in\\copy.info") == 0) {
      // What was loaded, saved, loaded and saved again gives the same bytes.
      auto copy = ElementRef<Uninstaller>::Create(kUninstallerType);
      if (!copy || copy->Load("C:\\in\\copy.info") != 0 || copy->Save("C:\\in\\again.info") != 0)
        broken = "a saved record cannot be loaded and saved again";
      else if (ReadNative(workspace->Native() + "/c/in/copy.info") !=
               ReadNative(workspace->Native() + "/c/in/again.info"))
        broken = "a saved record saves differently once loaded";
    }
    record->Uninstall();
    // After a replay the record lists only files that stayed.
    if (record->VisitFiles([](const char* path, void*) { return PathExists(path) == 0 ? 0 : 1; },
                           nullptr) != 0)
      broken = "a replayed record still lists a file that is gone";
  }
  if (!broken.empty()) return broken;
  std::string changed = workspace->CheckOutside(false);
  if (!changed.empty()) return "outside the drive: " + changed;
  return {};
}

#endif  // !_WIN32

}  // namespace Fuzz
}  // namespace VLN2
