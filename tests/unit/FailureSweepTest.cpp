// Memory running out anywhere in the installer's main paths: every allocation of each
// scenario is made to fail in turn, once and from then on, and each run must give the
// documented failure result or the whole result, never a crash, a leak or a success that
// is not one. The number of allocations a complete run makes is printed and recorded.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
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
#include "system/SystemAppImp.h"
#include "system/port/Port.h"
#include "unit/support/ArchiveBuilder.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/FakeSystemApp.h"
#include "unit/support/Sandbox.h"
#include "unit/support/StoredFiles.h"
#include "unit/support/TestRegistry.h"

#ifndef _WIN32
#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

// Text that zlib packs, but not into nothing.
std::string Lines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
  return text;
}

const ArchiveContents kPayload = {
    {"VLN2_Resources\\Resources.txt", "shared"},
    {"VLN2_Resources\\Shaders\\Default.fx", Lines(200)},
    {"3DSMax6\\VorlaneBox.dlu", Lines(600)},   // packed
    {"3DSMax6\\VorlaneBox.ini", "[Vorlane]"},  // stored: too short to pack
    {"SDK\\include\\VLN2\\VLN2.h", Lines(50)},
    {"SDK\\ReadMe.txt", "read me"},
};

std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (const auto& [name, data] : kPayload) names.push_back(name);
  return names;
}

// Everything a stream gives, read the way the installer copies entries.
std::string ReadAll(Stream* stream) {
  std::string data;
  char piece[1024];
  int got;
  while ((got = stream->ReadData(piece, sizeof piece)) > 0) data.append(piece, got);
  return data;
}

class FailureSweepTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    ASSERT_TRUE(BuildArchive(archive_, kPayload));
  }
  void Report(const char* scenario, long allocations) {
    RecordProperty(scenario, static_cast<int>(allocations));
    std::printf("[ sweep    ] %s: %ld allocations\n", scenario, allocations);
  }
  // The files below a folder of the sandbox, as Windows paths.
  std::set<std::string> FilesBelow(const std::string& relative) {
    std::set<std::string> files;
    for (const std::string& file : box_.FilesBelow(relative)) files.insert(box_.Path(file));
    return files;
  }

  Sandbox box_;
  const std::string archive_ = box_.Path("Archive.DAT");
};

TEST_F(FailureSweepTest, OpeningAndListingAnArchive) {
  long made = SweepAllocationFailuresBothModes([&] {
    auto archive = ElementRef<Archive>::Create(kArchiveType);
    if (!archive) return;  // creation gives null
    ASSERT_EQ(archive->SetArchiveMode(kArchiveRead), 0);
    int opened = archive->OpenArchive(archive_.c_str());
    if (!AllocationFailureHit()) {
      EXPECT_EQ(opened, 0);
    }
    Iterator* it = archive->GetEntries();
    if (!it) {
      EXPECT_TRUE(AllocationFailureHit());
      return;
    }
    std::vector<std::string> names;
    for (it->First(); !it->IsDone(); it->Next()) {
      auto* entry = static_cast<ArchiveEntry*>(static_cast<Element*>(it->Current()));
      names.push_back(entry && entry->GetEntryName() ? entry->GetEntryName() : "(none)");
    }
    archive->ReleaseEntries(&it);
    if (opened == 0) {
      EXPECT_EQ(names, Names());  // a directory that opened is whole
    } else {
      EXPECT_EQ(opened, 1);
      EXPECT_TRUE(names.empty());  // a failed opening leaves no half directory
    }
  });
  Report("open and list an archive", made);
}

TEST_F(FailureSweepTest, ExtractingAPackedAndAStoredEntry) {
  const std::string packed = kPayload[2].second;
  const std::string stored = kPayload[3].second;
  long made = SweepAllocationFailuresBothModes([&] {
    box_.Remove("dest");
    auto archive = ElementRef<Archive>::Create(kArchiveType);
    if (!archive) return;
    archive->SetArchiveMode(kArchiveRead);
    if (archive->OpenArchive(archive_.c_str()) != 0) {
      EXPECT_TRUE(AllocationFailureHit());
      return;
    }
    for (const auto& [name, data] : {kPayload[2], kPayload[3]}) {
      Stream* stream = archive->OpenEntry(name.c_str());
      // Data comes whole or not at all.
      if (stream) {
        EXPECT_EQ(ReadAll(stream), data) << name;
      } else {
        EXPECT_TRUE(AllocationFailureHit()) << name;
      }
      archive->CloseEntry();
    }
    int extracted = archive->ExtractFolder(box_.Path("dest\\").c_str(), "3DSMax6\\");
    if (!AllocationFailureHit()) {
      EXPECT_EQ(extracted, 0);
    }
    if (extracted == 0) {
      EXPECT_EQ(box_.ReadFile("dest\\VorlaneBox.dlu"), packed);
      EXPECT_EQ(box_.ReadFile("dest\\VorlaneBox.ini"), stored);
    } else {
      EXPECT_EQ(extracted, 1);
    }
    archive->CloseArchive();
  });
  box_.Remove("dest");
  Report("extract a packed and a stored entry", made);
}

TEST_F(FailureSweepTest, BuildingAnArchive) {
  long made = SweepAllocationFailuresBothModes([&] {
    box_.Remove("built.dat");
    bool built = BuildArchive(box_.Path("built.dat"), kPayload);
    if (!AllocationFailureHit()) {
      EXPECT_TRUE(built);
    }
    // A build that reports success wrote every entry; a block that could not be packed
    // for want of memory is stored instead, which reads the same.
    if (built) {
      StoredArchive stored = ParseStoredArchive(box_.ReadFile("built.dat"));
      EXPECT_TRUE(stored.whole) << stored.fault;
      EXPECT_EQ(stored.Contents(), kPayload);
    }
  });
  Report("build an archive", made);
}

TEST_F(FailureSweepTest, LoadingSavingAndReplayingARecord) {
  const std::vector<std::string> files = {box_.Path("inst\\a.txt"), box_.Path("inst\\sub\\b.txt"),
                                          box_.Path("inst\\sub\\deeper\\c.txt")};
  const std::vector<std::string> folders = {box_.Path("inst\\"), box_.Path("inst\\sub\\"),
                                            box_.Path("inst\\sub\\deeper\\")};
  const std::string record = StoredRecordBytes(files, folders);
  box_.WriteFile("keep.txt", "not listed");
  long made = SweepAllocationFailuresBothModes([&] {
    box_.WriteFile("inst\\a.txt", "a");
    box_.WriteFile("inst\\sub\\b.txt", "b");
    box_.WriteFile("inst\\sub\\deeper\\c.txt", "c");
    box_.WriteFile("Uninstall.info", record);
    box_.Remove("copy.info");
    auto uninstaller = ElementRef<Uninstaller>::Create(kUninstallerType);
    if (!uninstaller) return;
    int loaded = uninstaller->Load(box_.Path("Uninstall.info").c_str());
    int saved = uninstaller->Save(box_.Path("copy.info").c_str());
    int replayed = uninstaller->Uninstall();
    if (!AllocationFailureHit()) {
      EXPECT_EQ(loaded, 0);
      EXPECT_EQ(saved, 0);
      EXPECT_EQ(replayed, 0);
      EXPECT_FALSE(box_.Exists("inst"));
    }
    // A record that loaded is whole: saved, it gives the same bytes, and replayed, it
    // deletes every file it lists.
    if (loaded == 0 && saved == 0) {
      EXPECT_EQ(box_.ReadFile("copy.info"), record);
    }
    if (loaded == 0 && replayed == 0) {
      for (const char* file : {"inst\\a.txt", "inst\\sub\\b.txt", "inst\\sub\\deeper\\c.txt"})
        EXPECT_FALSE(box_.Exists(file)) << file;
    }
    EXPECT_EQ(box_.ReadFile("keep.txt"), "not listed");
  });
  Report("load, save and replay a record", made);
}

TEST_F(FailureSweepTest, MakingAndCleaningTheTemporaryFolder) {
  TestRegistry registry;
#ifndef _WIN32
  registry.StandIn();
  registry.SetText(Port::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\",
                   "ProgramFilesDir", "D:\\Apps");
  PosixPort::SetTempPath(box_.Path("Temp\\").c_str());
#endif
  char temp[260];
  ASSERT_GT(Port::GetTempPath(temp, sizeof temp), 0u);
  const std::string system = temp;
  // Someone else's file beside the private folder.
  const std::string sentinel = system + "vln2-sweep-sentinel.txt";
  ASSERT_EQ(CreateFolders(sentinel.c_str()), 0);
  Port::FileHandle file = Port::OpenFile(sentinel.c_str(), Port::kAccessWrite, false);
  ASSERT_NE(file, nullptr);
  std::uint32_t done = 0;
  Port::WriteFile(file, "theirs", 6, &done);
  Port::CloseFile(file);
  int leftBehind = 0;
  FailMode mode = FailMode::kOnce;
  auto scenario = [&] {
    auto* app = new SystemAppImp(core_, nullptr, nullptr, 0);
    if (!app) return;
    int init = app->Init();
    if (!AllocationFailureHit()) {
      EXPECT_EQ(init, 0);
      EXPECT_NE(app->GetTempFolder(), nullptr);
      EXPECT_NE(app->GetToolboxFolder(), nullptr);
    } else {
      EXPECT_TRUE(init == 0 || init == 1);
    }
    std::string folder = app->GetTempFolder() ? app->GetTempFolder() : "";
    if (!folder.empty()) {
      // The private folder is new, below the system's, and holds what the driver puts
      // there.
      EXPECT_EQ(folder.compare(0, system.size() + 3, system + "VLN"), 0) << folder;
      EXPECT_EQ(PathExists(folder.substr(0, folder.size() - 1).c_str()), 0) << folder;
      Port::FileHandle archive =
          Port::OpenFile((folder + "Archive.DAT").c_str(), Port::kAccessWrite, false);
      EXPECT_NE(archive, nullptr);
      Port::WriteFile(archive, "data", 4, &done);
      Port::CloseFile(archive);
    }
    bool hitBeforeCleanUp = AllocationFailureHit();
    app->Release();
    if (!folder.empty()) {
      bool gone = PathExists(folder.substr(0, folder.size() - 1).c_str()) != 0;
      // With memory enough for the clean-up itself, the folder goes.
      if (!AllocationFailureHit() || (hitBeforeCleanUp && mode == FailMode::kOnce)) {
        EXPECT_TRUE(gone) << folder;
      }
      if (!gone) {
        // Clean-up that ran out of memory leaves the folder with only its own file.
        ++leftBehind;
        EXPECT_EQ(RemoveFile((folder + "Archive.DAT").c_str()), 0) << folder;
        EXPECT_EQ(RemoveFolder(folder.c_str()), 0) << folder << " held more than its file";
      }
    }
    Port::FileHandle check = Port::OpenFile(sentinel.c_str(), Port::kAccessRead, false);
    EXPECT_NE(check, nullptr) << "someone else's file went";
    char read[8] = {};
    if (check) Port::ReadFile(check, read, 6, &done);
    Port::CloseFile(check);
    EXPECT_STREQ(read, "theirs");
  };
  long made = SweepAllocationFailures(scenario, mode);
  mode = FailMode::kFromThenOn;
  EXPECT_EQ(SweepAllocationFailures(scenario, mode), made);
  RemoveFile(sentinel.c_str());
  std::printf("[ sweep    ] runs whose clean-up ran out of memory and left the folder: %d\n",
              leftBehind);
  Report("create and clean the temporary folder", made);
#ifndef _WIN32
  PosixPort::SetTempPath(nullptr);
#endif
}

TEST_F(FailureSweepTest, AWholeInstallationOfTwoTargets) {
  const Target* max6 = FindTarget(kTarget3dsMax6);
  const Target* sdk = FindTarget(kTargetSDK);
  long made = SweepAllocationFailuresBothModes([&] {
    box_.Remove("Vorlane");
    box_.Remove("Max");
    box_.Remove("SDK");
    auto* app = new FakeSystemApp(core_, box_.Path("Vorlane\\"), box_.Root());
    core_->SetSystemApp(app);
    int first = 1, second = 1;
    {
      auto install = ElementRef<ToolboxInstall>::Create(kToolboxInstallType);
      if (!install) return;
      install->InstallSharedFiles(archive_.c_str());
      first = install->InstallTarget(kTarget3dsMax6, archive_.c_str(), box_.Path("Max\\").c_str());
      second = install->InstallTarget(kTargetSDK, archive_.c_str(), box_.Path("SDK\\").c_str());
      install->ShowReport();
    }
    // What a target ended as is what the report says: one that went in goes back when the
    // record cannot be written. Without a report there is nothing to hold the files to.
    bool reported = app && app->boxes.size() == 1;
    first = reported && app->boxes[0].text.find(max6->successText) != std::string::npos ? 0 : 1;
    second = reported && app->boxes[0].text.find(sdk->successText) != std::string::npos ? 0 : 1;
    // A target reported installed has every file, whole.
    if (first == 0) {
      EXPECT_EQ(box_.ReadFile("Max\\VorlaneBox.dlu"), kPayload[2].second);
      EXPECT_EQ(box_.ReadFile("Max\\VorlaneBox.ini"), kPayload[3].second);
    }
    if (second == 0) {
      EXPECT_EQ(box_.ReadFile("SDK\\include\\VLN2\\VLN2.h"), kPayload[4].second);
      EXPECT_EQ(box_.ReadFile("SDK\\ReadMe.txt"), kPayload[5].second);
    }
    // The report, when shown, tells each attempted target's outcome as it was, and that
    // the record is missing when it is: a record is whole or absent.
    StoredRecord record = ParseStoredRecord(box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info"));
    EXPECT_EQ(record.complete, box_.Exists("Vorlane\\Toolbox\\Uninstall.info"));
    std::string expected = std::string(first == 0 ? max6->successText : max6->failureText) +
                           (second == 0 ? sdk->successText : sdk->failureText);
    if (app && !app->boxes.empty()) {
      EXPECT_EQ(app->boxes.size(), 1u);
      EXPECT_EQ(app->boxes[0].text.find(expected), 0u);
      EXPECT_EQ(app->boxes[0].text.find("Uninstall.info could not be written") != std::string::npos,
                !record.complete);
    }
    // A record written whole lists every file the installation left.
    if (record.complete) {
      std::set<std::string> listed(record.files.begin(), record.files.end());
      // The record file itself is exempt: the next installation writes its own there; and a
      // journal left when memory ran out is the next start's to finish.
      listed.insert(box_.Path("Vorlane\\Toolbox\\Uninstall.info"));
      listed.insert(box_.Path("Vorlane\\Toolbox\\Uninstall.journal"));
      for (const char* folder : {"Max", "SDK", "Vorlane"})
        for (const std::string& path : FilesBelow(folder))
          EXPECT_TRUE(listed.count(path)) << path << " is not in the record";
    }
    if (!AllocationFailureHit()) {
      EXPECT_EQ(first, 0);
      EXPECT_EQ(second, 0);
      ASSERT_NE(app, nullptr);
      ASSERT_EQ(app->boxes.size(), 1u);
      EXPECT_EQ(app->boxes[0].text, std::string(max6->successText) + sdk->successText);
      EXPECT_TRUE(record.complete);
      EXPECT_EQ(record.files.size(), 7u);
    }
  });
  Report("a whole installation of two targets", made);
}

}  // namespace
}  // namespace VLN2
