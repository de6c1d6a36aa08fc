// LogFile: the log of a run as a text file, appended to. Each line starts with the UTC time
// and is written to the file before Write returns, so a run that is killed still leaves
// every line it wrote. The texts are written as they are (UTF-8 where the process runs in
// UTF-8) but for control characters, which are escaped; lines end in CR LF.
#pragma once

#include <cstddef>

#include "framework/ElementImp.h"
#include "system/Log.h"
#include "system/port/Port.h"

namespace VLN2 {

class LogFile : public Log, public ElementStorage {
 public:
  LogFile() = default;
  ~LogFile() override;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens the file for appending, creating it when absent; 0 on success.
  int Open(const char* path);
  void Write(const char* event, const char* subject, const char* detail) override;
  void WriteLines(const char* event, const char* subject, const char* text) override;

 private:
  void WriteLine(const char* event, const char* subject, const char* detail,
                 std::size_t detailLength);

  Port::FileHandle file_ = nullptr;
};

}  // namespace VLN2
