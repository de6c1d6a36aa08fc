// Log: where the events of a run are written when a log is kept. The driver owns the log
// and hands it to the application object, through which every component reaches it, as
// it reaches the message boxes.
#pragma once

namespace VLN2 {

class Log {
 public:
  virtual ~Log() = default;
  // Writes one time-stamped line "event subject: detail", the parts that are null left out.
  // Control characters (a line break in a path or an argument) are written escaped, so that
  // no text from outside can make a line of its own.
  virtual void Write(const char* event, const char* subject, const char* detail) = 0;
  // The same for a text of several lines of Setup's own (a box): one line per line of the
  // text, empty ones left out.
  virtual void WriteLines(const char* event, const char* subject, const char* text) = 0;
};

// Writes to the application object's log, when there is one.
void LogEvent(const char* event, const char* subject = nullptr, const char* detail = nullptr);
// The same for a text of several lines of Setup's own.
void LogLines(const char* event, const char* subject, const char* text);
// The same with the system's text of the last error as the detail. Call it right after
// the call that failed.
void LogSystemError(const char* event, const char* subject);

}  // namespace VLN2
