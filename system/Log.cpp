#include "system/Log.h"

#include "system/SystemApp.h"
#include "system/port/Port.h"

namespace VLN2 {
namespace {

Log* CurrentLog() {
  SystemApp* app = g_core ? g_core->GetSystemApp() : nullptr;
  return app ? app->GetLog() : nullptr;
}

}  // namespace

void LogEvent(const char* event, const char* subject, const char* detail) {
  if (Log* log = CurrentLog()) log->Write(event, subject, detail);
}

void LogLines(const char* event, const char* subject, const char* text) {
  if (Log* log = CurrentLog()) log->WriteLines(event, subject, text);
}

void LogSystemError(const char* event, const char* subject) {
  // Read first: whatever runs next may change it.
  char error[256];
  Port::GetLastErrorText(error, sizeof error);
  LogEvent(event, subject, error);
}

}  // namespace VLN2
