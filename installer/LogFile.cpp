#include "installer/LogFile.h"

#include <cstring>

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
  // Two digits or more of a number, with a separator after it.
  void Number(int value, int digits, char separator) {
    char reversed[8];
    int n = 0;
    do reversed[n++] = static_cast<char>('0' + value % 10), value /= 10;
    while (value && n < 8);
    while (n < digits && n < 8) reversed[n++] = '0';
    while (n) Append(&reversed[--n], 1);
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
  file_ = Port::OpenFile(path, Port::kAccessWrite, true);
  std::uint32_t size = 0;
  if (file_ && Port::GetFileSize(file_, &size) && Port::SetFilePointer(file_, size)) return 0;
  if (file_) Port::CloseFile(file_);
  file_ = nullptr;
  return 1;
}

void LogFile::Write(const char* event, const char* subject, const char* detail) {
  if (!file_) return;
  // One line per line of the detail (a box's or the report's text), empty ones left out.
  bool written = false;
  for (const char* rest = detail; rest && *rest;) {
    const char* end = std::strchr(rest, '\n');
    int length = static_cast<int>(end ? end - rest : std::strlen(rest));
    if (length > 1 || (length == 1 && *rest != '\r')) {
      WriteLine(event, subject, rest, length);
      written = true;
    }
    rest += end ? length + 1 : length;
  }
  if (!written) WriteLine(event, subject, nullptr, 0);
}

void LogFile::WriteLine(const char* event, const char* subject, const char* detail,
                        int detailLength) {
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
    line.Append(subject);
  }
  if (detail) {
    line.Append(": ");
    // Carriage returns of the system's texts would break the line.
    for (int i = 0; i < detailLength; ++i)
      if (detail[i] != '\r') line.Append(detail + i, 1);
  }
  std::uint32_t length = 0;
  const char* bytes = line.Finish(&length);
  std::uint32_t written = 0;
  Port::WriteFile(file_, bytes, length, &written);
}

}  // namespace VLN2
