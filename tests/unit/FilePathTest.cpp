// FilePath: splitting, recomposition and rebuilding of paths as the installer uses them.
#include <gtest/gtest.h>

#include <string>

#include "framework/FilePath.h"
#include "unit/support/CoreFixture.h"

namespace VLN2 {
namespace {

const char* const kAbsent = nullptr;

// Texts compared with absent parts spelled as "<absent>".
std::string Show(const char* text) { return text ? std::string(text) : "<absent>"; }

class FilePathTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    path_.reset(Create<FilePath>(kFilePathType));
    ASSERT_TRUE(path_);
  }
  void TearDown() override {
    path_.reset();
    CoreFixture::TearDown();
  }
  void ExpectParts(const char* drive, const char* folder, const char* fileName, const char* name,
                   const char* extension) {
    EXPECT_EQ(Show(path_->GetDrive()), Show(drive));
    EXPECT_EQ(Show(path_->GetFolder()), Show(folder));
    EXPECT_EQ(Show(path_->GetFileName()), Show(fileName));
    EXPECT_EQ(Show(path_->GetName()), Show(name));
    EXPECT_EQ(Show(path_->GetExtension()), Show(extension));
  }
  std::string Path() { return Show(path_->GetPath()); }
  ElementRef<FilePath> path_;
};

struct SplitRow {
  const char* path;
  const char* drive;
  const char* folder;
  const char* fileName;
  const char* name;
  const char* extension;
};

const SplitRow kSplits[] = {
    {"C:\\Program Files\\App\\app.exe", "C:", "\\Program Files\\App\\", "app.exe", "app", ".exe"},
    {"C:\\Program Files\\App\\", "C:", "\\Program Files\\App\\", "", kAbsent, kAbsent},
    {"C:\\", "C:", "\\", "", kAbsent, kAbsent},
    {"archive.tar.gz", kAbsent, kAbsent, "archive.tar.gz", "archive.tar", ".gz"},
    {"Tools\\readme", kAbsent, kAbsent, "readme", "readme", kAbsent},
    {"C:readme.txt", kAbsent, kAbsent, "C:readme.txt", "C:readme", ".txt"},
    {"C:/a/b.c", "C:", "/a/", "b.c", "b", ".c"},
    {"C:\\a/b\\c", "C:", "\\a/b\\", "c", "c", kAbsent},
    {"C:\\a\\.profile", "C:", "\\a\\", ".profile", "", ".profile"},
    {"C:\\a.b\\file", "C:", "\\a.b\\", "file", "file", kAbsent},
    {"X:Y:\\f", "X:Y:", "\\", "f", "f", kAbsent},
    {"\\\\server\\share\\f.txt", kAbsent, kAbsent, "f.txt", "f", ".txt"},
    {"a\\b:c", kAbsent, kAbsent, "b:c", "b:c", kAbsent},
    {"name.", kAbsent, kAbsent, "name.", "name", "."},
};

TEST_F(FilePathTest, SplitTable) {
  for (const SplitRow& row : kSplits) {
    SCOPED_TRACE(row.path);
    ASSERT_EQ(path_->SetPath(row.path), 0);
    EXPECT_EQ(Path(), row.path);  // the text is kept as written
    ExpectParts(row.drive, row.folder, row.fileName, row.name, row.extension);
  }
}

TEST_F(FilePathTest, NewAndEmptyPaths) {
  EXPECT_EQ(path_->GetTypeId(), 70);
  EXPECT_EQ(path_->Cast(kCrunchInterface), nullptr);
  EXPECT_EQ(path_->Cast(kIOInterface), nullptr);
  EXPECT_EQ(path_->GetPath(), nullptr);
  ExpectParts(kAbsent, kAbsent, kAbsent, kAbsent, kAbsent);
  ASSERT_EQ(path_->SetPath("C:\\a\\b.c"), 0);
  EXPECT_EQ(path_->SetPath(nullptr), 0);
  EXPECT_EQ(Path(), "");
  ExpectParts(kAbsent, kAbsent, kAbsent, kAbsent, kAbsent);
}

TEST_F(FilePathTest, FolderOfAFilePath) {
  ASSERT_EQ(path_->SetPath("C:\\App\\bin\\tool.exe"), 0);
  EXPECT_EQ(path_->SetFileName(nullptr), 0);
  EXPECT_EQ(Path(), "C:\\App\\bin\\");
  ExpectParts("C:", "\\App\\bin\\", kAbsent, kAbsent, kAbsent);
  EXPECT_EQ(path_->AppendPath("Plugins\\"), 0);
  EXPECT_EQ(Path(), "C:\\App\\bin\\Plugins\\");
  ExpectParts("C:", "\\App\\bin\\Plugins\\", "", kAbsent, kAbsent);
}

TEST_F(FilePathTest, FolderWithoutTrailingSeparatorIsReadAsFolderPlusFile) {
  ASSERT_EQ(path_->SetPath("C:\\Tools\\App"), 0);
  path_->SetFileName(nullptr);
  EXPECT_EQ(Path(), "C:\\Tools\\");
}

TEST_F(FilePathTest, PathWithoutColonKeepsItsTextButLosesItOnRebuild) {
  ASSERT_EQ(path_->SetPath("Tools\\sub\\readme.txt"), 0);
  EXPECT_EQ(Path(), "Tools\\sub\\readme.txt");
  path_->SetFileName(nullptr);
  EXPECT_EQ(Path(), "");
  ASSERT_EQ(path_->SetPath("\\\\server\\share\\"), 0);
  path_->SetExtension(".x");
  EXPECT_EQ(Path(), ".x");
}

TEST_F(FilePathTest, AppendPathWithNullAndOnANewPath) {
  EXPECT_EQ(path_->AppendPath("C:\\x\\"), 0);
  EXPECT_EQ(Path(), "C:\\x\\");
  EXPECT_EQ(path_->AppendPath(nullptr), 0);
  EXPECT_EQ(Path(), "C:\\x\\");
  EXPECT_EQ(path_->AppendPath("y.txt"), 0);
  ExpectParts("C:", "\\x\\", "y.txt", "y", ".txt");
}

TEST_F(FilePathTest, NameAndExtensionSetters) {
  ASSERT_EQ(path_->SetPath("C:\\a\\b.dat"), 0);
  EXPECT_EQ(path_->SetExtension(".txt"), 0);
  EXPECT_EQ(Path(), "C:\\a\\b.txt");
  EXPECT_EQ(Show(path_->GetFileName()), "b.txt");
  EXPECT_EQ(path_->SetName(nullptr), 0);
  EXPECT_EQ(Path(), "C:\\a\\.txt");
  ExpectParts("C:", "\\a\\", ".txt", kAbsent, ".txt");
  path_->SetExtension(nullptr);
  EXPECT_EQ(Path(), "C:\\a\\");
  EXPECT_EQ(Show(path_->GetFileName()), "");
  path_->AppendName("new");
  path_->AppendExtension(".t");
  path_->AppendExtension("gz");
  EXPECT_EQ(Path(), "C:\\a\\new.tgz");
  path_->SetName("x.y");  // recomposition does not split the name again
  ExpectParts("C:", "\\a\\", "x.y.tgz", "x.y", ".tgz");
  path_->AppendName(nullptr);
  EXPECT_EQ(Path(), "C:\\a\\x.y.tgz");
}

TEST_F(FilePathTest, FileNameSettersSplitAnew) {
  ASSERT_EQ(path_->SetPath("C:\\a\\b.dat"), 0);
  path_->SetFileName("setup.dll");
  ExpectParts("C:", "\\a\\", "setup.dll", "setup", ".dll");
  EXPECT_EQ(Path(), "C:\\a\\setup.dll");
  path_->AppendFileName(".bak");
  ExpectParts("C:", "\\a\\", "setup.dll.bak", "setup.dll", ".bak");
  path_->SetFileName("");
  ExpectParts("C:", "\\a\\", "", kAbsent, kAbsent);
  EXPECT_EQ(Path(), "C:\\a\\");
  path_->SetFileName(nullptr);
  path_->AppendFileName("n");
  EXPECT_EQ(Path(), "C:\\a\\n");
}

TEST_F(FilePathTest, DriveAndFolderSettersAddNoSeparator) {
  ASSERT_EQ(path_->SetPath("C:\\a\\b.dat"), 0);
  EXPECT_EQ(path_->SetFolder("\\x"), 0);
  EXPECT_EQ(Path(), "C:\\xb.dat");
  EXPECT_EQ(path_->AppendFolder("\\y\\"), 0);
  EXPECT_EQ(Path(), "C:\\x\\y\\b.dat");
  EXPECT_EQ(path_->SetDrive("D:"), 0);
  EXPECT_EQ(Path(), "D:\\x\\y\\b.dat");
  EXPECT_EQ(path_->SetDrive(nullptr), 0);
  EXPECT_EQ(Path(), "\\x\\y\\b.dat");
  EXPECT_EQ(path_->AppendDrive(nullptr), 0);
  EXPECT_EQ(path_->GetDrive(), nullptr);
  EXPECT_EQ(path_->AppendDrive("E"), 0);
  EXPECT_EQ(path_->AppendDrive(":"), 0);
  EXPECT_EQ(Path(), "E:\\x\\y\\b.dat");
  EXPECT_EQ(path_->SetFolder(nullptr), 0);
  EXPECT_EQ(Path(), "E:b.dat");
}

TEST_F(FilePathTest, CallersMayCutThePathInPlace) {
  ASSERT_EQ(path_->SetPath("C:\\a\\b\\c\\"), 0);
  char* text = path_->GetPath();
  text[4] = '\0';
  EXPECT_STREQ(path_->GetPath(), "C:\\a");
  text[4] = '\\';
  EXPECT_STREQ(path_->GetPath(), "C:\\a\\b\\c\\");
}

TEST_F(FilePathTest, FailedSetPathLeavesNoTextButTheOldParts) {
  ASSERT_EQ(path_->SetPath("C:\\old\\f.txt"), 0);
  FailAllocation(1);
  EXPECT_EQ(path_->SetPath("D:\\new\\g.txt"), 1);
  FailAllocation(0);
  EXPECT_EQ(path_->GetPath(), nullptr);
  ExpectParts("C:", "\\old\\", "f.txt", "f", ".txt");
}

TEST_F(FilePathTest, FailedAppendPathChangesNothing) {
  ASSERT_EQ(path_->SetPath("C:\\old\\"), 0);
  FailAllocation(1);
  EXPECT_EQ(path_->AppendPath("sub\\"), 1);
  FailAllocation(0);
  EXPECT_EQ(Path(), "C:\\old\\");
  ExpectParts("C:", "\\old\\", "", kAbsent, kAbsent);
}

TEST_F(FilePathTest, FailedRebuildLeavesNoText) {
  ASSERT_EQ(path_->SetPath("C:\\a\\b.c"), 0);
  FailAllocation(1, FailMode::kFromThenOn);
  EXPECT_EQ(path_->SetDrive(nullptr), 0);
  FailAllocation(0);
  EXPECT_EQ(path_->GetPath(), nullptr);
  ExpectParts(kAbsent, "\\a\\", "b.c", "b", ".c");
}

// Every allocation of the usual calling pattern fails in turn: the results stay as
// documented, a part that could not be made is absent, and the path never disagrees
// with its parts.
TEST_F(FilePathTest, OutOfMemorySweep) {
  path_.reset();  // the sweep runs on fresh cores
  long allocations = SweepAllocationFailuresBothModes([&] {
    auto path = ElementRef<FilePath>::Create(kFilePathType);
    if (!path) return;
    if (path->SetPath("C:\\App\\bin\\tool.exe") != 0) {
      EXPECT_EQ(path->GetPath(), nullptr);
      return;
    }
    EXPECT_STREQ(path->GetPath(), "C:\\App\\bin\\tool.exe");
    for (const char* part : {path->GetDrive(), path->GetFolder(), path->GetFileName()}) {
      if (!part) return;  // a part could not be created
    }
    EXPECT_EQ(path->SetFileName(nullptr), 0);
    if (!path->GetPath()) return;
    EXPECT_STREQ(path->GetPath(), "C:\\App\\bin\\");
    if (path->AppendPath("Plugins\\") != 0) {
      EXPECT_STREQ(path->GetPath(), "C:\\App\\bin\\");
      return;
    }
    EXPECT_STREQ(path->GetPath(), "C:\\App\\bin\\Plugins\\");
    EXPECT_EQ(path->SetExtension(".x"), 0);
    EXPECT_EQ(path->AppendName("n"), 0);
    EXPECT_EQ(path->AppendFolder("y\\"), 0);
    EXPECT_EQ(path->SetDrive("D:"), 0);
    EXPECT_EQ(path->AppendFileName("z"), 0);
    if (path->GetPath()) {
      std::string expected =
          Show(path->GetDrive()) + Show(path->GetFolder()) + Show(path->GetFileName());
      for (std::string absent = "<absent>"; expected.find(absent) != std::string::npos;)
        expected.erase(expected.find(absent), absent.size());
      EXPECT_EQ(std::string(path->GetPath()), expected);
    }
  });
  EXPECT_GE(allocations, 20);
}

}  // namespace
}  // namespace VLN2
