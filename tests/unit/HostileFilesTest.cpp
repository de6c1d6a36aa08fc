// Files made to hurt: archives and records cut at every byte, counts that claim far more
// than the file holds, and entry names that try to leave the destination.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/Stream.h"
#include "framework/ElementContainer.h"
#include "framework/ElementRef.h"
#include "installer/Targets.h"
#include "installer/ToolboxInstall.h"
#include "installer/Uninstaller.h"
#include "system/FileFunc.h"
#include "system/port/Port.h"
#include "unit/support/ArchiveBuilder.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/FakeSystemApp.h"
#include "unit/support/Sandbox.h"
#include "unit/support/SandboxFiles.h"
#include "unit/support/StoredFiles.h"

#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

std::string Lines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
  return text;
}

const ArchiveContents kSample = {
    {"VLN2_Resources\\Resources.txt", "shared"},
    {"3DSMax6\\VorlaneBox.dlu", Lines(80)},
    {"SDK\\include\\VLN2.h", "#pragma once\n"},
    {"SDK\\empty.txt", ""},
};

class HostileFilesTest : public CoreFixture {
 protected:
  // Opens an archive file, lists it and extracts everything; what it cost.
  struct Cost {
    int opened = 1;
    long allocations = 0;
    std::size_t largest = 0;
  };
  Cost ReadArchive(const std::string& path, const std::string& destination) {
    Cost cost;
    FailAllocation(0);  // counts from here
    {
      auto archive = ElementRef<Archive>::Create(kArchiveType);
      archive->SetArchiveMode(kArchiveRead);
      cost.opened = archive->OpenArchive(path.c_str());
      if (Iterator* it = archive->GetEntries()) {
        for (it->First(); !it->IsDone(); it->Next()) {
          auto* entry = static_cast<ArchiveEntry*>(static_cast<Element*>(it->Current()));
          EXPECT_NE(entry, nullptr);
        }
        archive->ReleaseEntries(&it);
      }
      archive->ExtractFolder(destination.c_str(), nullptr);
    }
    cost.allocations = AllocationsSinceHook();
    cost.largest = LargestAllocationSinceHook();
    return cost;
  }
  // Everything below the sandbox, as relative paths with '\' (folders end in one).
  std::set<std::string> Everything() {
    std::set<std::string> found;
    std::filesystem::path root(box_.NativePath(""));
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      std::string relative = std::filesystem::relative(it->path(), root).string();
      for (char& c : relative)
        if (c == '/') c = '\\';
      found.insert(relative + (it->is_directory() ? "\\" : ""));
    }
    return found;
  }

  Sandbox box_;
};

// ---- Cut short at every byte.

TEST_F(HostileFilesTest, AnArchiveCutAtEveryByteCostsOnlyWhatItHolds) {
  ASSERT_TRUE(BuildArchive(box_.Path("whole.dat"), kSample));
  const std::string whole = box_.ReadFile("whole.dat");
  Cost full = ReadArchive(box_.Path("whole.dat"), box_.Path("full\\"));
  ASSERT_EQ(full.opened, 0);
  EXPECT_EQ(box_.ReadFile("full\\3DSMax6\\VorlaneBox.dlu"), kSample[1].second);
  for (std::size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    box_.WriteFile("cut.dat", whole.substr(0, length));
    box_.Remove("out");
    Cost cost = ReadArchive(box_.Path("cut.dat"), box_.Path("out\\"));
    // Work and memory follow the bytes that are there: an entry record takes at least ten
    // of them, a text asks for at most its 16-bit count, a packed block for what its
    // bytes can inflate to.
    EXPECT_LE(cost.allocations, full.allocations) << "more work than the whole file";
    EXPECT_LE(cost.largest, std::max<std::size_t>(65536, 1032 * length + 4096));
    // What was extracted is whole: an entry cut short fails rather than writing part.
    for (const auto& [name, data] : kSample) {
      std::string relative = "out\\" + name;
      if (box_.Exists(relative) && !data.empty()) {
        std::string written = box_.ReadFile(relative);
        EXPECT_TRUE(written.empty() || written == data) << name << " written in part";
      }
    }
  }
}

TEST_F(HostileFilesTest, ADirectoryClaimingTwoBillionEntriesInAHundredBytesIsRefusedAtOnce) {
  // And a directory claiming two gigabytes: it is read from what the file holds.
  for (auto [size, count] : {std::pair{100u, 0x7FFFFFFFu}, {0x7FFFFFFFu, 1u}}) {
    std::string file = "VLN" + std::string(1, '\1') + std::string("\1\0\0\x4e", 4) +
                       std::string("RAW\0", 4) + StoredWord(size) + StoredWord(count);
    while (file.size() < 100) file += StoredText("a");
    file.resize(100, 'x');
    box_.WriteFile("claims.dat", file);
    Cost cost = ReadArchive(box_.Path("claims.dat"), box_.Path("out\\"));
    EXPECT_LT(cost.allocations, 40) << "entries were made for the claim";
    EXPECT_LE(cost.largest, 4096u);
    if (count != 1) {
      EXPECT_EQ(cost.opened, 1);
      EXPECT_FALSE(box_.Exists("out\\a"));
    }
  }
}

TEST_F(HostileFilesTest, ARecordCutAtEveryByteNamesOnlyWholePathsOfIt) {
  const std::string victim = box_.Path("inst\\victim.txt");
  const std::vector<std::string> files = {box_.Path("inst\\first.txt"), victim};
  const std::string record = StoredRecordBytes(files, {box_.Path("inst\\")});
  // Files named like every beginning of the victim's name: a path read in part would
  // name one of them.
  std::vector<std::string> decoys;
  for (std::size_t end = box_.Path("inst\\").size() + 1; end < victim.size(); ++end) {
    std::string decoy = victim.substr(0, end);
    if (decoy.back() == '.') continue;  // not a name Windows keeps
    decoys.push_back(box_.Relative(decoy));
    box_.WriteFile(decoys.back(), "decoy");
  }
  for (std::size_t length = 0; length <= record.size(); ++length) {
    SCOPED_TRACE("cut at " + std::to_string(length));
    box_.WriteFile("inst\\first.txt", "1");
    box_.WriteFile("inst\\victim.txt", "2");
    box_.WriteFile("Uninstall.info", record.substr(0, length));
    FailAllocation(0);
    {
      auto uninstaller = ElementRef<Uninstaller>::Create(kUninstallerType);
      // Only the whole record loads; what was read of a cut one is kept and replayed.
      EXPECT_EQ(uninstaller->Load(box_.Path("Uninstall.info").c_str()),
                length == record.size() ? 0 : 1);
      EXPECT_EQ(uninstaller->Save(box_.Path("copy.info").c_str()), 0);
      EXPECT_EQ(uninstaller->Uninstall(), 0);
    }
    EXPECT_LE(AllocationsSinceHook(), static_cast<long>(64 + 2 * length));
    EXPECT_LE(LargestAllocationSinceHook(), 65536u);
    StoredRecord copy = ParseStoredRecord(box_.ReadFile("copy.info"));
    EXPECT_TRUE(copy.complete);
    // The paths read are a beginning of the list, each whole.
    ASSERT_LE(copy.files.size(), files.size());
    for (std::size_t i = 0; i < copy.files.size(); ++i) EXPECT_EQ(copy.files[i], files[i]);
    for (const std::string& decoy : decoys) EXPECT_TRUE(box_.Exists(decoy)) << decoy;
    // The whole victim path is deleted only when the record held all of it.
    std::size_t victimEnd = 8 + StoredText(files[0]).size() + StoredText(victim).size();
    EXPECT_EQ(box_.Exists("inst\\victim.txt"), length < victimEnd);
  }
}

TEST_F(HostileFilesTest, ARecordClaimingTwoBillionFilesInAHundredBytesCostsItsBytes) {
  std::string record = StoredWord(0) + StoredWord(0x7FFFFFFF) + StoredText(box_.Path("listed.txt"));
  record.resize(100, '\0');  // the rest: empty texts, then the end
  box_.WriteFile("listed.txt", "x");
  box_.WriteFile("Uninstall.info", record);
  // Every allocation from the 400th on fails: a reading that went on past the end of the
  // file ends there and fails this test, rather than running for hours.
  FailAllocation(400, FailMode::kFromThenOn);
  {
    auto uninstaller = ElementRef<Uninstaller>::Create(kUninstallerType);
    EXPECT_EQ(uninstaller->Load(box_.Path("Uninstall.info").c_str()), 1);
    EXPECT_EQ(uninstaller->Uninstall(), 0);
  }
  EXPECT_FALSE(AllocationFailureHit()) << "400 allocations or more";
  EXPECT_FALSE(box_.Exists("listed.txt"));  // the whole records before the end still count
}

#ifndef _WIN32
TEST_F(HostileFilesTest, ARecordCannotClimbAboveADrivesFolder) {
  // On Windows C:\..\ is C:\ itself; a drive mapped to a folder must not lead above it.
  box_.WriteFile("drive\\inside.txt", "on the drive");
  box_.WriteFile("outside.txt", "above the drive's folder");
  PosixPort::MapDrive('D', box_.NativePath("drive").c_str());
  box_.WriteFile("Uninstall.info",
                 StoredRecordBytes({"D:\\..\\outside.txt", "D:\\a\\..\\..\\..\\outside.txt",
                                    "D:\\.\\x\\..\\inside.txt"},
                                   {}));
  {
    auto uninstaller = ElementRef<Uninstaller>::Create(kUninstallerType);
    EXPECT_EQ(uninstaller->Load(box_.Path("Uninstall.info").c_str()), 0);
    EXPECT_EQ(uninstaller->Uninstall(), 1) << "refused paths count as left";
  }
  PosixPort::MapDrive('D', nullptr);
  EXPECT_EQ(box_.ReadFile("outside.txt"), "above the drive's folder");
  EXPECT_TRUE(box_.Exists("drive\\inside.txt"));  // named through "." and ".." levels
}
#endif

#ifndef _WIN32
// ---- Links planted by an ordinary user in the folders the elevated installer writes to,
// natively with real links. The sentinel lies outside the sandbox and never changes.

class PlantedLinkTest : public HostileFilesTest {
 protected:
  void SetUp() override {
    HostileFilesTest::SetUp();
    std::string pattern = std::filesystem::temp_directory_path().string() + "/vln2-outside-XXXXXX";
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    outside_ = pattern;
    WriteOutside("sentinel.txt", "sentinel");
    box_.MakeFolder("tmp");
    box_.MakeFolder("Vorlane\\Toolbox");
    app_ = new FakeSystemApp(core_, box_.Path("Vorlane\\"), box_.Path("tmp\\"));
    core_->SetSystemApp(app_);
    ASSERT_TRUE(BuildArchive(box_.Path("payload.dat"),
                             {{"3DSMax6\\a.txt", "payload"}, {"3DSMax6\\sub\\b.txt", "payload"}}));
  }
  void TearDown() override {
    EXPECT_EQ(ReadOutside("sentinel.txt"), "sentinel");
    std::error_code ignored;
    std::filesystem::remove_all(outside_, ignored);
    HostileFilesTest::TearDown();
  }
  void WriteOutside(const std::string& name, const std::string& bytes) {
    std::FILE* file = std::fopen((outside_ + "/" + name).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  std::string ReadOutside(const std::string& name) {
    std::FILE* file = std::fopen((outside_ + "/" + name).c_str(), "rb");
    if (!file) return "<missing>";
    std::string bytes;
    char buffer[256];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
  }
  // Installs the 3ds Max 6 target into folder; its result and the report shown.
  int Install(const std::string& folder, std::string* report) {
    int result = 1;
    {
      auto install = ElementRef<ToolboxInstall>::Create(kToolboxInstallType);
      result =
          install->InstallTarget(kTarget3dsMax6, box_.Path("payload.dat").c_str(), folder.c_str());
      install->ShowReport();
    }
    *report = app_->boxes.empty() ? "" : app_->boxes.back().text;
    return result;
  }
  std::string outside_;
  FakeSystemApp* app_ = nullptr;
};

TEST_F(PlantedLinkTest, NothingIsWrittenThroughALinkPlantedInTheTarget) {
  const std::string failure = FindTarget(kTarget3dsMax6)->failureText;
  const struct {
    const char* what;
    std::function<void(const std::string& dest)> plant;
    int result;
  } kRows[] = {
      {"a folder link at a subfolder",
       [&](const std::string& dest) { ::symlink(outside_.c_str(), (dest + "/sub").c_str()); }, 1},
      {"a file link at an entry's name",
       [&](const std::string& dest) {
         ::symlink((outside_ + "/sentinel.txt").c_str(), (dest + "/a.txt").c_str());
       },
       1},
      {"a hard link at an entry's name is replaced",
       [&](const std::string& dest) {
         ::link((outside_ + "/sentinel.txt").c_str(), (dest + "/a.txt").c_str());
       },
       0},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.what);
    // No record of the row before: its replay would remove what this row plants.
    box_.Remove("Vorlane\\Toolbox\\Uninstall.info");
    box_.Remove("dest");
    box_.MakeFolder("dest");
    row.plant(box_.NativePath("dest"));
    std::string report;
    EXPECT_EQ(Install(box_.Path("dest\\"), &report), row.result);
    EXPECT_EQ(report.find(failure) != std::string::npos, row.result != 0) << report;
    EXPECT_FALSE(std::filesystem::exists(outside_ + "/b.txt"));
    if (row.result == 0) {
      EXPECT_EQ(box_.ReadFile("dest\\a.txt"), "payload");
    }
  }
}

TEST_F(PlantedLinkTest, AFolderSwappedForALinkBetweenCheckAndWriteIsCaught) {
  // The first opening of b.txt finds its folder turned into a link just before.
  static std::string folder, outside;
  folder = box_.NativePath("dest\\sub");
  outside = outside_;
  WriteOutside("b.txt", "outside");
  auto swapping = [](const char* path, int flags, mode_t mode) -> int {
    // b.txt, or the name it is written under first.
    if (std::string(path).rfind(folder + "/b.txt", 0) == 0 &&
        !std::filesystem::is_symlink(folder)) {
      std::filesystem::remove_all(folder);
      ::symlink(outside.c_str(), folder.c_str());
    }
    return ::open(path, flags, mode);
  };
  int (*open)(const char*, int, mode_t) = swapping;
  PosixPort::SetSystemCall("open", reinterpret_cast<PosixPort::SystemCall>(open));
  std::string report;
  EXPECT_EQ(Install(box_.Path("dest\\"), &report), 1);
  PosixPort::SetSystemCall("open", nullptr);
  EXPECT_NE(report.find(FindTarget(kTarget3dsMax6)->failureText), std::string::npos);
  // Nothing but the sentinel and b.txt at the link's target: no file, under any name.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outside_),
                          std::filesystem::directory_iterator()),
            2);
  EXPECT_EQ(ReadOutside("b.txt"), "outside") << "written or deleted through the link";
  // The replay: the folder turns into a link between its check and the listed file's opening.
  std::filesystem::remove(folder);
  box_.WriteFile("dest\\sub\\b.txt", "installed");
  auto uninstaller = ElementRef<Uninstaller>::Create(kUninstallerType);
  uninstaller->AddFileEntry(box_.Path("dest\\sub\\b.txt").c_str());
  PosixPort::SetSystemCall("open", reinterpret_cast<PosixPort::SystemCall>(open));
  EXPECT_EQ(uninstaller->Uninstall(), 1);
  PosixPort::SetSystemCall("open", nullptr);
  EXPECT_EQ(ReadOutside("b.txt"), "outside") << "deleted through the link";
}

TEST_F(PlantedLinkTest, ADestinationBelowALinkIsRecordedAtItsRealPlace) {
  box_.MakeFolder("real");
  ASSERT_EQ(::symlink(box_.NativePath("real").c_str(), box_.NativePath("chosen").c_str()), 0);
  std::string report;
  EXPECT_EQ(Install(box_.Path("chosen\\dest\\"), &report), 0);
  EXPECT_EQ(box_.ReadFile("real\\dest\\sub\\b.txt"), "payload");
  StoredRecord record = ParseStoredRecord(box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info"));
  ASSERT_EQ(record.files.size(), 3u);  // the record lists itself last
  EXPECT_EQ(record.files[0], box_.Path("real\\dest\\a.txt"));
  // The next installation's replay, which refuses links on the way, removes them.
  { auto next = ElementRef<ToolboxInstall>::Create(kToolboxInstallType); }
  EXPECT_FALSE(box_.Exists("real\\dest"));
  // A real place too long for the system, behind a chosen folder short enough: nothing written.
  const std::string deep = "real\\" + std::string(240, 'd');
  box_.MakeFolder(deep);
  ASSERT_EQ(::symlink(box_.NativePath(deep).c_str(), box_.NativePath("short").c_str()), 0);
  EXPECT_EQ(Install(box_.Path("short\\"), &report), 1);
  EXPECT_TRUE(box_.FilesBelow("real").empty());
}

TEST_F(PlantedLinkTest, ALinkAtTheRecordsTemporaryNameIsNotWrittenThrough) {
  ASSERT_EQ(::symlink((outside_ + "/sentinel.txt").c_str(),
                      box_.NativePath("Uninstall.info.saving").c_str()),
            0);
  auto uninstaller = ElementRef<Uninstaller>::Create(kUninstallerType);
  EXPECT_EQ(uninstaller->Save(box_.Path("Uninstall.info").c_str()), 1);
  EXPECT_FALSE(box_.Exists("Uninstall.info"));
}

TEST_F(PlantedLinkTest, TheReplayActsOnlyOnPathsAnInstallationCouldHaveWritten) {
  WriteOutside("far.txt", "far");
  box_.MakeFolder("inst\\empty");
  for (const char* victim : {"v1.txt", "v2.txt", "v3.txt.", "NUL", "v5.txt", "ok.txt"})
    box_.WriteFile(std::string("inst\\") + victim, "victim");
  ASSERT_EQ(::symlink(outside_.c_str(), box_.NativePath("inst\\dirlink").c_str()), 0);
  ASSERT_EQ(::symlink((outside_ + "/sentinel.txt").c_str(),
                      box_.NativePath("inst\\filelink.txt").c_str()),
            0);
  const std::string inst = box_.Path("inst\\");
  const std::vector<std::string> files = {
      inst + ".\\v1.txt",
      inst + "x\\..\\v2.txt",
      inst + "v3.txt.",
      inst + "NUL",
      "\\\\?\\" + inst + "v5.txt",
      "\\\\localhost\\share\\v5.txt",
      "inst\\v5.txt",
      inst + "dirlink\\far.txt",
      inst + "filelink.txt",
      inst + "ok.txt:stream",
      inst + "ok.txt",
  };
  box_.MakeFolder("inst\\kept.");
  std::filesystem::create_directory(outside_ + "/sub");
  const std::vector<std::string> folders = {inst + "dirlink\\", inst + "empty\\", inst + "kept.\\",
                                            inst + "dirlink\\sub\\"};
  box_.WriteFile("Uninstall.info", StoredRecordBytes(files, folders));
  {
    auto uninstaller = ElementRef<Uninstaller>::Create(kUninstallerType);
    ASSERT_EQ(uninstaller->Load(box_.Path("Uninstall.info").c_str()), 0);
    EXPECT_EQ(uninstaller->Uninstall(), 1) << "files were left";
  }
  for (const char* kept :
       {"v1.txt", "v2.txt", "v3.txt.", "NUL", "v5.txt", "dirlink", "filelink.txt"})
    EXPECT_TRUE(box_.Exists(std::string("inst\\") + kept)) << kept;
  EXPECT_FALSE(box_.Exists("inst\\ok.txt"));
  EXPECT_FALSE(box_.Exists("inst\\empty"));
  EXPECT_TRUE(box_.Exists("inst\\kept."));
  EXPECT_TRUE(std::filesystem::exists(outside_ + "/sub"));
  EXPECT_EQ(ReadOutside("far.txt"), "far");
}
#endif

// ---- Entry names that try to leave the destination, against the platform's own files.

TEST_F(HostileFilesTest, HostileEntryNamesWriteNothingOutsideTheDestination) {
  const std::string tag = std::to_string(ProcessId());
  const std::string rooted = "vln2-rooted-" + tag + ".txt";
  const std::string onDrive = "vln2-drive-" + tag + ".txt";
  const ArchiveContents hostile = {
      {"good\\ok.txt", "fine"},  // first: no entry after a refused one is written
      {"..\\up1.txt", "x"},
      {"..\\..\\up2.txt", "x"},
      {"SDK\\..\\..\\..\\up3.txt", "x"},
      {"C:\\" + onDrive, "x"},
      {"\\" + rooted, "x"},
      {"/" + rooted, "x"},
      {"CON", "x"},
      {"nul.txt", "x"},
      {"dir\\aux.h", "x"},
      {"COM1.log", "x"},
      {"a:stream", "x"},
      {"x.", "x"},
      {"y ", "x"},
      {"dir\\.\\z.txt", "x"},
      {"w*.txt", "x"},
  };
  ASSERT_TRUE(BuildArchive(box_.Path("hostile.dat"), hostile));
  box_.MakeFolder("dest\\sub");
  const std::set<std::string> before = Everything();
  {
    auto archive = ElementRef<Archive>::Create(kArchiveType);
    archive->SetArchiveMode(kArchiveRead);
    ASSERT_EQ(archive->OpenArchive(box_.Path("hostile.dat").c_str()), 0);
    EXPECT_EQ(archive->ExtractFolder(box_.Path("dest\\sub\\").c_str(), nullptr), 1);
    EXPECT_EQ(archive->ExtractFolder(box_.Path("dest\\sdk\\").c_str(), "SDK\\"), 1);
  }
  std::set<std::string> expected = before;
  expected.insert("dest\\sub\\good\\");
  expected.insert("dest\\sub\\good\\ok.txt");
  EXPECT_EQ(Everything(), expected);
  EXPECT_EQ(box_.ReadFile("dest\\sub\\good\\ok.txt"), "fine");
  // Nothing at the roots either.
  EXPECT_NE(PathExists(("C:\\" + onDrive).c_str()), 0);
  EXPECT_NE(PathExists(("\\" + rooted).c_str()), 0);
}

}  // namespace
}  // namespace VLN2
