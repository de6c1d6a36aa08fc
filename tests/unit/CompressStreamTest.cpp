// Packed blocks: the device shared through the Core, decoding of "PAC" and "RAW" blocks
// from an input stream, packing at close (zlib's one-and-a-half rule, libdeflate's rule of
// packing only what shrinks, every level), the memory-only stream, the write buffer's
// growth, and damaged or short input.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveEntry.h"
#include "archive/CompressDeviceImp.h"
#include "archive/CompressStream.h"
#include "archive/CompressStreamImp.h"
#include "archive/Stream.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/MemoryStream.h"
#include "unit/support/PackingScope.h"
#include "unit/support/StoredFiles.h"

namespace VLN2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Repeated(std::size_t n, std::uint8_t value) { return Bytes(n, value); }

// Deterministic bytes that zlib cannot shrink.
Bytes Noise(std::size_t n, std::uint32_t seed = 12345) {
  Bytes out(n);
  for (auto& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Word(std::uint32_t v) { return FromText(StoredWord(v)); }

// The 32-bit field at offset four: a packed block's unpacked length.
std::uint32_t UnpackedLength(const Bytes& block) {
  return StoredWordAt(std::string(block.begin(), block.end()), 4);
}

Bytes ZlibOf(const Bytes& data) {
  uLongf length = compressBound(data.size());
  Bytes out(length);
  EXPECT_EQ(compress2(out.data(), &length, data.data(), data.size(), 9), Z_OK);
  out.resize(length);
  return out;
}

// A stream that hands out at most a few bytes per read without having ended, as a pipe
// or a slow device may.
class ChunkedStream : public MemoryStream {
 public:
  ChunkedStream(std::vector<std::uint8_t> bytes, std::uint32_t chunk)
      : MemoryStream(std::move(bytes)), chunk_(chunk) {}
  int ReadData(void* data, std::uint32_t n) override {
    return MemoryStream::ReadData(data, n < chunk_ ? n : chunk_);
  }

 private:
  std::uint32_t chunk_;
};

class CompressStreamTest : public CoreFixture {
 protected:
  using StreamRef = ElementRef<CompressStream>;

  static Stream* View(const StreamRef& ref) { return CastTo<Stream>(ref.get()); }

  // Packs data through a write-mode stream (written in pieces of chunk bytes) and
  // returns the block.
  Bytes Pack(const Bytes& data, std::uint32_t chunk = 0) {
    MemoryStream out;
    auto cs = StreamRef::Create(kCompressStreamType);
    EXPECT_TRUE(cs);
    if (!cs) return {};
    cs->SetOutput(&out);
    Stream* s = View(cs);
    EXPECT_EQ(s->SetMode(kModeWrite), 0);
    EXPECT_EQ(s->OpenStream(), 0);
    if (chunk == 0) chunk = data.empty() ? 1 : static_cast<std::uint32_t>(data.size());
    for (std::size_t at = 0; at < data.size(); at += chunk) {
      std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(chunk, data.size() - at));
      EXPECT_EQ(s->WriteData(data.data() + at, n), static_cast<int>(n));
    }
    EXPECT_EQ(s->CloseStream(), 0);
    return out.Bytes();
  }

  // Opens a read-mode stream on input for a block of blockSize bytes at the input's
  // position; the open result, and the data in *data on success.
  int Unpack(Stream* input, std::uint32_t blockSize, Bytes* data, int passThrough = 0,
             std::uint32_t offset = 0) {
    auto entry = ElementRef<ArchiveEntry>::Create(kArchiveEntryType);
    auto cs = StreamRef::Create(kCompressStreamType);
    if (!entry || !cs) return -1;
    entry->SetBlockOffset(offset);
    entry->SetBlockSize(blockSize);
    cs->SetInput(input);
    cs->SetEntry(entry.get());
    cs->SetPassThrough(passThrough);
    Stream* s = View(cs);
    s->SetMode(kModeRead);
    int result = s->OpenStream();
    if (result == 0 && data) {
      std::uint32_t size = 0;
      EXPECT_EQ(s->GetSize(&size), 0);
      data->assign(size, 0);
      if (size) {
        EXPECT_EQ(s->ReadData(data->data(), size), static_cast<int>(size));
      }
    }
    s->CloseStream();
    return result;
  }

  int Unpack(const Bytes& block, Bytes* data) {
    MemoryStream input(block);
    return Unpack(&input, static_cast<std::uint32_t>(block.size()), data);
  }
};

// ---- The device.

TEST_F(CompressStreamTest, DeviceWrapsZlibOneShotCalls) {
  ElementRef<CompressDevice> device(new CompressDeviceImp(core_, kZlibPacking));
  ASSERT_TRUE(device);
  EXPECT_EQ(device->GetTypeId(), 76);
  Bytes data = Repeated(1000, 'x');
  Bytes packed(100);
  unsigned length = 100;
  ASSERT_EQ(device->Compress(packed.data(), &length, data.data(), 1000), 0);
  packed.resize(length);
  EXPECT_EQ(packed, ZlibOf(data));
  Bytes small(10);
  unsigned tooSmall = 10;
  EXPECT_EQ(device->Compress(small.data(), &tooSmall, data.data(), 1000), Z_BUF_ERROR);

  Bytes back(1000);
  unsigned produced = 1000;
  ASSERT_EQ(device->Uncompress(back.data(), &produced, packed.data(), length), 0);
  EXPECT_EQ(produced, 1000u);
  EXPECT_EQ(back, data);
  unsigned shortDest = 999;
  EXPECT_LT(device->Uncompress(back.data(), &shortDest, packed.data(), length), 0);
  Bytes corrupt = packed;
  corrupt[0] = 0x12;
  unsigned again = 1000;
  EXPECT_EQ(device->Uncompress(back.data(), &again, corrupt.data(), length), Z_DATA_ERROR);
}

TEST_F(CompressStreamTest, OneDeviceAnswersEveryUncompressAsZlibsOneShotCallDoes) {
  auto device = ElementRef<CompressDevice>::Create(kCompressDeviceType);
  ASSERT_TRUE(device);
  Bytes data = Concat({Repeated(3000, 'k'), Noise(2000)});
  Bytes packed = ZlibOf(data);
  Bytes corrupt = packed;
  corrupt.back() ^= 0xFF;
  Bytes trailing = Concat({packed, FromText("tail")});
  // A header asking for a preset dictionary (FDICT, and the check bits that make it valid).
  Bytes dictionary = {packed[0], static_cast<std::uint8_t>((packed[1] & 0xC0) | 0x20)};
  dictionary[1] += (31 - (dictionary[0] * 256 + dictionary[1]) % 31) % 31;
  dictionary = Concat({dictionary, Word(1)});
  struct Case {
    const Bytes* input;
    std::size_t inputLength;
    unsigned destLength;
  } cases[] = {{&packed, packed.size(), 5000},     {&packed, packed.size() - 1, 5000},
               {&packed, packed.size(), 4999},     {&corrupt, corrupt.size(), 5000},
               {&packed, packed.size(), 9000},     {&packed, 0, 5000},
               {&trailing, trailing.size(), 5000}, {&dictionary, dictionary.size(), 5000},
               {&packed, packed.size(), 0},        {&packed, packed.size(), 5000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(&c - cases));
    Bytes expected(c.destLength + 1), back(c.destLength + 1);
    uLongf expectedLength = c.destLength;
    int expectedResult =
        uncompress(expected.data(), &expectedLength, c.input->data(), c.inputLength);
    unsigned length = c.destLength;
    EXPECT_EQ(device->Uncompress(back.data(), &length, c.input->data(),
                                 static_cast<unsigned>(c.inputLength)),
              expectedResult);
    if (expectedResult == Z_OK) {
      EXPECT_EQ(length, expectedLength);
      EXPECT_EQ(back, expected);
    }
  }
}

TEST_F(CompressStreamTest, DeviceIsSharedAndLivesExactlyAsLongAsAStreamHoldsIt) {
  EXPECT_EQ(core_->GetRegistered(76), nullptr);
  {
    auto first = StreamRef::Create(kCompressStreamType);
    ASSERT_TRUE(first);
    Element* device = core_->GetRegistered(76);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetTypeId(), 76);
    EXPECT_EQ(device->GetRefCount(), 1);
    {
      auto second = StreamRef::Create(kCompressStreamType);
      ASSERT_TRUE(second);
      EXPECT_EQ(core_->GetRegistered(76), device);
      EXPECT_EQ(device->GetRefCount(), 2);
    }
    EXPECT_EQ(core_->GetRegistered(76), device);
    EXPECT_EQ(device->GetRefCount(), 1);
    EXPECT_EQ(LiveElements(76), 1);
  }
  EXPECT_EQ(core_->GetRegistered(76), nullptr);
  EXPECT_EQ(LiveElements(76), 0);
}

// A device of the caller's, registered in the Core: streams use it rather than make one.
class CountingDevice : public CompressDeviceImp {
 public:
  explicit CountingDevice(Core* core) : CompressDeviceImp(core) {}
  int Compress(unsigned char* d, unsigned* dl, const unsigned char* s, unsigned sl) override {
    ++compressCalls;
    return CompressDeviceImp::Compress(d, dl, s, sl);
  }
  int Uncompress(unsigned char* d, unsigned* dl, const unsigned char* s, unsigned sl) override {
    ++uncompressCalls;
    return CompressDeviceImp::Uncompress(d, dl, s, sl);
  }
  int compressCalls = 0;
  int uncompressCalls = 0;
};

TEST_F(CompressStreamTest, StreamsUseTheRegisteredDevice) {
  auto* device = new CountingDevice(core_);
  device->AddRef();  // the test's own reference keeps it past the streams
  core_->SetRegistered(76, device);
  Bytes data = Repeated(500, 'q');
  Bytes block = Pack(data);
  EXPECT_EQ(device->compressCalls, 1);
  Bytes back;
  EXPECT_EQ(Unpack(block, &back), 0);
  EXPECT_EQ(back, data);
  EXPECT_EQ(device->uncompressCalls, 1);
  EXPECT_EQ(core_->GetRegistered(76), device);
  EXPECT_EQ(device->GetRefCount(), 1);
  core_->SetRegistered(76, nullptr);
  device->Release();
  EXPECT_EQ(LiveElements(76), 0);
}

// ---- Packing.

TEST_F(CompressStreamTest, NothingWrittenGivesTheBareStoredTag) {
  EXPECT_EQ(Pack({}), FromText(std::string("RAW\0", 4)));
}

TEST_F(CompressStreamTest, RepeatedCharacterIsPackedWithItsLength) {
  PackingScope zlib(core_, kZlibPacking);
  Bytes data = Repeated(1000, 'a');
  Bytes block = Pack(data);
  ASSERT_GT(block.size(), 10u);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 8),
            (Bytes{'P', 'A', 'C', 0, 0xE8, 0x03, 0x00, 0x00}));
  EXPECT_EQ(block[8], 0x78);
  EXPECT_EQ(block[9], 0xDA);
  EXPECT_EQ(Bytes(block.begin() + 8, block.end()), ZlibOf(data));
}

TEST_F(CompressStreamTest, TenVariedBytesAreStored) {
  Bytes data = FromText("abcdefghij");
  EXPECT_EQ(Pack(data), Concat({FromText(std::string("RAW\0", 4)), data}));
}

TEST_F(CompressStreamTest, SixteenBytesWhoseZlibFormFillsExactlyOneAndAHalfAreTheirSize) {
  PackingScope zlib(core_, kZlibPacking);
  // zlib makes exactly 24 bytes of these 16: the limit itself, so the block is packed.
  Bytes data = FromText("abcdefghijklmnop");
  ASSERT_EQ(ZlibOf(data).size(), 24u);
  Bytes block = Pack(data);
  EXPECT_EQ(block.size(), 32u);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 8), (Bytes{'P', 'A', 'C', 0, 16, 0, 0, 0}));
  // One byte more than the limit: stored.
  Bytes high;
  for (int i = 200; i < 216; ++i) high.push_back(static_cast<std::uint8_t>(i));
  ASSERT_EQ(ZlibOf(high).size(), 27u);
  EXPECT_EQ(Pack(high), Concat({FromText(std::string("RAW\0", 4)), high}));
}

TEST_F(CompressStreamTest, IncompressibleDataIsStillPackedWithinTheLimit) {
  PackingScope zlib(core_, kZlibPacking);
  // zlib's stored deflate blocks add a few bytes only: far below half the size.
  Bytes data = Noise(100000);
  Bytes block = Pack(data, 777);
  ASSERT_GT(block.size(), data.size() + 8);
  EXPECT_LT(block.size(), data.size() + 100);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), FromText(std::string("PAC\0", 4)));
  EXPECT_EQ(UnpackedLength(block), 100000u);
  Bytes back;
  ASSERT_EQ(Unpack(block, &back), 0);
  EXPECT_EQ(back, data);
}

TEST_F(CompressStreamTest, EveryLevelOfEveryEncoderMakesZlibStreamsThatDecodeToTheData) {
  for (Encoder encoder : {Encoder::kZlib, Encoder::kLibdeflate}) {
    for (int level = 1; level <= HighestLevel(encoder); ++level) {
      SCOPED_TRACE(std::string(EncoderName(encoder)) + " " + std::to_string(level));
      PackingScope scope(core_, {encoder, level});
      Bytes data = Concat({Repeated(3000, 'k'), Noise(2000)});
      Bytes block = Pack(data, 300);
      EXPECT_EQ(Bytes(block.begin(), block.begin() + 9),
                Concat({FromText(std::string("PAC\0", 4)), Word(5000), {0x78}}));
      // The header's second byte names the slowest levels (DA) from zlib's 7, libdeflate's 8.
      EXPECT_EQ(block[9] == 0xDA, level >= (encoder == Encoder::kZlib ? 7 : 8));
      Bytes back;
      ASSERT_EQ(Unpack(block, &back), 0);
      EXPECT_EQ(back, data);
      // zlib's stream of noise fits in one and a half times its size; libdeflate's does not shrink.
      EXPECT_EQ(Pack(Noise(5000))[0], encoder == Encoder::kZlib ? 'P' : 'R');
    }
  }
}

TEST_F(CompressStreamTest, LibdeflatePacksOnlyWhatComesOutShorterThanStored) {
  if (!HighestLevel(Encoder::kLibdeflate)) GTEST_SKIP() << "no libdeflate in this build";
  PackingScope scope(core_, {Encoder::kLibdeflate, 10});
  // Its stream of these sixteen bytes takes 12: a packed block of 20, as long as stored.
  Bytes equal = Concat({Repeated(15, 'a'), FromText("A")});
  EXPECT_EQ(Pack(equal), Concat({FromText(std::string("RAW\0", 4)), equal}));
  // Of seventeen, also 12: one byte shorter than stored, packed.
  Bytes block = Pack(Concat({Repeated(16, 'a'), FromText("A")}));
  EXPECT_EQ(block.size(), 20u);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 8), (Bytes{'P', 'A', 'C', 0, 17, 0, 0, 0}));
}

TEST_F(CompressStreamTest, StreamsPackWithLibdeflateWhereTheBuildHasIt) {
  bool libdeflate = HighestLevel(Encoder::kLibdeflate) != 0;
  EXPECT_EQ(DefaultPacking().encoder, libdeflate ? Encoder::kLibdeflate : Encoder::kZlib);
  EXPECT_EQ(Pack(Noise(5000))[0], libdeflate ? 'R' : 'P');  // stored by libdeflate's rule only
  for (int level : {0, 1, 9, 10, 12, 13}) {
    EXPECT_EQ(IsSupported({Encoder::kZlib, level}), level >= 1 && level <= 9) << level;
    EXPECT_EQ(IsSupported({Encoder::kLibdeflate, level}), libdeflate && level >= 1 && level <= 12)
        << level;
  }
}

TEST_F(CompressStreamTest, RoundTripsOfBothFormsAndManySizes) {
  for (std::size_t n : {0u, 1u, 15u, 16u, 17u, 20u, 100u, 4095u, 4096u, 4097u, 70000u}) {
    for (const Bytes& data : {Repeated(n, 'z'), Noise(n), Bytes(Noise(n / 2).size(), 0)}) {
      Bytes block = Pack(data, 1000);
      Bytes back;
      ASSERT_EQ(Unpack(block, &back), 0) << n;
      EXPECT_EQ(back, data) << n;
    }
  }
}

TEST_F(CompressStreamTest, TypedWritesAreLittleEndian) {
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  Stream* s = View(cs);
  ASSERT_EQ(s->SetAccess(kAccessMemoryOnly), 0);
  ASSERT_EQ(s->OpenStream(), 0);
  EXPECT_EQ(s->Write16(0x1234), 2);
  EXPECT_EQ(s->Write32(0x89ABCDEFu), 4);
  EXPECT_EQ(s->Write32b(-2), 4);
  EXPECT_EQ(s->Write64(0x0102030405060708ull), 8);
  std::uint32_t size = 0;
  EXPECT_EQ(s->GetSize(&size), 0);
  EXPECT_EQ(size, 18u);
  ASSERT_EQ(s->SetPosition(0), 0);
  std::uint8_t raw[18];
  EXPECT_EQ(s->ReadData(raw, 18), 18);
  EXPECT_EQ(Bytes(raw, raw + 18), (Bytes{0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0xFE, 0xFF, 0xFF, 0xFF,
                                         8, 7, 6, 5, 4, 3, 2, 1}));
  ASSERT_EQ(s->SetPosition(0), 0);
  std::uint16_t v16 = 0;
  std::uint32_t v32 = 0;
  std::int32_t v32b = 0;
  std::uint64_t v64 = 0;
  EXPECT_EQ(s->Read16(&v16), 2);
  EXPECT_EQ(s->Read32(&v32), 4);
  EXPECT_EQ(s->Read32b(&v32b), 4);
  EXPECT_EQ(s->Read64(&v64), 8);
  EXPECT_EQ(v16, 0x1234);
  EXPECT_EQ(v32, 0x89ABCDEFu);
  EXPECT_EQ(v32b, -2);
  EXPECT_EQ(v64, 0x0102030405060708ull);
}

// ---- Memory-only streams, positions and the end flag.

TEST_F(CompressStreamTest, MemoryOnlyStreamNeedsNoInputOrOutputAndWritesNothingAtClose) {
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  Stream* s = View(cs);
  EXPECT_EQ(s->IsClosed(), 1);
  ASSERT_EQ(s->SetMode(kModeWrite), 0);
  ASSERT_EQ(s->SetAccess(kAccessMemoryOnly), 0);
  ASSERT_EQ(s->OpenStream(), 0);
  EXPECT_EQ(s->IsClosed(), 0);
  EXPECT_EQ(s->WriteData("hello", 5), 5);
  EXPECT_EQ(s->CloseStream(), 0);
  EXPECT_EQ(s->IsClosed(), 1);
  std::uint32_t size = 99;
  EXPECT_EQ(s->GetSize(&size), 0);
  EXPECT_EQ(size, 0u);
}

TEST_F(CompressStreamTest, ReadingToTheEndSetsTheEndFlagUntilThePositionMovesBack) {
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  Stream* s = View(cs);
  s->SetAccess(kAccessMemoryOnly);
  ASSERT_EQ(s->OpenStream(), 0);
  ASSERT_EQ(s->WriteData("0123456789", 10), 10);
  ASSERT_EQ(s->SetPosition(0), 0);
  char buffer[16] = {};
  EXPECT_EQ(s->ReadData(buffer, 10), 10);
  EXPECT_EQ(s->GetError(), 1);
  EXPECT_EQ(s->ReadData(buffer, 1), 0);
  EXPECT_EQ(s->SetPosition(0), 0);
  EXPECT_EQ(s->GetError(), 0);
  // A read asking for more than is left gets the rest.
  ASSERT_EQ(s->SetPosition(7), 0);
  EXPECT_EQ(s->ReadData(buffer, 16), 3);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(s->GetError(), 1);
  // SetPosition(size) is accepted and keeps the flag; beyond the size it is refused.
  EXPECT_EQ(s->SetPosition(10), 0);
  EXPECT_EQ(s->GetError(), 1);
  EXPECT_EQ(s->SetPosition(11), 1);
  std::uint32_t position = 0;
  EXPECT_EQ(s->GetPosition(&position), 0);
  EXPECT_EQ(position, 10u);
  // At the end, reading gives nothing without touching the flag.
  ASSERT_EQ(s->SetPosition(4), 0);
  ASSERT_EQ(s->GetError(), 0);
  ASSERT_EQ(s->SetPosition(10), 0);
  EXPECT_EQ(s->ReadData(buffer, 1), 0);
  EXPECT_EQ(s->GetError(), 0);
  // GetPosition below the size clears the flag.
  ASSERT_EQ(s->SetPosition(9), 0);
  EXPECT_EQ(s->ReadData(buffer, 1), 1);
  EXPECT_EQ(s->GetError(), 1);
  ASSERT_EQ(s->SetPosition(5), 0);
  EXPECT_EQ(s->GetPosition(&position), 0);
  EXPECT_EQ(s->GetError(), 0);
}

TEST_F(CompressStreamTest, OverwritingInsideTheDataKeepsItsSize) {
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  Stream* s = View(cs);
  s->SetAccess(kAccessMemoryOnly);
  ASSERT_EQ(s->OpenStream(), 0);
  ASSERT_EQ(s->WriteData("abcdef", 6), 6);
  ASSERT_EQ(s->SetPosition(2), 0);
  ASSERT_EQ(s->WriteData("XY", 2), 2);
  std::uint32_t size = 0;
  s->GetSize(&size);
  EXPECT_EQ(size, 6u);
  ASSERT_EQ(s->SetPosition(0), 0);
  char buffer[6];
  ASSERT_EQ(s->ReadData(buffer, 6), 6);
  EXPECT_EQ(std::string(buffer, 6), "abXYef");
}

TEST_F(CompressStreamTest, ClosedStreamRefusesTransfersAndPositions) {
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  Stream* s = View(cs);
  char c = 'x';
  EXPECT_EQ(s->WriteData(&c, 1), 0);
  EXPECT_EQ(s->ReadData(&c, 1), 0);
  std::uint32_t position = 7;
  EXPECT_EQ(s->GetPosition(&position), 1);
  EXPECT_EQ(position, 7u);
  EXPECT_EQ(s->SetPosition(0), 1);
  EXPECT_EQ(s->CloseStream(), 1);
}

TEST_F(CompressStreamTest, SettingsChangeOnlyWhileClosed) {
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  Stream* s = View(cs);
  EXPECT_EQ(cs->SetParameter(5), 0);
  EXPECT_EQ(cs->Cast(kStreamInterface), static_cast<void*>(s));
  EXPECT_EQ(cs->Cast(kIOInterface), nullptr);
  EXPECT_EQ(cs->Cast(kCompressStreamType), nullptr);
  EXPECT_EQ(s->GetMode(), 0);
  EXPECT_EQ(s->GetAccess(), 0);
  EXPECT_EQ(s->GetOption(), 0);
  EXPECT_EQ(s->SetOption(42), 0);
  EXPECT_EQ(s->GetOption(), 42);
  ASSERT_EQ(s->SetAccess(kAccessMemoryOnly), 0);
  ASSERT_EQ(s->OpenStream(), 0);
  EXPECT_EQ(s->OpenStream(), 1);  // already open
  EXPECT_EQ(s->SetMode(kModeRead), 1);
  EXPECT_EQ(s->SetAccess(0), 1);
  EXPECT_EQ(s->SetOption(1), 1);
  EXPECT_EQ(s->GetMode(), 0);
  EXPECT_EQ(s->GetAccess(), kAccessMemoryOnly);
  EXPECT_EQ(s->GetOption(), 42);
  ASSERT_EQ(s->CloseStream(), 0);
  EXPECT_EQ(s->SetMode(kModeRead), 0);
  EXPECT_EQ(s->GetMode(), kModeRead);
  // A failed opening keeps its code as the state: setters stay refused.
  auto failed = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(failed);
  Stream* f = View(failed);
  f->SetMode(kModeWrite);
  EXPECT_EQ(f->OpenStream(), 1);  // no output
  EXPECT_EQ(f->IsClosed(), 1);
  auto noInput = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(noInput);
  Stream* n = View(noInput);
  n->SetMode(kModeRead);
  EXPECT_EQ(n->OpenStream(), 1);
  EXPECT_EQ(n->CloseStream(), 1);
}

TEST_F(CompressStreamTest, OutputsFailuresToOpenAreReported) {
  class Refusing : public MemoryStream {
   public:
    int OpenStream() override { return 16; }
  } output;
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  cs->SetOutput(&output);
  Stream* s = View(cs);
  s->SetMode(kModeWrite);
  EXPECT_EQ(s->OpenStream(), 16);
  EXPECT_EQ(s->IsClosed(), 16);
  EXPECT_EQ(s->SetMode(kModeRead), 1);
  EXPECT_EQ(s->CloseStream(), 16);
  EXPECT_EQ(s->IsClosed(), 16);
}

TEST_F(CompressStreamTest, ClosedOutputIsOpenedAndLeftOpen) {
  MemoryStream output;
  ASSERT_EQ(output.IsClosed(), 1);
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  cs->SetOutput(&output);
  Stream* s = View(cs);
  s->SetMode(kModeWrite);
  ASSERT_EQ(s->OpenStream(), 0);
  EXPECT_EQ(output.IsClosed(), 0);
  ASSERT_EQ(s->WriteData("xyz", 3), 3);
  ASSERT_EQ(s->CloseStream(), 0);
  EXPECT_EQ(output.IsClosed(), 0);
  EXPECT_EQ(output.Bytes(), Concat({FromText(std::string("RAW\0", 4)), FromText("xyz")}));
}

TEST_F(CompressStreamTest, ReadStreamWithoutEntryIsOpenAndEmpty) {
  MemoryStream input(FromText("RAW"));
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  cs->SetInput(&input);
  Stream* s = View(cs);
  s->SetMode(kModeRead);
  ASSERT_EQ(s->OpenStream(), 0);
  std::uint32_t size = 5;
  s->GetSize(&size);
  EXPECT_EQ(size, 0u);
  char c;
  EXPECT_EQ(s->ReadData(&c, 1), 0);
}

// ---- The write buffer.

TEST_F(CompressStreamTest, WriteBufferStartsAt4096AndGrowsByDoubling) {
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  auto* imp = static_cast<CompressStreamImp*>(cs.get());
  Stream* s = View(cs);
  s->SetAccess(kAccessMemoryOnly);
  ASSERT_EQ(s->OpenStream(), 0);
  EXPECT_EQ(imp->GetCapacity(), 0u);
  Bytes data = Noise(40000);
  ASSERT_EQ(s->WriteData(data.data(), 5000), 5000);
  EXPECT_EQ(imp->GetCapacity(), 8192u);
  ASSERT_EQ(s->WriteData(data.data() + 5000, 4000), 4000);
  EXPECT_EQ(imp->GetCapacity(), 16384u);
  // Doubling when that is enough: 9000 + 20000 fits in 32768.
  ASSERT_EQ(s->WriteData(data.data(), 20000), 20000);
  EXPECT_EQ(imp->GetCapacity(), 32768u);
  // A write beyond even twice the capacity takes twice the power of two below its end:
  // 29000 + 40000 = 69000 gives 2 x 65536.
  ASSERT_EQ(s->WriteData(data.data(), 40000), 40000);
  EXPECT_EQ(imp->GetCapacity(), 131072u);
  ASSERT_EQ(s->CloseStream(), 0);

  auto small = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(small);
  auto* smallImp = static_cast<CompressStreamImp*>(small.get());
  Stream* t = View(small);
  t->SetAccess(kAccessMemoryOnly);
  ASSERT_EQ(t->OpenStream(), 0);
  ASSERT_EQ(t->WriteData("a", 1), 1);
  EXPECT_EQ(smallImp->GetCapacity(), 4096u);
  for (int i = 1; i < 4096; ++i) ASSERT_EQ(t->WriteData("b", 1), 1);
  EXPECT_EQ(smallImp->GetCapacity(), 4096u);
  ASSERT_EQ(t->WriteData("c", 1), 1);
  EXPECT_EQ(smallImp->GetCapacity(), 8192u);
  std::uint32_t size = 0;
  t->GetSize(&size);
  EXPECT_EQ(size, 4097u);
}

TEST_F(CompressStreamTest, FailedFirstAllocationSetsTheErrorAndRefusesLaterWrites) {
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  Stream* s = View(cs);
  s->SetAccess(kAccessMemoryOnly);
  ASSERT_EQ(s->OpenStream(), 0);
  FailAllocation(1);
  EXPECT_EQ(s->WriteData("abc", 3), 0);
  EXPECT_EQ(s->GetError(), 2);
  EXPECT_EQ(s->WriteData("abc", 3), 0);
  EXPECT_EQ(AllocationsSinceHook(), 1);  // the second write did not even try
}

TEST_F(CompressStreamTest, FailedGrowthKeepsTheDataAndShowsTheLoss) {
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  auto* imp = static_cast<CompressStreamImp*>(cs.get());
  Stream* s = View(cs);
  s->SetAccess(kAccessMemoryOnly);
  ASSERT_EQ(s->OpenStream(), 0);
  Bytes data = Noise(6000);
  ASSERT_EQ(s->WriteData(data.data(), 4000), 4000);
  FailAllocation(1);
  EXPECT_EQ(s->WriteData(data.data() + 4000, 2000), 0);
  EXPECT_EQ(imp->GetCapacity(), 4096u);
  EXPECT_EQ(s->GetError(), 2);
  std::uint32_t size = 0;
  s->GetSize(&size);
  EXPECT_EQ(size, 4000u);
  // What was written before stays readable.
  ASSERT_EQ(s->SetPosition(0), 0);
  Bytes back(4000);
  EXPECT_EQ(s->ReadData(back.data(), 4000), 4000);
  EXPECT_EQ(back, Bytes(data.begin(), data.begin() + 4000));
}

TEST_F(CompressStreamTest, ScratchShortageStoresTheBlockInsteadOfLosingIt) {
  MemoryStream out;
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  cs->SetOutput(&out);
  Stream* s = View(cs);
  s->SetMode(kModeWrite);
  ASSERT_EQ(s->OpenStream(), 0);
  Bytes data = Repeated(3000, 'r');
  ASSERT_EQ(s->WriteData(data.data(), 3000), 3000);
  FailAllocation(1);  // the compression scratch
  EXPECT_EQ(s->CloseStream(), 0);
  EXPECT_EQ(out.Bytes(), Concat({FromText(std::string("RAW\0", 4)), data}));
}

TEST_F(CompressStreamTest, RefusedOutputWritesMakeCloseFail) {
  MemoryStream out;
  out.FailWrites();
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  cs->SetOutput(&out);
  Stream* s = View(cs);
  s->SetMode(kModeWrite);
  ASSERT_EQ(s->OpenStream(), 0);
  ASSERT_EQ(s->WriteData("data", 4), 4);
  EXPECT_EQ(s->CloseStream(), 1);
  EXPECT_EQ(s->IsClosed(), 1);
}

// ---- Pass-through.

TEST_F(CompressStreamTest, PassThroughReadsAndWritesTheBlockBytesAsTheyAre) {
  MemoryStream input(FromText("....PAYLOAD...."));
  Bytes data;
  ASSERT_EQ(Unpack(&input, 7, &data, 1, 4), 0);
  EXPECT_EQ(data, FromText("PAYLOAD"));
  MemoryStream shortInput(FromText("abc"));
  EXPECT_EQ(Unpack(&shortInput, 7, &data, 1, 0), 1);

  MemoryStream out;
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  cs->SetOutput(&out);
  cs->SetPassThrough(1);
  EXPECT_EQ(cs->GetPassThrough(), 1);
  Stream* s = View(cs);
  s->SetMode(kModeWrite);
  ASSERT_EQ(s->OpenStream(), 0);
  ASSERT_EQ(s->WriteData("raw bytes", 9), 9);
  EXPECT_EQ(s->CloseStream(), 0);
  EXPECT_EQ(out.Bytes(), FromText("raw bytes"));
  // Nothing written: no buffer to write, which is a failure in this form.
  auto empty = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(empty);
  empty->SetOutput(&out);
  empty->SetPassThrough(1);
  Stream* e = View(empty);
  e->SetMode(kModeWrite);
  ASSERT_EQ(e->OpenStream(), 0);
  EXPECT_EQ(e->CloseStream(), 1);
}

// ---- Decoding and damaged blocks.

TEST_F(CompressStreamTest, LargerStoredLengthStillOpensWithTheRealSize) {
  Bytes data = Repeated(300, 'k');
  Bytes block = Concat({FromText(std::string("PAC\0", 4)), Word(310), ZlibOf(data)});
  Bytes back;
  ASSERT_EQ(Unpack(block, &back), 0);
  EXPECT_EQ(back, data);
  // Even an absurd length: only what the zlib data can possibly produce is allocated.
  Bytes huge = Concat({FromText(std::string("PAC\0", 4)), Word(0xFFFFFFF0u), ZlibOf(data)});
  ASSERT_EQ(Unpack(huge, &back), 0);
  EXPECT_EQ(back, data);
}

TEST_F(CompressStreamTest, DecodesFromTheInputsCurrentPosition) {
  Bytes block = Pack(Repeated(2000, 'm'));
  MemoryStream input(Concat({FromText("junk"), block, FromText("tail")}));
  input.OpenStream();
  input.SetPosition(4);
  Bytes back;
  ASSERT_EQ(Unpack(&input, static_cast<std::uint32_t>(block.size()), &back), 0);
  EXPECT_EQ(back, Repeated(2000, 'm'));
}

struct DamagedBlock {
  const char* what;
  Bytes block;
  std::uint32_t blockSize;  // 0 = the block's length
  int result;
};

TEST_F(CompressStreamTest, DamagedBlocksFailToOpenWithTheirDocumentedResults) {
  Bytes data = Repeated(1000, 'd');
  Bytes z = ZlibOf(data);
  Bytes pac = FromText(std::string("PAC\0", 4));
  Bytes raw = FromText(std::string("RAW\0", 4));
  Bytes corrupt = z;
  corrupt[z.size() / 2] ^= 0x55;
  Bytes badChecksum = z;
  badChecksum.back() ^= 1;
  Bytes badHeader = z;
  badHeader[0] = 0x77;
  const DamagedBlock rows[] = {
      {"stored length smaller than the data", Concat({pac, Word(999), z}), 0, 1},
      {"stored length zero", Concat({pac, Word(0), z}), 0, 1},
      {"corrupt deflate data", Concat({pac, Word(1000), corrupt}), 0, 1},
      {"wrong Adler-32", Concat({pac, Word(1000), badChecksum}), 0, 1},
      {"wrong zlib header", Concat({pac, Word(1000), badHeader}), 0, 1},
      {"zlib stream cut short", Concat({pac, Word(1000), Bytes(z.begin(), z.end() - 5)}), 0, 1},
      {"block size leaves no zlib data", Concat({pac, Word(1000), z}), 8, 1},
      {"block size shorter than the header", Concat({pac, Word(1000), z}), 6, 1},
      {"block size beyond the input", Concat({pac, Word(1000), z}),
       static_cast<std::uint32_t>(z.size() + 9), 1},
      {"stored block beyond the input", Concat({raw, FromText("abc")}), 10, 1},
      {"stored block shorter than its tag", raw, 3, 1},
      {"tag alone", FromText("PA"), 0, 1},
      {"unknown tag, zero word", Concat({FromText("ZIP!"), Word(0)}), 0, 1},
      {"unknown tag, nothing after it", FromText("ZIP!"), 0, 1},
      {"tag without NUL", Concat({FromText("PACK"), Word(1000), z}), 0, 0},
      {"unknown tag, non-zero word", Concat({FromText("ZIP!"), Word(7)}), 0, 0},
  };
  for (const DamagedBlock& row : rows) {
    MemoryStream input(row.block);
    std::uint32_t size =
        row.blockSize ? row.blockSize : static_cast<std::uint32_t>(row.block.size());
    Bytes back{1, 2, 3};
    EXPECT_EQ(Unpack(&input, size, &back), row.result) << row.what;
    if (row.result == 0) {
      EXPECT_TRUE(back.empty()) << row.what;  // opens holding no data
    }
  }
}

TEST_F(CompressStreamTest, BlocksCutAtEveryOffsetFailWithoutDeliveringData) {
  for (const Bytes& data : {Repeated(3000, 'c'), Noise(300), FromText("stored")}) {
    Bytes block = Pack(data);
    for (std::uint32_t cut = 0; cut < block.size(); ++cut) {
      MemoryStream input(block);
      input.SetReadLimit(cut);
      EXPECT_EQ(Unpack(&input, static_cast<std::uint32_t>(block.size()), nullptr), 1) << cut;
      // Without a size to check against, the short read itself is caught.
      MemoryStream hidden(block);
      hidden.SetReadLimit(cut);
      hidden.HideSize();
      EXPECT_EQ(Unpack(&hidden, static_cast<std::uint32_t>(block.size()), nullptr), 1) << cut;
    }
  }
}

TEST_F(CompressStreamTest, InputDeliveredInSmallPiecesDecodes) {
  for (std::uint32_t chunk : {1u, 3u, 7u, 64u}) {
    for (const Bytes& data : {Repeated(5000, 'p'), Noise(700)}) {
      Bytes block = Pack(data);
      ChunkedStream input(block, chunk);
      Bytes back;
      ASSERT_EQ(Unpack(&input, static_cast<std::uint32_t>(block.size()), &back), 0) << chunk;
      EXPECT_EQ(back, data) << chunk;
    }
  }
}

TEST_F(CompressStreamTest, ReadWriteModeDecodesAndPacksAgain) {
  Bytes block = Pack(FromText("first"));
  MemoryStream input(block);
  MemoryStream output;
  auto entry = ElementRef<ArchiveEntry>::Create(kArchiveEntryType);
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(entry && cs);
  entry->SetBlockSize(static_cast<std::uint32_t>(block.size()));
  cs->SetInput(&input);
  cs->SetOutput(&output);
  cs->SetEntry(entry.get());
  EXPECT_EQ(cs->GetInput(), &input);
  EXPECT_EQ(cs->GetOutput(), &output);
  EXPECT_EQ(cs->GetEntry(), entry.get());
  Stream* s = View(cs);
  ASSERT_EQ(s->OpenStream(), 0);  // mode 0
  ASSERT_EQ(s->SetPosition(5), 0);
  ASSERT_EQ(s->WriteData("+more", 5), 5);
  ASSERT_EQ(s->CloseStream(), 0);
  EXPECT_EQ(cs->GetEntry(), nullptr);  // forgotten at close
  EXPECT_EQ(output.Bytes(), Concat({FromText(std::string("RAW\0", 4)), FromText("first+more")}));
}

TEST_F(CompressStreamTest, AnotherModeNeitherDecodesNorPacks) {
  MemoryStream output;
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  cs->SetOutput(&output);
  Stream* s = View(cs);
  s->SetMode(7);
  ASSERT_EQ(s->OpenStream(), 0);
  ASSERT_EQ(s->WriteData("abc", 3), 3);
  ASSERT_EQ(s->CloseStream(), 0);
  EXPECT_TRUE(output.Bytes().empty());
}

TEST_F(CompressStreamTest, ACompressStreamCanBeTheInputOfAnother) {
  Bytes data = Repeated(4000, 'w');
  Bytes block = Pack(data);
  auto memory = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(memory);
  Stream* m = View(memory);
  m->SetAccess(kAccessMemoryOnly);
  ASSERT_EQ(m->OpenStream(), 0);
  ASSERT_EQ(m->WriteData(block.data(), static_cast<std::uint32_t>(block.size())),
            static_cast<int>(block.size()));
  ASSERT_EQ(m->SetPosition(0), 0);
  Bytes back;
  ASSERT_EQ(Unpack(m, static_cast<std::uint32_t>(block.size()), &back), 0);
  EXPECT_EQ(back, data);
}

TEST_F(CompressStreamTest, SecondOpeningStartsEmpty) {
  auto cs = StreamRef::Create(kCompressStreamType);
  ASSERT_TRUE(cs);
  Stream* s = View(cs);
  s->SetAccess(kAccessMemoryOnly);
  ASSERT_EQ(s->OpenStream(), 0);
  ASSERT_EQ(s->WriteData("abc", 3), 3);
  ASSERT_EQ(s->CloseStream(), 0);
  ASSERT_EQ(s->OpenStream(), 0);
  std::uint32_t size = 9;
  s->GetSize(&size);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(s->WriteData("de", 2), 2);
  ASSERT_EQ(s->SetPosition(0), 0);
  char buffer[2];
  EXPECT_EQ(s->ReadData(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "de");
}

TEST_F(CompressStreamTest, ReopenedReaderDecodesEachBlockWholeInTheBuffersOfTheLargest) {
  Bytes large = Concat({Repeated(70000, 'g'), Noise(30000)});
  Bytes damaged = Pack(large);
  damaged.back() ^= 0xFF;  // the checksum
  Bytes packed = Repeated(500, 'h');
  Bytes stored = Noise(40);
  struct Case {
    Bytes block;
    const Bytes* data;  // null: the opening fails
  } cases[] = {
      {Pack(large), &large}, {damaged, nullptr}, {Pack(packed), &packed}, {Pack(stored), &stored}};
  auto cs = StreamRef::Create(kCompressStreamType);
  auto entry = ElementRef<ArchiveEntry>::Create(kArchiveEntryType);
  ASSERT_TRUE(cs && entry);
  Stream* s = View(cs);
  ASSERT_EQ(s->SetMode(kModeRead), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block.size());
    MemoryStream input(c.block);
    entry->SetBlockSize(static_cast<std::uint32_t>(c.block.size()));
    cs->SetInput(&input);
    cs->SetEntry(entry.get());
    FailAllocation(0);
    ASSERT_EQ(s->OpenStream(), c.data ? 0 : 1);
    if (&c != cases) {
      EXPECT_EQ(AllocationsSinceHook(), 0);
    }
    if (c.data) {
      std::uint32_t size = 0;
      s->GetSize(&size);
      Bytes back(size);
      EXPECT_EQ(s->ReadData(back.data(), size), static_cast<int>(size));
      EXPECT_EQ(back, *c.data);
    }
    s->CloseStream();
  }
}

// ---- Memory running out.

TEST_F(CompressStreamTest, AllocationFailuresWhilePackingLoseNothingSilently) {
  Bytes data = Concat({Repeated(9000, 'e'), Noise(100)});
  SweepAllocationFailuresBothModes([&] {
    MemoryStream out;
    auto cs = StreamRef::Create(kCompressStreamType);
    if (!cs) return;
    cs->SetOutput(&out);
    Stream* s = View(cs);
    s->SetMode(kModeWrite);
    ASSERT_EQ(s->OpenStream(), 0);
    int written = s->WriteData(data.data(), 5000);
    written += s->WriteData(data.data() + 5000, 4100);
    bool complete = written == 9100;
    EXPECT_EQ(s->GetError(), complete ? 0 : 2);
    EXPECT_EQ(s->CloseStream(), 0);
    const Bytes& block = out.Bytes();
    ASSERT_GE(block.size(), 4u);
    if (!complete) return;
    // Whatever memory allowed, the block holds the data.
    Bytes back;
    if (block[0] == 'R') {
      back.assign(block.begin() + 4, block.end());
    } else {
      ASSERT_EQ(UnpackedLength(block), 9100u);
      uLongf length = 9100;
      back.resize(length);
      ASSERT_EQ(uncompress(back.data(), &length, block.data() + 8, block.size() - 8), Z_OK);
    }
    EXPECT_EQ(back, Bytes(data.begin(), data.begin() + 9100));
  });
}

TEST_F(CompressStreamTest, AllocationFailuresWhileDecodingFailTheOpening) {
  Bytes packed = Pack(Repeated(5000, 'f'));
  Bytes stored = Pack(Noise(10));
  ASSERT_EQ(stored[0], 'R');
  for (const Bytes* block : {&packed, &stored}) {
    SweepAllocationFailuresBothModes([&] {
      MemoryStream input(*block);
      Bytes back;
      int result = Unpack(&input, static_cast<std::uint32_t>(block->size()), &back);
      if (result == -1) return;  // the entry or the stream could not be made
      if (result == 0) {
        EXPECT_EQ(back.size(), block == &packed ? 5000u : 10u);
      } else {
        EXPECT_EQ(result, 1);
      }
    });
  }
}

}  // namespace
}  // namespace VLN2
