// A fresh, empty folder for one test, removed with everything in it when the sandbox goes.
// Paths are in the Windows grammar. Natively the POSIX port maps drive C: to a new
// temporary folder, so Root() is "C:\" and a test can use paths such as "C:\a\b.txt" as
// they stand (one sandbox at a time). Under Windows it is a new folder below the
// system's temporary folder.
#pragma once

#include <string>
#include <vector>

namespace VLN2 {

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // The folder, ending in a backslash.
  std::string Root() const { return root_; }
  // Root() followed by relative (backslashes, no leading one).
  std::string Path(const std::string& relative) const { return root_ + relative; }
  // The part of a path made by Path that follows Root().
  std::string Relative(const std::string& path) const { return path.substr(root_.size()); }
  // The same path as the platform's own calls take it (natively a POSIX path).
  std::string NativePath(const std::string& relative) const;

  // These go straight to the platform, never through the port, so injected port failures
  // do not touch them. WriteFile creates missing folders on the way.
  void WriteFile(const std::string& relative, const std::string& bytes);
  // The whole file; empty when it cannot be read.
  std::string ReadFile(const std::string& relative);
  // A file, folder or link of that name exists.
  bool Exists(const std::string& relative);
  // Creates the folder and every missing one above it.
  void MakeFolder(const std::string& relative);
  // Removes the file or folder with everything in it; nothing when it is not there.
  void Remove(const std::string& relative);
  // The files below the folder (every level), relative to the sandbox with backslashes.
  std::vector<std::string> FilesBelow(const std::string& relative);
  // Marks a file read-only (the read-only attribute; natively no write permission). True
  // when the platform now refuses this user to write it: the super-user may write anyway.
  bool MakeReadOnly(const std::string& relative);

 private:
  std::string root_;    // Windows grammar
  std::string native_;  // the same folder for the platform, ending in a separator
};

}  // namespace VLN2
