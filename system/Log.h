// Log: where the events of a run are written when a log is kept. The driver owns the log
// and hands it to the application object, through which every component reaches it, as
// it reaches the message boxes.
#pragma once

namespace VLN2 {

class Log {
 public:
  virtual ~Log() = default;
  // Writes one time-stamped line per line of text: "event subject: detail", the parts
  // that are null left out.
  virtual void Write(const char* event, const char* subject, const char* detail) = 0;
};

// Writes to the application object's log, when there is one.
void LogEvent(const char* event, const char* subject = nullptr, const char* detail = nullptr);
// The same with the system's text of the last error as the detail. Call it right after
// the call that failed.
void LogSystemError(const char* event, const char* subject);

}  // namespace VLN2
