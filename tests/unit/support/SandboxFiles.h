// The platform's side of the test sandbox: straight system calls, never the port under
// test, so that injected port failures cannot touch a test's own files. One implementation
// for each platform, in win32/ and posix/.
#pragma once

#include <string>

namespace VLN2 {
namespace SandboxFiles {

// The separator of the platform's own paths.
char Separator();

// Makes a new, empty folder for one sandbox: *root as the code under test names it (Windows
// grammar), *native as the platform's calls take it; both end in a separator. False, with
// the test failed, when none could be made.
bool MakeRoot(std::string* root, std::string* native);
// Removes the root made by MakeRoot with everything in it, even folders a test made
// read-only; links are removed, never entered.
void RemoveRoot(const std::string& native);

// One folder of a native path; true when it exists now.
bool MakeOneFolder(const std::string& path);
// Marks a file read-only; true when the platform now refuses this user to write it.
bool MakeReadOnly(const std::string& path);
// A file, folder or link of that native path exists.
bool Exists(const std::string& path);
// A link at the native path link to the folder target (on Windows a directory symbolic link
// or, failing that, a junction); false when the system makes neither.
bool MakeFolderLink(const std::string& link, const std::string& target);
// Removes a link made by MakeFolderLink, never what it points at.
void RemoveFolderLink(const std::string& link);

}  // namespace SandboxFiles
}  // namespace VLN2
