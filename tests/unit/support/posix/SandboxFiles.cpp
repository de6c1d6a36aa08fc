// The sandbox's files natively: a new folder below TMPDIR (or /tmp), which the POSIX port's
// drive C: names while the sandbox lives.
#include "unit/support/SandboxFiles.h"

#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "system/port/posix/PosixPort.h"

namespace VLN2 {
namespace SandboxFiles {

namespace {

// Opens every folder first, so that a test that made one read-only cannot keep it.
int OpenUp(const char* path, const struct stat* status, int kind, struct FTW*) {
  if (kind == FTW_D || kind == FTW_DNR) ::chmod(path, (status->st_mode & 07777) | 0700);
  return 0;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

}  // namespace

char Separator() { return '/'; }

bool MakeRoot(std::string* root, std::string* native) {
  const char* temp = std::getenv("TMPDIR");
  std::string pattern = std::string(temp && temp[0] == '/' ? temp : "/tmp") + "/vln2-test-XXXXXX";
  if (!::mkdtemp(&pattern[0])) {
    ADD_FAILURE() << "no sandbox folder";
    return false;
  }
  *native = pattern + "/";
  PosixPort::MapDrive('C', pattern.c_str());
  *root = "C:\\";
  return true;
}

void RemoveRoot(const std::string& native) {
  ::nftw(native.c_str(), OpenUp, 16, FTW_PHYS);
  ::nftw(native.c_str(), RemoveEntry, 16, FTW_PHYS | FTW_DEPTH);
  PosixPort::MapDrive('C', nullptr);
}

bool MakeOneFolder(const std::string& path) {
  struct stat status;
  return ::mkdir(path.c_str(), 0777) == 0 ||
         (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode));
}

bool MakeReadOnly(const std::string& path) {
  EXPECT_EQ(::chmod(path.c_str(), 0444), 0);
  return ::access(path.c_str(), W_OK) != 0;
}

bool Exists(const std::string& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0;
}

bool MakeFolderLink(const std::string& link, const std::string& target) {
  return ::symlink(target.c_str(), link.c_str()) == 0;
}

void RemoveFolderLink(const std::string& link) { ::unlink(link.c_str()); }

}  // namespace SandboxFiles
}  // namespace VLN2
