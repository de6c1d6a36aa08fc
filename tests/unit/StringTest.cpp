// String: the held text, its views, and the stored form that archives and the
// installation record depend on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Crunch.h"
#include "framework/IO.h"
#include "framework/String.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/MemoryStream.h"

namespace VLN2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

class StringTest : public CoreFixture {
 protected:
  ElementRef<String> NewString(const char* text = nullptr) {
    auto s = ElementRef<String>::Create(kStringType);
    EXPECT_TRUE(s);
    if (s && text) {
      EXPECT_EQ(s->SetText(text), 0);
    }
    return s;
  }
  static Bytes Stored(String* s) {
    MemoryStream stream;
    EXPECT_EQ(CastTo<IO>(s)->Write(&stream), 0);
    return stream.Bytes();
  }
};

TEST_F(StringTest, NewStringHasNoTextAndCrunchIdMinusOne) {
  auto s = NewString();
  EXPECT_EQ(s->GetText(), nullptr);
  EXPECT_EQ(s->GetLength(), 0);
  EXPECT_EQ(s->GetTypeId(), 27);
  EXPECT_EQ(CastTo<Crunch>(s.get())->GetCrunchId(), -1);
}

TEST_F(StringTest, CastGivesTheTwoViewsAndNothingElse) {
  auto s = NewString("x");
  EXPECT_NE(s->Cast(kCrunchInterface), nullptr);
  EXPECT_NE(s->Cast(kIOInterface), nullptr);
  EXPECT_EQ(s->Cast(27), nullptr);
  EXPECT_EQ(s->Cast(kIteratorInterface), nullptr);
  EXPECT_EQ(s->Cast(kStreamInterface), nullptr);
  // The views act on the same object.
  CastTo<Crunch>(s.get())->SetCrunchId(12);
  EXPECT_EQ(CastTo<Crunch>(s.get())->GetCrunchId(), 12);
}

TEST_F(StringTest, SetTextCopiesAndNullGivesTheEmptyText) {
  char buffer[] = "hello";
  auto s = NewString(buffer);
  buffer[0] = 'j';
  EXPECT_STREQ(s->GetText(), "hello");
  EXPECT_EQ(s->SetText(nullptr), 0);
  ASSERT_NE(s->GetText(), nullptr);
  EXPECT_STREQ(s->GetText(), "");
  EXPECT_EQ(s->GetLength(), 0);
}

TEST_F(StringTest, SetTextAndAppendAcceptTheirOwnText) {
  auto s = NewString("abc");
  EXPECT_EQ(s->Append(s->GetText()), 0);
  EXPECT_STREQ(s->GetText(), "abcabc");
  EXPECT_EQ(s->SetText(s->GetText() + 3), 0);
  EXPECT_STREQ(s->GetText(), "abc");
}

TEST_F(StringTest, AppendWithoutTextBehavesLikeSetText) {
  auto s = NewString();
  EXPECT_EQ(s->Append("Plugins\\"), 0);
  EXPECT_STREQ(s->GetText(), "Plugins\\");
  EXPECT_EQ(s->Append(nullptr), 0);
  EXPECT_STREQ(s->GetText(), "Plugins\\");
  EXPECT_EQ(s->Append("x.dll"), 0);
  EXPECT_STREQ(s->GetText(), "Plugins\\x.dll");
  EXPECT_EQ(s->GetLength(), 13);

  auto empty = NewString();
  EXPECT_EQ(empty->Append(nullptr), 0);
  EXPECT_STREQ(empty->GetText(), "");
}

TEST_F(StringTest, TruncateWithinTheTextOnly) {
  auto none = NewString();
  EXPECT_EQ(none->Truncate(0), 1);
  auto s = NewString("abcdef");
  EXPECT_EQ(s->Truncate(7), 1);
  EXPECT_EQ(s->Truncate(-1), 1);
  EXPECT_EQ(s->Truncate(6), 0);
  EXPECT_STREQ(s->GetText(), "abcdef");
  EXPECT_EQ(s->Truncate(3), 0);
  EXPECT_STREQ(s->GetText(), "abc");
  EXPECT_EQ(s->Truncate(4), 1);
  EXPECT_EQ(s->Truncate(0), 0);
  EXPECT_STREQ(s->GetText(), "");
}

TEST_F(StringTest, CrunchViewFlagsAndEquality) {
  auto a = NewString("Same");
  auto b = NewString("Same");
  auto c = NewString("same");
  auto none = NewString();
  Crunch* crunch = CastTo<Crunch>(a.get());
  EXPECT_EQ(crunch->GetCrunchFlags(2), 0);
  EXPECT_EQ(crunch->GetCrunchFlags(0), 7);
  EXPECT_EQ(crunch->GetCrunchFlags(3), 7);
  EXPECT_EQ(crunch->CrunchElement(5), 0);
  EXPECT_EQ(crunch->CrunchEquals(b.get()), 0);
  EXPECT_EQ(crunch->CrunchEquals(c.get()), 1);
  EXPECT_EQ(crunch->CrunchEquals(none.get()), 1);
  EXPECT_EQ(CastTo<Crunch>(none.get())->CrunchEquals(a.get()), 1);
  EXPECT_EQ(crunch->CrunchEquals(nullptr), 1);
  // An element that is not a String has no text to compare.
  ElementRef<Element> util(core_->CreateElement(kStringUtilType, 0));
  ASSERT_TRUE(util);
  EXPECT_EQ(crunch->CrunchEquals(util.get()), 1);
}

TEST_F(StringTest, StoredFormIsCountTextAndNul) {
  auto s = NewString("ab");
  EXPECT_EQ(Stored(s.get()), (Bytes{3, 0, 'a', 'b', 0}));
  auto empty = NewString("");
  EXPECT_EQ(Stored(empty.get()), (Bytes{1, 0, 0}));
  auto none = NewString();
  EXPECT_EQ(Stored(none.get()), (Bytes{0, 0}));
}

TEST_F(StringTest, StoredCountIsLittleEndian) {
  std::string text(300, 'x');
  auto s = NewString(text.c_str());
  Bytes stored = Stored(s.get());
  ASSERT_EQ(stored.size(), 2u + 301u);
  EXPECT_EQ(stored[0], 301 & 0xFF);
  EXPECT_EQ(stored[1], 301 >> 8);
  EXPECT_EQ(stored.back(), 0);
}

TEST_F(StringTest, LongestStorableTextAndTheOneBeyond) {
  std::string text(65534, 'y');
  auto s = NewString(text.c_str());
  Bytes stored = Stored(s.get());
  ASSERT_EQ(stored.size(), 2u + 65535u);
  EXPECT_EQ(stored[0], 0xFF);
  EXPECT_EQ(stored[1], 0xFF);

  // One more character would wrap the 16-bit count: refused, nothing written.
  text.push_back('y');
  ASSERT_EQ(s->SetText(text.c_str()), 0);
  MemoryStream stream;
  EXPECT_NE(CastTo<IO>(s.get())->Write(&stream), 0);
  EXPECT_TRUE(stream.Bytes().empty());
}

TEST_F(StringTest, WriteReportsTheStreamsError) {
  auto s = NewString("abc");
  MemoryStream stream;
  stream.FailWrites();
  EXPECT_EQ(CastTo<IO>(s.get())->Write(&stream), 1);
}

TEST_F(StringTest, ReadBackGivesTheSameText) {
  auto s = NewString("C:\\Program Files\\App\\app.exe");
  MemoryStream stream(Stored(s.get()));
  auto t = NewString("old");
  EXPECT_EQ(CastTo<IO>(t.get())->Read(&stream), 0);
  EXPECT_STREQ(t->GetText(), "C:\\Program Files\\App\\app.exe");
  std::uint32_t position = 0;
  stream.GetPosition(&position);
  EXPECT_EQ(position, stream.Bytes().size());
}

TEST_F(StringTest, ReadingCountZeroLeavesTheStringAsItWas) {
  MemoryStream stream(Bytes{0, 0, 'z'});
  auto t = NewString("keep");
  EXPECT_EQ(CastTo<IO>(t.get())->Read(&stream), 0);
  EXPECT_STREQ(t->GetText(), "keep");
  auto none = NewString();
  MemoryStream again(Bytes{0, 0});
  EXPECT_EQ(CastTo<IO>(none.get())->Read(&again), 0);
  EXPECT_EQ(none->GetText(), nullptr);
}

TEST_F(StringTest, ReadOfAShortStreamStillGivesATerminatedText) {
  // Claims 10 bytes, delivers 3: the rest is zero, never stale memory.
  MemoryStream stream(Bytes{10, 0, 'a', 'b', 'c'});
  auto t = NewString();
  EXPECT_EQ(CastTo<IO>(t.get())->Read(&stream), 0);
  EXPECT_STREQ(t->GetText(), "abc");
  EXPECT_NE(stream.GetError(), 0);

  // The stored NUL missing: the text ends one byte before the count.
  MemoryStream unterminated(Bytes{3, 0, 'x', 'y', 'z'});
  EXPECT_EQ(CastTo<IO>(t.get())->Read(&unterminated), 0);
  EXPECT_STREQ(t->GetText(), "xy");

  // Even the count cut short.
  MemoryStream half(Bytes{5});
  EXPECT_EQ(CastTo<IO>(t.get())->Read(&half), 0);
  EXPECT_EQ(t->GetLength(), 0);
}

TEST_F(StringTest, ReadOfTruncatedStoredFormsNeverOverrunsTheText) {
  auto s = NewString("archive entry name");
  Bytes stored = Stored(s.get());
  for (std::uint32_t cut = 0; cut <= stored.size(); ++cut) {
    MemoryStream stream(stored);
    stream.SetReadLimit(cut);
    auto t = NewString();
    EXPECT_EQ(CastTo<IO>(t.get())->Read(&stream), 0) << cut;
    if (cut < 2) continue;
    ASSERT_NE(t->GetText(), nullptr) << cut;
    EXPECT_EQ(std::string(t->GetText()), std::string("archive entry name").substr(0, cut - 2));
  }
}

TEST_F(StringTest, ReadAndWriteRefuseANullStream) {
  auto s = NewString("a");
  EXPECT_EQ(CastTo<IO>(s.get())->Read(nullptr), 1);
  EXPECT_EQ(CastTo<IO>(s.get())->Write(nullptr), 1);
}

TEST_F(StringTest, OutOfMemoryResults) {
  SweepAllocationFailuresBothModes([&] {
    auto s = ElementRef<String>::Create(kStringType);
    if (!s) return;
    if (s->SetText("first") != 0) {
      EXPECT_EQ(s->GetText(), nullptr);
      return;
    }
    if (s->Append(" second") != 0) {
      EXPECT_STREQ(s->GetText(), "first");
      return;
    }
    EXPECT_STREQ(s->GetText(), "first second");
    MemoryStream stream(Bytes{4, 0, 'n', 'e', 'w', 0});
    if (CastTo<IO>(s.get())->Read(&stream) != 0) {
      EXPECT_STREQ(s->GetText(), "first second");
      return;
    }
    EXPECT_STREQ(s->GetText(), "new");
  });
}

}  // namespace
}  // namespace VLN2
