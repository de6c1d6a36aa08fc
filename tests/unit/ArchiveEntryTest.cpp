// Archive entries: the name, block offset and block size of one directory record, and the
// record's bytes through the IO view.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "archive/CompressStream.h"
#include "archive/Stream.h"
#include "framework/IO.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/MemoryStream.h"

namespace VLN2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ArchiveEntryTest : public CoreFixture {
 protected:
  using EntryRef = ElementRef<ArchiveEntry>;
  static IO* View(const EntryRef& entry) { return CastTo<IO>(entry.get()); }
};

TEST_F(ArchiveEntryTest, NewEntryHasNoNameAndZeroOffsetAndSize) {
  auto entry = EntryRef::Create(kArchiveEntryType);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->GetTypeId(), 75);
  EXPECT_EQ(entry->GetEntryName(), nullptr);
  EXPECT_EQ(entry->GetBlockOffset(), 0u);
  EXPECT_EQ(entry->GetBlockSize(), 0u);
  EXPECT_NE(entry->Cast(kIOInterface), nullptr);
  EXPECT_EQ(entry->Cast(kStreamInterface), nullptr);
  EXPECT_EQ(entry->Cast(kCrunchInterface), nullptr);
}

TEST_F(ArchiveEntryTest, SettersStoreAndNullForgetsTheName) {
  auto entry = EntryRef::Create(kArchiveEntryType);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->SetEntryName("SDK\\a.h"), 0);
  EXPECT_STREQ(entry->GetEntryName(), "SDK\\a.h");
  EXPECT_EQ(entry->SetEntryName("other"), 0);
  EXPECT_STREQ(entry->GetEntryName(), "other");
  EXPECT_EQ(LiveElements(kStringType), 1);
  EXPECT_EQ(entry->SetEntryName(nullptr), 0);
  EXPECT_EQ(entry->GetEntryName(), nullptr);
  EXPECT_EQ(LiveElements(kStringType), 0);
  EXPECT_EQ(entry->SetBlockOffset(0xDEADBEEFu), 0);
  EXPECT_EQ(entry->SetBlockSize(20), 0);
  EXPECT_EQ(entry->GetBlockOffset(), 0xDEADBEEFu);
  EXPECT_EQ(entry->GetBlockSize(), 20u);
}

TEST_F(ArchiveEntryTest, RecordBytesAreNameThenOffsetThenSize) {
  auto entry = EntryRef::Create(kArchiveEntryType);
  ASSERT_TRUE(entry);
  entry->SetEntryName("a.txt");
  entry->SetBlockOffset(36);
  entry->SetBlockSize(0x01020304);
  MemoryStream out;
  out.OpenStream();
  ASSERT_EQ(View(entry)->Write(&out), 0);
  EXPECT_EQ(out.Bytes(), (Bytes{6, 0, 'a', '.', 't', 'x', 't', 0, 36, 0, 0, 0, 4, 3, 2, 1}));
}

TEST_F(ArchiveEntryTest, UnnamedEntryIsStoredWithTheEmptyNameInElevenBytes) {
  auto entry = EntryRef::Create(kArchiveEntryType);
  ASSERT_TRUE(entry);
  entry->SetBlockOffset(0x11223344);
  entry->SetBlockSize(4);
  MemoryStream out;
  out.OpenStream();
  ASSERT_EQ(View(entry)->Write(&out), 0);
  Bytes expected{1, 0, 0, 0x44, 0x33, 0x22, 0x11, 4, 0, 0, 0};
  EXPECT_EQ(out.Bytes(), expected);

  auto back = EntryRef::Create(kArchiveEntryType);
  ASSERT_TRUE(back);
  MemoryStream in(expected);
  in.OpenStream();
  EXPECT_EQ(View(back)->Read(&in), 0);
  EXPECT_STREQ(back->GetEntryName(), "");
  EXPECT_EQ(back->GetBlockOffset(), 0x11223344u);
  EXPECT_EQ(back->GetBlockSize(), 4u);
}

TEST_F(ArchiveEntryTest, NameLengthZeroReadsAsTheEmptyName) {
  Bytes record{0, 0, 9, 0, 0, 0, 8, 0, 0, 0};
  auto entry = EntryRef::Create(kArchiveEntryType);
  ASSERT_TRUE(entry);
  MemoryStream in(record);
  EXPECT_EQ(View(entry)->Read(&in), 0);
  EXPECT_STREQ(entry->GetEntryName(), "");
  EXPECT_EQ(entry->GetBlockOffset(), 9u);
  EXPECT_EQ(entry->GetBlockSize(), 8u);
}

TEST_F(ArchiveEntryTest, RecordsRoundTripBackToBack) {
  MemoryStream stream;
  const char* names[] = {"x", "SDK\\include\\vln.h", "", "3DSMax3\\plugin.dlo"};
  for (int i = 0; i < 4; ++i) {
    auto entry = EntryRef::Create(kArchiveEntryType);
    ASSERT_TRUE(entry);
    entry->SetEntryName(names[i]);
    entry->SetBlockOffset(100u * i);
    entry->SetBlockSize(7u + i);
    ASSERT_EQ(View(entry)->Write(&stream), 0);
  }
  stream.SetPosition(0);
  for (int i = 0; i < 4; ++i) {
    auto entry = EntryRef::Create(kArchiveEntryType);
    ASSERT_TRUE(entry);
    ASSERT_EQ(View(entry)->Read(&stream), 0);
    EXPECT_STREQ(entry->GetEntryName(), names[i]);
    EXPECT_EQ(entry->GetBlockOffset(), 100u * i);
    EXPECT_EQ(entry->GetBlockSize(), 7u + i);
  }
}

TEST_F(ArchiveEntryTest, ReadingReplacesAnEarlierName) {
  auto entry = EntryRef::Create(kArchiveEntryType);
  ASSERT_TRUE(entry);
  entry->SetEntryName("old name");
  MemoryStream in(Bytes{4, 0, 'n', 'e', 'w', 0, 1, 0, 0, 0, 2, 0, 0, 0});
  EXPECT_EQ(View(entry)->Read(&in), 0);
  EXPECT_STREQ(entry->GetEntryName(), "new");
  EXPECT_EQ(LiveElements(kStringType), 1);
}

TEST_F(ArchiveEntryTest, RecordCutAtEveryOffsetIsAFailedRead) {
  Bytes record{6, 0, 'a', 'b', 'c', 'd', 'e', 0, 1, 2, 3, 4, 5, 6, 7, 8};
  for (std::uint32_t cut = 0; cut < record.size(); ++cut) {
    auto entry = EntryRef::Create(kArchiveEntryType);
    ASSERT_TRUE(entry);
    MemoryStream in(record);
    in.SetReadLimit(cut);
    EXPECT_NE(View(entry)->Read(&in), 0) << cut;
    // Whatever arrived, the name is a terminated text inside the record.
    ASSERT_NE(entry->GetEntryName(), nullptr);
    EXPECT_LE(std::string(entry->GetEntryName()).size(), 5u);
  }
}

TEST_F(ArchiveEntryTest, ANameWithoutItsNulIsStillTerminated) {
  Bytes record{3, 0, 'a', 'b', 'c', 1, 0, 0, 0, 2, 0, 0, 0};
  auto entry = EntryRef::Create(kArchiveEntryType);
  ASSERT_TRUE(entry);
  MemoryStream in(record);
  EXPECT_EQ(View(entry)->Read(&in), 0);
  EXPECT_STREQ(entry->GetEntryName(), "ab");
}

TEST_F(ArchiveEntryTest, FailedWritesShowInTheResult) {
  auto entry = EntryRef::Create(kArchiveEntryType);
  ASSERT_TRUE(entry);
  MemoryStream out;
  out.FailWrites();
  EXPECT_NE(View(entry)->Write(&out), 0);
  entry->SetEntryName("named");
  EXPECT_NE(View(entry)->Write(&out), 0);
  EXPECT_NE(View(entry)->Read(nullptr), 0);
  EXPECT_NE(View(entry)->Write(nullptr), 0);
}

TEST_F(ArchiveEntryTest, TooLongANameIsRefusedRatherThanWrappedAround) {
  auto entry = EntryRef::Create(kArchiveEntryType);
  ASSERT_TRUE(entry);
  std::string longest(65534, 'n');
  ASSERT_EQ(entry->SetEntryName(longest.c_str()), 0);
  MemoryStream out;
  EXPECT_EQ(View(entry)->Write(&out), 0);
  EXPECT_EQ(out.Bytes().size(), 2u + 65535u + 8u);
  EXPECT_EQ(out.Bytes()[0], 0xFF);
  EXPECT_EQ(out.Bytes()[1], 0xFF);
  std::string tooLong(65535, 'n');
  ASSERT_EQ(entry->SetEntryName(tooLong.c_str()), 0);
  MemoryStream refused;
  EXPECT_NE(View(entry)->Write(&refused), 0);
  EXPECT_TRUE(refused.Bytes().empty());
}

TEST_F(ArchiveEntryTest, RecordsWriteIntoAMemoryCompressStream) {
  auto entry = EntryRef::Create(kArchiveEntryType);
  auto memory = ElementRef<CompressStream>::Create(kCompressStreamType);
  ASSERT_TRUE(entry && memory);
  Stream* s = CastTo<Stream>(memory.get());
  s->SetAccess(kAccessMemoryOnly);
  ASSERT_EQ(s->OpenStream(), 0);
  entry->SetEntryName("abcde");
  ASSERT_EQ(View(entry)->Write(s), 0);
  std::uint32_t size = 0;
  s->GetSize(&size);
  EXPECT_EQ(size, 2u + 6u + 8u);
}

TEST_F(ArchiveEntryTest, AllocationFailuresGiveFailureResultsAndLeakNothing) {
  Bytes record{6, 0, 'a', 'b', 'c', 'd', 'e', 0, 1, 0, 0, 0, 2, 0, 0, 0};
  SweepAllocationFailuresBothModes([&] {
    auto entry = EntryRef::Create(kArchiveEntryType);
    if (!entry) return;
    int named = entry->SetEntryName("name");
    if (named != 0) {
      EXPECT_EQ(named, 1);
      EXPECT_EQ(entry->GetEntryName(), nullptr);
    } else {
      EXPECT_STREQ(entry->GetEntryName(), "name");
    }
    MemoryStream in(record);
    auto other = EntryRef::Create(kArchiveEntryType);
    if (!other) return;
    int read = View(other)->Read(&in);
    if (read == 0) {
      EXPECT_STREQ(other->GetEntryName(), "abcde");
      EXPECT_EQ(other->GetBlockSize(), 2u);
    } else {
      EXPECT_EQ(read, 1);
    }
  });
}

}  // namespace
}  // namespace VLN2
