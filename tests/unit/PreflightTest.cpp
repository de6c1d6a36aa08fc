// The checks before anything is removed, as a run of the installer meets them.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "installer/CommandLine.h"
#include "installer/InstallPlan.h"
#include "installer/Preflight.h"
#include "installer/Targets.h"
#include "unit/support/InstallerRun.h"
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace VLN2 {
namespace {

#ifndef _WIN32
// ---- The checks before anything is removed. Each failure leaves the previous installation
// as it was, shows one box that says why, and ends the run as a cancelled one.

const ArchiveContents kPayload = {
    {"VLN2_Resources\\r.txt", "shared"},
    {"Cinema4D\\plugins\\p.cdl",
     [] {
       std::string noise;  // packs to no less than itself: the file is mostly this block
       for (unsigned i = 0, x = 7; i < 6000; ++i)
         noise += static_cast<char>((x = x * 1103515245 + 12345) >> 16);
       return noise;
     }()},
    {"Cinema4D\\plugins\\p.res", "after the plug-in, in its folder"},
    {"SDK\\include\\a.h", "header"},
};

class PreflightTest : public InstallerDriverTest {
 protected:
  void SetUp() override {
    InstallerDriverTest::SetUp();
    PosixPort::ResetSystemCalls();
    payload_ = BuildPayload(kPayload);
    // The previous installation: the shared files, Cinema 4D R9 and the SDK.
    g_script.runResult = 0;
    g_script.userSelects = {{11, true}, {13, true}};
    g_script.paths[11] = box_.Path("C4D\\");
    ASSERT_EQ(Run(), 1);
    ASSERT_TRUE(box_.Exists("C4D\\plugins\\p.cdl"));
    app_->boxes.clear();
    before_ = Snapshot();
  }
  void TearDown() override {
    PosixPort::ResetSystemCalls();
    PosixPort::ClearResources();
    InstallerDriverTest::TearDown();
  }
  // Puts the previous installation back as it was.
  void Restore() {
    for (const char* top : {"C4D", "Vorlane"}) box_.Remove(top);
    for (const auto& [relative, bytes] : before_) box_.WriteFile(relative, bytes);
  }
  // The second run stopped before it removed anything, with one box naming the cause, and
  // ended as a cancelled one.
  void ExpectStoppedSaying(const std::string& words) {
    app_->boxes.clear();
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(Snapshot() == before_) << "the previous installation changed";
    ASSERT_EQ(app_->boxes.size(), 1u);
    EXPECT_EQ(app_->boxes[0].caption, "VorlaneBox Setup");
    EXPECT_NE(app_->boxes[0].text.find(words), std::string::npos) << app_->boxes[0].text;
  }
  std::string payload_;
  std::map<std::string, std::string> before_;
};

TEST_F(PreflightTest, NoTemporaryFolder) {
  box_.Remove("tmp");
  ExpectStoppedSaying("could not make its temporary folder in " + box_.Path("tmp\\"));
}

// A payload that is not the one built, or an archive that could not be extracted whole, and
// whether it was written out before it was refused.
TEST_F(PreflightTest, ADamagedPayloadStopsTheRun) {
  const std::string name = StoredText("SDK\\include\\a.h");
  std::string flipped = payload_, longer = payload_, unknown = payload_;
  flipped[flipped.size() / 2] ^= 0x20;
  const std::size_t size = longer.find(name) + name.size() + 4;  // the entry's block size
  longer.replace(size, 4, StoredWord(StoredWordAt(longer, size) + 1000));
  unknown[unknown.find(std::string("RAW\0", 4), 9)] = 'X';  // the first block's form
  const struct {
    std::string payload, built, more, words;
    bool staged;
  } rows[] = {
      {flipped, payload_, "", "are damaged", true},
      {payload_.substr(0, payload_.size() - 100), payload_, "", "are damaged", false},
      {payload_, payload_, "more", "are damaged", false},
      {"no archive", "no archive", "", "cannot be read", true},
      {longer, longer, "", "are damaged", true},
      {unknown, unknown, "", "are damaged", true},
  };
  for (const auto& row : rows) {
    box_.Remove("tmp\\Archive.DAT");
    Serve(row.payload, row.built, row.more);
    ExpectStoppedSaying(row.words);
    EXPECT_EQ(box_.Exists("tmp\\Archive.DAT"), row.staged) << row.words;
  }
}

// Every call the checks make refused in turn (the disk full): the run stops before it removes
// anything, or the refusal did not matter and it installs everything. A file that cannot be
// opened is not held open by another program; a refused lock is a file system without locks;
// a volume that does not tell its room is not held against the installation.
TEST_F(PreflightTest, ARefusedCallDuringTheChecksStopsTheRunBeforeAnythingIsRemoved) {
  const std::string installed =
      std::string(FindTarget(11)->successText) + FindTarget(13)->successText;
  enum { kStops, kInstalls, kEither };
  const std::pair<const char*, int> calls[] = {
      {"write", kStops},  {"lseek", kStops},    {"fsync", kStops},
      {"unlink", kStops}, {"open", kEither},    {"read", kEither},
      {"lstat", kEither}, {"flock", kInstalls}, {"statvfs", kInstalls}};
  for (auto [call, outcome] : calls) {
    InstallPlan plan(core_);  // the choice the set-up's run left
    for (const auto& [index, path] : g_script.paths) plan.SetTargetPath(index, path.c_str());
    for (const auto& [index, on] : g_script.selected) plan.SetTargetSelected(index, on);
    PosixPort::FailSystemCall(call, 0, 0);
    Preflight(core_, &plan).Run();
    const long calls = PosixPort::SystemCallCount(call);
    EXPECT_GT(calls, 0) << call << ": the checks make no such call";
    for (long n = 1; n <= calls && !HasFatalFailure(); ++n) {
      SCOPED_TRACE(std::string(call) + " #" + std::to_string(n));
      app_->boxes.clear();
      PosixPort::FailSystemCall(call, n, ENOSPC);
      int result = Run();
      PosixPort::FailSystemCall(call, 0, 0);
      ASSERT_EQ(app_->boxes.size(), 1u);
      EXPECT_NE(outcome, result == 1 ? kStops : kInstalls) << app_->boxes[0].text;
      if (result == 1) {
        EXPECT_EQ(app_->boxes[0].text, installed);
        Restore();
        continue;
      }
      std::map<std::string, std::string> after = Snapshot();
      // The record's trial file stays when it cannot be removed; the next save makes it new.
      after.erase("Vorlane\\Toolbox\\Uninstall.info.saving");
      EXPECT_TRUE(after == before_);
      // The disk is told, never the Setup program as damaged; the first write is the staging's.
      EXPECT_EQ(app_->boxes[0].text.find("installation files inside"), std::string::npos);
      if (n == 1 && std::string(call) == "write") {
        EXPECT_NE(app_->boxes[0].text.find("could not write its installation files"),
                  std::string::npos);
      }
    }
  }
}

TEST_F(PreflightTest, RunningOutOfMemoryNeverRemovesAnythingBeforeTheChecksPass) {
  SweepAllocationFailuresBothModes([&] {
    Restore();
    app_ = new FakeSystemApp(core_, box_.Path("Vorlane\\"), box_.Path("tmp\\"));
    if (!app_) return;
    core_->SetSystemApp(app_);
    if (Run() == 0) {
      EXPECT_TRUE(Snapshot() == before_);
    }
    EXPECT_LE(app_->boxes.size(), 1u);
  });
}

// A file where the toolbox folder's parent should be, a folder where the record's trial file
// or the old record should be.
TEST_F(PreflightTest, AToolboxFolderOrRecordThatCannotBeWritten) {
  const std::string record = "cannot write the installation record Uninstall.info in the folder " +
                             box_.Path("Vorlane\\Toolbox\\");
  const struct {
    const char *removed, *folder, *file;
    std::string words;
  } rows[] = {
      {"Vorlane", nullptr, "Vorlane",
       "could not create the folder " + box_.Path("Vorlane\\Toolbox\\")},
      {nullptr, "Vorlane\\Toolbox\\Uninstall.info.saving", nullptr, record},
      {"Vorlane\\Toolbox\\Uninstall.info", "Vorlane\\Toolbox\\Uninstall.info", nullptr, record},
  };
  const std::map<std::string, std::string> installed = before_;
  for (const auto& row : rows) {
    before_ = installed;
    Restore();
    if (row.removed) box_.Remove(row.removed);
    if (row.folder) box_.MakeFolder(row.folder);
    if (row.file) box_.WriteFile(row.file, "in the way");
    before_ = Snapshot();
    ExpectStoppedSaying(row.words);
  }
}

TEST_F(PreflightTest, NoProgramFilesFolderKnown) {
  app_ = new FakeSystemApp(core_, "", box_.Path("tmp\\"));
  core_->SetSystemApp(app_);
  ExpectStoppedSaying("the system names no program files folder");
}

// ---- The path gate: places the system cannot take, seen before anything changes.

TEST_F(PreflightTest, AFolderOnADriveThatDoesNotExistOrOnANetworkDrive) {
  g_script.paths[11] = "Q:\\C4D\\";
  ExpectStoppedSaying("The folder Q:\\C4D\\ is on a drive that does not exist");
  g_script.paths[11] = box_.Path("C4D\\");
  app_->boxes.clear();
  PosixPort::SetSystemCall(
      "statfs", reinterpret_cast<PosixPort::SystemCall>(+[](const char*, struct statfs* status) {
        *status = {};
        status->f_type = 0x6969;  // NFS
        return 0;
      }));
  ExpectStoppedSaying("is on a network drive");
}

TEST_F(PreflightTest, AFullVolumeMountedBelowADriveIsAskedForItsRoom) {
  static std::string mounted;
  mounted = box_.NativePath("C4D");
  auto onItsOwnDevice = [](const char* path, struct stat* status) {
    int result = ::stat(path, status);
    if (result == 0 && std::string(path).rfind(mounted, 0) == 0) status->st_dev = 4242;
    return result;
  };
  auto fullBelowIt = [](const char* path, struct statvfs* status) {
    int result = ::statvfs(path, status);
    if (result == 0 && std::string(path).rfind(mounted, 0) == 0) status->f_bavail = 1;
    return result;
  };
  int (*stat)(const char*, struct stat*) = onItsOwnDevice;
  int (*statvfs)(const char*, struct statvfs*) = fullBelowIt;
  PosixPort::SetSystemCall("stat", reinterpret_cast<PosixPort::SystemCall>(stat));
  PosixPort::SetSystemCall("statvfs", reinterpret_cast<PosixPort::SystemCall>(statvfs));
  ExpectStoppedSaying("There is not enough free space on the disk of " + box_.Path("C4D\\") + ":");
  // An update needs its new files and the previous ones at once, and says so.
  EXPECT_NE(app_->boxes[0].text.find("written beside the previous ones"), std::string::npos);
}

TEST_F(PreflightTest, APathTooLongOrALinkAtTheRecordsTemporaryName) {
  for (int length : {250, 240}) {  // too long as it is; only under its temporary name
    g_script.paths[11] = box_.Path(std::string(length, 'c') + "\\");
    ExpectStoppedSaying("plugins\\p.cdl is too long for Windows");
  }
  g_script.paths[11] = box_.Path("C4D\\");
  app_->boxes.clear();
  box_.WriteFile("elsewhere.txt", "not the record's");
  ASSERT_EQ(::symlink(box_.NativePath("elsewhere.txt").c_str(),
                      box_.NativePath("Vorlane\\Toolbox\\Uninstall.info.saving").c_str()),
            0);
  before_ = Snapshot();
  ExpectStoppedSaying("cannot write the installation record Uninstall.info");
  EXPECT_EQ(box_.ReadFile("elsewhere.txt"), "not the record's");
}

// Rewritten by name between the check and the extraction, the staged payload is not what the
// installation reads: it reads through the handle that was checked.
TEST_F(PreflightTest, APayloadRewrittenAfterItsCheckIsNotRead) {
  ASSERT_TRUE(BuildArchive(box_.Path("other.vln"), {{"Cinema4D\\plugins\\p.cdl", "another's"}}));
  static std::string staged, other;
  staged = box_.NativePath("tmp\\Archive.DAT");
  other = box_.NativePath("other.vln");
  auto swapping = [](const char* path, int flags, mode_t mode) -> int {
    // Put in its place by name, as another program would.
    if (std::string(path).find("/Toolbox/r.txt") != std::string::npos && !other.empty())
      std::filesystem::rename(std::exchange(other, ""), staged);
    return ::open(path, flags, mode);
  };
  int (*open)(const char*, int, mode_t) = swapping;
  PosixPort::SetSystemCall("open", reinterpret_cast<PosixPort::SystemCall>(open));
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(box_.ReadFile("C4D\\plugins\\p.cdl"), kPayload[1].second);
}

// A record entry the replay would refuse is not even looked at by the check for files in use.
TEST_F(PreflightTest, ARecordEntryNamingADeviceIsNeverAskedWhetherItIsInUse) {
  box_.WriteFile("C4D\\NUL", "a file natively");
  box_.WriteFile("Vorlane\\Toolbox\\Uninstall.info",
                 StoredRecordBytes({box_.Path("C4D\\NUL")}, {}));
  Port::FileHandle held = Port::OpenFile(box_.Path("C4D\\NUL").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(Run(), 1);
  Port::CloseFile(held);
  ASSERT_EQ(app_->boxes.size(), 1u);
  EXPECT_EQ(app_->boxes[0].caption, "VorlaneBox Installation Report");
}

TEST_F(PreflightTest, NotEnoughRoomRemovesTheToolboxFolderItMade) {
  box_.Remove("Vorlane");
  box_.MakeFolder("Vorlane");  // there before, and empty: it stays
  box_.Remove("C4D");
  before_ = Snapshot();
  PosixPort::SetSystemCall(
      "statvfs", reinterpret_cast<PosixPort::SystemCall>(+[](const char*, struct statvfs* status) {
        *status = {};
        status->f_frsize = 4096;
        status->f_bavail = 2;
        return 0;
      }));
  ExpectStoppedSaying("There is not enough free space on the disk of");
  EXPECT_TRUE(box_.Exists("Vorlane"));
  EXPECT_FALSE(box_.Exists("Vorlane\\Toolbox"));
}

// A name extraction refuses becomes no file, and a target not chosen gets none, whatever
// folder it is given: neither is checked for use.
TEST_F(PreflightTest, ANameExtractionRefusesOrATargetNotChosenIsNotCheckedForUse) {
  ArchiveContents contents = kPayload;
  contents.push_back({"SDK\\held.txt.", "Windows would write held.txt"});
  BuildPayload(contents);
  box_.WriteFile("Vorlane\\SDK\\held.txt.", "the user's");
  Port::FileHandle held =
      Port::OpenFile(box_.Path("Vorlane\\SDK\\held.txt.").c_str(), Port::kAccessWrite, false);
  EXPECT_EQ(Run(), 1);
  Port::CloseFile(held);
  BuildPayload(kPayload);
  box_.WriteFile("R8\\plugins\\p.cdl", "the user's");
  held = Port::OpenFile(box_.Path("R8\\plugins\\p.cdl").c_str(), Port::kAccessWrite, false);
  EXPECT_EQ(Run("/quiet /accept-terms /targets=sdk /folder:c4d-r8=" + box_.Path("R8")),
            kExitSuccess);
  Port::CloseFile(held);
}

TEST_F(PreflightTest, APlugInHeldWithoutSharingAsksToRetryAndCancelKeepsEverything) {
  Port::FileHandle held =
      Port::OpenFile(box_.Path("C4D\\plugins\\p.cdl").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(held, nullptr);
  int asked = 0;
  app_->answerRetry = [&] { return ++asked == 1 ? 1 : 0; };  // Cancel, then Retry
  ExpectStoppedSaying("These files are in use and cannot be replaced:\n\n" +
                      box_.Path("C4D\\plugins\\p.cdl") + "\n\nClose the programs");
  EXPECT_EQ(asked, 1);
  Port::CloseFile(held);
}

TEST_F(PreflightTest, AQuietRunEndsWith6ForFilesInUseOr3ForAFailedCheckAndChangesNothing) {
  // Not the first file of its folder: the check asks about each folder once, not each file.
  Port::FileHandle held =
      Port::OpenFile(box_.Path("C4D\\plugins\\p.res").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(
      Run("/quiet /accept-terms /targets=c4d-r9,sdk \"/folder:c4d-r9=" + box_.Path("C4D") + "\""),
      kExitFilesInUse);
  Port::CloseFile(held);
  box_.Remove("tmp");
  EXPECT_EQ(Run("/quiet /accept-terms /targets=sdk"), kExitPreflight);
  EXPECT_TRUE(Snapshot() == before_) << "the previous installation changed";
  EXPECT_TRUE(app_->boxes.empty());
}

TEST_F(PreflightTest, RetryAfterThePlugInIsReleasedInstalls) {
  Port::FileHandle held =
      Port::OpenFile(box_.Path("C4D\\plugins\\p.cdl").c_str(), Port::kAccessWrite, false);
  int asked = 0;
  app_->answerRetry = [&] {
    if (++asked == 1) Port::CloseFile(held);
    return 0;
  };
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(app_->boxes.size(), 2u);
  EXPECT_EQ(app_->boxes[1].text,
            std::string(FindTarget(11)->successText) + FindTarget(13)->successText);
}
#endif

}  // namespace
}  // namespace VLN2
