#include "tools/vlnpack/NativePath.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#ifndef _WIN32
#include <unistd.h>

#include "system/port/posix/PosixPort.h"
#endif

#include "framework/PathRules.h"
#include "system/port/Port.h"
#include "tools/vlnpack/Report.h"

namespace VLN2::Vlnpack {
namespace {

#ifndef _WIN32
// The absolute native path of given, cleaned up lexically: no ".", ".." or doubled
// separators reach the port.
bool CleanNativePath(const char* given, std::string* clean) {
  std::string native = given;
  if (native[0] != '/') {
    std::vector<char> cwd(4096);
    while (!getcwd(cwd.data(), cwd.size())) {
      if (cwd.size() > (1u << 20)) return false;
      cwd.resize(cwd.size() * 2);
    }
    native = std::string(cwd.data()) + "/" + native;
  }
  std::vector<std::string> parts;
  for (std::size_t at = 0; at <= native.size();) {
    std::size_t slash = std::min(native.find('/', at), native.size());
    std::string part = native.substr(at, slash - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = slash + 1;
  }
  clean->clear();
  for (const std::string& part : parts) {
    // A backslash inside a POSIX name would read as a separator in the port's grammar.
    if (part.find('\\') != std::string::npos) return false;
    *clean += "/" + part;
  }
  if (clean->empty()) *clean = "/";
  return true;
}
#endif

// The port's path (Windows grammar, absolute) of a path given on the command line.
bool PortPath(const char* given, bool folder, std::string* out) {
  if (!given || !*given) return false;
#ifdef _WIN32
  char full[4096];
  if (!_fullpath(full, given, sizeof full)) return false;
  std::string path = full;
  std::replace(path.begin(), path.end(), '/', '\\');
#else
  std::string clean;
  if (!CleanNativePath(given, &clean)) return false;
  std::string path = PosixPort::WindowsPath(clean.c_str());
#endif
  bool separated = !path.empty() && IsSeparator(path.back());
  if (folder && !separated) path += '\\';
  if (!folder && separated) return false;
  *out = path;
  return true;
}

}  // namespace

bool ResolveFile(const char* given, std::string* path) {
  if (PortPath(given, false, path)) return true;
  Message("%s: not a usable file name", given);
  return false;
}

bool ResolveFolder(const char* given, std::string* path) {
  if (PortPath(given, true, path)) return true;
  Message("%s: not a usable folder name", given);
  return false;
}

PathKind KindOf(const std::string& path) {
  std::string bare = path;
  while (bare.size() > 3 && IsSeparator(bare.back())) bare.pop_back();
  if (bare.size() == 3 && IsDriveAbsolute(bare.c_str())) return PathKind::kFolder;  // a root
  Port::FindData found;
  Port::FindHandle search = Port::FindFirst(bare.c_str(), &found);
  if (!search) return PathKind::kMissing;
  Port::FindClose(search);
  return found.isDirectory ? PathKind::kFolder : PathKind::kFile;
}

}  // namespace VLN2::Vlnpack
