#include "tools/vlnpack/Report.h"

#include <cstdarg>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace VLN2::Vlnpack {
namespace {

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace

void Message(const char* format, ...) {
  std::fprintf(stderr, "vlnpack: ");
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

int FinishOutput(const char* given, const char* what) {
  if (std::fflush(stdout) == 0) return kExitOk;
  Message("%s: %s could not be written", given, what);
  return kExitFailure;
}

std::string Printable(const char* text) {
  std::string out = text ? text : "";
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

Progress::Progress(const char* verb, std::size_t total)
    : verb_(verb),
      total_(total),
      enabled_(StderrIsTerminal()),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

void Progress::Step(std::size_t done, const std::string& name) {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - start_ < std::chrono::milliseconds(500) || now - last_ < std::chrono::milliseconds(100))
    return;
  last_ = now;
  std::string shown = name.size() > 50 ? "..." + name.substr(name.size() - 47) : name;
  int width = std::fprintf(stderr, "\r%s %zu/%zu %s", verb_, done, total_, shown.c_str());
  for (int i = width; i < shown_; ++i) std::fputc(' ', stderr);
  shown_ = width;
  std::fflush(stderr);
}

void Progress::Clear() {
  if (!enabled_ || shown_ == 0) return;
  std::fprintf(stderr, "\r%*s\r", shown_, "");
  std::fflush(stderr);
  shown_ = 0;
}

}  // namespace VLN2::Vlnpack
