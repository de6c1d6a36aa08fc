#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "archive/BinaryStream.h"
#include "archive/Stream.h"
#include "framework/ElementRef.h"
#include "unit/support/SandboxFixture.h"

#ifndef _WIN32
#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

class BinaryStreamTest : public SandboxFixture {
 protected:
  void TearDown() override {
    file_.reset();
    SandboxFixture::TearDown();
  }

  // A new stream on the sandbox file, in the mode; its Stream view.
  Stream* New(const std::string& relative, int mode = kModeReadWrite) {
    file_ = ElementRef<BinaryStream>::Create(kBinaryStreamType);
    if (!file_) return nullptr;
    EXPECT_EQ(file_->SetStreamPath(box_->Path(relative).c_str()), 0);
    Stream* stream = CastTo<Stream>(file_.get());
    if (stream) {
      EXPECT_EQ(stream->SetMode(mode), 0);
    }
    return stream;
  }
  Stream* Open(const std::string& relative, int mode = kModeReadWrite) {
    Stream* stream = New(relative, mode);
    if (stream) {
      EXPECT_EQ(stream->OpenStream(), 0);
    }
    return stream;
  }

  ElementRef<BinaryStream> file_;
};

// ---- Opening.

TEST_F(BinaryStreamTest, ReadingAMissingFileCreatesNothing) {
  Stream* stream = New("missing.bin", kModeRead);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->OpenStream(), 1);
  EXPECT_EQ(stream->IsClosed(), 1);
  EXPECT_FALSE(box_->Exists("missing.bin"));
}

TEST_F(BinaryStreamTest, WritingModesCreateAnEmptyFile) {
  for (int mode : {kModeReadWrite, kModeWrite, 7}) {
    std::string name = "new" + std::to_string(mode) + ".bin";
    Stream* stream = Open(name, mode);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->IsClosed(), 0);
    std::uint32_t size = 99, position = 99;
    EXPECT_EQ(stream->GetSize(&size), 0);
    EXPECT_EQ(stream->GetPosition(&position), 0);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(stream->CloseStream(), 0);
    EXPECT_TRUE(box_->Exists(name));
    EXPECT_EQ(box_->ReadFile(name), "");
  }
}

TEST_F(BinaryStreamTest, ThePlatformRefusingTheFileGives16) {
  Stream* stream = New("no\\such\\folder\\file.bin", kModeWrite);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->OpenStream(), 16);
  EXPECT_EQ(stream->IsClosed(), 1);
  EXPECT_FALSE(box_->Exists("no"));
}

TEST_F(BinaryStreamTest, AReadOnlyFileIsNotOpenedForWriting) {
  box_->WriteFile("locked.bin", "locked");
  if (!MakeReadOnly("locked.bin")) GTEST_SKIP() << "this user may write read-only files";
  Stream* stream = New("locked.bin", kModeWrite);
  EXPECT_EQ(stream->OpenStream(), 16);
  EXPECT_EQ(stream->IsClosed(), 1);
  EXPECT_EQ(box_->ReadFile("locked.bin"), "locked");
  // Reading it is fine.
  stream = Open("locked.bin", kModeRead);
  EXPECT_EQ(stream->IsClosed(), 0);
}

TEST_F(BinaryStreamTest, AFolderCannotBeOpened) {
  box_->MakeFolder("folder");
  Stream* stream = New("folder", kModeRead);
  EXPECT_EQ(stream->OpenStream(), 16);
  stream = New("folder", kModeReadWrite);
  EXPECT_EQ(stream->OpenStream(), 16);
}

TEST_F(BinaryStreamTest, WithoutAPath) {
  file_ = ElementRef<BinaryStream>::Create(kBinaryStreamType);
  ASSERT_TRUE(file_);
  EXPECT_EQ(file_->GetStreamPath(), nullptr);
  Stream* stream = CastTo<Stream>(file_.get());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->OpenStream(), 16);
  EXPECT_EQ(stream->SetMode(kModeRead), 0);
  EXPECT_EQ(stream->OpenStream(), 1);
}

TEST_F(BinaryStreamTest, AnOpenStreamIsNotOpenedAgain) {
  Stream* stream = Open("once.bin");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->OpenStream(), 1);
  EXPECT_EQ(stream->IsClosed(), 0);
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_EQ(stream->CloseStream(), 1);
  EXPECT_EQ(stream->OpenStream(), 0);
}

TEST_F(BinaryStreamTest, OthersMayReadButNotWriteWhileItIsOpen) {
  Stream* writer = Open("shared.bin", kModeWrite);
  ASSERT_NE(writer, nullptr);
  ElementRef<BinaryStream> other = ElementRef<BinaryStream>::Create(kBinaryStreamType);
  ASSERT_TRUE(other);
  other->SetStreamPath(box_->Path("shared.bin").c_str());
  Stream* second = CastTo<Stream>(other.get());
  EXPECT_EQ(second->OpenStream(), 16);
  writer->CloseStream();
  EXPECT_EQ(second->OpenStream(), 0);
}

// ---- Closing: the cut at the final position.

TEST_F(BinaryStreamTest, WritingFromTheStartReplacesALongerFile) {
  box_->WriteFile("ten.bin", "0123456789");
  Stream* stream = Open("ten.bin", kModeReadWrite);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->WriteData("abc", 3), 3);
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_EQ(box_->ReadFile("ten.bin"), "abc");
}

TEST_F(BinaryStreamTest, ReadingOnlyLeavesTheFileAsItWas) {
  box_->WriteFile("ten.bin", "0123456789");
  Stream* stream = Open("ten.bin", kModeReadWrite);
  char data[4];
  EXPECT_EQ(stream->ReadData(data, 4), 4);
  EXPECT_EQ(std::string(data, 4), "0123");
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_EQ(box_->ReadFile("ten.bin"), "0123456789");
}

TEST_F(BinaryStreamTest, WriteModeWithoutWritingLeavesTheFile) {
  box_->WriteFile("ten.bin", "0123456789");
  Stream* stream = Open("ten.bin", kModeWrite);
  EXPECT_EQ(stream->SetPosition(3), 0);
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_EQ(box_->ReadFile("ten.bin"), "0123456789");
}

TEST_F(BinaryStreamTest, CreateModeEmptiesTheFileUnlessAnotherWriterHoldsIt) {
  box_->WriteFile("ten.bin", "0123456789");
  Open("ten.bin", kModeWrite);
  ElementRef<BinaryStream> holder = std::move(file_);
  EXPECT_EQ(New("ten.bin", kModeCreate)->OpenStream(), 16);
  EXPECT_EQ(box_->ReadFile("ten.bin"), "0123456789");
  holder.reset();
  Stream* stream = Open("ten.bin", kModeCreate);
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_TRUE(box_->Exists("ten.bin"));
  EXPECT_EQ(box_->ReadFile("ten.bin"), "");
}

TEST_F(BinaryStreamTest, TheFinalPositionDecidesTheLength) {
  box_->WriteFile("ten.bin", "0123456789");
  Stream* stream = Open("ten.bin");
  EXPECT_EQ(stream->SetPosition(8), 0);
  EXPECT_EQ(stream->WriteData("XY", 2), 2);
  EXPECT_EQ(stream->SetPosition(5), 0);
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_EQ(box_->ReadFile("ten.bin"), "01234");
}

TEST_F(BinaryStreamTest, WritingBeyondTheEndExtendsTheFile) {
  box_->WriteFile("two.bin", "ab");
  Stream* stream = Open("two.bin");
  EXPECT_EQ(stream->SetPosition(5), 0);
  EXPECT_EQ(stream->Write16(0x4443), 2);
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_EQ(box_->ReadFile("two.bin"), std::string("ab\0\0\0CD", 7));
}

TEST_F(BinaryStreamTest, ReleasingClosesTheStream) {
  box_->WriteFile("ten.bin", "0123456789");
  Stream* stream = Open("ten.bin");
  stream->WriteData("xy", 2);
  file_.reset();
  EXPECT_EQ(box_->ReadFile("ten.bin"), "xy");
}

// ---- Byte order.

TEST_F(BinaryStreamTest, TypedValuesAreLittleEndian) {
  Stream* stream = Open("values.bin");
  EXPECT_EQ(stream->Write16(0x1234), 2);
  EXPECT_EQ(stream->Write32(0x89ABCDEFu), 4);
  EXPECT_EQ(stream->Write32b(-2), 4);
  EXPECT_EQ(stream->Write64(0x0102030405060708ull), 8);
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_EQ(box_->ReadFile("values.bin"), std::string("\x34\x12"
                                                      "\xEF\xCD\xAB\x89"
                                                      "\xFE\xFF\xFF\xFF"
                                                      "\x08\x07\x06\x05\x04\x03\x02\x01",
                                                      18));
  stream = Open("values.bin", kModeRead);
  std::uint16_t a = 0;
  std::uint32_t b = 0;
  std::int32_t c = 0;
  std::uint64_t d = 0;
  EXPECT_EQ(stream->Read16(&a), 2);
  EXPECT_EQ(stream->Read32(&b), 4);
  EXPECT_EQ(stream->Read32b(&c), 4);
  EXPECT_EQ(stream->Read64(&d), 8);
  EXPECT_EQ(a, 0x1234);
  EXPECT_EQ(b, 0x89ABCDEFu);
  EXPECT_EQ(c, -2);
  EXPECT_EQ(d, 0x0102030405060708ull);
  EXPECT_EQ(stream->GetError(), 0);
}

// ---- Short reads and the error flag.

TEST_F(BinaryStreamTest, AShortReadDataSetsTheErrorFlag) {
  box_->WriteFile("five.bin", "abcde");
  Stream* stream = Open("five.bin", kModeRead);
  char data[8] = {};
  EXPECT_EQ(stream->ReadData(data, 8), 5);
  EXPECT_EQ(std::string(data, 5), "abcde");
  EXPECT_EQ(stream->GetError(), 1);
  // A successful positioning clears it.
  EXPECT_EQ(stream->SetPosition(0), 0);
  EXPECT_EQ(stream->GetError(), 0);
  EXPECT_EQ(stream->ReadData(data, 5), 5);
  EXPECT_EQ(stream->GetError(), 0);
}

TEST_F(BinaryStreamTest, TypedReadsAtTheEndLeaveFlagAndVariable) {
  box_->WriteFile("six.bin", "abcdef");
  Stream* stream = Open("six.bin", kModeRead);
  std::uint32_t value = 0x11111111u;
  EXPECT_EQ(stream->Read32(&value), 4);
  value = 0x22222222u;
  // Two bytes are left: they are consumed, the variable stays.
  EXPECT_EQ(stream->Read32(&value), 2);
  EXPECT_EQ(value, 0x22222222u);
  EXPECT_EQ(stream->GetError(), 0);
  EXPECT_EQ(stream->Read32(&value), 0);
  std::uint16_t small = 7;
  std::uint64_t large = 9;
  EXPECT_EQ(stream->Read16(&small), 0);
  EXPECT_EQ(stream->Read64(&large), 0);
  EXPECT_EQ(small, 7);
  EXPECT_EQ(large, 9u);
  EXPECT_EQ(stream->GetError(), 0);
  // An error seen before stays: the typed reads do not clear it.
  char data[4];
  EXPECT_EQ(stream->ReadData(data, 4), 0);
  EXPECT_EQ(stream->GetError(), 1);
  EXPECT_EQ(stream->Read32(&value), 0);
  EXPECT_EQ(stream->GetError(), 1);
}

TEST_F(BinaryStreamTest, TheFlagsOutliveClosing) {
  box_->WriteFile("one.bin", "x");
  Stream* stream = Open("one.bin", kModeRead);
  char data[2];
  EXPECT_EQ(stream->ReadData(data, 2), 1);
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_EQ(stream->GetError(), 1);
  EXPECT_EQ(stream->OpenStream(), 0);
  EXPECT_EQ(stream->GetError(), 1);
}

TEST_F(BinaryStreamTest, AClosedStreamFailsQuietly) {
  Stream* stream = New("closed.bin");
  std::uint32_t size = 5, position = 6;
  EXPECT_EQ(stream->GetSize(&size), 1);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(stream->GetPosition(&position), 0);
  EXPECT_EQ(position, 6u);
  EXPECT_EQ(stream->WriteData("a", 1), 0);
  EXPECT_EQ(stream->GetError(), 1);
  EXPECT_EQ(stream->SetPosition(0), 1);
  EXPECT_EQ(stream->GetError(), 1);
  char data[1];
  EXPECT_EQ(stream->ReadData(data, 1), 0);
  EXPECT_FALSE(box_->Exists("closed.bin"));
}

#ifndef _WIN32
TEST_F(BinaryStreamTest, AFailedWriteSetsTheErrorFlagAndStillCounts) {
  box_->WriteFile("ten.bin", "0123456789");
  Stream* stream = Open("ten.bin");
  PosixPort::FailSystemCall("write", 1, ENOSPC);
  EXPECT_EQ(stream->WriteData("abc", 3), 0);
  EXPECT_EQ(stream->GetError(), 1);
  EXPECT_EQ(stream->Write16(0x3231), 2);
  EXPECT_EQ(stream->GetError(), 1);
  // Every write call counts as writing: the file ends at the final position.
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_EQ(box_->ReadFile("ten.bin"), "12");
}

TEST_F(BinaryStreamTest, AFailedReadSetsTheErrorFlag) {
  box_->WriteFile("ten.bin", "0123456789");
  Stream* stream = Open("ten.bin", kModeRead);
  std::uint32_t value = 5;
  PosixPort::FailSystemCall("read", 1, EIO);
  EXPECT_EQ(stream->Read32(&value), 0);
  EXPECT_EQ(value, 5u);
  EXPECT_EQ(stream->GetError(), 1);
}

TEST_F(BinaryStreamTest, AFailedPositioningSetsTheErrorFlag) {
  box_->WriteFile("ten.bin", "0123456789");
  Stream* stream = Open("ten.bin", kModeRead);
  PosixPort::FailSystemCall("lseek", 1, EINVAL);
  EXPECT_EQ(stream->SetPosition(4), 1);
  EXPECT_EQ(stream->GetError(), 1);
  EXPECT_EQ(stream->SetPosition(4), 0);
  EXPECT_EQ(stream->GetError(), 0);
  PosixPort::FailSystemCall("fstat", 1, EIO);
  std::uint32_t size = 77;
  EXPECT_EQ(stream->GetSize(&size), 1);
  EXPECT_EQ(size, 77u);
}
#endif

// ---- Settings.

TEST_F(BinaryStreamTest, SettingsChangeOnlyWhileClosed) {
  Stream* stream = New("settings.bin");
  EXPECT_EQ(stream->GetMode(), kModeReadWrite);
  EXPECT_EQ(stream->GetAccess(), 0);
  EXPECT_EQ(stream->GetOption(), 0);
  EXPECT_EQ(stream->SetAccess(kAccessSequential), 0);
  EXPECT_EQ(stream->SetOption(42), 0);
  ASSERT_EQ(stream->OpenStream(), 0);
  EXPECT_EQ(stream->SetMode(kModeRead), 1);
  EXPECT_EQ(stream->SetAccess(5), 1);
  EXPECT_EQ(stream->SetOption(7), 1);
  EXPECT_EQ(stream->GetMode(), kModeReadWrite);
  EXPECT_EQ(stream->GetAccess(), kAccessSequential);
  EXPECT_EQ(stream->GetOption(), 42);
  EXPECT_EQ(stream->CloseStream(), 0);
  EXPECT_EQ(stream->SetMode(kModeRead), 0);
  EXPECT_EQ(stream->GetMode(), kModeRead);
}

TEST_F(BinaryStreamTest, ThePathAndTheViews) {
  file_ = ElementRef<BinaryStream>::Create(kBinaryStreamType);
  ASSERT_TRUE(file_);
  EXPECT_EQ(file_->GetTypeId(), kBinaryStreamType);
  EXPECT_NE(file_->Cast(kStreamInterface), nullptr);
  EXPECT_EQ(file_->Cast(kIOInterface), nullptr);
  EXPECT_EQ(file_->Cast(kBinaryStreamType), nullptr);
  // Passed on unchanged.
  EXPECT_EQ(file_->SetStreamPath("C:/a\\b..\\c.dat"), 0);
  EXPECT_STREQ(file_->GetStreamPath(), "C:/a\\b..\\c.dat");
  EXPECT_EQ(file_->SetStreamPath(nullptr), 0);
  EXPECT_EQ(file_->GetStreamPath(), nullptr);
}

// ---- Memory running out.

TEST_F(BinaryStreamTest, WhenMemoryRunsOut) {
  box_->WriteFile("data.bin", "0123456789");
  SweepAllocationFailuresBothModes([this] {
    ElementRef<BinaryStream> file = ElementRef<BinaryStream>::Create(kBinaryStreamType);
    if (!file) return;
    Stream* stream = CastTo<Stream>(file.get());
    ASSERT_NE(stream, nullptr);
    int set = file->SetStreamPath(box_->Path("data.bin").c_str());
    if (set != 0) {
      EXPECT_EQ(file->GetStreamPath(), nullptr);
      return;
    }
    EXPECT_EQ(stream->SetMode(kModeRead), 0);
    ASSERT_EQ(stream->OpenStream(), 0);
    char data[10];
    EXPECT_EQ(stream->ReadData(data, 10), 10);
    EXPECT_EQ(stream->CloseStream(), 0);
  });
  EXPECT_EQ(box_->ReadFile("data.bin"), "0123456789");
}

}  // namespace
}  // namespace VLN2
