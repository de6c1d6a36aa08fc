#include "installer/LogFile.h"

#include <cstring>

#include "framework/StringUtil.h"
#include "system/FileFunc.h"

namespace VLN2 {
namespace {

// Longest line kept; the rest of a longer one is cut.
constexpr std::size_t kLineSize = 2048;

class Line {
 public:
  void Append(const char* text, std::size_t length) {
    if (length > kLineSize - 2 - used_) length = kLineSize - 2 - used_;
    std::memcpy(text_ + used_, text, length);
    used_ += length;
  }
  void Append(const char* text) { Append(text, std::strlen(text)); }
  // The text with each control character as \xNN: a line break from outside never ends the
  // line, and a carriage return never hides what came before it.
  void AppendEscaped(const char* text, std::size_t length) {
    static const char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < length; ++i) {
      auto c = static_cast<unsigned char>(text[i]);
      if (c >= 0x20 && c != 0x7F) {
        Append(text + i, 1);
      } else {
        const char escaped[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        Append(escaped, 4);
      }
    }
  }
  // Two digits or more of a number, with a separator after it.
  void Number(int value, int digits, char separator) {
    char text[16];
    int length = FormatDecimal(value, text, sizeof text);
    for (int n = length; n < digits; ++n) Append("0", 1);
    Append(text, static_cast<std::size_t>(length));
    if (separator) Append(&separator, 1);
  }
  // Ends the line; its bytes and length.
  const char* Finish(std::uint32_t* length) {
    text_[used_++] = '\r';
    text_[used_++] = '\n';
    *length = static_cast<std::uint32_t>(used_);
    return text_;
  }

 private:
  char text_[kLineSize];
  std::size_t used_ = 0;
};

}  // namespace

LogFile::~LogFile() {
  if (file_) Port::CloseFile(file_);
}

int LogFile::Open(const char* path) {
  // Like every file the installer writes: never through a link, nor into a file that has
  // other names.
  file_ = OpenRealFile(path, Port::kAccessWrite, true);
  std::uint32_t size = 0;
  if (file_ && Port::GetFileSize(file_, &size) && Port::SetFilePointer(file_, size)) return 0;
  if (file_) Port::CloseFile(file_);
  file_ = nullptr;
  return 1;
}

void LogFile::Write(const char* event, const char* subject, const char* detail) {
  WriteLine(event, subject, detail, detail ? std::strlen(detail) : 0);
}

void LogFile::WriteLines(const char* event, const char* subject, const char* text) {
  // One line per line of the text, empty ones left out; a line's own CR goes with its LF.
  bool written = false;
  for (const char* rest = text; rest && *rest;) {
    const char* end = std::strchr(rest, '\n');
    std::size_t length = end ? static_cast<std::size_t>(end - rest) : std::strlen(rest);
    std::size_t shown = length > 0 && rest[length - 1] == '\r' ? length - 1 : length;
    if (shown > 0) {
      WriteLine(event, subject, rest, shown);
      written = true;
    }
    rest += end ? length + 1 : length;
  }
  if (!written) WriteLine(event, subject, nullptr, 0);
}

void LogFile::WriteLine(const char* event, const char* subject, const char* detail,
                        std::size_t detailLength) {
  if (!file_) return;
  Port::CalendarTime now;
  Port::GetSystemTime(&now);
  Line line;
  line.Number(now.year, 4, '-');
  line.Number(now.month, 2, '-');
  line.Number(now.day, 2, ' ');
  line.Number(now.hour, 2, ':');
  line.Number(now.minute, 2, ':');
  line.Number(now.second, 2, '.');
  line.Number(now.milliseconds, 3, 0);
  line.Append("Z ");
  line.Append(event);
  if (subject) {
    line.Append(" ");
    line.AppendEscaped(subject, std::strlen(subject));
  }
  if (detail) {
    line.Append(": ");
    line.AppendEscaped(detail, detailLength);
  }
  std::uint32_t length = 0;
  const char* bytes = line.Finish(&length);
  std::uint32_t written = 0;
  Port::WriteFile(file_, bytes, length, &written);
}

}  // namespace VLN2
