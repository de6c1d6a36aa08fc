// The rule that decides which entry names may become files below a destination folder.
#include <gtest/gtest.h>

#include <string>

#include "archive/EntryName.h"
#include "framework/PathRules.h"

namespace VLN2 {
namespace {

struct NameCase {
  const char* name;
  bool safe;
  const char* why;
};

const NameCase kNames[] = {
    // Well-formed payload names.
    {"a.h", true, "a plain file"},
    {"readme", true, "no extension"},
    {"SDK\\include\\vln.h", true, "nested levels"},
    {"3DSMax3\\plugin.dlo", true, "digits first"},
    {"VLN2_Resources\\images\\logo.bmp", true, "underscore"},
    {"a/b/c.txt", true, "slashes as separators"},
    {"a\\b/c", true, "mixed separators"},
    {"file with blanks.txt", true, "inner blanks"},
    {" leading blank", true, "a leading blank is kept by Windows"},
    {".hidden", true, "leading dot"},
    {"...", false, "dots only end in a dot"},
    {"..a", true, "two dots then a letter"},
    {"a..b", true, "inner dots"},
    {"archive.tar.gz", true, "two extensions"},
    {"x", true, "one character"},
    {"\xE9t\xE9.txt", true, "8-bit characters"},
    {"CONSOLE.txt", true, "a longer word beginning with a device name"},
    {"CON_.txt", true, "device name with a suffix"},
    {"ACON", true, "device name inside a word"},
    {"NULL", true, "NULL is not NUL"},
    {"COM0", false, "COM0"},
    {"COM10", true, "two digits"},
    {"LPT0.txt", false, "LPT0 with an extension"},
    {"LPT", true, "LPT without a number"},
    {"COM", true, "COM without a number"},
    {"AUXILIARY", true, "longer word"},
    {"prnt", true, "longer word"},
    {"a\\CONX\\b", true, "device-like folder with a suffix"},
    {"dir.d\\file", true, "folder with an extension"},
    {"~tmp", true, "tilde"},
    {"a#b%c&d", true, "punctuation"},
    {"a;b,c=d+e", true, "more punctuation"},
    {"[x]{y}(z)", true, "brackets"},
    {"a\\b\\c\\d\\e\\f\\g\\h\\i\\j.k", true, "deep"},
    {"name.", false, "trailing dot"},
    {"name ", false, "trailing blank"},
    {"dir.\\file", false, "folder with a trailing dot"},
    {"dir \\file", false, "folder with a trailing blank"},
    {"a\\b.", false, "last level with a trailing dot"},
    // Empty and rooted.
    {"", false, "empty"},
    {"\\", false, "only a separator"},
    {"/", false, "only a slash"},
    {"\\a.txt", false, "rooted"},
    {"/etc/passwd", false, "rooted with slashes"},
    {"\\\\server\\share\\a", false, "UNC"},
    {"//server/share/a", false, "UNC with slashes"},
    // Drives and colons.
    {"C:\\Windows\\a.dll", false, "absolute with drive"},
    {"C:a.dll", false, "drive-relative"},
    {"c:", false, "drive alone"},
    {"a:b", false, "colon inside"},
    {"file.txt:stream", false, "alternate data stream"},
    {"dir\\file:$DATA", false, "stream in a deeper level"},
    // Empty, "." and ".." levels.
    {"a\\\\b", false, "empty level"},
    {"a//b", false, "empty level with slashes"},
    {"a\\", false, "trailing separator"},
    {"a/", false, "trailing slash"},
    {".", false, "dot"},
    {"..", false, "dot dot"},
    {"..\\a", false, "climbs out"},
    {"../a", false, "climbs out with a slash"},
    {"a\\..\\..\\b", false, "climbs out further down"},
    {"a\\.\\b", false, "dot level"},
    {"a/./b", false, "dot level with slashes"},
    {"a\\..", false, "ends in dot dot"},
    {"a\\.", false, "ends in dot"},
    // Control characters and wildcards.
    {"a\tb", false, "tab"},
    {"a\nb", false, "line feed"},
    {"a\rb", false, "carriage return"},
    {"\x01"
     "a",
     false, "SOH"},
    {"a\x1F", false, "unit separator"},
    {"a\x7F", false, "DEL"},
    {"a*b", false, "star"},
    {"a?b", false, "question mark"},
    {"a<b", false, "less-than"},
    {"a>b", false, "greater-than"},
    {"a|b", false, "bar"},
    {"a\"b", false, "double quote"},
    // Devices, with and without extensions, any case, at any level.
    {"CON", false, "CON"},
    {"con", false, "lower-case con"},
    {"Con.txt", false, "CON with an extension"},
    {"PRN", false, "PRN"},
    {"prn.log", false, "PRN with an extension"},
    {"AUX", false, "AUX"},
    {"aux.c", false, "AUX with an extension"},
    {"NUL", false, "NUL"},
    {"nul.tar.gz", false, "NUL with two extensions"},
    {"COM1", false, "COM1"},
    {"com5.txt", false, "COM5 with an extension"},
    {"COM9", false, "COM9"},
    {"LPT1", false, "LPT1"},
    {"lpt9.doc", false, "LPT9 with an extension"},
    {"Lpt3", false, "mixed case"},
    {"COM\xB9", false, "COM with superscript one"},
    {"LPT\xB2.txt", false, "LPT with superscript two"},
    {"com\xC2\xB3", false, "COM with superscript three in UTF-8"},
    {"LPT\xC2\xB9.txt", false, "LPT with superscript one in UTF-8"},
    {"COM\xC2\xB4", true, "COM with an acute accent in UTF-8"},
    {"CONIN$", false, "console input"},
    {"conout$.txt", false, "console output"},
    {"NUL .txt", false, "blank before the extension"},
    {"CON ", false, "trailing blank after a device"},
    {"dir\\CON\\a.txt", false, "device as a folder"},
    {"dir\\aux", false, "device as the last level"},
    {"a/nul.x/b", false, "device with extension as a folder"},
};

TEST(EntryNameTest, TableOfNames) {
  int checked = 0;
  for (const NameCase& c : kNames) {
    EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << "\"" << c.name << "\": " << c.why;
    ++checked;
  }
  EXPECT_GE(checked, 100);
}

TEST(EntryNameTest, NullIsRefused) { EXPECT_FALSE(IsSafeEntryName(nullptr)); }

TEST(EntryNameTest, LongNamesAreJudgedByTheirLevels) {
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "level\\";
  EXPECT_TRUE(IsSafeEntryName((deep + "file").c_str()));
  EXPECT_FALSE(IsSafeEntryName((deep + "..\\file").c_str()));
  EXPECT_FALSE(IsSafeEntryName((deep + "LPT2").c_str()));
  EXPECT_TRUE(IsSafeEntryName(std::string(65534, 'x').c_str()));
}

TEST(EntryNameTest, WellFormedUtf8) {
  const struct {
    const char* name;
    bool utf8;
    const char* why;
  } rows[] = {
      {"plain.txt", true, "ASCII"},
      {"", true, "empty"},
      {"\xC3\xA4pfel", true, "two bytes"},
      {"\xEF\xBC\xA3\xEF\xBC\x94\xEF\xBC\xA4", true, "three bytes (full-width)"},
      {"\xF0\x9F\x98\x80", true, "four bytes"},
      {"\xF4\x8F\xBF\xBF", true, "the last character"},
      {"\xE9t\xE9.txt", false, "the ANSI code page 1252"},
      {"\xC3", false, "cut short"},
      {"\xC3(", false, "no continuation"},
      {"\x80", false, "a stray continuation"},
      {"\xC0\xAF", false, "overlong slash"},
      {"\xE0\x80\xAF", false, "overlong in three bytes"},
      {"\xF0\x8F\xBF\xBF", false, "overlong in four bytes"},
      {"\xED\xA0\x80", false, "a surrogate"},
      {"\xF4\x90\x80\x80", false, "above U+10FFFF"},
      {"\xF5\x80\x80\x80", false, "no such lead byte"},
  };
  for (const auto& row : rows) EXPECT_EQ(IsUtf8Name(row.name), row.utf8) << row.why;
}

// Names Windows takes for one file, whatever their bytes.
TEST(EntryNameTest, CollidingNames) {
  const struct {
    const char* a;
    const char* b;
    bool collide;
    const char* why;
  } rows[] = {
      {"Readme.txt", "README.TXT", true, "ASCII case"},
      {"a\\b.txt", "A/B.TXT", true, "slash and backslash alike"},
      {"\xC3\xA4.txt", "\xC3\x84.txt", true, "a umlaut, lower and upper"},
      {"\xCE\xB1\xCE\xB2", "\xCE\x91\xCE\x92", true, "Greek"},
      {"\xCF\x82", "\xCE\xA3", true, "final sigma"},
      {"\xD0\xB4\xD0\xBC", "\xD0\x94\xD0\x9C", true, "Cyrillic"},
      {"\xEF\xBD\x83", "\xEF\xBC\xA3", true, "full-width c and C"},
      {"\xC5\x82", "\xC5\x81", true, "Polish l with stroke"},
      {"\xC3\xBF", "\xC5\xB8", true, "y diaeresis maps outside Latin-1"},
      {"\xC7\x86", "\xC7\x85", true, "dz digraph: lower and title case"},
      {"\xC4\xB1", "I", true, "dotless i maps to I"},
      {"\xC3\x9F", "SS", false, "sharp s has no simple upper case"},
      {"\xC3\x9F", "\xE1\xBA\x9E", false, "nor maps to the capital sharp s"},
      {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", false, "outside the BMP: no case table"},
      {"\xF4\x90\x82\x80", "\x80", false, "above U+10FFFF: stray bytes, no character"},
      {"a.txt", "a.txt ", false, "a trailing blank is another name"},
      {"a", "b", false, "different"},
      {"ab", "a", false, "a prefix"},
      {"\xE9", "\xC9", false, "bytes of 1252: only ASCII letters fold"},
      {"\xE9", "\xE9", true, "the same bytes"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CompareNames(row.a, row.b) == 0, row.collide) << row.why;
    // An order: the same answer both ways round.
    EXPECT_EQ(CompareNames(row.a, row.b), -CompareNames(row.b, row.a)) << row.why;
  }
}

// Record paths: only what an installation could have written is acted on.
const NameCase kRecordPaths[] = {
    {"C:\\Program Files\\Vorlane\\Toolbox\\a.dll", true, "a file"},
    {"c:\\Vorlane\\Toolbox\\", true, "a folder"},
    {"C:\\Program Files\\\\Vorlane\\x", true, "a doubled separator is one"},
    {"D:/x/y.txt", true, "slashes"},
    {"C:\\a\\\xE9t\xE9.txt", true, "8-bit characters"},
    {"Vorlane\\Toolbox\\a.dll", false, "relative"},
    {"\\Vorlane\\a.dll", false, "rooted without a drive"},
    {"C:a.dll", false, "drive-relative"},
    {"C:\\", false, "the drive's root"},
    {"1:\\a", false, "no drive letter"},
    {"\\\\server\\share\\a.dll", false, "UNC"},
    {"//server/share/a.dll", false, "UNC with slashes"},
    {"\\\\?\\C:\\a.dll", false, "long-path form"},
    {"\\\\.\\C:\\a.dll", false, "device namespace"},
    {"\\\\?\\UNC\\server\\share\\a", false, "long-path UNC"},
    {"C:\\a\\..\\..\\Windows\\x.dll", false, "climbs"},
    {"C:\\..\\x", false, "climbs from the root"},
    {"C:\\a\\.\\b", false, "dot level"},
    {"C:\\a\\..", false, "ends in dot dot"},
    {"C:\\a\\b:stream", false, "further colon"},
    {"C:\\a\\D:\\b", false, "a second drive"},
    {"C:\\a.\\b", false, "level ending in a dot"},
    {"C:\\a \\b", false, "level ending in a blank"},
    {"C:\\a\\b.", false, "file ending in a dot"},
    {"C:\\a\\NUL", false, "device"},
    {"C:\\a\\com0.txt", false, "COM0 with an extension"},
    {"C:\\Lpt9\\x", false, "LPT9 as a folder"},
    {"C:\\a\\conin$", false, "console input"},
    {"C:\\a\\CONOUT$.log", false, "console output"},
    {"C:\\a\\b*", false, "wildcard"},
    {"", false, "empty"},
};

TEST(EntryNameTest, TableOfRecordPaths) {
  for (const NameCase& c : kRecordPaths)
    EXPECT_EQ(IsRecordablePath(c.name), c.safe) << "\"" << c.name << "\": " << c.why;
  EXPECT_FALSE(IsRecordablePath(nullptr));
}

TEST(EntryNameTest, SamePathIgnoresCaseAndSeparatorForms) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } kPairs[] = {
      {"C:\\Dest\\a.txt", "c:\\dest\\A.TXT", true},
      {"C:\\Dest\\sub/a.txt", "C:\\Dest\\sub\\a.txt", true},
      {"C:\\Program Files\\\\Vorlane\\", "C:\\Program Files\\Vorlane\\", true},
      {"C:\\Dest\\a.txt", "C:\\Other\\a.txt", false},
      {"C:\\Dest\\a.txt", "C:\\Dest\\a.txt2", false},
      {"C:\\Dest\\", "C:\\Dest", false},
      {"\xC9", "\xE9", false},  // only ASCII letters fold
      {"", "", true},
  };
  for (const auto& pair : kPairs)
    EXPECT_EQ(SamePath(pair.a, pair.b), pair.same) << pair.a << " / " << pair.b;
  EXPECT_FALSE(SamePath(nullptr, "C:\\"));
}

}  // namespace
}  // namespace VLN2
