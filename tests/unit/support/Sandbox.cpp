#include "unit/support/Sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "unit/support/SandboxFiles.h"

namespace VLN2 {

Sandbox::Sandbox() { SandboxFiles::MakeRoot(&root_, &native_); }

Sandbox::~Sandbox() {
  if (!native_.empty()) SandboxFiles::RemoveRoot(native_);
}

std::string Sandbox::NativePath(const std::string& relative) const {
  const char separator = SandboxFiles::Separator();
  std::string path = native_ + relative;
  for (std::size_t i = native_.size(); i < path.size(); ++i)
    if (path[i] == '\\' || path[i] == '/') path[i] = separator;
  return path;
}

void Sandbox::MakeFolder(const std::string& relative) {
  const char separator = SandboxFiles::Separator();
  std::string path = NativePath(relative);
  for (std::size_t i = native_.size(); i <= path.size(); ++i) {
    bool end = i == path.size() || path[i] == separator;
    if (end && i > native_.size() && path[i - 1] != separator) {
      EXPECT_TRUE(SandboxFiles::MakeOneFolder(path.substr(0, i)))
          << "cannot make " << path.substr(0, i);
    }
  }
}

void Sandbox::WriteFile(const std::string& relative, const std::string& bytes) {
  std::size_t last = relative.find_last_of("\\/");
  if (last != std::string::npos) MakeFolder(relative.substr(0, last));
  std::FILE* file = std::fopen(NativePath(relative).c_str(), "wb");
  ASSERT_NE(file, nullptr) << "cannot write " << relative;
  EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  std::fclose(file);
}

std::string Sandbox::ReadFile(const std::string& relative) {
  std::string bytes;
  std::FILE* file = std::fopen(NativePath(relative).c_str(), "rb");
  if (!file) return bytes;
  char block[4096];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
  std::fclose(file);
  return bytes;
}

void Sandbox::Remove(const std::string& relative) {
  std::error_code ignored;
  std::filesystem::remove_all(NativePath(relative), ignored);
}

std::vector<std::string> Sandbox::FilesBelow(const std::string& relative) {
  std::vector<std::string> files;
  std::error_code error;
  const std::filesystem::path root(native_);
  for (auto it = std::filesystem::recursive_directory_iterator(NativePath(relative), error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file()) continue;
    std::string file = std::filesystem::relative(it->path(), root).string();
    for (char& c : file)
      if (c == '/') c = '\\';
    files.push_back(file);
  }
  return files;
}

bool Sandbox::MakeReadOnly(const std::string& relative) {
  return SandboxFiles::MakeReadOnly(NativePath(relative));
}

bool Sandbox::Exists(const std::string& relative) {
  return SandboxFiles::Exists(NativePath(relative));
}

}  // namespace VLN2
