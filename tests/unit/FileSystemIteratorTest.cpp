#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/ElementRef.h"
#include "system/FileSystemIterator.h"
#include "unit/support/SandboxFixture.h"

#ifndef _WIN32
#include <unistd.h>

#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

// What the callbacks saw, and what they answer.
struct Log {
  std::vector<std::string> calls;  // "file:<path>" or "folder:<path>"
  // The answer for a path: the first rule whose text the path ends with, else 0.
  std::vector<std::pair<std::string, int>> answers;
  int Answer(const std::string& path) const {
    for (const auto& rule : answers)
      if (path.size() >= rule.first.size() &&
          path.compare(path.size() - rule.first.size(), rule.first.size(), rule.first) == 0)
        return rule.second;
    return 0;
  }
};

int OnFile(const char* path, void* context) {
  Log* log = static_cast<Log*>(context);
  log->calls.push_back(std::string("file:") + path);
  return log->Answer(path);
}

int OnFolder(const char* path, void* context) {
  Log* log = static_cast<Log*>(context);
  log->calls.push_back(std::string("folder:") + path);
  return log->Answer(path);
}

int Throws(const char*, void*) { throw std::runtime_error("callback failed"); }

class FileSystemIteratorTest : public SandboxFixture {
 protected:
  void SetUp() override {
    SandboxFixture::SetUp();
    // root: files a and b, subfolder s with file c.
    box_->WriteFile("root\\a", "1");
    box_->WriteFile("root\\b", "2");
    box_->WriteFile("root\\s\\c", "3");
    root_ = box_->Path("root\\");
  }
  void TearDown() override {
    walker_.reset();
    SandboxFixture::TearDown();
  }

  FileSystemIterator* Walker(WalkCallback onFile, WalkCallback onFolder) {
    walker_ = ElementRef<FileSystemIterator>::Create(kFileSystemIteratorType);
    if (!walker_) return nullptr;
    walker_->SetRoot(root_.c_str());
    walker_->SetFileCallback(onFile);
    walker_->SetFolderCallback(onFolder);
    return walker_.get();
  }
  static std::vector<std::string> Sorted(std::vector<std::string> calls) {
    std::sort(calls.begin(), calls.end());
    return calls;
  }

  std::string root_;
  ElementRef<FileSystemIterator> walker_;
};

TEST_F(FileSystemIteratorTest, EveryFileBelowTheRoot) {
  FileSystemIterator* walker = Walker(OnFile, nullptr);
  ASSERT_NE(walker, nullptr);
  Log log;
  EXPECT_EQ(walker->Walk(&log), 0);
  EXPECT_EQ(Sorted(log.calls),
            Sorted({"file:" + root_ + "a", "file:" + root_ + "b", "file:" + root_ + "s\\c"}));
}

TEST_F(FileSystemIteratorTest, FoldersAfterTheirContents) {
  FileSystemIterator* walker = Walker(nullptr, OnFolder);
  Log log;
  EXPECT_EQ(walker->Walk(&log), 0);
  EXPECT_EQ(log.calls, std::vector<std::string>({"folder:" + root_ + "s"}));
  walker->SetFileCallback(OnFile);
  log.calls.clear();
  EXPECT_EQ(walker->Walk(&log), 0);
  auto c = std::find(log.calls.begin(), log.calls.end(), "file:" + root_ + "s\\c");
  auto s = std::find(log.calls.begin(), log.calls.end(), "folder:" + root_ + "s");
  ASSERT_NE(c, log.calls.end());
  ASSERT_NE(s, log.calls.end());
  EXPECT_LT(c, s);
}

TEST_F(FileSystemIteratorTest, DepthZeroListsOnlyTheRoot) {
  FileSystemIterator* walker = Walker(OnFile, OnFolder);
  EXPECT_EQ(walker->SetMaxDepth(0), 0);
  EXPECT_EQ(walker->GetMaxDepth(), 0);
  Log log;
  EXPECT_EQ(walker->Walk(&log), 0);
  EXPECT_EQ(Sorted(log.calls),
            Sorted({"file:" + root_ + "a", "file:" + root_ + "b", "folder:" + root_ + "s"}));
  EXPECT_EQ(walker->SetFolderLevel(0), 0);
  log.calls.clear();
  EXPECT_EQ(walker->Walk(&log), 0);
  EXPECT_EQ(Sorted(log.calls),
            Sorted({"file:" + root_ + "a", "file:" + root_ + "b", "folder:" + root_ + "s"}));
  EXPECT_EQ(walker->GetMaxDepth(), 0);
}

TEST_F(FileSystemIteratorTest, FolderLevelsCountTheRemainingDepth) {
  box_->MakeFolder("root\\s\\t\\u\\v");
  FileSystemIterator* walker = Walker(nullptr, OnFolder);
  walker->SetMaxDepth(2);
  // s has 2 levels left below it, t 1, u 0 (not entered: v is never seen).
  const std::pair<int, std::vector<std::string>> cases[] = {
      {-1, {"folder:" + root_ + "s\\t\\u", "folder:" + root_ + "s\\t", "folder:" + root_ + "s"}},
      {2, {"folder:" + root_ + "s"}},
      {1, {"folder:" + root_ + "s\\t"}},
      {0, {"folder:" + root_ + "s\\t\\u"}},
      {3, {}},
  };
  for (const auto& level : cases) {
    walker->SetFolderLevel(level.first);
    EXPECT_EQ(walker->GetFolderLevel(), level.first);
    Log log;
    EXPECT_EQ(walker->Walk(&log), 0);
    EXPECT_EQ(log.calls, level.second) << "level " << level.first;
  }
}

TEST_F(FileSystemIteratorTest, OneStopsTheWholeWalkAtOnce) {
  box_->WriteFile("root\\s\\d", "4");
  FileSystemIterator* walker = Walker(OnFile, OnFolder);
  Log log;
  log.answers = {{"", 1}};
  EXPECT_EQ(walker->Walk(&log), 1);
  EXPECT_EQ(log.calls.size(), 1u);
  // From inside a subfolder too.
  log.calls.clear();
  log.answers = {{"\\s\\c", 1}};
  EXPECT_EQ(walker->Walk(&log), 1);
  EXPECT_EQ(log.calls.back(), "file:" + root_ + "s\\c");
}

TEST_F(FileSystemIteratorTest, TwoInASubfolderEndsOnlyItsListing) {
  box_->WriteFile("root\\s\\d", "4");
  FileSystemIterator* walker = Walker(OnFile, OnFolder);
  Log log;
  log.answers = {{"\\s\\c", 2}, {"\\s\\d", 2}};
  EXPECT_EQ(walker->Walk(&log), 0);
  std::vector<std::string> calls = Sorted(log.calls);
  int inside = 0;
  for (const auto& call : calls)
    if (call.find(root_ + "s\\") != std::string::npos) ++inside;
  // The first file of s ends the listing of s; the root goes on, s itself included.
  EXPECT_EQ(inside, 1);
  EXPECT_NE(std::find(calls.begin(), calls.end(), "file:" + root_ + "a"), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "file:" + root_ + "b"), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "folder:" + root_ + "s"), calls.end());
}

TEST_F(FileSystemIteratorTest, TwoInTheRootEndsTheWalkWithTwo) {
  FileSystemIterator* walker = Walker(OnFile, nullptr);
  Log log;
  log.answers = {{"\\a", 2}, {"\\b", 2}};
  EXPECT_EQ(walker->Walk(&log), 2);
  // Nothing is called after the answer.
  std::string last = log.calls.back();
  EXPECT_TRUE(last == "file:" + root_ + "a" || last == "file:" + root_ + "b") << last;
  EXPECT_EQ(std::count_if(log.calls.begin(), log.calls.end(),
                          [this](const std::string& call) {
                            return call == "file:" + root_ + "a" || call == "file:" + root_ + "b";
                          }),
            1);
}

TEST_F(FileSystemIteratorTest, AMissingRootIsAnEmptyWalk) {
  root_ = box_->Path("missing\\");
  FileSystemIterator* walker = Walker(OnFile, OnFolder);
  Log log;
  EXPECT_EQ(walker->Walk(&log), 0);
  EXPECT_TRUE(log.calls.empty());
}

TEST_F(FileSystemIteratorTest, NoRootNoWalk) {
  FileSystemIterator* walker = Walker(OnFile, OnFolder);
  EXPECT_STREQ(walker->GetRoot(), root_.c_str());
  EXPECT_EQ(walker->SetRoot(nullptr), 0);
  EXPECT_EQ(walker->GetRoot(), nullptr);
  Log log;
  // Never the current folder instead.
  EXPECT_EQ(walker->Walk(&log), 1);
  EXPECT_TRUE(log.calls.empty());
  walker->SetRoot("");
  EXPECT_EQ(walker->Walk(&log), 1);
  EXPECT_TRUE(log.calls.empty());
}

TEST_F(FileSystemIteratorTest, ARootWithoutItsSeparatorStaysInside) {
  box_->WriteFile("rootX\\neighbour", "n");
  box_->WriteFile("root.txt", "n");
  root_.pop_back();
  FileSystemIterator* walker = Walker(OnFile, nullptr);
  Log log;
  EXPECT_EQ(walker->Walk(&log), 0);
  EXPECT_EQ(Sorted(log.calls),
            Sorted({"file:" + root_ + "\\a", "file:" + root_ + "\\b", "file:" + root_ + "\\s\\c"}));
}

TEST_F(FileSystemIteratorTest, DotEntriesAreNeverReported) {
  FileSystemIterator* walker = Walker(nullptr, OnFolder);
  walker->SetMaxDepth(0);
  Log log;
  EXPECT_EQ(walker->Walk(&log), 0);
  for (const auto& call : log.calls) {
    EXPECT_EQ(call.find("\\."), std::string::npos) << call;
  }
  EXPECT_EQ(log.calls.size(), 1u);
}

#ifndef _WIN32
TEST_F(FileSystemIteratorTest, AFolderNamedThreeDotsIsReported) {
  box_->WriteFile("root\\...\\inner", "x");
  FileSystemIterator* walker = Walker(OnFile, OnFolder);
  Log log;
  EXPECT_EQ(walker->Walk(&log), 0);
  EXPECT_NE(std::find(log.calls.begin(), log.calls.end(), "folder:" + root_ + "..."),
            log.calls.end());
  EXPECT_NE(std::find(log.calls.begin(), log.calls.end(), "file:" + root_ + "...\\inner"),
            log.calls.end());
}

TEST_F(FileSystemIteratorTest, ALinkedFolderIsNotEntered) {
  box_->WriteFile("outside\\precious", "keep");
  ASSERT_EQ(::symlink(box_->NativePath("outside").c_str(), box_->NativePath("root/link").c_str()),
            0);
  FileSystemIterator* walker = Walker(OnFile, OnFolder);
  Log log;
  EXPECT_EQ(walker->Walk(&log), 0);
  for (const auto& call : log.calls) EXPECT_EQ(call.find("precious"), std::string::npos) << call;
  // It is still a folder entry of the tree.
  EXPECT_NE(std::find(log.calls.begin(), log.calls.end(), "folder:" + root_ + "link"),
            log.calls.end());
}

TEST_F(FileSystemIteratorTest, AnUnreadableFolderCountsAsEmpty) {
  PosixPort::FailSystemCall("opendir", 2, EACCES);
  FileSystemIterator* walker = Walker(OnFile, nullptr);
  Log log;
  EXPECT_EQ(walker->Walk(&log), 0);
  EXPECT_EQ(Sorted(log.calls), Sorted({"file:" + root_ + "a", "file:" + root_ + "b"}));
}
#endif

TEST_F(FileSystemIteratorTest, AnExceptionFromACallbackEndsTheWalkWithOne) {
  FileSystemIterator* walker = Walker(Throws, nullptr);
  EXPECT_EQ(walker->Walk(nullptr), 1);
}

TEST_F(FileSystemIteratorTest, SettingsAndRepeatedWalks) {
  FileSystemIterator* walker = Walker(nullptr, nullptr);
  ASSERT_NE(walker, nullptr);
  EXPECT_EQ(walker->GetTypeId(), kFileSystemIteratorType);
  EXPECT_EQ(walker->Cast(kIteratorInterface), nullptr);
  EXPECT_EQ(walker->GetMaxDepth(), 0x7FFFFFFF);
  EXPECT_EQ(walker->GetFolderLevel(), -1);
  EXPECT_EQ(walker->GetFileCallback(), nullptr);
  EXPECT_EQ(walker->SetFileCallback(OnFile), 0);
  EXPECT_EQ(walker->SetFolderCallback(OnFolder), 0);
  EXPECT_EQ(walker->GetFileCallback(), &OnFile);
  EXPECT_EQ(walker->GetFolderCallback(), &OnFolder);
  Log first, second;
  EXPECT_EQ(walker->Walk(&first), 0);
  EXPECT_EQ(walker->Walk(&second), 0);
  EXPECT_EQ(Sorted(first.calls), Sorted(second.calls));
  EXPECT_EQ(first.calls.size(), 4u);
  // Nothing walked was touched.
  EXPECT_EQ(box_->ReadFile("root\\s\\c"), "3");
}

TEST_F(FileSystemIteratorTest, WhenMemoryRunsOut) {
  std::vector<std::string> all = Sorted({"file:" + root_ + "a", "file:" + root_ + "b",
                                         "file:" + root_ + "s\\c", "folder:" + root_ + "s"});
  SweepAllocationFailuresBothModes([&] {
    ElementRef<FileSystemIterator> walker =
        ElementRef<FileSystemIterator>::Create(kFileSystemIteratorType);
    if (!walker) return;
    walker->SetRoot(root_.c_str());
    walker->SetFileCallback(OnFile);
    walker->SetFolderCallback(OnFolder);
    Log log;
    int result = walker->Walk(&log);
    if (!AllocationFailureHit()) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(Sorted(log.calls), all);
    } else {
      EXPECT_TRUE(result == 0 || result == 1) << result;
    }
    // Only true paths are ever handed out, each once.
    std::vector<std::string> seen = Sorted(log.calls);
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
    for (const auto& call : seen)
      EXPECT_NE(std::find(all.begin(), all.end(), call), all.end()) << call;
  });
}

}  // namespace
}  // namespace VLN2
