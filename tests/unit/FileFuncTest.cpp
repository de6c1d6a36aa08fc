#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "framework/ElementRef.h"
#include "framework/String.h"
#include "system/FileFunc.h"
#include "system/port/Port.h"
#include "unit/support/SandboxFixture.h"

#ifndef _WIN32
#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

class FileFuncTest : public SandboxFixture {
 protected:
  std::string Path(const std::string& relative) { return box_->Path(relative); }
  // Removes the folders of a relative path, deepest first.
  void RemoveChain(std::string relative) {
    while (!relative.empty()) {
      Port::RemoveDirectory(Path(relative).c_str());
      std::size_t last = relative.find_last_of('\\');
      relative = last == std::string::npos ? "" : relative.substr(0, last);
    }
  }
};

// ---- CreateFolders.

TEST_F(FileFuncTest, CreateFoldersMakesEveryMissingLevelButNotTheFile) {
  box_->MakeFolder("a");
  EXPECT_EQ(CreateFolders(Path("a\\b\\c\\file.txt").c_str()), 0);
  EXPECT_TRUE(box_->Exists("a\\b"));
  EXPECT_TRUE(box_->Exists("a\\b\\c"));
  EXPECT_FALSE(box_->Exists("a\\b\\c\\file.txt"));
}

TEST_F(FileFuncTest, CreateFoldersOfAFolderPath) {
  EXPECT_EQ(CreateFolders(Path("a\\b\\").c_str()), 0);
  EXPECT_TRUE(box_->Exists("a"));
  EXPECT_TRUE(box_->Exists("a\\b"));
  // Forward slashes separate too; existing folders are left as they are.
  box_->WriteFile("a\\keep.txt", "k");
  EXPECT_EQ(CreateFolders(Path("a/b/d/x.bin").c_str()), 0);
  EXPECT_TRUE(box_->Exists("a\\b\\d"));
  EXPECT_EQ(box_->ReadFile("a\\keep.txt"), "k");
}

TEST_F(FileFuncTest, CreateFoldersOfManyLevels) {
  std::string deep;
  for (int i = 0; i < 12; ++i) deep += "level" + std::to_string(i) + "\\";
  EXPECT_EQ(CreateFolders(Path(deep + "f").c_str()), 0);
  EXPECT_TRUE(box_->Exists(deep.substr(0, deep.size() - 1)));
}

TEST_F(FileFuncTest, CreateFoldersWithoutDriveDoesNothing) {
  EXPECT_EQ(PathExists("vln2-no-such-dir"), 1);
  EXPECT_EQ(CreateFolders("vln2-no-such-dir\\file.txt"), 0);
  EXPECT_EQ(PathExists("vln2-no-such-dir"), 1);
  EXPECT_EQ(CreateFolders("file.txt"), 0);
  EXPECT_EQ(CreateFolders(""), 0);
  EXPECT_EQ(CreateFolders(nullptr), 0);
}

TEST_F(FileFuncTest, CreateFoldersReportsAFolderThatCouldNotBeMade) {
  // A file where a folder should be.
  box_->WriteFile("a\\b", "in the way");
  EXPECT_EQ(CreateFolders(Path("a\\b\\c\\file.txt").c_str()), 1);
  EXPECT_EQ(box_->ReadFile("a\\b"), "in the way");
}

#ifndef _WIN32
TEST_F(FileFuncTest, CreateFoldersKeepsWhatItMadeBeforeAFailure) {
  // The second folder creation (c) is refused; a and b were made and stay.
  PosixPort::FailSystemCall("mkdir", 4, EACCES, PosixPort::kFromThenOn);
  EXPECT_EQ(CreateFolders(Path("a\\b\\c\\d\\f").c_str()), 1);
  EXPECT_TRUE(box_->Exists("a\\b"));
  EXPECT_FALSE(box_->Exists("a\\b\\c"));
}
#endif

// A known folder spares the levels found real before: a path in it or above it asks
// nothing, one below it only for the new levels; a failure leaves it as it was.
TEST_F(FileFuncTest, CheckRealFoldersWithAKnownFolder) {
  KnownFolder known;
  EXPECT_EQ(CheckRealFolders(Path("a\\b\\one.txt").c_str(), true, &known), 0);
#ifndef _WIN32
  long lookups = PosixPort::SystemCallCount("lstat");
  long made = PosixPort::SystemCallCount("mkdir");
#endif
  EXPECT_EQ(CheckRealFolders(Path("a\\b\\two.txt").c_str(), true, &known), 0);
  EXPECT_EQ(CheckRealFolders(Path("a\\three.txt").c_str(), true, &known), 0);
#ifndef _WIN32
  EXPECT_EQ(PosixPort::SystemCallCount("lstat"), lookups);
#endif
  EXPECT_EQ(CheckRealFolders(Path("a\\b\\c\\d\\four.txt").c_str(), true, &known), 0);
#ifndef _WIN32
  EXPECT_EQ(PosixPort::SystemCallCount("mkdir"), made + 2);
  lookups = PosixPort::SystemCallCount("lstat");
#endif
  EXPECT_TRUE(box_->Exists("a\\b\\c\\d"));
  box_->WriteFile("a\\e", "in the way");
  EXPECT_EQ(CheckRealFolders(Path("a/e/f/five.txt").c_str(), true, &known), 1);
#ifndef _WIN32
  long failed = PosixPort::SystemCallCount("lstat");
#endif
  EXPECT_EQ(CheckRealFolders(Path("a\\b\\c\\d\\six.txt").c_str(), true, &known), 0);
#ifndef _WIN32
  EXPECT_GT(failed, lookups);
  EXPECT_EQ(PosixPort::SystemCallCount("lstat"), failed);
#endif
}

// A path longer than the system's names nothing the system can open: it is not looked at.
TEST_F(FileFuncTest, APathLongerThanTheSystemsIsNotLookedAt) {
  const std::string folder = Path(std::string(2000, 'a') + "\\");
  EXPECT_EQ(CheckRealFolders((folder + "f").c_str(), true, nullptr), 1);
  ElementRef<String> real = ElementRef<String>::Create(kStringType);
  EXPECT_EQ(RealFolderPath(folder.c_str(), real.get()), 0);
  EXPECT_EQ(real->GetText(), folder);
}

// ---- Existence.

TEST_F(FileFuncTest, PathExistsOfFilesFoldersAndPatterns) {
  box_->WriteFile("Windows\\notepad.exe", "MZ");
  EXPECT_EQ(PathExists(Path("Windows").c_str()), 0);
  EXPECT_EQ(PathExists(Path("Windows\\notepad.exe").c_str()), 0);
  // A trailing separator names nothing: callers strip it.
  EXPECT_EQ(PathExists(Path("Windows\\").c_str()), 1);
  EXPECT_EQ(PathExists(Path("Windows\\*.exe").c_str()), 0);
  EXPECT_EQ(PathExists(Path("Windows\\note?ad.*").c_str()), 0);
  EXPECT_EQ(PathExists(Path("Windows\\*.dll").c_str()), 1);
  EXPECT_EQ(PathExists(Path("Missing\\*.*").c_str()), 1);
  EXPECT_EQ(PathExists(Path("missing.txt").c_str()), 1);
  EXPECT_EQ(PathExists(nullptr), 1);
  EXPECT_EQ(PathExists(""), 1);
}

TEST_F(FileFuncTest, FolderOfPathExists) {
  box_->MakeFolder("Windows");
  EXPECT_EQ(FolderOfPathExists(Path("Windows\\notepad.exe").c_str()), 0);
  EXPECT_EQ(FolderOfPathExists(Path("Windows\\").c_str()), 0);
  EXPECT_EQ(FolderOfPathExists(Path("Missing\\notepad.exe").c_str()), 1);
  EXPECT_EQ(FolderOfPathExists(Path("Missing\\").c_str()), 1);
  // No folder part at all: nothing to miss.
  EXPECT_EQ(FolderOfPathExists("notepad.exe"), 0);
  EXPECT_EQ(FolderOfPathExists("relative\\notepad.exe"), 0);
  EXPECT_EQ(FolderOfPathExists(nullptr), 0);
}

// ---- Removing and renaming.

TEST_F(FileFuncTest, RemoveFolderOnlyWhenEmpty) {
  box_->WriteFile("full\\file.txt", "x");
  EXPECT_EQ(RemoveFolder(Path("full").c_str()), 1);
  EXPECT_EQ(box_->ReadFile("full\\file.txt"), "x");
  box_->MakeFolder("empty");
  EXPECT_EQ(RemoveFolder(Path("empty").c_str()), 0);
  EXPECT_FALSE(box_->Exists("empty"));
  EXPECT_EQ(RemoveFolder(Path("empty").c_str()), 1);
  EXPECT_EQ(RemoveFolder(nullptr), 1);
}

TEST_F(FileFuncTest, RemoveFile) {
  box_->WriteFile("file.txt", "x");
  box_->MakeFolder("folder");
  EXPECT_EQ(RemoveFile(Path("file.txt").c_str()), 0);
  EXPECT_FALSE(box_->Exists("file.txt"));
  EXPECT_EQ(RemoveFile(Path("file.txt").c_str()), 1);
  EXPECT_EQ(RemoveFile(Path("folder").c_str()), 1);
  EXPECT_TRUE(box_->Exists("folder"));
  EXPECT_EQ(RemoveFile(nullptr), 1);
}

TEST_F(FileFuncTest, RenameFile) {
  box_->WriteFile("old.txt", "data");
  box_->MakeFolder("sub");
  EXPECT_EQ(RenameFile(Path("old.txt").c_str(), Path("sub\\new.txt").c_str()), 0);
  EXPECT_EQ(box_->ReadFile("sub\\new.txt"), "data");
  EXPECT_FALSE(box_->Exists("old.txt"));
  EXPECT_EQ(RenameFile(Path("old.txt").c_str(), Path("other.txt").c_str()), 1);
  EXPECT_EQ(RenameFile(nullptr, Path("other.txt").c_str()), 1);
  EXPECT_EQ(RenameFile(Path("sub\\new.txt").c_str(), nullptr), 1);
}

// ---- Copying.

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

// ---- The port's calls for replacing the record and for the checks before an installation.

TEST_F(FileFuncTest, MoveFileReplacingPutsTheNewFileInThePlaceOfTheOld) {
  box_->WriteFile("record", "old");
  box_->WriteFile("record.new", "new");
  EXPECT_TRUE(Port::MoveFileReplacing(Path("record.new").c_str(), Path("record").c_str()));
  EXPECT_EQ(box_->ReadFile("record"), "new");
  EXPECT_FALSE(box_->Exists("record.new"));
  EXPECT_FALSE(Port::MoveFileReplacing(Path("missing").c_str(), Path("record").c_str()));
  EXPECT_EQ(box_->ReadFile("record"), "new");
}

TEST_F(FileFuncTest, AFileHeldForWritingIsInUseUntilItIsClosed) {
  box_->WriteFile("plug-in.dll", "code");
  Port::FileHandle held = Port::OpenFile(Path("plug-in.dll").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(held, nullptr);
  EXPECT_TRUE(Port::FlushFile(held));
  EXPECT_TRUE(Port::IsFileInUse(Path("plug-in.dll").c_str()));
  Port::CloseFile(held);
  EXPECT_FALSE(Port::IsFileInUse(Path("plug-in.dll").c_str()));
  EXPECT_FALSE(Port::IsFileInUse(Path("missing.dll").c_str()));
  EXPECT_EQ(box_->ReadFile("plug-in.dll"), "code");
}

TEST_F(FileFuncTest, TheVolumeOfAFolderTellsItsFreeBytes) {
  std::uint64_t free = 0;
  EXPECT_TRUE(Port::GetVolumeFreeBytes(box_->Root().c_str(), &free));
  EXPECT_GT(free, 0u);
  EXPECT_FALSE(Port::GetVolumeFreeBytes(Path("missing\\").c_str(), &free));
}

TEST_F(FileFuncTest, CopyFileContentsOverSeveralBlocks) {
  for (std::size_t size : {1u, 4095u, 4096u, 4097u, 10000u}) {
    box_->WriteFile("source.bin", Pattern(size));
    EXPECT_EQ(CopyFileContents(Path("source.bin").c_str(), Path("copy.bin").c_str()), 0);
    EXPECT_EQ(box_->ReadFile("copy.bin"), Pattern(size)) << size;
  }
}

TEST_F(FileFuncTest, CopyFileContentsReplacesALongerDestination) {
  box_->WriteFile("source.bin", "short");
  box_->WriteFile("copy.bin", "a much longer older content");
  EXPECT_EQ(CopyFileContents(Path("source.bin").c_str(), Path("copy.bin").c_str()), 0);
  EXPECT_EQ(box_->ReadFile("copy.bin"), "short");
}

TEST_F(FileFuncTest, CopyOfAnEmptySourceIsEmpty) {
  box_->WriteFile("empty.bin", "");
  EXPECT_EQ(CopyFileContents(Path("empty.bin").c_str(), Path("new.bin").c_str()), 0);
  EXPECT_TRUE(box_->Exists("new.bin"));
  EXPECT_EQ(box_->ReadFile("new.bin"), "");
  // Also over an existing destination, which must not keep its old contents.
  box_->WriteFile("old.bin", "old contents");
  EXPECT_EQ(CopyFileContents(Path("empty.bin").c_str(), Path("old.bin").c_str()), 0);
  EXPECT_EQ(box_->ReadFile("old.bin"), "");
}

TEST_F(FileFuncTest, CopyFromAMissingSourceCreatesNothing) {
  EXPECT_EQ(CopyFileContents(Path("missing.bin").c_str(), Path("copy.bin").c_str()), 1);
  EXPECT_FALSE(box_->Exists("copy.bin"));
  EXPECT_EQ(CopyFileContents(nullptr, Path("copy.bin").c_str()), 1);
  EXPECT_FALSE(box_->Exists("copy.bin"));
}

TEST_F(FileFuncTest, CopyToAPlaceThatCannotBeWritten) {
  box_->WriteFile("source.bin", "data");
  EXPECT_EQ(CopyFileContents(Path("source.bin").c_str(), Path("no\\such\\copy.bin").c_str()), 1);
  EXPECT_EQ(CopyFileContents(Path("source.bin").c_str(), nullptr), 1);
  // A destination held open for writing by someone else.
  Port::FileHandle holder = Port::OpenFile(Path("held.bin").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(holder, nullptr);
  EXPECT_EQ(CopyFileContents(Path("source.bin").c_str(), Path("held.bin").c_str()), 1);
  Port::CloseFile(holder);
  EXPECT_EQ(box_->ReadFile("held.bin"), "");
  // The source is closed again: it can be removed.
  EXPECT_EQ(RemoveFile(Path("source.bin").c_str()), 0);
}

TEST_F(FileFuncTest, CopyOntoAReadOnlyFileFails) {
  box_->WriteFile("source.bin", "data");
  box_->WriteFile("locked.bin", "locked");
  if (!MakeReadOnly("locked.bin")) GTEST_SKIP() << "this user may write read-only files";
  EXPECT_EQ(CopyFileContents(Path("source.bin").c_str(), Path("locked.bin").c_str()), 1);
  EXPECT_EQ(box_->ReadFile("locked.bin"), "locked");
}

#ifndef _WIN32
TEST_F(FileFuncTest, CopyOntoAFullDiskFails) {
  box_->WriteFile("source.bin", Pattern(10000));
  PosixPort::FailSystemCall("write", 2, ENOSPC, PosixPort::kFromThenOn);
  EXPECT_EQ(CopyFileContents(Path("source.bin").c_str(), Path("copy.bin").c_str()), 1);
  // The part written before stays.
  EXPECT_EQ(box_->ReadFile("copy.bin"), Pattern(4096));
}

TEST_F(FileFuncTest, ASourceThatCannotBeReadEndsTheCopy) {
  box_->WriteFile("source.bin", Pattern(10000));
  PosixPort::FailSystemCall("read", 2, EIO);
  EXPECT_EQ(CopyFileContents(Path("source.bin").c_str(), Path("copy.bin").c_str()), 1);
  // Nothing but what was read is written.
  EXPECT_EQ(box_->ReadFile("copy.bin"), Pattern(4096));
}
#endif

// ---- The element.

TEST_F(FileFuncTest, TheElementForwards) {
  ElementRef<FileFunc> files = ElementRef<FileFunc>::Create(kFileFuncType);
  ASSERT_TRUE(files);
  EXPECT_EQ(files->GetTypeId(), kFileFuncType);
  EXPECT_EQ(files->Cast(kStreamInterface), nullptr);
  EXPECT_EQ(files->Cast(kFileFuncType), nullptr);
  EXPECT_EQ(files->CreateFolders(Path("x\\y\\f").c_str()), 0);
  EXPECT_EQ(files->PathExists(Path("x\\y").c_str()), 0);
  EXPECT_EQ(files->FolderOfPathExists(Path("x\\y\\f").c_str()), 0);
  box_->WriteFile("x\\y\\f", "1");
  EXPECT_EQ(files->CopyFileContents(Path("x\\y\\f").c_str(), Path("x\\g").c_str()), 0);
  EXPECT_EQ(files->RenameFile(Path("x\\g").c_str(), Path("x\\h").c_str()), 0);
  EXPECT_EQ(files->RemoveFile(Path("x\\h").c_str()), 0);
  EXPECT_EQ(files->RemoveFolder(Path("x\\y").c_str()), 1);
  EXPECT_EQ(files->RemoveFile(Path("x\\y\\f").c_str()), 0);
  EXPECT_EQ(files->RemoveFolder(Path("x\\y").c_str()), 0);
  // The creation parameter is ignored.
  Element* withParameter = core_->CreateElement(kFileFuncType, 42);
  ASSERT_NE(withParameter, nullptr);
  ReleaseElement(withParameter);
}

// ---- Memory running out.

TEST_F(FileFuncTest, CreateFoldersWhenMemoryRunsOut) {
  SweepAllocationFailuresBothModes([this] {
    int result = CreateFolders(Path("s\\t\\u\\file.txt").c_str());
    if (!AllocationFailureHit()) {
      EXPECT_EQ(result, 0);
    }
    // Never a folder in a wrong place; the result tells the truth.
    EXPECT_EQ(result == 0, box_->Exists("s\\t\\u"));
    EXPECT_EQ(PathExists("\\s"), 1);
    EXPECT_EQ(PathExists("s"), 1);
    RemoveChain("s\\t\\u");
    // Folders made in a wrong place go again (only empty ones), so that they fail no later run.
    for (const char* stray : {"\\s\\t\\u", "\\s\\t", "\\s", "s\\t\\u", "s\\t", "s"})
      Port::RemoveDirectory(stray);
  });
}

TEST_F(FileFuncTest, FolderOfPathExistsWhenMemoryRunsOut) {
  box_->MakeFolder("here");
  SweepAllocationFailuresBothModes([this] {
    int present = FolderOfPathExists(Path("here\\file").c_str());
    int absent = FolderOfPathExists(Path("gone\\file").c_str());
    if (!AllocationFailureHit()) {
      EXPECT_EQ(present, 0);
    }
    EXPECT_EQ(absent, 1);
  });
}

TEST_F(FileFuncTest, CopyFileContentsWhenMemoryRunsOut) {
  box_->WriteFile("source.bin", Pattern(9000));
  SweepAllocationFailuresBothModes([this] {
    int result = CopyFileContents(Path("source.bin").c_str(), Path("copy.bin").c_str());
    if (!AllocationFailureHit()) {
      EXPECT_EQ(result, 0);
    }
    if (result == 0) {
      EXPECT_EQ(box_->ReadFile("copy.bin"), Pattern(9000));
    }
    Port::DeleteFile(Path("copy.bin").c_str());
  });
}

}  // namespace
}  // namespace VLN2
