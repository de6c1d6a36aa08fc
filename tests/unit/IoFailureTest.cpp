// A disk that fails: during a whole installation, the n-th open, write, read, lseek,
// ftruncate, unlink, mkdir, rename or fsync is refused (full disk, access denied), once or from
// then on, for every n the installation reaches. The report must tell each target's
// outcome as it was, a record written whole must name every file the installation left,
// the next installation must remove all of it but what an unwritten record could not
// name, and nothing outside the installer's own folders may change.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/ElementRef.h"
#include "installer/Targets.h"
#include "installer/ToolboxInstall.h"
#include "system/port/posix/PosixPort.h"
#include "unit/support/ArchiveBuilder.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/FakeSystemApp.h"
#include "unit/support/Sandbox.h"
#include "unit/support/StoredFiles.h"

namespace VLN2 {
namespace {

std::string Lines(int count, const char* word) {
  std::string text;
  for (int i = 0; i < count; ++i) text += word + std::to_string(i * 7919 % 1000) + "\n";
  return text;
}

const ArchiveContents kPayload = {
    {"VLN2_Resources\\Resources.txt", "shared"},
    {"VLN2_Resources\\Shaders\\Default.fx", Lines(300, "shader ")},
    {"3DSMax6\\VorlaneBox.dlu", Lines(900, "plug-in ")},
    {"3DSMax6\\VorlaneBox.ini", "[Vorlane]"},
    {"SDK\\include\\VLN2\\VLN2.h", Lines(80, "header ")},
    {"SDK\\ReadMe.txt", "read me"},
};

// Older, longer files of the user's at the plug-in's paths, which no record names.
const std::map<std::string, std::string> kPlanted = {
    {"Max\\VorlaneBox.dlu", Lines(2000, "older plug-in ")},
    {"Max\\VorlaneBox.ini", "[Vorlane] older and longer"},
};

// What Installed() holds for a file: its identity, a line feed, its bytes.
std::string Content(const std::string& file) { return file.substr(file.find('\n') + 1); }

// The folders the installation may change; everything else in the sandbox must stay.
const char* const kOwnFolders[] = {"Max", "SDK", "Vorlane", "tmp"};

struct Outcome {
  int first = 1, second = 1;  // the targets' results
  std::vector<FakeSystemApp::Box> boxes;
};

class IoFailureTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    PosixPort::ResetSystemCalls();
    box_.MakeFolder("tmp");
    ASSERT_TRUE(BuildArchive(archive_, kPayload));
    box_.WriteFile("elsewhere\\sentinel.txt", "someone else's");
    box_.WriteFile("Vorlane\\notes.txt", "the user's, beside the toolbox folder");
    outside_ = Outside();
  }
  void TearDown() override {
    PosixPort::ResetSystemCalls();
    CoreFixture::TearDown();
  }

  // One installation: the shared files and the given targets, the report, the record.
  Outcome Install(bool targets) {
    Outcome run;
    auto* app = new FakeSystemApp(core_, box_.Path("Vorlane\\"), box_.Path("tmp\\"));
    core_->SetSystemApp(app);
    {
      auto install = ElementRef<ToolboxInstall>::Create(kToolboxInstallType);
      if (!install) return run;
      if (targets) {
        install->InstallSharedFiles(archive_.c_str());
        run.first =
            install->InstallTarget(kTarget3dsMax6, archive_.c_str(), box_.Path("Max\\").c_str());
        run.second =
            install->InstallTarget(kTargetSDK, archive_.c_str(), box_.Path("SDK\\").c_str());
      }
      install->ShowReport();
    }
    run.boxes = app->boxes;
    core_->SetSystemApp(nullptr);
    return run;
  }

  // A previous installation of the SDK alone, and the user's older plug-in files.
  void Prepare() {
    for (const char* folder : {"Max", "SDK", "Vorlane\\Toolbox"}) box_.Remove(folder);
    auto* app = new FakeSystemApp(core_, box_.Path("Vorlane\\"), box_.Path("tmp\\"));
    core_->SetSystemApp(app);
    {
      auto install = ElementRef<ToolboxInstall>::Create(kToolboxInstallType);
      install->InstallSharedFiles(archive_.c_str());
      install->InstallTarget(kTargetSDK, archive_.c_str(), box_.Path("SDK\\").c_str());
    }
    core_->SetSystemApp(nullptr);
    for (const auto& [path, bytes] : kPlanted) box_.WriteFile(path, bytes);
  }

  // Files below the installation's folders (Windows paths), with their contents.
  std::map<std::string, std::string> Installed() {
    std::map<std::string, std::string> files;
    for (const char* folder : {"Max", "SDK", "Vorlane\\Toolbox"})
      for (const std::string& file : box_.FilesBelow(folder))
        files[box_.Path(file)] = Identity(box_.Path(file)) + "\n" + box_.ReadFile(file);
    return files;
  }

  // Every file and folder of the sandbox outside the installation's own folders.
  std::map<std::string, std::string> Outside() {
    std::map<std::string, std::string> found;
    std::filesystem::path root(box_.NativePath(""));
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      std::string relative = std::filesystem::relative(it->path(), root).string();
      bool own = relative == "Vorlane/Toolbox" || relative.rfind("Vorlane/Toolbox/", 0) == 0;
      for (const char* folder : kOwnFolders) {
        std::string name = folder;
        own =
            own || (name != "Vorlane" && (relative == name || relative.rfind(name + "/", 0) == 0));
      }
      if (own) continue;
      found[relative] = it->is_regular_file() ? "file:" + box_.ReadFile(relative) : "folder";
    }
    return found;
  }

  // The user's own file at a path, untouched.
  bool IsPlanted(const std::string& path, const std::string& bytes) {
    for (const auto& [relative, planted] : kPlanted)
      if (box_.Path(relative) == path && planted == bytes) return true;
    return false;
  }
  // The identity of a file on disk: a file removed and written anew has another.
  std::string Identity(const std::string& path) {
    struct stat status;
    std::string relative = path.substr(box_.Root().size());
    if (::stat(box_.NativePath(relative).c_str(), &status) != 0) return "";
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  }

  // Runs the installation with the n-th call of the name failing, and judges it.
  void Judge(const char* call, long n, int error, bool fromThenOn) {
    std::string what = std::string(call) + " #" + std::to_string(n) + " " +
                       (error == ENOSPC ? "ENOSPC" : "EACCES") +
                       (fromThenOn ? " from then on" : " once");
    SCOPED_TRACE(what);
    Prepare();
    const std::map<std::string, std::string> before = Installed();
    const std::string previousRecord = box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info");
    PosixPort::FailSystemCall(call, n, error, fromThenOn);
    Outcome run = Install(true);
    bool hit = PosixPort::SystemCallCount(call) >= n;
    PosixPort::FailSystemCall(call, 0, 0);

    const Target* max6 = FindTarget(kTarget3dsMax6);
    const Target* sdk = FindTarget(kTargetSDK);
    std::map<std::string, std::string> left = Installed();
    // A target reported installed has every file, whole.
    auto whole = [&](const char* relative, const std::string& bytes) {
      EXPECT_TRUE(box_.ReadFile(relative) == bytes) << relative << " is not whole";
    };
    if (run.first == 0) {
      whole("Max\\VorlaneBox.dlu", kPayload[2].second);
      whole("Max\\VorlaneBox.ini", kPayload[3].second);
    }
    if (run.second == 0) {
      whole("SDK\\include\\VLN2\\VLN2.h", kPayload[4].second);
      whole("SDK\\ReadMe.txt", kPayload[5].second);
    }
    // The report tells both outcomes as they were, and whether the record was written:
    // when it was not, the previous one is there byte for byte. One refused call fails one
    // target at most.
    const std::string recordPath = box_.Path("Vorlane\\Toolbox\\Uninstall.info");
    StoredRecord record = ParseStoredRecord(box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info"));
    std::set<std::string> listed(record.files.begin(), record.files.end());
    // Whole, or none at all when the installation left nothing to list.
    EXPECT_TRUE(record.complete || !box_.Exists("Vorlane\\Toolbox\\Uninstall.info"));
    EXPECT_FALSE(box_.Exists("Vorlane\\Toolbox\\Uninstall.info.saving"));
    bool saved = true;
    EXPECT_EQ(run.boxes.size(), 1u);
    if (!run.boxes.empty()) {
      const std::string& text = run.boxes[0].text;
      EXPECT_EQ(text.find(std::string(run.first == 0 ? max6->successText : max6->failureText) +
                          (run.second == 0 ? sdk->successText : sdk->failureText)),
                0u);
      saved = text.find(recordPath + " could not be written") == std::string::npos;
    }
    if (!saved) {
      EXPECT_TRUE(box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info") == previousRecord);
    }
    if (!fromThenOn) {
      EXPECT_TRUE(run.first == 0 || run.second == 0);
    }
    if (!hit) {
      EXPECT_EQ(run.first, 0);
      EXPECT_EQ(run.second, 0);
    }
    // A record written names every file the installation left but the user's own.
    // Whole or not, what the record names are paths this installation recorded, never
    // bytes of a record read out of step.
    std::set<std::string> files = {recordPath}, folders;
    for (const auto& [name, data] : kPayload) {
      std::string path = name;
      for (const auto& [prefix, folder] :
           {std::pair<std::string, std::string>{"VLN2_Resources\\", "Vorlane\\Toolbox\\"},
            {"3DSMax6\\", "Max\\"},
            {"SDK\\", "SDK\\"}})
        if (name.compare(0, prefix.size(), prefix) == 0)
          path = box_.Path(folder + name.substr(prefix.size()));
      files.insert(path);
      folders.insert(path.substr(0, path.rfind('\\') + 1));
    }
    for (const std::string& path : record.files)
      EXPECT_TRUE(files.count(path)) << "recorded " << path;
    for (const std::string& path : record.folders)
      EXPECT_TRUE(folders.count(path)) << "recorded folder " << path;
    if (!hit) {
      EXPECT_TRUE(saved);
    }
    // A file of the previous installation that is still the very same file was neither
    // removed nor written by this one: its removal failed, and like any file that cannot
    // be removed it is left in place and forgotten.
    auto leftOver = [&](const std::string& path, const std::string& file) {
      auto found = before.find(path);
      return hit && found != before.end() && found->second == file;
    };
    if (saved) {
      for (const auto& [path, file] : left) {
        if (path == recordPath || IsPlanted(path, Content(file)) || leftOver(path, file)) continue;
        EXPECT_TRUE(listed.count(path)) << path << " is not in the record";
      }
    }

    // The next installation removes what the record names. What stays is the user's own,
    // or what only a record that could not be written whole would have named.
    Outcome next = Install(false);
    EXPECT_TRUE(next.boxes.empty());
    for (const auto& [path, file] : Installed()) {
      if (IsPlanted(path, Content(file)) || leftOver(path, file)) continue;
      if (path == recordPath && Content(file) == std::string(12, '\0'))
        continue;  // the next one's own
      EXPECT_FALSE(saved) << path << " stayed after a whole record";
      EXPECT_TRUE(left.count(path)) << path << " was not left by the installation";
      EXPECT_FALSE(listed.count(path)) << path << " is in the record and stayed";
    }
    EXPECT_TRUE(Outside() == outside_) << "something outside the installation's folders changed";
  }

  // How often a whole installation calls the name.
  long Calls(const char* call) {
    Prepare();
    PosixPort::FailSystemCall(call, 0, 0);
    Install(true);
    return PosixPort::SystemCallCount(call);
  }

  void Sweep(const char* call) {
    long calls = Calls(call);
    RecordProperty(call, static_cast<int>(calls));
    std::printf("[ io       ] %s: %ld calls in a whole installation\n", call, calls);
    for (bool fromThenOn : {false, true})
      for (int error : {ENOSPC, EACCES})
        for (long n = 1; n <= calls && !HasFatalFailure(); ++n) Judge(call, n, error, fromThenOn);
  }

  Sandbox box_;
  const std::string archive_ = box_.Path("tmp\\Archive.DAT");
  std::map<std::string, std::string> outside_;
};

TEST_F(IoFailureTest, Open) { Sweep("open"); }
TEST_F(IoFailureTest, Write) { Sweep("write"); }
TEST_F(IoFailureTest, Read) { Sweep("read"); }
TEST_F(IoFailureTest, Lseek) { Sweep("lseek"); }
TEST_F(IoFailureTest, Ftruncate) { Sweep("ftruncate"); }
TEST_F(IoFailureTest, Unlink) { Sweep("unlink"); }
TEST_F(IoFailureTest, Mkdir) { Sweep("mkdir"); }

// The record's one replace, and the flush before it.
TEST_F(IoFailureTest, Rename) { Sweep("rename"); }
TEST_F(IoFailureTest, Fsync) { Sweep("fsync"); }

}  // namespace
}  // namespace VLN2

#endif  // !_WIN32
