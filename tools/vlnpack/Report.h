// How vlnpack speaks: exit codes, one line on stderr for what went wrong, a progress line on a
// terminal, and text from an archive made safe to print.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace VLN2::Vlnpack {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// "vlnpack: " and the printf-formatted text, as one line on stderr.
void Message(const char* format, ...);

// kExitOk when stdout took everything written to it; else kExitFailure after a message that
// given's what could not be written.
int FinishOutput(const char* given, const char* what);

// Names and bytes from an archive may hold anything: control characters are shown as '?'.
std::string Printable(const char* text);

// One line on stderr, rewritten in place, when stderr is a terminal and the work is long.
class Progress {
 public:
  Progress(const char* verb, std::size_t total);
  ~Progress() { Clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Step(std::size_t done, const std::string& name);
  void Clear();

 private:
  const char* verb_;
  std::size_t total_;
  bool enabled_;
  int shown_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace VLN2::Vlnpack
