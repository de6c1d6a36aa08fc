// How a registry value names a program file, and which folder texts fit.
#include <gtest/gtest.h>

#include <string>

#include "installer/FolderText.h"

namespace VLN2 {
namespace {

TEST(FolderTextTest, ProgramFileOfAServerValue) {
  const struct {
    const char* value;
    const char* program;
  } rows[] = {
      {"C:\\Bentley\\ustation.exe", "C:\\Bentley\\ustation.exe"},
      {"\"C:\\Bentley\\ustation.exe\" /Automation", "C:\\Bentley\\ustation.exe"},
      {"\"C:\\Program Files\\Bentley\\ustation.exe\"", "C:\\Program Files\\Bentley\\ustation.exe"},
      {"\"C:\\a b\\x.exe\"/Automation \"more\"", "C:\\a b\\x.exe"},
      // Unquoted, the value is used as before, blanks and arguments included.
      {"C:\\Bentley\\ustation.exe /Automation", "C:\\Bentley\\ustation.exe /Automation"},
      {" \"C:\\x.exe\"", " \"C:\\x.exe\""},
      {"\"C:\\unclosed\\x.exe", "C:\\unclosed\\x.exe"},
      {"\"\" /Automation", ""},
      {"", ""},
  };
  for (const auto& row : rows) {
    std::size_t length = 0;
    const char* start = ProgramFileOf(row.value, &length);
    EXPECT_EQ(std::string(start, length), row.program) << row.value;
  }
}

TEST(FolderTextTest, FolderFitsTheFieldWithItsBackslashAndNul) {
  const std::string root = "C:\\";
  const std::string wide = "\xEF\xBC\xA3";  // a full-width letter: 3 bytes
  const struct {
    std::string folder;
    bool fits;
  } rows[] = {
      {"", true},
      {"C", true},
      {root + std::string(255, 'a'), true},         // 258 + the backslash + NUL
      {root + std::string(256, 'a'), false},        // no room for the backslash
      {root + std::string(255, 'a') + "\\", true},  // 259 + NUL
      {root + std::string(256, 'a') + "\\", false},
      {root + std::string(255, 'a') + "/", true},  // a slash counts like a backslash
      {root + std::string(256, 'a') + "/", false},
      {root + std::string(252, 'a') + wide, true},  // 258 bytes
      {root + std::string(253, 'a') + wide, false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(FolderFits(row.folder.c_str()), row.fits) << row.folder.size() << " bytes";
}

}  // namespace
}  // namespace VLN2
