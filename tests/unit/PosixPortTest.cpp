// The port's own contract, on the platform at hand, and the POSIX port's test controls.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "system/port/Port.h"
#include "unit/support/Sandbox.h"
#include "unit/support/TestRegistry.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

class PortTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    PosixPort::Reset();
#endif
    sandbox_ = std::make_unique<Sandbox>();
  }
  void TearDown() override {
    sandbox_.reset();
#ifndef _WIN32
    PosixPort::Reset();
#endif
  }
  std::string Path(const std::string& relative) { return sandbox_->Path(relative); }

  // Every name a pattern finds, in listing order, joined by '|'.
  std::string Find(const std::string& pattern) {
    std::string names;
    Port::FindData entry;
    Port::FindHandle search = Port::FindFirst(pattern.c_str(), &entry);
    if (!search) return "<none>";
    do {
      std::string name = entry.name;
      if (name == "." || name == "..") continue;
      names += (names.empty() ? "" : "|") + name + (entry.isDirectory ? "/" : "");
    } while (Port::FindNext(search, &entry));
    Port::FindClose(search);
    return names;
  }

  std::unique_ptr<Sandbox> sandbox_;
};

// ---- Files.

TEST_F(PortTest, OpenCreatesAMissingFileAtPositionZero) {
  Port::FileHandle file = Port::OpenFile(Path("new.bin").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(file, nullptr);
  std::uint32_t size = 99, position = 99;
  EXPECT_TRUE(Port::GetFileSize(file, &size));
  EXPECT_TRUE(Port::GetFilePointer(file, &position));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(position, 0u);
  Port::CloseFile(file);
  EXPECT_TRUE(sandbox_->Exists("new.bin"));
}

TEST_F(PortTest, OpenKeepsExistingContents) {
  sandbox_->WriteFile("old.bin", "0123456789");
  Port::FileHandle file =
      Port::OpenFile(Path("old.bin").c_str(), Port::kAccessRead | Port::kAccessWrite, true);
  ASSERT_NE(file, nullptr);
  std::uint32_t size = 0;
  EXPECT_TRUE(Port::GetFileSize(file, &size));
  EXPECT_EQ(size, 10u);
  char data[4] = {};
  std::uint32_t done = 0;
  EXPECT_TRUE(Port::ReadFile(file, data, 4, &done));
  EXPECT_EQ(done, 4u);
  EXPECT_EQ(std::string(data, 4), "0123");
  Port::CloseFile(file);
  EXPECT_EQ(sandbox_->ReadFile("old.bin"), "0123456789");
}

TEST_F(PortTest, ReadAtTheEndGivesNothingWithoutError) {
  sandbox_->WriteFile("five.bin", "abcde");
  Port::FileHandle file = Port::OpenFile(Path("five.bin").c_str(), Port::kAccessRead, false);
  ASSERT_NE(file, nullptr);
  char data[8];
  std::uint32_t done = 0;
  EXPECT_TRUE(Port::ReadFile(file, data, 8, &done));
  EXPECT_EQ(done, 5u);
  EXPECT_TRUE(Port::ReadFile(file, data, 8, &done));
  EXPECT_EQ(done, 0u);
  Port::CloseFile(file);
}

TEST_F(PortTest, PositionBeyondTheEndAndEndOfFileExtendOrCut) {
  Port::FileHandle file =
      Port::OpenFile(Path("f.bin").c_str(), Port::kAccessRead | Port::kAccessWrite, false);
  ASSERT_NE(file, nullptr);
  std::uint32_t done = 0, size = 0, position = 0;
  EXPECT_TRUE(Port::WriteFile(file, "abcdef", 6, &done));
  EXPECT_EQ(done, 6u);
  EXPECT_TRUE(Port::SetFilePointer(file, 10));
  EXPECT_TRUE(Port::GetFilePointer(file, &position));
  EXPECT_EQ(position, 10u);
  EXPECT_TRUE(Port::SetEndOfFile(file));
  EXPECT_TRUE(Port::GetFileSize(file, &size));
  EXPECT_EQ(size, 10u);
  EXPECT_TRUE(Port::SetFilePointer(file, 2));
  EXPECT_TRUE(Port::SetEndOfFile(file));
  EXPECT_TRUE(Port::GetFileSize(file, &size));
  EXPECT_EQ(size, 2u);
  Port::CloseFile(file);
  EXPECT_EQ(sandbox_->ReadFile("f.bin"), "ab");
}

TEST_F(PortTest, AWriterSharesOnlyReading) {
  sandbox_->WriteFile("shared.bin", "x");
  std::string path = Path("shared.bin");
  Port::FileHandle writer = Port::OpenFile(path.c_str(), Port::kAccessWrite, false);
  ASSERT_NE(writer, nullptr);
  // The writer allows readers only; a reader opening later does not allow the writer.
  EXPECT_EQ(Port::OpenFile(path.c_str(), Port::kAccessWrite, false), nullptr);
  EXPECT_EQ(Port::OpenFile(path.c_str(), Port::kAccessRead, false), nullptr);
  Port::CloseFile(writer);
  Port::FileHandle first = Port::OpenFile(path.c_str(), Port::kAccessRead, false);
  Port::FileHandle second = Port::OpenFile(path.c_str(), Port::kAccessRead, false);
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(Port::OpenFile(path.c_str(), Port::kAccessWrite, false), nullptr);
  Port::CloseFile(first);
  Port::CloseFile(second);
}

TEST_F(PortTest, AFolderIsNoFile) {
  sandbox_->MakeFolder("folder");
  EXPECT_EQ(Port::OpenFile(Path("folder").c_str(), Port::kAccessRead, false), nullptr);
  EXPECT_EQ(Port::OpenFile(Path("folder").c_str(), Port::kAccessWrite, false), nullptr);
  EXPECT_FALSE(Port::DeleteFile(Path("folder").c_str()));
  EXPECT_TRUE(sandbox_->Exists("folder"));
}

TEST_F(PortTest, NullArgumentsFail) {
  EXPECT_EQ(Port::OpenFile(nullptr, Port::kAccessRead, false), nullptr);
  EXPECT_FALSE(Port::DeleteFile(nullptr));
  EXPECT_FALSE(Port::CreateDirectory(nullptr));
  EXPECT_FALSE(Port::RemoveDirectory(nullptr));
  EXPECT_FALSE(Port::RenameFile(nullptr, Path("x").c_str()));
  Port::FindData entry;
  EXPECT_EQ(Port::FindFirst(nullptr, &entry), nullptr);
  std::uint32_t value = 0;
  EXPECT_FALSE(Port::GetFileSize(nullptr, &value));
  EXPECT_FALSE(Port::ReadFile(nullptr, &value, 4, &value));
}

TEST_F(PortTest, FoldersAreMadeAndRemovedOneAtATime) {
  EXPECT_TRUE(Port::CreateDirectory(Path("a").c_str()));
  EXPECT_FALSE(Port::CreateDirectory(Path("a").c_str()));        // exists
  EXPECT_FALSE(Port::CreateDirectory(Path("x\\y\\z").c_str()));  // parents missing
  sandbox_->WriteFile("a\\file.txt", "1");
  EXPECT_FALSE(Port::RemoveDirectory(Path("a").c_str()));
  EXPECT_TRUE(Port::DeleteFile(Path("a\\file.txt").c_str()));
  EXPECT_TRUE(Port::RemoveDirectory(Path("a").c_str()));
  EXPECT_FALSE(sandbox_->Exists("a"));
}

TEST_F(PortTest, RenameMovesAFile) {
  sandbox_->WriteFile("from.txt", "data");
  sandbox_->MakeFolder("sub");
  EXPECT_TRUE(Port::RenameFile(Path("from.txt").c_str(), Path("sub\\to.txt").c_str()));
  EXPECT_FALSE(sandbox_->Exists("from.txt"));
  EXPECT_EQ(sandbox_->ReadFile("sub\\to.txt"), "data");
  EXPECT_FALSE(Port::RenameFile(Path("missing").c_str(), Path("other").c_str()));
}

// ---- Listing.

TEST_F(PortTest, WildcardsMatchTheLastComponent) {
  sandbox_->WriteFile("one.txt", "");
  sandbox_->WriteFile("two.txt", "");
  sandbox_->WriteFile("three.dat", "");
  sandbox_->WriteFile("noext", "");
  sandbox_->MakeFolder("dir.txt");
  auto sorted = [](std::string names) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t bar; (bar = names.find('|', start)) != std::string::npos; start = bar + 1)
      parts.push_back(names.substr(start, bar - start));
    parts.push_back(names.substr(start));
    std::sort(parts.begin(), parts.end());
    std::string joined;
    for (auto& part : parts) joined += (joined.empty() ? "" : "|") + part;
    return joined;
  };
  EXPECT_EQ(sorted(Find(Path("*.txt"))), "dir.txt/|one.txt|two.txt");
  EXPECT_EQ(sorted(Find(Path("t??.*"))), "two.txt");
  EXPECT_EQ(sorted(Find(Path("*.*"))), "dir.txt/|noext|one.txt|three.dat|two.txt");
  EXPECT_EQ(Find(Path("*.none")), "<none>");
}

TEST_F(PortTest, ListingDeliversDotEntries) {
  sandbox_->MakeFolder("d");
  Port::FindData entry;
  Port::FindHandle search = Port::FindFirst(Path("d\\*.*").c_str(), &entry);
  ASSERT_NE(search, nullptr);
  int dots = 0;
  do {
    if (std::strcmp(entry.name, ".") == 0 || std::strcmp(entry.name, "..") == 0) {
      ++dots;
      EXPECT_TRUE(entry.isDirectory);
    }
  } while (Port::FindNext(search, &entry));
  Port::FindClose(search);
  EXPECT_EQ(dots, 2);
}

TEST_F(PortTest, ANameWithoutWildcardsFindsThatEntry) {
  sandbox_->WriteFile("file.txt", "");
  sandbox_->MakeFolder("folder");
  Port::FindData entry;
  Port::FindHandle search = Port::FindFirst(Path("file.txt").c_str(), &entry);
  ASSERT_NE(search, nullptr);
  EXPECT_STREQ(entry.name, "file.txt");
  EXPECT_FALSE(entry.isDirectory);
  EXPECT_FALSE(entry.isLink);
  EXPECT_FALSE(Port::FindNext(search, &entry));
  Port::FindClose(search);
  EXPECT_EQ(Find(Path("folder")), "folder/");
  // A trailing separator names no entry; nor does a drive alone.
  EXPECT_EQ(Find(Path("folder\\")), "<none>");
  EXPECT_EQ(Find("C:"), "<none>");
  EXPECT_EQ(Find("C:\\"), "<none>");
  EXPECT_EQ(Find(Path("missing")), "<none>");
  EXPECT_EQ(Find(Path("missing\\*.*")), "<none>");
}

// ---- Registry.

class PortRegistryTest : public PortTest {
 protected:
  TestRegistry registry_;
};

TEST_F(PortRegistryTest, OpenKeyResults) {
  registry_.CreateKey(Port::kCurrentUser, registry_.Key("Sub"));
  Port::RegistryHandle key = nullptr;
  EXPECT_EQ(Port::RegOpenKey(Port::kCurrentUser, (registry_.Key("Sub") + "\\").c_str(), &key),
            Port::kErrorSuccess);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(Port::RegCloseKey(key), Port::kErrorSuccess);
  EXPECT_EQ(Port::RegOpenKey(Port::kCurrentUser, registry_.Key("Missing").c_str(), &key),
            Port::kErrorFileNotFound);
  // A leading backslash is refused, with an error of its own.
  long refused = Port::RegOpenKey(Port::kCurrentUser, "\\Software", &key);
  EXPECT_NE(refused, Port::kErrorSuccess);
  EXPECT_NE(refused, Port::kErrorFileNotFound);
}

TEST_F(PortRegistryTest, EnumerationHonoursTheBufferSizes) {
  registry_.SetText(Port::kCurrentUser, registry_.Key(), "Short", "abc");
  Port::RegistryHandle key = nullptr;
  ASSERT_EQ(Port::RegOpenKey(Port::kCurrentUser, registry_.Key().c_str(), &key), 0);
  char name[16];
  unsigned char data[16];
  std::uint32_t nameSize = sizeof name, dataSize = sizeof data;
  EXPECT_EQ(Port::RegEnumValue(key, 0, name, &nameSize, data, &dataSize), Port::kErrorSuccess);
  EXPECT_STREQ(name, "Short");
  EXPECT_EQ(nameSize, 5u);
  EXPECT_EQ(dataSize, 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 4), std::string("abc", 4));
  nameSize = 5;  // no room for the NUL
  dataSize = sizeof data;
  EXPECT_EQ(Port::RegEnumValue(key, 0, name, &nameSize, data, &dataSize), Port::kErrorMoreData);
  nameSize = sizeof name;
  dataSize = 3;
  EXPECT_EQ(Port::RegEnumValue(key, 0, name, &nameSize, data, &dataSize), Port::kErrorMoreData);
  EXPECT_EQ(dataSize, 4u);
  nameSize = sizeof name;
  dataSize = sizeof data;
  EXPECT_EQ(Port::RegEnumValue(key, 1, name, &nameSize, data, &dataSize), Port::kErrorNoMoreItems);
  Port::RegCloseKey(key);
}

TEST_F(PortRegistryTest, DefaultValuesOfSubkeys) {
  registry_.SetText(Port::kCurrentUser, registry_.Key("Server"), nullptr, "C:\\app.exe");
  registry_.CreateKey(Port::kCurrentUser, registry_.Key("Empty"));
  Port::RegistryHandle key = nullptr;
  ASSERT_EQ(Port::RegOpenKey(Port::kCurrentUser, registry_.Key().c_str(), &key), 0);
  long size = 0;
  EXPECT_EQ(Port::RegQueryValue(key, "Server", nullptr, &size), Port::kErrorSuccess);
  EXPECT_EQ(size, 11);
  char text[32];
  long small = 4;
  EXPECT_EQ(Port::RegQueryValue(key, "Server", text, &small), Port::kErrorMoreData);
  EXPECT_EQ(small, 11);
  size = sizeof text;
  EXPECT_EQ(Port::RegQueryValue(key, "Server", text, &size), Port::kErrorSuccess);
  EXPECT_STREQ(text, "C:\\app.exe");
  // An unset default value reads as the empty text.
  size = 0;
  EXPECT_EQ(Port::RegQueryValue(key, "Empty", nullptr, &size), Port::kErrorSuccess);
  EXPECT_EQ(size, 1);
  EXPECT_EQ(Port::RegQueryValue(key, "Missing", nullptr, &size), Port::kErrorFileNotFound);
  Port::RegCloseKey(key);
}

// ---- Texts.

// A wide text becomes exactly its characters or nothing: never a look-alike nor a question
// mark. On POSIX the 8-bit texts are UTF-8 and take every character; under Windows those
// outside the process code page are refused unless it is UTF-8.
TEST_F(PortTest, WideTextsConvertExactlyOrNotAtAll) {
  const struct {
    std::u16string wide;
    const char* utf8;       // null: malformed
    const char* lookAlike;  // what a best-fit conversion to the ANSI code page 1252 gives
  } rows[] = {
      {u"", "", nullptr},
      {u"C:\\Temp\\", "C:\\Temp\\", nullptr},
      {u"C:\\\u0141ukasz", "C:\\\xC5\x81ukasz", "C:\\Lukasz"},
      {u"\u0394\u043C\u0438", "\xCE\x94\xD0\xBC\xD0\xB8", "???"},
      {u"\uFF23\uFF14\uFF24", "\xEF\xBC\xA3\xEF\xBC\x94\xEF\xBC\xA4", "C4D"},
      {u"\U0001F600", "\xF0\x9F\x98\x80", "??"},
      {std::u16string(1, u'\xD83D') + u"x", nullptr, nullptr},  // a lone high surrogate
      {std::u16string(1, u'\xDE00'), nullptr, nullptr},         // a lone low surrogate
  };
  for (const auto& row : rows) {
    char buffer[32];
    std::uint32_t size = sizeof buffer;
    bool ok = Port::FromWideText(reinterpret_cast<const std::uint16_t*>(row.wide.data()),
                                 static_cast<std::uint32_t>(row.wide.size()), buffer, &size);
    if (!row.utf8) {
      EXPECT_FALSE(ok) << "a malformed text is refused";
      continue;
    }
    std::string out = ok ? std::string(buffer, size) : "(refused)";
#ifdef _WIN32
    if (row.lookAlike) {
      EXPECT_NE(out, row.lookAlike);
      continue;
    }
#endif
    EXPECT_EQ(out, row.utf8);
    std::u16string back(32, u'\0');
    auto units = static_cast<std::uint32_t>(back.size());
    EXPECT_TRUE(Port::ToWideText(Port::kProcessCodePage, row.utf8,
                                 static_cast<std::uint32_t>(std::strlen(row.utf8)),
                                 reinterpret_cast<std::uint16_t*>(&back[0]), &units));
    EXPECT_EQ(back.substr(0, units), row.wide) << "and back";
  }
  // Too small a buffer is refused, never cut; a code page is read as itself.
  std::u16string text = u"abc";
  char small[2];
  std::uint32_t size = sizeof small;
  EXPECT_FALSE(
      Port::FromWideText(reinterpret_cast<const std::uint16_t*>(text.data()), 3, small, &size));
  std::uint16_t wide[2];
  size = 2;
  EXPECT_FALSE(Port::ToWideText(Port::kProcessCodePage, "abc", 3, wide, &size));
  size = 2;
  ASSERT_TRUE(Port::ToWideText(1252, "\x80", 1, wide, &size));
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(wide[0], 0x20AC) << "the euro sign of code page 1252";
}

// ---- Services.

TEST_F(PortTest, TempPathEndsInASeparator) {
  char path[260];
  std::uint32_t length = Port::GetTempPath(path, sizeof path);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(std::strlen(path), length);
  EXPECT_EQ(path[length - 1], '\\');
  EXPECT_EQ(path[1], ':');
  EXPECT_EQ(Port::GetTempPath(path, 3), 0u);  // does not fit
}

TEST_F(PortTest, ModuleFileNameIsAFullPath) {
  char name[260];
  ASSERT_TRUE(Port::GetModuleFileName(nullptr, name, sizeof name));
  EXPECT_EQ(name[1], ':');
  EXPECT_NE(std::strrchr(name, '\\'), nullptr);
  EXPECT_FALSE(Port::GetModuleFileName(nullptr, name, 4));
}

TEST_F(PortTest, ComputerNameFitsFifteenCharacters) {
  char name[16];
  std::uint32_t size = sizeof name;
  ASSERT_TRUE(Port::GetComputerName(name, &size));
  EXPECT_EQ(std::strlen(name), size);
  EXPECT_LE(size, 15u);
}

TEST_F(PortTest, TheClockCanBeReplaced) {
  std::uint32_t before = Port::GetMilliseconds();
  Port::Sleep(5);
  EXPECT_GE(Port::GetMilliseconds() - before, 4u);
  Port::SetMillisecondClock([]() -> std::uint32_t { return 1234; });
  EXPECT_EQ(Port::GetMilliseconds(), 1234u);
  Port::SetMillisecondClock(nullptr);
  EXPECT_NE(Port::GetMilliseconds(), 1234u);
}

TEST_F(PortTest, SystemTimeIsACalendarTime) {
  Port::CalendarTime now;
  Port::GetSystemTime(&now);
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.day, 31);
  EXPECT_LE(now.dayOfWeek, 6);
  EXPECT_LE(now.hour, 23);
  EXPECT_LE(now.minute, 59);
  EXPECT_LE(now.second, 59);
  EXPECT_LE(now.milliseconds, 999);
}

TEST_F(PortTest, TheLockNestsAndKeepsOtherThreadsOut) {
  Port::CreateLock();
  Port::Lock();
  Port::Lock();
  Port::Unlock();
  std::atomic<bool> entered(false);
  std::thread other([&entered] {
    Port::Lock();
    entered = true;
    Port::Unlock();
  });
  Port::Sleep(20);
  EXPECT_FALSE(entered);
  Port::Unlock();
  other.join();
  EXPECT_TRUE(entered);
  Port::DeleteLock();
}

TEST_F(PortTest, AMissingResourceOrVersionIsReported) {
  const void* data = nullptr;
  std::uint32_t size = 0;
  EXPECT_FALSE(Port::FindResource(nullptr, "NOSUCHTYPE", 999, &data, &size));
  EXPECT_EQ(Port::GetProductMajorVersion(Path("missing.exe").c_str()), 0);
  sandbox_->WriteFile("plain.exe", "not a program");
  EXPECT_EQ(Port::GetProductMajorVersion(Path("plain.exe").c_str()), 0);
  EXPECT_EQ(Port::GetProductMajorVersion(nullptr), 0);
}

// ---- Links, final paths, deleting by handle.

TEST_F(PortTest, AFileIsFoundAtItsFinalPathAndDeletedByItsHandle) {
  sandbox_->WriteFile("dir\\file.txt", "x");
  char final[1024];
  EXPECT_TRUE(Port::GetFinalPathOf(Path("dir").c_str(), final, sizeof final));
  EXPECT_STRCASEEQ(final, Path("dir").c_str());
  EXPECT_FALSE(Port::GetFinalPathOf(Path("missing").c_str(), final, sizeof final));
  Port::FileHandle file =
      Port::OpenFile(Path("dir\\file.txt").c_str(), Port::kAccessRead | Port::kAccessNoLink, false);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(Port::GetFinalPath(file, final, sizeof final));
  EXPECT_STRCASEEQ(final, Path("dir\\file.txt").c_str());
  EXPECT_FALSE(Port::GetFinalPath(file, final, 4)) << "does not fit";
  EXPECT_EQ(Port::GetLinkCount(file), 1u);
  Port::CloseFile(file);
  EXPECT_EQ(Port::OpenForDelete(Path("dir").c_str()), nullptr) << "a folder";
  EXPECT_EQ(Port::OpenForDelete(Path("missing").c_str()), nullptr);
  Port::FileHandle doomed = Port::OpenForDelete(Path("dir\\file.txt").c_str());
  ASSERT_NE(doomed, nullptr);
  EXPECT_TRUE(Port::DeleteOpenFile(doomed, Path("dir\\file.txt").c_str()));
  EXPECT_FALSE(sandbox_->Exists("dir\\file.txt"));
}

#ifndef _WIN32
TEST_F(PortTest, LinksAreRefusedOrShowInTheFinalPath) {
  sandbox_->WriteFile("target\\file.txt", "theirs");
  ASSERT_EQ(::symlink(sandbox_->NativePath("target\\file.txt").c_str(),
                      sandbox_->NativePath("filelink").c_str()),
            0);
  ASSERT_EQ(
      ::symlink(sandbox_->NativePath("target").c_str(), sandbox_->NativePath("dirlink").c_str()),
      0);
  ASSERT_EQ(::link(sandbox_->NativePath("target\\file.txt").c_str(),
                   sandbox_->NativePath("hard.txt").c_str()),
            0);
  const int noLink = Port::kAccessRead | Port::kAccessWrite | Port::kAccessNoLink;
  EXPECT_EQ(Port::OpenFile(Path("filelink").c_str(), noLink, false), nullptr);
  EXPECT_EQ(Port::OpenForDelete(Path("filelink").c_str()), nullptr);
  // A link above the name is followed, and shows in the final path.
  Port::FileHandle file = Port::OpenFile(Path("dirlink\\file.txt").c_str(), noLink, false);
  ASSERT_NE(file, nullptr);
  char final[1024];
  EXPECT_TRUE(Port::GetFinalPath(file, final, sizeof final));
  EXPECT_EQ(std::string(final), Path("target\\file.txt"));
  EXPECT_EQ(Port::GetLinkCount(file), 2u) << "hard.txt is its second name";
  Port::CloseFile(file);
  EXPECT_TRUE(Port::GetFinalPathOf(Path("dirlink").c_str(), final, sizeof final));
  EXPECT_EQ(std::string(final), Path("target"));
  // A name that no longer names the open file is not unlinked.
  Port::FileHandle doomed = Port::OpenForDelete(Path("hard.txt").c_str());
  ASSERT_NE(doomed, nullptr);
  sandbox_->WriteFile("other.txt", "other");
  ASSERT_EQ(
      ::rename(sandbox_->NativePath("other.txt").c_str(), sandbox_->NativePath("hard.txt").c_str()),
      0);
  EXPECT_FALSE(Port::DeleteOpenFile(doomed, Path("hard.txt").c_str()));
  EXPECT_EQ(sandbox_->ReadFile("hard.txt"), "other");
  EXPECT_EQ(sandbox_->ReadFile("target\\file.txt"), "theirs");
}
#endif

TEST_F(PortTest, TheInstanceMutexIsHeldOnceUntilClosed) {
#ifndef _WIN32
  PosixPort::SetTempPath(Path("").c_str());
#endif
  const char* name = "VLN2PortTest";
  Port::MutexHandle first = nullptr, second = nullptr;
  ASSERT_EQ(Port::ClaimInstanceMutex(name, &first), Port::MutexClaim::kClaimed);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(Port::ClaimInstanceMutex(name, &second), Port::MutexClaim::kHeldElsewhere);
  EXPECT_EQ(second, nullptr);
  Port::CloseInstanceMutex(first);
  ASSERT_EQ(Port::ClaimInstanceMutex(name, &second), Port::MutexClaim::kClaimed);
  Port::CloseInstanceMutex(second);
}

TEST_F(PortTest, ProgramFilesFolderAndExpandedTexts) {
  char text[260];
  ASSERT_TRUE(Port::GetProgramFilesFolder(text, sizeof text));
  EXPECT_EQ(std::string(text).substr(1), ":\\Program Files");
#ifdef _WIN32
  _putenv("VLN2_PORT_TEST=C:\\Somewhere");
#else
  setenv("VLN2_PORT_TEST", "C:\\Somewhere", 1);
  PosixPort::SetProgramFilesFolder("");
  EXPECT_FALSE(Port::GetProgramFilesFolder(text, sizeof text));
#endif
  ASSERT_TRUE(Port::ExpandText("%VLN2_PORT_TEST%\\Apps %VLN2_UNSET_NAME% 5%", text, sizeof text));
  EXPECT_STREQ(text, "C:\\Somewhere\\Apps %VLN2_UNSET_NAME% 5%");
  EXPECT_FALSE(Port::ExpandText("%VLN2_PORT_TEST%", text, 8)) << "does not fit";
}

#ifndef _WIN32

// ---- The POSIX port's own controls.

TEST_F(PortTest, DrivesMapToFolders) {
  std::string native;
  EXPECT_TRUE(PosixPort::NativePath("Z:\\usr\\lib", &native));
  EXPECT_EQ(native, "/usr/lib");
  EXPECT_TRUE(PosixPort::NativePath("z:/usr", &native));
  EXPECT_EQ(native, "/usr");
  EXPECT_TRUE(PosixPort::NativePath("C:\\a\\b.txt", &native));
  EXPECT_EQ(native, sandbox_->NativePath("a/b.txt"));
  EXPECT_FALSE(PosixPort::NativePath("D:\\x", &native));
  EXPECT_TRUE(PosixPort::NativePath("relative\\name", &native));
  EXPECT_EQ(native, "relative/name");
  PosixPort::MapDrive('D', "/tmp/");
  EXPECT_TRUE(PosixPort::NativePath("D:\\x", &native));
  EXPECT_EQ(native, "/tmp/x");
  EXPECT_TRUE(PosixPort::NativePath("D:", &native));
  EXPECT_EQ(native, "/tmp");
  PosixPort::MapDrive('D', nullptr);
  EXPECT_FALSE(PosixPort::NativePath("D:\\x", &native));
  // An unmapped drive names nothing.
  EXPECT_EQ(Port::OpenFile("Q:\\file", Port::kAccessWrite, false), nullptr);
  EXPECT_FALSE(Port::CreateDirectory("Q:\\folder"));
}

TEST_F(PortTest, WindowsPathsOfNativeOnes) {
  EXPECT_EQ(PosixPort::WindowsPath("/usr/lib"), "Z:\\usr\\lib");
  std::string root = sandbox_->NativePath("");
  root.pop_back();
  EXPECT_EQ(PosixPort::WindowsPath(root.c_str()), "C:\\");
  EXPECT_EQ(PosixPort::WindowsPath((root + "/a/b").c_str()), "C:\\a\\b");
  PosixPort::UnmapDrives();
  std::string onZ = "Z:" + root + "/a";
  std::replace(onZ.begin(), onZ.end(), '/', '\\');
  EXPECT_EQ(PosixPort::WindowsPath((root + "/a").c_str()), onZ);
  std::string native;
  EXPECT_FALSE(PosixPort::NativePath("C:\\a", &native));
}

TEST_F(PortTest, NamesKeepTheirCase) {
  sandbox_->WriteFile("Mixed.TXT", "");
  EXPECT_EQ(Find(Path("Mixed.TXT")), "Mixed.TXT");
  EXPECT_EQ(Find(Path("mixed.txt")), "<none>");
}

TEST_F(PortTest, TheNthCallFailsWithTheErrorGiven) {
  Port::FileHandle file = Port::OpenFile(Path("disk.bin").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(file, nullptr);
  std::uint32_t done = 0;
  ASSERT_TRUE(PosixPort::FailSystemCall("write", 2, ENOSPC));
  EXPECT_TRUE(Port::WriteFile(file, "ab", 2, &done));
  errno = 0;
  EXPECT_FALSE(Port::WriteFile(file, "cd", 2, &done));
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(Port::WriteFile(file, "ef", 2, &done));  // only the second one failed
  EXPECT_EQ(PosixPort::SystemCallCount("write"), 3);
  Port::CloseFile(file);
  EXPECT_EQ(sandbox_->ReadFile("disk.bin"), "abef");
}

TEST_F(PortTest, FailingFromThenOn) {
  ASSERT_TRUE(PosixPort::FailSystemCall("mkdir", 2, EACCES, PosixPort::kFromThenOn));
  EXPECT_TRUE(Port::CreateDirectory(Path("one").c_str()));
  EXPECT_FALSE(Port::CreateDirectory(Path("two").c_str()));
  EXPECT_FALSE(Port::CreateDirectory(Path("three").c_str()));
  PosixPort::FailSystemCall("mkdir", 0, 0);
  EXPECT_TRUE(Port::CreateDirectory(Path("four").c_str()));
  EXPECT_FALSE(PosixPort::FailSystemCall("nosuchcall", 1, EIO));
}

ssize_t WriteOneByte(int fd, const void* data, size_t) { return ::write(fd, data, 1); }

TEST_F(PortTest, ACallCanBeReplaced) {
  auto real = PosixPort::GetSystemCall("write");
  ASSERT_NE(real, nullptr);
  ASSERT_TRUE(
      PosixPort::SetSystemCall("write", reinterpret_cast<PosixPort::SystemCall>(WriteOneByte)));
  Port::FileHandle file = Port::OpenFile(Path("slow.bin").c_str(), Port::kAccessWrite, false);
  ASSERT_NE(file, nullptr);
  std::uint32_t done = 0;
  // Short writes are carried on until everything is written.
  EXPECT_TRUE(Port::WriteFile(file, "12345", 5, &done));
  EXPECT_EQ(done, 5u);
  EXPECT_EQ(PosixPort::SystemCallCount("write"), 5);
  Port::CloseFile(file);
  PosixPort::SetSystemCall("write", nullptr);
  EXPECT_EQ(PosixPort::GetSystemCall("write"), real);
  EXPECT_EQ(sandbox_->ReadFile("slow.bin"), "12345");
}

TEST_F(PortTest, SharingRestsOnTheFileLock) {
  std::string path = Path("locked.bin");
  PosixPort::FailSystemCall("flock", 1, EWOULDBLOCK);
  EXPECT_EQ(Port::OpenFile(path.c_str(), Port::kAccessRead, false), nullptr);
  // Where the file system has no locks, nothing is shared and nothing refused.
  PosixPort::FailSystemCall("flock", 1, ENOLCK);
  Port::FileHandle file = Port::OpenFile(path.c_str(), Port::kAccessWrite, false);
  EXPECT_NE(file, nullptr);
  Port::CloseFile(file);
}

TEST_F(PortTest, AReadErrorAfterSomeBytesIsAShortRead) {
  sandbox_->WriteFile("r.bin", "abcdef");
  Port::FileHandle file = Port::OpenFile(Path("r.bin").c_str(), Port::kAccessRead, false);
  ASSERT_NE(file, nullptr);
  char data[6];
  std::uint32_t done = 0;
  PosixPort::FailSystemCall("read", 1, EIO);
  EXPECT_FALSE(Port::ReadFile(file, data, 6, &done));
  EXPECT_EQ(done, 0u);
  Port::CloseFile(file);
}

TEST_F(PortTest, ListingErrorsEndTheListing) {
  sandbox_->WriteFile("a", "");
  PosixPort::FailSystemCall("opendir", 1, EACCES);
  EXPECT_EQ(Find(Path("*.*")), "<none>");
  PosixPort::FailSystemCall("lstat", 1, EACCES, PosixPort::kFromThenOn);
  EXPECT_EQ(Find(Path("a")), "<none>");
}

TEST_F(PortTest, LinksAreReportedAsLinks) {
  sandbox_->MakeFolder("target");
  sandbox_->WriteFile("file", "");
  ASSERT_EQ(
      ::symlink(sandbox_->NativePath("target").c_str(), sandbox_->NativePath("dirlink").c_str()),
      0);
  ASSERT_EQ(
      ::symlink(sandbox_->NativePath("file").c_str(), sandbox_->NativePath("filelink").c_str()), 0);
  ASSERT_EQ(::symlink("/nonexistent/nowhere", sandbox_->NativePath("dangling").c_str()), 0);
  Port::FindData entry;
  Port::FindHandle search = Port::FindFirst(Path("dirlink").c_str(), &entry);
  ASSERT_NE(search, nullptr);
  EXPECT_TRUE(entry.isLink);
  EXPECT_TRUE(entry.isDirectory);
  Port::FindClose(search);
  search = Port::FindFirst(Path("filelink").c_str(), &entry);
  ASSERT_NE(search, nullptr);
  EXPECT_TRUE(entry.isLink);
  EXPECT_FALSE(entry.isDirectory);
  Port::FindClose(search);
  search = Port::FindFirst(Path("dangling").c_str(), &entry);
  ASSERT_NE(search, nullptr);
  EXPECT_TRUE(entry.isLink);
  EXPECT_FALSE(entry.isDirectory);
  Port::FindClose(search);
}

TEST_F(PortTest, RegistryKeysAndNamesIgnoreCase) {
  PosixPort::SetRegistryText(Port::kLocalMachine, "SOFTWARE\\Vendor", "Path", "one");
  PosixPort::SetRegistryText(Port::kLocalMachine, "software\\VENDOR\\", "PATH", "two");
  Port::RegistryHandle key = nullptr;
  ASSERT_EQ(Port::RegOpenKey(Port::kLocalMachine, "Software\\Vendor", &key), 0);
  char name[16];
  unsigned char data[16];
  std::uint32_t nameSize = sizeof name, dataSize = sizeof data;
  EXPECT_EQ(Port::RegEnumValue(key, 0, name, &nameSize, data, &dataSize), 0);
  EXPECT_STREQ(name, "Path");
  EXPECT_STREQ(reinterpret_cast<char*>(data), "two");
  nameSize = sizeof name;
  EXPECT_EQ(Port::RegEnumValue(key, 1, name, &nameSize, data, &dataSize), Port::kErrorNoMoreItems);
  // The other root is apart.
  Port::RegistryHandle other = nullptr;
  EXPECT_EQ(Port::RegOpenKey(Port::kCurrentUser, "Software\\Vendor", &other),
            Port::kErrorFileNotFound);
  // A handle whose key went away reports it instead of reading freed memory.
  PosixPort::ClearRegistry();
  nameSize = sizeof name;
  dataSize = sizeof data;
  long gone = Port::RegEnumValue(key, 0, name, &nameSize, data, &dataSize);
  EXPECT_NE(gone, Port::kErrorSuccess);
  EXPECT_NE(gone, Port::kErrorNoMoreItems);
  Port::RegCloseKey(key);
}

TEST_F(PortTest, ADeniedKeyCannotBeOpened) {
  PosixPort::DenyRegistryKey(Port::kLocalMachine, "SOFTWARE\\Locked");
  Port::RegistryHandle key = nullptr;
  EXPECT_EQ(Port::RegOpenKey(Port::kLocalMachine, "SOFTWARE\\Locked", &key), 5);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(Port::RegOpenKey(Port::kLocalMachine, "SOFTWARE", &key), 0);
  Port::RegCloseKey(key);
}

TEST_F(PortTest, MessageBoxesAndShellOpensAreRecorded) {
  PosixPort::SetMessageBoxResult(2);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Port::ShowMessageBox("Disk full", "Error", Port::MessageBoxKind::kError), 2);
  Port::ShowMessageBox("Done", "Info", Port::MessageBoxKind::kInfo);
  Port::ShellOpen("C:\\readme.txt");
  std::string printed = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(PosixPort::MessageBoxes().size(), 2u);
  EXPECT_EQ(PosixPort::MessageBoxes()[0].text, "Disk full");
  EXPECT_EQ(PosixPort::MessageBoxes()[0].caption, "Error");
  EXPECT_EQ(PosixPort::MessageBoxes()[0].kind, Port::MessageBoxKind::kError);
  EXPECT_EQ(PosixPort::MessageBoxes()[1].kind, Port::MessageBoxKind::kInfo);
  ASSERT_EQ(PosixPort::ShellOpens().size(), 1u);
  EXPECT_EQ(PosixPort::ShellOpens()[0], "C:\\readme.txt");
  EXPECT_NE(printed.find("Disk full"), std::string::npos);
  EXPECT_NE(printed.find("C:\\readme.txt"), std::string::npos);
  PosixPort::ClearRecords();
  EXPECT_TRUE(PosixPort::MessageBoxes().empty());
  EXPECT_TRUE(PosixPort::ShellOpens().empty());
}

TEST_F(PortTest, ResourcesVersionsAndNamesAreSet) {
  PosixPort::SetResource("ARCHIVE", 105, "\x01\x02\x03", 3);
  const void* data = nullptr;
  std::uint32_t size = 0;
  ASSERT_TRUE(Port::FindResource(nullptr, "archive", 105, &data, &size));
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::memcmp(data, "\x01\x02\x03", 3), 0);
  EXPECT_FALSE(Port::FindResource(nullptr, "ARCHIVE", 104, &data, &size));
  PosixPort::SetProductMajorVersion("C:\\Max\\3dsmax.exe", 8);
  EXPECT_EQ(Port::GetProductMajorVersion("c:\\MAX\\3dsmax.exe"), 8);
  PosixPort::SetModuleFileName("C:\\Setup\\setup.exe");
  char name[260];
  ASSERT_TRUE(Port::GetModuleFileName(nullptr, name, sizeof name));
  EXPECT_STREQ(name, "C:\\Setup\\setup.exe");
  PosixPort::SetComputerName("A-VERY-LONG-MACHINE-NAME");
  std::uint32_t length = 16;
  EXPECT_FALSE(Port::GetComputerName(name, &length));
  PosixPort::SetComputerName("WORKSTATION");
  length = 16;
  ASSERT_TRUE(Port::GetComputerName(name, &length));
  EXPECT_STREQ(name, "WORKSTATION");
  EXPECT_EQ(length, 11u);
  PosixPort::SetTempPath("C:\\Temp");
  EXPECT_EQ(Port::GetTempPath(name, sizeof name), 8u);
  EXPECT_STREQ(name, "C:\\Temp\\");
  PosixPort::Reset();
  EXPECT_FALSE(Port::FindResource(nullptr, "ARCHIVE", 105, &data, &size));
  EXPECT_EQ(Port::GetProductMajorVersion("C:\\Max\\3dsmax.exe"), 0);
}

TEST_F(PortTest, TempPathComesFromTmpdir) {
  const char* saved = std::getenv("TMPDIR");
  std::string keep = saved ? saved : "";
  setenv("TMPDIR", "/var/tmp", 1);
  char path[260];
  EXPECT_GT(Port::GetTempPath(path, sizeof path), 0u);
  EXPECT_STREQ(path, "Z:\\var\\tmp\\");
  unsetenv("TMPDIR");
  EXPECT_GT(Port::GetTempPath(path, sizeof path), 0u);
  EXPECT_STREQ(path, "Z:\\tmp\\");
  if (saved) setenv("TMPDIR", keep.c_str(), 1);
}

TEST_F(PortTest, WaitingForInputTimesOut) { EXPECT_EQ(Port::WaitForInput(1), 258); }

#endif  // !_WIN32

}  // namespace
}  // namespace VLN2
