// StringUtil: comparison, matching, replacement, tokens, and the parsers and formatters.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "framework/Allocator.h"
#include "framework/StringUtil.h"
#include "unit/support/CoreFixture.h"

namespace VLN2 {
namespace {

class StringUtilTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    util_.reset(Create<StringUtil>(kStringUtilType));
    ASSERT_TRUE(util_);
  }
  void TearDown() override {
    util_.reset();
    CoreFixture::TearDown();
  }
  // A heap text from the framework allocator, as ReplaceAll takes it.
  static char* HeapText(const char* text) {
    char* copy = static_cast<char*>(Allocate(std::strlen(text) + 1));
    std::strcpy(copy, text);
    return copy;
  }
  // ReplaceAll on a copy of text; the result text, or "<result n>" for a non-zero result.
  std::string Replaced(const char* text, const char* find, const char* replacement) {
    char* heap = HeapText(text);
    int result = util_->ReplaceAll(&heap, find, replacement);
    std::string out = result == 0 ? std::string(heap) : "<result " + std::to_string(result) + ">";
    Free(heap);
    return out;
  }
  // SkipPattern's result and how far it moved the cursor (-1 when it failed).
  int Skipped(const char* text, const char* pattern) {
    const char* cursor = text;
    if (util_->SkipPattern(&cursor, pattern) != 0) {
      EXPECT_EQ(cursor, text);
      return -1;
    }
    return static_cast<int>(cursor - text);
  }
  std::string Float(float value, int size = 20) {
    char out[64];
    std::memset(out, 'Q', sizeof out);
    EXPECT_EQ(util_->FormatFloat(value, out, size), 0);
    EXPECT_LE(std::strlen(out), static_cast<std::size_t>(size));
    return out;
  }
  std::string Int(int value, int size = 20) {
    char out[64];
    std::memset(out, 'Q', sizeof out);
    EXPECT_EQ(util_->FormatInt(value, out, size), 0);
    EXPECT_LE(std::strlen(out), static_cast<std::size_t>(size));
    return out;
  }
  ElementRef<StringUtil> util_;
};

TEST_F(StringUtilTest, CaseFoldsAsciiLettersOnly) {
  EXPECT_EQ(util_->GetTypeId(), 98);
  EXPECT_EQ(util_->Cast(kCrunchInterface), nullptr);
  EXPECT_EQ(util_->ToUpper('a'), 'A');
  EXPECT_EQ(util_->ToUpper('z'), 'Z');
  EXPECT_EQ(util_->ToUpper('A'), 'A');
  EXPECT_EQ(util_->ToUpper('{'), '{');
  EXPECT_EQ(util_->ToUpper('`'), '`');
  EXPECT_EQ(util_->ToUpper(static_cast<char>(0xE4)), static_cast<char>(0xE4));
  EXPECT_EQ(util_->ToLower('A'), 'a');
  EXPECT_EQ(util_->ToLower('Z'), 'z');
  EXPECT_EQ(util_->ToLower('@'), '@');
  EXPECT_EQ(util_->ToLower('['), '[');
  EXPECT_EQ(util_->ToLower(static_cast<char>(0xC4)), static_cast<char>(0xC4));
}

TEST_F(StringUtilTest, LengthAndEquals) {
  EXPECT_EQ(util_->Length(nullptr), 0);
  EXPECT_EQ(util_->Length(""), 0);
  EXPECT_EQ(util_->Length("abc"), 3);
  EXPECT_EQ(util_->Equals("abc", "abc"), 0);
  EXPECT_EQ(util_->Equals("", ""), 0);
  EXPECT_EQ(util_->Equals("abc", "ABC"), -1);
  EXPECT_EQ(util_->Equals("abc", "abcd"), -1);
  EXPECT_EQ(util_->Equals(nullptr, "a"), -1);
  EXPECT_EQ(util_->Equals("a", nullptr), -1);
  EXPECT_EQ(util_->Equals(nullptr, nullptr), -1);
}

TEST_F(StringUtilTest, CompareNoCase) {
  EXPECT_LT(util_->CompareNoCase("abc", "ABD"), 0);
  EXPECT_LT(util_->CompareNoCase("ab", "abc"), 0);
  EXPECT_GT(util_->CompareNoCase("abc", "ab"), 0);
  EXPECT_EQ(util_->CompareNoCase("ABC", "abc"), 0);
  EXPECT_EQ(util_->CompareNoCase("", ""), 0);
  EXPECT_EQ(util_->CompareNoCase(nullptr, "abc"), -1);
  EXPECT_EQ(util_->CompareNoCase("abc", nullptr), -1);
  // The difference at the first unequal position, of signed 8-bit values.
  EXPECT_EQ(util_->CompareNoCase("b", "A"), 1);
  EXPECT_EQ(util_->CompareNoCase("a\x80", "A"), -128);
}

TEST_F(StringUtilTest, MatchWildcard) {
  EXPECT_EQ(util_->MatchWildcard("readme.txt", "READ*"), 0);
  EXPECT_EQ(util_->MatchWildcard("readme.txt", "*.doc"), 0);
  EXPECT_EQ(util_->MatchWildcard("read", "readme"), -1);
  EXPECT_EQ(util_->MatchWildcard("readme", "read"), -1);
  EXPECT_EQ(util_->MatchWildcard("ReadMe", "README"), 0);
  EXPECT_EQ(util_->MatchWildcard("readme", "rxad*"), -1);
  EXPECT_EQ(util_->MatchWildcard("", ""), 0);
  EXPECT_EQ(util_->MatchWildcard("", "***"), 0);
  EXPECT_EQ(util_->MatchWildcard("a", ""), -1);
  EXPECT_EQ(util_->MatchWildcard("re", "read*"), -1);
  EXPECT_EQ(util_->MatchWildcard("read", "read*"), 0);
  EXPECT_EQ(util_->MatchWildcard(nullptr, "*"), -1);
  EXPECT_EQ(util_->MatchWildcard("a", nullptr), -1);
}

TEST_F(StringUtilTest, EqualsLoose) {
  EXPECT_EQ(util_->EqualsLoose("", ""), 1);
  EXPECT_EQ(util_->EqualsLoose("a b", "AB"), 0);
  EXPECT_EQ(util_->EqualsLoose("abc\r", "abc"), 0);
  EXPECT_EQ(util_->EqualsLoose("Install Path", "installpath"), 0);
  EXPECT_EQ(util_->EqualsLoose("\"abc\"", "abc"), 0);
  EXPECT_EQ(util_->EqualsLoose("abc", "abd"), 1);
  EXPECT_EQ(util_->EqualsLoose("abc", "abcd"), 1);
  EXPECT_EQ(util_->EqualsLoose("abcd", "abc"), 1);
  EXPECT_EQ(util_->EqualsLoose("\rabc", "abc"), 1);
  EXPECT_EQ(util_->EqualsLoose("abc", "\r"), 1);
  EXPECT_EQ(util_->EqualsLoose("abc\rx", "abc\ry"), 0);
  EXPECT_EQ(util_->EqualsLoose(nullptr, "a"), 1);
  EXPECT_EQ(util_->EqualsLoose("a", nullptr), 1);
}

TEST_F(StringUtilTest, SkipPrefix) {
  const char* text = "Plugins\\x.dll";
  const char* cursor = text;
  EXPECT_EQ(util_->SkipPrefix(&cursor, "plugins\\"), 0);
  EXPECT_STREQ(cursor, "x.dll");
  cursor = text;
  EXPECT_EQ(util_->SkipPrefix(&cursor, "Scripts\\"), 1);
  EXPECT_EQ(cursor, text);
  EXPECT_EQ(util_->SkipPrefix(&cursor, ""), 0);
  EXPECT_EQ(cursor, text);
  EXPECT_EQ(util_->SkipPrefix(&cursor, "Plugins\\x.dll and more"), 1);
  EXPECT_EQ(cursor, text);
  EXPECT_EQ(util_->SkipPrefix(&cursor, nullptr), 1);
  const char* none = nullptr;
  EXPECT_EQ(util_->SkipPrefix(&none, "a"), 1);
  EXPECT_EQ(util_->SkipPrefix(nullptr, "a"), 1);
}

TEST_F(StringUtilTest, SkipPatternWithoutStar) {
  EXPECT_EQ(Skipped("abc", "abc"), 3);
  EXPECT_EQ(Skipped("ABC", "abc"), 3);
  EXPECT_EQ(Skipped("abc", "abd"), -1);
  EXPECT_EQ(Skipped("abcdef", "abc"), -1);  // the pattern must reach the text's end
  EXPECT_EQ(Skipped("ab", "abc"), -1);
  EXPECT_EQ(Skipped("", ""), 0);
}

TEST_F(StringUtilTest, SkipPatternWithStar) {
  // The cursor ends after the last character that matched a pattern character.
  EXPECT_EQ(Skipped("a.txt", "*.txt"), 5);
  EXPECT_EQ(Skipped("abxyz", "ab*"), 2);
  EXPECT_EQ(Skipped("abc", "*"), 1);  // nothing matched: one past the start
  EXPECT_EQ(Skipped("a.txt rest", "*.txt"), -1);
  EXPECT_EQ(Skipped("x.tx", "*.txt"), -1);
  // No backtracking: the '.' that broke the match is not tried against the resume point.
  EXPECT_EQ(Skipped("a..b", "*.b"), -1);
  EXPECT_EQ(Skipped("a.x.b", "*.b"), 5);
  const char* cursor = "abc";
  EXPECT_EQ(util_->SkipPattern(&cursor, nullptr), 1);
  const char* none = nullptr;
  EXPECT_EQ(util_->SkipPattern(&none, "*"), 1);
  EXPECT_EQ(util_->SkipPattern(nullptr, "*"), 1);
}

TEST_F(StringUtilTest, ReplaceAll) {
  EXPECT_EQ(Replaced("a-b-c", "-", "--"), "a--b--c");
  EXPECT_EQ(Replaced("abc-ab", "abc", "X"), "X-ab");
  EXPECT_EQ(Replaced("aab", "ab", "X"), "aab");
  EXPECT_EQ(Replaced("a-b", "-", nullptr), "ab");
  EXPECT_EQ(Replaced("--", "-", ""), "");
  EXPECT_EQ(Replaced("abab", "ab", "abab"), "abababab");
  EXPECT_EQ(Replaced("xabyab", "ab", "Z"), "xZyZ");
  EXPECT_EQ(Replaced("ab", "abc", "Z"), "ab");        // pending at the end: kept
  EXPECT_EQ(Replaced("abxabc", "abc", "Z"), "abxZ");  // broken partial copied
  EXPECT_EQ(Replaced("abd", "", "Z"), "abd");
  EXPECT_EQ(Replaced("abd", nullptr, "Z"), "abd");
  EXPECT_EQ(util_->ReplaceAll(nullptr, "a", "b"), 1);
  char* none = nullptr;
  EXPECT_EQ(util_->ReplaceAll(&none, "a", "b"), 0);
  EXPECT_EQ(none, nullptr);
}

TEST_F(StringUtilTest, ReplaceAllKeepsTheTextWhenNothingIsFound) {
  char* heap = HeapText("abc");
  char* before = heap;
  EXPECT_EQ(util_->ReplaceAll(&heap, "x", "y"), 0);
  EXPECT_EQ(heap, before);
  Free(heap);
}

TEST_F(StringUtilTest, ReplaceAllOutOfMemoryKeepsTheText) {
  char* heap = HeapText("a-b");
  char* before = heap;
  FailAllocation(1);
  EXPECT_EQ(util_->ReplaceAll(&heap, "-", "+"), 2);
  FailAllocation(0);
  EXPECT_EQ(heap, before);
  EXPECT_STREQ(heap, "a-b");
  Free(heap);
}

TEST_F(StringUtilTest, ReadToken) {
  const char* cursor = "one,two,,three";
  char buffer[16];
  util_->ReadToken(&cursor, ',', buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "one");
  EXPECT_STREQ(cursor, "two,,three");
  util_->ReadToken(&cursor, ',', buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "two");
  util_->ReadToken(&cursor, ',', buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "");
  EXPECT_STREQ(cursor, "three");
  util_->ReadToken(&cursor, ',', buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "three");
  EXPECT_STREQ(cursor, "");
  util_->ReadToken(&cursor, ',', buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "");
  EXPECT_STREQ(cursor, "");
}

TEST_F(StringUtilTest, ReadTokenOfBufferSizeIsNotTerminated) {
  const char* cursor = "abcdef;x";
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  util_->ReadToken(&cursor, ';', buffer, 4);
  EXPECT_EQ(std::string(buffer, 5), "abcd#");
  EXPECT_STREQ(cursor, "ef;x");
  // A null buffer: nothing happens.
  util_->ReadToken(&cursor, ';', nullptr, 4);
  EXPECT_STREQ(cursor, "ef;x");
}

TEST_F(StringUtilTest, Colors) {
  unsigned char bytes[4] = {};
  EXPECT_EQ(util_->ParseColor("#12AB34", bytes), 0);
  EXPECT_EQ(bytes[0], 0x34);
  EXPECT_EQ(bytes[1], 0xAB);
  EXPECT_EQ(bytes[2], 0x12);
  EXPECT_EQ(bytes[3], 0xFF);
  EXPECT_EQ(util_->ParseColor("#12AB", bytes), 1);
  EXPECT_EQ(util_->ParseColor("12AB34", bytes), 1);
  EXPECT_EQ(util_->ParseColor(nullptr, bytes), 1);
  char out[16];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(util_->FormatColor(0x12AB34, out, 9), 0);
  EXPECT_STREQ(out, "#12AB34");
  EXPECT_EQ(util_->FormatColor(0xFF00000Fu, out, 16), 0);
  EXPECT_STREQ(out, "#00000F");
  std::memset(out, 'q', sizeof out);
  EXPECT_EQ(util_->FormatColor(0x12AB34, out, 8), 1);
  EXPECT_EQ(out[0], 'q');
  EXPECT_EQ(util_->FormatColor(0x12AB34, nullptr, 9), 1);
}

TEST_F(StringUtilTest, ParseFloat) {
  float value = 99;
  EXPECT_EQ(util_->ParseFloat("-12,5", &value), 0);
  EXPECT_FLOAT_EQ(value, -12.5f);
  EXPECT_EQ(util_->ParseFloat("1-2", &value), 1);
  EXPECT_EQ(util_->ParseFloat(" 7", &value), 0);
  EXPECT_FLOAT_EQ(value, 0.0f);
  EXPECT_EQ(util_->ParseFloat("+3.25x", &value), 0);
  EXPECT_FLOAT_EQ(value, 3.25f);
  EXPECT_EQ(util_->ParseFloat("--2", &value), 0);
  EXPECT_FLOAT_EQ(value, -2.0f);
  EXPECT_EQ(util_->ParseFloat("1.2.5", &value), 0);  // every separator is passed over
  EXPECT_FLOAT_EQ(value, 1.25f);
  EXPECT_EQ(util_->ParseFloat(".5", &value), 0);
  EXPECT_FLOAT_EQ(value, 0.5f);
  EXPECT_EQ(util_->ParseFloat("", &value), 0);
  EXPECT_FLOAT_EQ(value, 0.0f);
}

TEST_F(StringUtilTest, FormatFloat) {
  EXPECT_EQ(Float(2.5f), "2.5");
  EXPECT_EQ(Float(0.5f), "0.5");
  EXPECT_EQ(Float(0.0f), "0.");
  EXPECT_EQ(Float(5.0f), "5.");
  EXPECT_EQ(Float(-3.75f), "-3.75");
  EXPECT_EQ(Float(123.25f), "123.25");
  EXPECT_EQ(Float(10.0f), "10.");
  EXPECT_EQ(Float(1234.5f, 3), "12");
  EXPECT_EQ(Float(0.3f, 2), "");
  EXPECT_EQ(Float(1.0f / 3.0f), "0.333333");  // six fractional digits, truncated
  EXPECT_EQ(Float(-1.5f, 0), "");
  // Clamped to the largest float: 39 digits before the point.
  std::string huge = Float(std::numeric_limits<float>::infinity(), 60);
  EXPECT_EQ(huge.find('.'), 39u) << huge;
  EXPECT_EQ(huge.substr(0, 8), "34028234");
  EXPECT_EQ(Float(std::numeric_limits<float>::quiet_NaN()), "nan");
  EXPECT_EQ(util_->FormatFloat(1.0f, nullptr, 5), 0);
}

TEST_F(StringUtilTest, ParseInt) {
  int value = 5;
  EXPECT_EQ(util_->ParseInt("abc-12x", &value), 0);
  EXPECT_EQ(value, -12);
  EXPECT_EQ(util_->ParseInt("no digits", &value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(util_->ParseInt("305", &value), 0);
  EXPECT_EQ(value, 305);
  EXPECT_EQ(util_->ParseInt("x 7 8", &value), 0);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(util_->ParseInt("-123456789", &value), 0);
  EXPECT_EQ(value, -123456789);
  EXPECT_EQ(util_->ParseInt(nullptr, &value), 0);
  EXPECT_EQ(value, 0);
  // Beyond nine digits the result is out of range but never undefined behaviour.
  EXPECT_EQ(util_->ParseInt("99999999999999999999", &value), 0);
}

TEST_F(StringUtilTest, FormatInt) {
  EXPECT_EQ(Int(-305, 10), "-305");
  EXPECT_EQ(Int(12345, 3), "123");
  EXPECT_EQ(Int(0), "0");
  EXPECT_EQ(Int(9), "9");
  EXPECT_EQ(Int(10), "10");
  EXPECT_EQ(Int(1000), "1000");
  EXPECT_EQ(Int(-7, 1), "-");
  EXPECT_EQ(Int(5, 0), "");
  EXPECT_EQ(Int(2147483647), "2147483647");
  EXPECT_EQ(Int(1410065408), "1410065408");
  EXPECT_EQ(Int(-2147483647 - 1), "-2147483648");
}

}  // namespace
}  // namespace VLN2
