// The archive: the file format byte for byte, the writer's relocation of the data behind
// the directory, the reader's handling of damaged files, and the extraction of entries
// into folders.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/ArchiveImp.h"
#include "archive/CompressStreamImp.h"
#include "archive/Stream.h"
#include "framework/Allocator.h"
#include "framework/ElementContainer.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/PackingScope.h"
#include "unit/support/Sandbox.h"
#include "unit/support/StoredFiles.h"

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>

#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

std::string Noise(std::size_t n, std::uint32_t seed = 99) {
  std::string out(n, '\0');
  for (auto& c : out) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return out;
}

std::string Text(std::size_t n) {
  static const char* words[] = {"vorlane ", "box ", "plug-in ", "host ", "setup ", "sdk\n"};
  std::string out;
  for (std::size_t i = 0; out.size() < n; ++i) out += words[(i * 7 + i / 5) % 6];
  out.resize(n);
  return out;
}

// Sixteen bytes that zlib cannot bring below 27: stored as a 20-byte block.
std::string StoredSixteen() {
  std::string s;
  for (int i = 200; i < 216; ++i) s += static_cast<char>(i);
  return s;
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

struct Item {
  std::string name;
  std::string data;
};

class ArchiveTest : public CoreFixture {
 protected:
  using ArchiveRef = ElementRef<Archive>;

  ArchiveRef NewArchive(int mode) {
    auto archive = ArchiveRef::Create(kArchiveType);
    EXPECT_TRUE(archive);
    if (archive) {
      EXPECT_EQ(archive->SetArchiveMode(mode), 0);
    }
    return archive;
  }

  // Builds an archive of the items through BeginEntry and EndEntry; CloseArchive's result.
  int Build(const std::string& path, const std::vector<Item>& items, std::uint32_t piece = 0) {
    auto archive = NewArchive(kArchiveWrite);
    if (!archive) return -1;
    int opened = archive->OpenArchive(path.c_str());
    if (opened != 0) return opened;
    int failures = 0;
    for (const Item& item : items) {
      Stream* s = archive->BeginEntry(item.name.c_str());
      if (!s) return -2;
      std::uint32_t step = piece ? piece : static_cast<std::uint32_t>(item.data.size());
      for (std::size_t at = 0; at < item.data.size(); at += step) {
        std::uint32_t n =
            static_cast<std::uint32_t>(std::min<std::size_t>(step, item.data.size() - at));
        s->WriteData(item.data.data() + at, n);
      }
      if (archive->EndEntry() != 0) ++failures;
    }
    int closed = archive->CloseArchive();
    return failures ? 100 + failures : closed;
  }

  // Every entry through OpenEntry by name, in directory order.
  struct Read {
    std::string name;
    std::uint32_t offset;
    std::uint32_t size;
    bool decoded;
    std::string data;
  };
  std::vector<Read> ReadAll(Archive* archive) {
    std::vector<Read> out;
    Iterator* it = archive->GetEntries();
    EXPECT_NE(it, nullptr);
    if (!it) return out;
    std::vector<ArchiveEntry*> entries;
    for (it->First(); !it->IsDone(); it->Next())
      entries.push_back(static_cast<ArchiveEntry*>(static_cast<Element*>(it->Current())));
    archive->ReleaseEntries(&it);
    EXPECT_EQ(it, nullptr);
    for (ArchiveEntry* e : entries) {
      Read r{e->GetEntryName() ? e->GetEntryName() : "", e->GetBlockOffset(), e->GetBlockSize(),
             false, ""};
      Stream* s = archive->OpenEntry(r.name.c_str());
      if (s) {
        std::uint32_t size = 0;
        s->GetSize(&size);
        r.data.assign(size, '\0');
        if (size) s->ReadData(&r.data[0], size);
        r.decoded = true;
      }
      archive->CloseEntry();
      out.push_back(r);
    }
    return out;
  }

  // Opens path for reading; the open result, and the entries when it succeeded.
  int Open(const std::string& path, std::vector<Read>* entries) {
    auto archive = NewArchive(kArchiveRead);
    if (!archive) return -1;
    int result = archive->OpenArchive(path.c_str());
    if (entries) *entries = ReadAll(archive.get());
    return result;
  }

  void ExpectRoundTrip(const std::vector<Item>& items, std::uint32_t piece = 0) {
    std::string path = box_.Path("round.vln");
    ASSERT_EQ(Build(path, items, piece), 0);
    std::string bytes = box_.ReadFile("round.vln");
    StoredArchive parsed = ParseStoredArchive(bytes);
    ASSERT_TRUE(parsed.whole) << parsed.fault;
    ASSERT_EQ(parsed.entries.size(), items.size());
    std::vector<Read> back;
    ASSERT_EQ(Open(path, &back), 0);
    ASSERT_EQ(back.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
      EXPECT_EQ(parsed.entries[i].name, items[i].name);
      EXPECT_EQ(parsed.entries[i].data, items[i].data) << items[i].name;
      EXPECT_EQ(back[i].name, items[i].name);
      EXPECT_EQ(back[i].offset, parsed.entries[i].offset);
      EXPECT_EQ(back[i].size, parsed.entries[i].size);
      EXPECT_TRUE(back[i].decoded) << items[i].name;
      // Equal names find the first one; only compare unique names.
      bool unique = true;
      for (std::size_t j = 0; j < i; ++j)
        unique = unique && !SameNoCase(items[j].name, items[i].name);
      if (unique) {
        EXPECT_EQ(back[i].data, items[i].data) << items[i].name;
      }
    }
  }

  Sandbox box_;
};

// ---- Bytes on disk.

TEST_F(ArchiveTest, HeaderOf196EntriesWith10101BytesOfRecords) {
  // 105 names of 41 characters and 91 of 40: 196 records of 11 + name length bytes.
  std::vector<Item> items;
  for (int i = 0; i < 196; ++i) {
    std::string name = "entry" + std::to_string(1000 + i);
    name.resize(i < 105 ? 41 : 40, 'n');
    items.push_back({name, ""});
  }
  ASSERT_EQ(Build(box_.Path("a.vln"), items), 0);
  std::string bytes = box_.ReadFile("a.vln");
  const unsigned char head[20] = {0x56, 0x4C, 0x4E, 0x01, 0x01, 0x00, 0x00, 0x4E, 0x52, 0x41,
                                  0x57, 0x00, 0x81, 0x27, 0x00, 0x00, 0xC4, 0x00, 0x00, 0x00};
  ASSERT_GE(bytes.size(), 20u);
  EXPECT_EQ(bytes.substr(0, 20), std::string(reinterpret_cast<const char*>(head), 20));
  StoredArchive parsed = ParseStoredArchive(bytes);
  ASSERT_TRUE(parsed.whole) << parsed.fault;
  EXPECT_EQ(parsed.directorySize, 10113u);
  EXPECT_EQ(parsed.entries.front().offset, 10121u);
  EXPECT_EQ(bytes.size(), 10121u + 196u * 4u);
  for (const StoredEntry& e : parsed.entries) EXPECT_EQ(e.size, 4u);
}

TEST_F(ArchiveTest, OneEntryWithAFiveCharacterNameAndATwentyByteBlock) {
  ASSERT_EQ(Build(box_.Path("one.vln"), {{"abcde", StoredSixteen()}}), 0);
  std::string bytes = box_.ReadFile("one.vln");
  ASSERT_EQ(bytes.size(), 56u);
  std::string expected = std::string("VLN\1\1\0\0\x4E", 8) + std::string("RAW\0", 4) +
                         StoredWord(28) + StoredWord(1) + std::string("\6\0abcde\0", 8) +
                         StoredWord(36) + StoredWord(20) + std::string("RAW\0", 4) +
                         StoredSixteen();
  EXPECT_EQ(bytes, expected);
  std::vector<Read> back;
  ASSERT_EQ(Open(box_.Path("one.vln"), &back), 0);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].offset, 36u);
  EXPECT_EQ(back[0].size, 20u);
  EXPECT_EQ(back[0].data, StoredSixteen());
}

TEST_F(ArchiveTest, VersionsAreWrittenBigEndianAndReadBack) {
  auto archive = NewArchive(kArchiveWrite);
  ASSERT_TRUE(archive);
  EXPECT_EQ(archive->GetVersion(), 256);
  EXPECT_EQ(archive->GetSubVersion(), 78);
  EXPECT_EQ(archive->SetVersion(0x0203), 0);
  EXPECT_EQ(archive->SetSubVersion(0x0405), 0);
  ASSERT_EQ(archive->OpenArchive(box_.Path("v.vln").c_str()), 0);
  Stream* s = archive->BeginEntry("x");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(archive->EndEntry(), 0);
  ASSERT_EQ(archive->CloseArchive(), 0);
  EXPECT_EQ(box_.ReadFile("v.vln").substr(4, 4), std::string("\2\3\4\5", 4));
  auto reader = NewArchive(kArchiveRead);
  ASSERT_TRUE(reader);
  ASSERT_EQ(reader->OpenArchive(box_.Path("v.vln").c_str()), 0);
  EXPECT_EQ(reader->GetVersion(), 0x0203);
  EXPECT_EQ(reader->GetSubVersion(), 0x0405);
}

TEST_F(ArchiveTest, EmptyFileIsAFourByteStoredBlock) {
  ASSERT_EQ(Build(box_.Path("e.vln"), {{"empty", ""}}), 0);
  StoredArchive parsed = ParseStoredArchive(box_.ReadFile("e.vln"));
  ASSERT_TRUE(parsed.whole) << parsed.fault;
  EXPECT_EQ(parsed.entries[0].size, 4u);
  EXPECT_EQ(parsed.entries[0].tag, std::string("RAW\0", 4));
}

TEST_F(ArchiveTest, UnnamedEntryIsWrittenWithTheEmptyName) {
  auto archive = NewArchive(kArchiveWrite);
  ASSERT_TRUE(archive);
  ASSERT_EQ(archive->OpenArchive(box_.Path("u.vln").c_str()), 0);
  Stream* s = archive->BeginEntry(nullptr);
  ASSERT_NE(s, nullptr);
  s->WriteData("abc", 3);
  ASSERT_EQ(archive->EndEntry(), 0);
  ASSERT_EQ(archive->CloseArchive(), 0);
  std::string bytes = box_.ReadFile("u.vln");
  EXPECT_EQ(bytes.substr(12, 4), StoredWord(12 + 11));
  EXPECT_EQ(bytes.substr(20, 3), std::string("\1\0\0", 3));
  std::vector<Read> back;
  ASSERT_EQ(Open(box_.Path("u.vln"), &back), 0);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].name, "");
  EXPECT_EQ(back[0].data, "abc");
}

TEST_F(ArchiveTest, CopyBufferIsThePowerOfTwoThatHoldsHeaderAndDirectory) {
  EXPECT_EQ(ArchiveImp::CopyBufferSize(12), 4096u);
  EXPECT_EQ(ArchiveImp::CopyBufferSize(4088), 4096u);
  for (std::uint32_t d = 4089; d <= 4095; ++d) EXPECT_EQ(ArchiveImp::CopyBufferSize(d), 8192u) << d;
  EXPECT_EQ(ArchiveImp::CopyBufferSize(8184), 8192u);
  EXPECT_EQ(ArchiveImp::CopyBufferSize(8185), 16384u);
  EXPECT_EQ(ArchiveImp::CopyBufferSize(100000), 131072u);
}

TEST_F(ArchiveTest, DirectoryOf4089To4095BytesMovesDataIntactWithAn8192ByteBuffer) {
  // With a 4096-byte buffer the writes would overrun data not yet read.
  for (std::uint32_t d = 4089; d <= 4095; ++d) {
    // Records: 12 + sum(11 + name length). Fill with entries of 100-byte names and one of
    // the rest; every entry carries 3000 bytes so the data spans many buffers.
    std::vector<Item> items;
    std::uint32_t left = d - 12;
    int index = 0;
    while (left > 0) {
      std::uint32_t nameLength = left - 11 > 150 ? 100 : left - 11;
      std::string name = "d" + std::to_string(index);
      name.resize(nameLength, '_');
      items.push_back({name, Noise(3000, index + d)});
      left -= 11 + nameLength;
      ++index;
    }
    std::string path = box_.Path("d.vln");
    ASSERT_EQ(Build(path, items), 0);
    StoredArchive parsed = ParseStoredArchive(box_.ReadFile("d.vln"));
    ASSERT_TRUE(parsed.whole) << parsed.fault << " D=" << d;
    EXPECT_EQ(parsed.directorySize, d);
    for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(parsed.entries[i].data, items[i].data);
  }
}

// ---- Round trips.

TEST_F(ArchiveTest, RoundTripsOfEmptyShortExactLargeAndIncompressibleFiles) {
  PackingScope zlib(core_, kZlibPacking);  // its rule of one and a half times the size
  ExpectRoundTrip({
      {"empty.txt", ""},
      {"one", "x"},
      {"short.txt", "0123456789"},
      {"exact.bin", "abcdefghijklmnop"},
      {"stored.bin", StoredSixteen()},
      {"SDK\\include\\text.h", Text(200000)},
      {"noise.bin", Noise(1 << 20)},
      {"zeros.bin", std::string(300000, '\0')},
      {"dup", "first"},
      {"DUP", "second"},
  });
  StoredArchive parsed = ParseStoredArchive(box_.ReadFile("round.vln"));
  ASSERT_TRUE(parsed.whole);
  EXPECT_EQ(parsed.entries[3].tag, std::string("PAC\0", 4));  // 24 bytes of zlib fit 16 + 8
  EXPECT_EQ(parsed.entries[3].size, 32u);
  EXPECT_EQ(parsed.entries[4].tag, std::string("RAW\0", 4));
  EXPECT_EQ(parsed.entries[6].tag, std::string("PAC\0", 4));
  // The second of two names equal but for case is found as the first.
  std::vector<Read> back;
  ASSERT_EQ(Open(box_.Path("round.vln"), &back), 0);
  EXPECT_EQ(back[9].data, "first");
}

TEST_F(ArchiveTest, DataWrittenInSmallPiecesGivesTheSameBytes) {
  std::vector<Item> items = {{"a", Text(50000)}, {"b", Noise(7000)}, {"c", ""}};
  ASSERT_EQ(Build(box_.Path("whole.vln"), items), 0);
  ASSERT_EQ(Build(box_.Path("pieces.vln"), items, 7), 0);
  EXPECT_EQ(box_.ReadFile("whole.vln"), box_.ReadFile("pieces.vln"));
}

TEST_F(ArchiveTest, RewritingALongerFileCutsItAtTheNewEnd) {
  std::string path = box_.Path("re.vln");
  ASSERT_EQ(Build(path, {{"big", Noise(100000)}}), 0);
  ASSERT_EQ(Build(path, {{"small", "tiny"}}), 0);
  StoredArchive parsed = ParseStoredArchive(box_.ReadFile("re.vln"));
  ASSERT_TRUE(parsed.whole) << parsed.fault;
  ASSERT_EQ(parsed.entries.size(), 1u);
  EXPECT_EQ(parsed.entries[0].data, "tiny");
}

TEST_F(ArchiveTest, AddFileAndAddFolderPackFilesFromDisk) {
  box_.WriteFile("src\\top.txt", "top");
  box_.WriteFile("src\\empty", "");
  box_.WriteFile("src\\sub\\deeper\\data.bin", Noise(5000));
  box_.WriteFile("src\\sub\\b.txt", Text(3000));
  box_.WriteFile("single.txt", "single file");
  auto archive = NewArchive(kArchiveWrite);
  ASSERT_TRUE(archive);
  ASSERT_EQ(archive->OpenArchive(box_.Path("f.vln").c_str()), 0);
  EXPECT_EQ(archive->AddFile(box_.Path("single.txt").c_str()), 0);
  EXPECT_EQ(archive->AddFolder(box_.Path("src\\").c_str(), "ignored"), 0);
  ASSERT_EQ(archive->CloseArchive(), 0);
  StoredArchive parsed = ParseStoredArchive(box_.ReadFile("f.vln"));
  ASSERT_TRUE(parsed.whole) << parsed.fault;
  std::map<std::string, std::string> files;
  for (const StoredEntry& e : parsed.entries) files[e.name] = e.data;
  std::map<std::string, std::string> expected = {{"single.txt", "single file"},
                                                 {"top.txt", "top"},
                                                 {"empty", ""},
                                                 {"sub\\deeper\\data.bin", Noise(5000)},
                                                 {"sub\\b.txt", Text(3000)}};
  EXPECT_EQ(files, expected);
  EXPECT_EQ(parsed.entries[0].name, "single.txt");
}

TEST_F(ArchiveTest, AddFileOfAMissingFileFailsAndCreatesNothing) {
  auto archive = NewArchive(kArchiveWrite);
  ASSERT_TRUE(archive);
  ASSERT_EQ(archive->OpenArchive(box_.Path("m.vln").c_str()), 0);
  EXPECT_NE(archive->AddFile(box_.Path("missing.txt").c_str()), 0);
  EXPECT_FALSE(box_.Exists("missing.txt"));
  EXPECT_NE(archive->AddFile(nullptr), 0);
  EXPECT_NE(archive->AddFolder(nullptr, nullptr), 0);
  // A missing folder holds no files: nothing to add, nothing wrong.
  EXPECT_EQ(archive->AddFolder(box_.Path("nowhere\\").c_str(), nullptr), 0);
  EXPECT_EQ(archive->CloseArchive(), 0);
  EXPECT_EQ(box_.ReadFile("m.vln"), "");
}

// ---- Reading hand-made and damaged files.

// A directory record: the name, then its block's offset and size.
std::string Record(const std::string& name, std::uint32_t offset, std::uint32_t size) {
  return StoredText(name) + StoredWord(offset) + StoredWord(size);
}

TEST_F(ArchiveTest, ShortFormWithFlagZeroHasItsTagAtOffsetFour) {
  // Header 4 + tag, D, N 12 + one record of 2 + 2 + 8: the block at 28.
  std::string file = std::string("VLN\0", 4) + std::string("RAW\0", 4) + StoredWord(24) +
                     StoredWord(1) + Record("a", 28, 7) + std::string("RAW\0", 4) + "xyz";
  box_.WriteFile("short.vln", file);
  auto archive = NewArchive(kArchiveRead);
  ASSERT_TRUE(archive);
  ASSERT_EQ(archive->OpenArchive(box_.Path("short.vln").c_str()), 0);
  EXPECT_EQ(archive->GetVersion(), 0);
  EXPECT_EQ(archive->GetSubVersion(), 0);
  std::vector<Read> back = ReadAll(archive.get());
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].data, "xyz");
}

TEST_F(ArchiveTest, AnyNonZeroFlagMeansTheVersionWordIsPresent) {
  std::string file = std::string("VLN\2\0\7\0\x09", 8) + std::string("RAW\0", 4) + StoredWord(24) +
                     StoredWord(1) + Record("a", 32, 5) + std::string("RAW\0", 4) + "q";
  box_.WriteFile("two.vln", file);
  auto archive = NewArchive(kArchiveRead);
  ASSERT_TRUE(archive);
  ASSERT_EQ(archive->OpenArchive(box_.Path("two.vln").c_str()), 0);
  EXPECT_EQ(archive->GetVersion(), 7);
  EXPECT_EQ(archive->GetSubVersion(), 9);
  EXPECT_EQ(ReadAll(archive.get())[0].data, "q");
}

TEST_F(ArchiveTest, ZeroOrNegativeCountsOpenWithoutEntries) {
  for (std::uint32_t count : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    box_.WriteFile("n.vln", std::string("VLN\1\1\0\0\x4E", 8) + std::string("RAW\0", 4) +
                                StoredWord(12) + StoredWord(count));
    std::vector<Read> back;
    EXPECT_EQ(Open(box_.Path("n.vln"), &back), 0) << count;
    EXPECT_TRUE(back.empty());
  }
}

TEST_F(ArchiveTest, CountLargerThanTheFileCanHoldIsRefusedAtOnce) {
  std::string file = std::string("VLN\1\1\0\0\x4E", 8) + std::string("RAW\0", 4) + StoredWord(12) +
                     StoredWord(0x7FFFFFFF);
  file.resize(100, 'z');
  box_.WriteFile("huge.vln", file);
  auto start = std::chrono::steady_clock::now();
  std::vector<Read> back;
  EXPECT_EQ(Open(box_.Path("huge.vln"), &back), 1);
  EXPECT_TRUE(back.empty());
  EXPECT_EQ(LiveElements(kArchiveEntryType), 0);
  // Refused by arithmetic, not by a loop over the claimed count.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(ArchiveTest, RecordsRunningPastTheEndAreRefusedNotTurnedIntoEmptyEntries) {
  std::string header = std::string("VLN\1\1\0\0\x4E", 8) + std::string("RAW\0", 4);
  std::vector<Read> back;
  // A count of three, two records and a few bytes: too short for a third record.
  std::string records = Record("a", 0, 4) + Record("b", 0, 4);
  box_.WriteFile("few.vln", header + StoredWord(12 + 36) + StoredWord(3) + records + "12345");
  EXPECT_EQ(Open(box_.Path("few.vln"), &back), 1);
  EXPECT_TRUE(back.empty());
  // Long enough for three records by count, but the third runs past the end.
  std::string named = Record("abcdefghijklmnop", 0, 4) + Record("qrstuvwxyzABCDEF", 0, 4);
  box_.WriteFile("past.vln", header + StoredWord(12 + 81) + StoredWord(3) + named);
  EXPECT_EQ(Open(box_.Path("past.vln"), &back), 1);
  EXPECT_TRUE(back.empty());
  EXPECT_EQ(LiveElements(kArchiveEntryType), 0);
  // A record whose name runs past the end.
  box_.WriteFile("name.vln", header + StoredWord(40) + StoredWord(1) + std::string("\xF0\x00", 2) +
                                 std::string(20, 'n'));
  EXPECT_EQ(Open(box_.Path("name.vln"), &back), 1);
  EXPECT_TRUE(back.empty());
  // The same bytes with a matching count read as they are.
  box_.WriteFile("fits.vln", header + StoredWord(12 + 54) + StoredWord(2) + named);
  EXPECT_EQ(Open(box_.Path("fits.vln"), &back), 0);
  EXPECT_EQ(back.size(), 2u);
}

// The directory size only says how much to read in one piece: whatever it claims, the
// records read are the same, and where it falls short the rest come from the file.
TEST_F(ArchiveTest, AWrongDirectorySizeReadsTheSameEntries) {
  ASSERT_EQ(Build(box_.Path("good.vln"), {{"a", "data"}, {"sub\\b", Text(900)}, {"c", ""}}), 0);
  std::string good = box_.ReadFile("good.vln");
  std::vector<Read> expected;
  ASSERT_EQ(Open(box_.Path("good.vln"), &expected), 0);
  std::uint32_t size = ParseStoredArchive(good).directorySize;
  for (std::uint32_t claimed : {0u, 12u, 13u, 20u, size - 1, size + 1, 0xFFFFFFFFu}) {
    std::string bad = good;
    bad.replace(12, 4, StoredWord(claimed));
    box_.WriteFile("bad.vln", bad);
    std::vector<Read> back;
    EXPECT_EQ(Open(box_.Path("bad.vln"), &back), 0) << claimed;
    ASSERT_EQ(back.size(), expected.size()) << claimed;
    for (std::size_t i = 0; i < back.size(); ++i) {
      EXPECT_EQ(back[i].name, expected[i].name) << claimed;
      EXPECT_EQ(back[i].data, expected[i].data) << claimed;
    }
  }
}

TEST_F(ArchiveTest, BadMagicOrTagIsRefusedWithNoEntries) {
  std::string good;
  ASSERT_EQ(Build(box_.Path("good.vln"), {{"a", "data"}}), 0);
  good = box_.ReadFile("good.vln");
  struct Row {
    const char* what;
    std::size_t at;
    char value;
  } rows[] = {{"magic V", 0, 'W'}, {"magic L", 1, 'l'}, {"magic N", 2, 'M'},
              {"tag R", 8, 'P'},   {"tag W", 10, 'X'},  {"tag NUL", 11, 'x'}};
  for (const Row& row : rows) {
    std::string bad = good;
    bad[row.at] = row.value;
    box_.WriteFile("bad.vln", bad);
    std::vector<Read> back;
    EXPECT_EQ(Open(box_.Path("bad.vln"), &back), 1) << row.what;
    EXPECT_TRUE(back.empty()) << row.what;
  }
  box_.WriteFile("emptyfile.vln", "");
  EXPECT_EQ(Open(box_.Path("emptyfile.vln"), nullptr), 1);
}

TEST_F(ArchiveTest, FileCutAtEveryOffsetReadsOnlyWhatIsWhole) {
  std::vector<Item> items = {{"packed.txt", Text(3000)}, {"stored", "tiny"}, {"empty", ""}};
  ASSERT_EQ(Build(box_.Path("whole.vln"), items), 0);
  std::string whole = box_.ReadFile("whole.vln");
  StoredArchive parsed = ParseStoredArchive(whole);
  ASSERT_TRUE(parsed.whole);
  std::uint32_t dataStart = 8 + parsed.directorySize;
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    box_.WriteFile("cut.vln", whole.substr(0, cut));
    std::vector<Read> back;
    int result = Open(box_.Path("cut.vln"), &back);
    if (cut < dataStart) {
      EXPECT_EQ(result, 1) << cut;
      EXPECT_TRUE(back.empty()) << cut;
      continue;
    }
    ASSERT_EQ(result, 0) << cut;
    ASSERT_EQ(back.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      bool complete = parsed.entries[i].offset + parsed.entries[i].size <= cut;
      EXPECT_EQ(back[i].decoded, complete) << cut << " " << i;
      if (complete) {
        EXPECT_EQ(back[i].data, items[i].data);
      }
    }
  }
}

// Each row for a block decoded whole and for one decoded to its file piece by piece. An entry
// that fails leaves its file empty.
TEST_F(ArchiveTest, BlockLengthMismatchesAndCorruptZlibFailTheEntry) {
  for (std::uint32_t n : {5000u, 3u << 20}) {
    ASSERT_EQ(Build(box_.Path("m.vln"), {{"a", Text(n)}}), 0);
    std::string good = box_.ReadFile("m.vln");
    // The record: name length at 20, "a\0", offset at 24, size at 28; the block at 32.
    std::uint32_t size = StoredWordAt(good, 28);
    ASSERT_EQ(StoredWordAt(good, 24), 32u);
    struct Row {
      const char* what;
      std::size_t at;
      std::string value;
      bool decodes;
      std::size_t length;  // of the decoded data
    } rows[] = {
        {"size one past the file", 28, StoredWord(size + 1), false, 0},
        {"size one short", 28, StoredWord(size - 1), false, 0},
        {"size zero", 28, StoredWord(0), false, 0},
        {"size of the header alone", 28, StoredWord(8), false, 0},
        {"offset past the file", 24, StoredWord(1 << 20), false, 0},
        {"stored length smaller", 36, StoredWord(n - 1), false, 0},
        {"stored length larger", 36, StoredWord(n + 1000), true, n},
        {"stored length zero", 36, StoredWord(0), false, 0},
        {"corrupt zlib header", 40, "\x12", false, 0},
        {"corrupt deflate data", 32 + size / 2, "\xFF\xFF\xFF", false, 0},
        {"corrupt checksum", 32 + size - 1, "\x00", false, 0},
        {"unknown tag with a length behind it", 32, "ZIP!", true, 0},
    };
    for (const Row& row : rows) {
      std::string bad = good;
      bad.replace(row.at, row.value.size(), row.value);
      if (bad == good) bad[row.at] ^= 1;
      box_.WriteFile("bad.vln", bad);
      std::vector<Read> back;
      ASSERT_EQ(Open(box_.Path("bad.vln"), &back), 0) << row.what;
      ASSERT_EQ(back.size(), 1u);
      EXPECT_EQ(back[0].decoded, row.decodes) << row.what;
      EXPECT_EQ(back[0].data.size(), row.length) << row.what;
      auto archive = NewArchive(kArchiveRead);
      ASSERT_EQ(archive->OpenArchive(box_.Path("bad.vln").c_str()), 0);
      EXPECT_EQ(archive->ExtractFolder(box_.Path("out\\").c_str(), nullptr), row.decodes ? 0 : 1)
          << row.what;
      EXPECT_TRUE(box_.ReadFile("out\\a") == Text(n).substr(0, row.length)) << row.what;
    }
  }
}

// A large block never lies in memory whole, stored or packed.
TEST_F(ArchiveTest, LargeBlocksGoToTheirFilesPieceByPiece) {
  std::string data = Noise(3u << 20);
  box_.WriteFile("raw.vln", std::string("VLN\1\1\0\0\x4E", 8) + std::string("RAW\0", 4) +
                                StoredWord(28) + StoredWord(1) + std::string("\6\0abcde\0", 8) +
                                StoredWord(36) + StoredWord(4 + data.size()) +
                                std::string("RAW\0", 4) + data);
  ASSERT_EQ(Build(box_.Path("packed.vln"), {{"abcde", Text(3u << 20)}}), 0);
  for (const char* name : {"raw", "packed"}) {
    auto archive = NewArchive(kArchiveRead);
    ASSERT_EQ(archive->OpenArchive(box_.Path(std::string(name) + ".vln").c_str()), 0);
    FailAllocation(0);
    EXPECT_EQ(archive->ExtractFolder(box_.Path(std::string(name) + "\\").c_str(), nullptr), 0)
        << name;
    EXPECT_LE(LargestAllocationSinceHook(), CompressStreamImp::kPiece) << name;
  }
  EXPECT_TRUE(box_.ReadFile("raw\\abcde") == data);
  EXPECT_TRUE(box_.ReadFile("packed\\abcde") == Text(3u << 20));
}

TEST_F(ArchiveTest, MissingFileIsNotCreatedByReading) {
  auto archive = NewArchive(kArchiveRead);
  ASSERT_TRUE(archive);
  EXPECT_EQ(archive->OpenArchive(box_.Path("absent.vln").c_str()), 1);
  EXPECT_FALSE(box_.Exists("absent.vln"));
  EXPECT_EQ(archive->IsArchiveClosed(), 1);
  EXPECT_EQ(archive->CloseArchive(), 0);
}

// ---- The object's operations.

TEST_F(ArchiveTest, ModeChangesOnlyWhileClosedAndTwoMeansWrite) {
  auto archive = ArchiveRef::Create(kArchiveType);
  ASSERT_TRUE(archive);
  EXPECT_EQ(archive->GetTypeId(), 74);
  EXPECT_EQ(archive->Cast(kStreamInterface), nullptr);
  EXPECT_EQ(archive->GetArchiveMode(), 1);
  EXPECT_EQ(archive->IsArchiveClosed(), 1);
  EXPECT_EQ(archive->SetArchiveMode(2), 0);
  EXPECT_EQ(archive->GetArchiveMode(), 0);
  ASSERT_EQ(archive->OpenArchive(box_.Path("w.vln").c_str()), 0);
  EXPECT_EQ(archive->IsArchiveClosed(), 0);
  EXPECT_EQ(archive->SetArchiveMode(1), 1);
  EXPECT_EQ(archive->GetArchiveMode(), 0);
  EXPECT_EQ(archive->OpenArchive(box_.Path("w2.vln").c_str()), 1);  // one opening at a time
  EXPECT_EQ(archive->CloseArchive(), 0);
  EXPECT_EQ(archive->SetArchiveMode(1), 0);
  EXPECT_EQ(archive->Reserved1(), 1);
  EXPECT_EQ(archive->Reserved2("a", "b"), 1);
}

TEST_F(ArchiveTest, ClosingAWritableArchiveWithNothingAddedLeavesTheFileAsItWas) {
  box_.WriteFile("keep.vln", "old contents");
  auto archive = NewArchive(kArchiveWrite);
  ASSERT_TRUE(archive);
  ASSERT_EQ(archive->OpenArchive(box_.Path("keep.vln").c_str()), 0);
  EXPECT_EQ(archive->CloseArchive(), 0);
  EXPECT_EQ(box_.ReadFile("keep.vln"), "old contents");
  // Never opened: the file stream's closed state is the result.
  auto unopened = NewArchive(kArchiveWrite);
  EXPECT_EQ(unopened->CloseArchive(), 1);
}

TEST_F(ArchiveTest, BeginEntryTwiceGivesNullAndCloseArchiveFinishesTheEntry) {
  auto archive = NewArchive(kArchiveWrite);
  ASSERT_TRUE(archive);
  EXPECT_EQ(archive->BeginEntry("before opening"), nullptr);
  ASSERT_EQ(archive->OpenArchive(box_.Path("b.vln").c_str()), 0);
  Stream* s = archive->BeginEntry("first");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(archive->BeginEntry("second"), nullptr);
  EXPECT_EQ(archive->CloseEntry(), 1);  // an entry being written is EndEntry's
  s->WriteData("payload", 7);
  EXPECT_EQ(archive->CloseArchive(), 0);
  EXPECT_EQ(archive->EndEntry(), 1);
  StoredArchive parsed = ParseStoredArchive(box_.ReadFile("b.vln"));
  ASSERT_TRUE(parsed.whole) << parsed.fault;
  ASSERT_EQ(parsed.entries.size(), 1u);
  EXPECT_EQ(parsed.entries[0].data, "payload");
}

TEST_F(ArchiveTest, ReadModeRefusesToWriteEntries) {
  ASSERT_EQ(Build(box_.Path("r.vln"), {{"a", "1"}}), 0);
  auto archive = NewArchive(kArchiveRead);
  ASSERT_EQ(archive->OpenArchive(box_.Path("r.vln").c_str()), 0);
  EXPECT_EQ(archive->BeginEntry("b"), nullptr);
  EXPECT_EQ(archive->CloseArchive(), 0);
  EXPECT_EQ(ParseStoredArchive(box_.ReadFile("r.vln")).entries.size(), 1u);
}

TEST_F(ArchiveTest, OpenEntryIgnoresCaseFindsTheFirstAndAdmitsOneAtATime) {
  ASSERT_EQ(Build(box_.Path("o.vln"),
                  {{"Dir\\Name.TXT", "first"}, {"dir\\name.txt", "second"}, {"other", "third"}}),
            0);
  auto archive = NewArchive(kArchiveRead);
  ASSERT_EQ(archive->OpenArchive(box_.Path("o.vln").c_str()), 0);
  Stream* s = archive->OpenEntry("DIR\\NAME.txt");
  ASSERT_NE(s, nullptr);
  char buffer[8] = {};
  EXPECT_EQ(s->ReadData(buffer, 8), 5);
  EXPECT_EQ(std::string(buffer, 5), "first");
  EXPECT_EQ(archive->OpenEntry("other"), nullptr);  // the first is still open
  EXPECT_EQ(archive->CloseEntry(), 0);
  EXPECT_EQ(archive->CloseEntry(), 1);
  Stream* t = archive->OpenEntry("other");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(archive->CloseEntry(), 0);
  EXPECT_EQ(archive->OpenEntry("missing"), nullptr);
  EXPECT_EQ(archive->OpenEntry(nullptr), nullptr);
  EXPECT_EQ(archive->CloseEntry(), 1);
  // The entry list survives closing.
  EXPECT_EQ(archive->CloseArchive(), 0);
  Iterator* it = archive->GetEntries();
  ASSERT_NE(it, nullptr);
  EXPECT_EQ(it->GetCount(), 3);
  archive->ReleaseEntries(&it);
  EXPECT_EQ(archive->OpenEntry("other"), nullptr);  // no file
}

TEST_F(ArchiveTest, CheckEntryLooksForThePathsFileName) {
  ASSERT_EQ(Build(box_.Path("c.vln"), {{"readme.txt", "r"}, {"sub\\inner.txt", "i"}}), 0);
  auto archive = NewArchive(kArchiveRead);
  ASSERT_EQ(archive->OpenArchive(box_.Path("c.vln").c_str()), 0);
  EXPECT_EQ(archive->CheckEntry("C:\\somewhere\\README.TXT"), 0);
  EXPECT_EQ(archive->CheckEntry("readme.txt"), 0);
  EXPECT_EQ(archive->CheckEntry("C:\\x\\inner.txt"), 1);  // only whole names match
  EXPECT_EQ(archive->CheckEntry("C:\\x\\missing"), 1);
  EXPECT_EQ(archive->CheckEntry("C:\\folder\\"), 1);
  EXPECT_EQ(archive->CheckEntry(nullptr), 1);
}

TEST_F(ArchiveTest, ExtractFileWritesATopLevelEntryToThePath) {
  ASSERT_EQ(Build(box_.Path("x.vln"), {{"tool.exe", Noise(3000)}, {"dir\\nested", "n"}}), 0);
  auto archive = NewArchive(kArchiveRead);
  ASSERT_EQ(archive->OpenArchive(box_.Path("x.vln").c_str()), 0);
  EXPECT_EQ(archive->ExtractFile(box_.Path("TOOL.EXE").c_str()), 0);
  EXPECT_EQ(box_.ReadFile("TOOL.EXE"), Noise(3000));
  EXPECT_EQ(archive->ExtractFile(box_.Path("nested").c_str()), 1);
  EXPECT_FALSE(box_.Exists("nested"));
}

TEST_F(ArchiveTest, ExtractFolderWithAPrefixTakesOnlyThatFolder) {
  ASSERT_EQ(Build(box_.Path("p.vln"), {{"SDK\\a.h", "A"}, {"sdk\\B\\c.h", "C"}, {"SDKx\\d", "D"}}),
            0);
  auto archive = NewArchive(kArchiveRead);
  ASSERT_EQ(archive->OpenArchive(box_.Path("p.vln").c_str()), 0);
  EXPECT_EQ(archive->ExtractFolder(box_.Path("out\\").c_str(), "SDK\\"), 0);
  EXPECT_EQ(box_.ReadFile("out\\a.h"), "A");
  EXPECT_EQ(box_.ReadFile("out\\B\\c.h"), "C");
  EXPECT_FALSE(box_.Exists("out\\d"));
  EXPECT_FALSE(box_.Exists("out\\x"));
  EXPECT_FALSE(box_.Exists("out\\SDKx"));
  // Without a prefix, every entry under its full name.
  EXPECT_EQ(archive->ExtractFolder(box_.Path("all\\").c_str(), nullptr), 0);
  EXPECT_EQ(box_.ReadFile("all\\SDK\\a.h"), "A");
  EXPECT_EQ(box_.ReadFile("all\\sdk\\B\\c.h"), "C");
  EXPECT_EQ(box_.ReadFile("all\\SDKx\\d"), "D");
  // A prefix nothing begins with extracts nothing and is no failure.
  EXPECT_EQ(archive->ExtractFolder(box_.Path("none\\").c_str(), "Cinema4D10\\"), 0);
  EXPECT_FALSE(box_.Exists("none"));
}

TEST_F(ArchiveTest, ExtractingOverExistingFiles) {
  ASSERT_EQ(Build(box_.Path("o.vln"), {{"empty", ""}, {"short", "new"}}), 0);
  box_.WriteFile("out\\empty", "old content");
  box_.WriteFile("out\\short", "much longer old content");
  auto archive = NewArchive(kArchiveRead);
  ASSERT_EQ(archive->OpenArchive(box_.Path("o.vln").c_str()), 0);
  EXPECT_EQ(archive->ExtractFolder(box_.Path("out\\").c_str(), nullptr), 0);
  // An empty entry leaves an empty file, not the old content.
  EXPECT_TRUE(box_.Exists("out\\empty"));
  EXPECT_EQ(box_.ReadFile("out\\empty"), "");
  EXPECT_EQ(box_.ReadFile("out\\short"), "new");
}

TEST_F(ArchiveTest, ExtractFolderRefusesNamesThatLeaveTheFolder) {
  struct Row {
    const char* name;
    const char* prefix;
  } rows[] = {{"..\\evil.txt", nullptr},
              {"a\\..\\..\\evil.txt", nullptr},
              {"\\evil.txt", nullptr},
              {"C:\\evil.txt", nullptr},
              {"SDK\\..\\evil.txt", "SDK\\"},
              {"SDK\\", "SDK\\"},
              {"CON", nullptr},
              {"sub\\nul.txt", nullptr},
              {"trail.", nullptr},
              {"a\\\\b", nullptr},
              {"x:stream", nullptr},
              {"tab\there", nullptr}};
  int index = 0;
  for (const Row& row : rows) {
    ASSERT_EQ(Build(box_.Path("evil.vln"),
                    {{"SDK\\good.txt", "good"}, {row.name, "bad"}, {"SDK\\later.txt", "later"}}),
              0)
        << row.name;
    auto archive = NewArchive(kArchiveRead);
    ASSERT_EQ(archive->OpenArchive(box_.Path("evil.vln").c_str()), 0);
    std::string out = "out" + std::to_string(index++) + "\\deep\\";
    EXPECT_EQ(archive->ExtractFolder(box_.Path(out).c_str(), row.prefix), 1) << row.name;
    std::string good = row.prefix ? "good.txt" : "SDK\\good.txt";
    std::string later = row.prefix ? "later.txt" : "SDK\\later.txt";
    EXPECT_EQ(box_.ReadFile(out + good), "good") << row.name;
    EXPECT_FALSE(box_.Exists(out + later)) << row.name;  // nothing after a failed entry
    EXPECT_FALSE(box_.Exists("evil.txt")) << row.name;
    EXPECT_FALSE(box_.Exists("out" + std::to_string(index - 1) + "\\evil.txt")) << row.name;
  }
}

// Names Windows takes for one file (or a file and a folder): the later entry fails on every
// platform, and the first one's file is not overwritten.
TEST_F(ArchiveTest, ExtractFolderFailsAnEntryThatCollidesWithOneWritten) {
  const struct {
    const char* first;
    const char* later;
  } rows[] = {{"Readme.txt", "README.TXT"},
              {"sub\\\xC3\xA4.txt", "SUB/\xC3\x84.TXT"},
              {"\xD0\xB4\xD0\xBC", "\xD0\x94\xD0\x9C"},
              {"a", "A\\x"}};
  int index = 0;
  for (const auto& row : rows) {
    ASSERT_EQ(Build(box_.Path("twins.vln"), {{row.first, "first"}, {row.later, "later"}}), 0);
    auto archive = NewArchive(kArchiveRead);
    ASSERT_EQ(archive->OpenArchive(box_.Path("twins.vln").c_str()), 0);
    std::string out = "twins" + std::to_string(index++) + "\\";
    EXPECT_EQ(archive->ExtractFolder(box_.Path(out).c_str(), nullptr), 1) << row.later;
    EXPECT_EQ(box_.ReadFile(out + row.first), "first") << row.later;
  }
}

#ifndef _WIN32
// ---- The platform misbehaving (the POSIX port's system-call table).

ssize_t (*g_realRead)(int, void*, size_t) = nullptr;
ssize_t ThreeBytesAtATime(int fd, void* data, size_t n) {
  return g_realRead(fd, data, n < 3 ? n : 3);
}

TEST_F(ArchiveTest, ReadsThatDeliverAFewBytesAtATimeReadTheSame) {
  std::vector<Item> items = {{"a", Noise(9000)}, {"b\\c", Text(3000)}, {"d", ""}};
  ASSERT_EQ(Build(box_.Path("s.vln"), items), 0);
  g_realRead = reinterpret_cast<ssize_t (*)(int, void*, size_t)>(PosixPort::GetSystemCall("read"));
  ASSERT_TRUE(PosixPort::SetSystemCall(
      "read", reinterpret_cast<PosixPort::SystemCall>(&ThreeBytesAtATime)));
  std::vector<Read> back;
  int result = Open(box_.Path("s.vln"), &back);
  long calls = PosixPort::SystemCallCount("read");
  PosixPort::ResetSystemCalls();
  ASSERT_EQ(result, 0);
  EXPECT_GT(calls, 1000);
  ASSERT_EQ(back.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(back[i].data, items[i].data);
}

// The archive is read front to back without asking where the file is, and a new file is
// written without being emptied or cut: neither costs a call per entry.
TEST_F(ArchiveTest, ExtractingNewFilesNeitherSeeksNorCutsPerEntry) {
  long seeks[2], cuts[2];
  for (int round = 0; round < 2; ++round) {
    std::vector<Item> items;
    for (int i = 0; i < 3 * (round + 1); ++i) items.push_back({"f" + std::to_string(i), Text(99)});
    std::string name = "n" + std::to_string(round);
    ASSERT_EQ(Build(box_.Path(name + ".vln"), items), 0);
    auto archive = NewArchive(kArchiveRead);
    PosixPort::ResetSystemCalls();
    ASSERT_EQ(archive->OpenArchive(box_.Path(name + ".vln").c_str()), 0);
    ASSERT_EQ(archive->ExtractFolder(box_.Path(name + "\\").c_str(), nullptr), 0);
    seeks[round] = PosixPort::SystemCallCount("lseek");
    cuts[round] = PosixPort::SystemCallCount("ftruncate");
    EXPECT_EQ(box_.ReadFile(name + "\\f2"), Text(99));
  }
  EXPECT_EQ(seeks[1], seeks[0]);
  EXPECT_EQ(cuts[0] + cuts[1], 0);
}

TEST_F(ArchiveTest, EveryRefusedWriteMakesTheBuildFail) {
  std::vector<Item> items = {{"a", Text(9000)}, {"b", Noise(5000)}, {"c", ""}};
  for (long n = 1;; ++n) {
    PosixPort::FailSystemCall("write", n, ENOSPC);
    int result = Build(box_.Path("full.vln"), items);
    long writes = PosixPort::SystemCallCount("write");
    PosixPort::ResetSystemCalls();
    if (writes < n) {
      EXPECT_EQ(result, 0);
      EXPECT_TRUE(ParseStoredArchive(box_.ReadFile("full.vln")).whole);
      EXPECT_GT(n, 5);
      break;
    }
    EXPECT_NE(result, 0) << "write " << n;
  }
}

TEST_F(ArchiveTest, RefusedWritesWhileExtractingFailTheExtraction) {
  ASSERT_EQ(Build(box_.Path("x.vln"), {{"a", Text(5000)}, {"b", "bee"}}), 0);
  for (long n = 1;; ++n) {
    auto archive = NewArchive(kArchiveRead);
    ASSERT_EQ(archive->OpenArchive(box_.Path("x.vln").c_str()), 0);
    PosixPort::FailSystemCall("write", n, ENOSPC);
    int result = archive->ExtractFolder(box_.Path("out\\").c_str(), nullptr);
    long writes = PosixPort::SystemCallCount("write");
    PosixPort::ResetSystemCalls();
    if (writes < n) {
      EXPECT_EQ(result, 0);
      break;
    }
    EXPECT_EQ(result, 1) << "write " << n;
  }
  EXPECT_EQ(box_.ReadFile("out\\a"), Text(5000));
}
#endif

// ---- Memory running out.

TEST_F(ArchiveTest, AllocationFailuresWhileWritingAreReportedAndLeaveNoElement) {
  box_.WriteFile("src\\f1.txt", Text(3000));
  box_.WriteFile("src\\sub\\f2.bin", Noise(2000));
  box_.WriteFile("single", "single");
  std::string path = box_.Path("alloc.vln");
  long allocations = SweepAllocationFailuresBothModes([&] {
    auto archive = ArchiveRef::Create(kArchiveType);
    if (!archive) return;
    archive->SetArchiveMode(kArchiveWrite);
    int opened = archive->OpenArchive(path.c_str());
    if (opened != 0) {
      EXPECT_EQ(opened, 1);
      return;
    }
    bool ok = true;
    Stream* s = archive->BeginEntry("direct");
    if (s) {
      s->WriteData("direct data", 11);
      int ended = archive->EndEntry();
      EXPECT_TRUE(ended == 0 || ended == 1);
      ok = ok && ended == 0;
    } else {
      ok = false;
    }
    int added = archive->AddFile(box_.Path("single").c_str());
    EXPECT_TRUE(added == 0 || added == 1) << added;
    int folder = archive->AddFolder(box_.Path("src\\").c_str(), nullptr);
    EXPECT_TRUE(folder == 0 || folder == 1) << folder;
    int closed = archive->CloseArchive();
    EXPECT_TRUE(closed == 0 || closed == 1) << closed;
    if (ok && added == 0 && folder == 0 && closed == 0) {
      StoredArchive parsed = ParseStoredArchive(box_.ReadFile("alloc.vln"));
      ASSERT_TRUE(parsed.whole) << parsed.fault;
      ASSERT_EQ(parsed.entries.size(), 4u);
      EXPECT_EQ(parsed.entries[0].data, "direct data");
      EXPECT_EQ(parsed.entries[1].data, "single");
    }
  });
  EXPECT_GT(allocations, 40);
}

TEST_F(ArchiveTest, AllocationFailuresWhileReadingAreReportedAndLeaveNoElement) {
  std::vector<Item> items = {
      {"SDK\\a.h", Text(4000)}, {"SDK\\sub\\b.bin", Noise(900)}, {"top.txt", "top"}};
  ASSERT_EQ(Build(box_.Path("r.vln"), items), 0);
  std::string path = box_.Path("r.vln");
  long allocations = SweepAllocationFailuresBothModes([&] {
    auto archive = ArchiveRef::Create(kArchiveType);
    if (!archive) return;
    archive->SetArchiveMode(kArchiveRead);
    int opened = archive->OpenArchive(path.c_str());
    if (opened != 0) {
      EXPECT_EQ(opened, 1);
      return;
    }
    Iterator* it = archive->GetEntries();
    if (it) {
      EXPECT_EQ(it->GetCount(), 3);
      archive->ReleaseEntries(&it);
    }
    Stream* s = archive->OpenEntry("sdk\\A.H");
    if (s) {
      std::uint32_t size = 0;
      s->GetSize(&size);
      EXPECT_EQ(size, 4000u);
    }
    archive->CloseEntry();
    int checked = archive->CheckEntry("C:\\x\\top.txt");
    EXPECT_TRUE(checked == 0 || checked == 1);
    int folder = archive->ExtractFolder(box_.Path("out\\").c_str(), "SDK\\");
    EXPECT_TRUE(folder == 0 || folder == 1);
    if (folder == 0) {
      EXPECT_EQ(box_.ReadFile("out\\sub\\b.bin"), items[1].data);
    }
    int file = archive->ExtractFile(box_.Path("top.txt").c_str());
    EXPECT_TRUE(file == 0 || file == 1);
    if (file == 0) {
      EXPECT_EQ(box_.ReadFile("top.txt"), "top");
    }
    EXPECT_EQ(archive->CloseArchive(), 0);
  });
  EXPECT_GT(allocations, 40);
}

}  // namespace
}  // namespace VLN2
