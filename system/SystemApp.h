// SystemApp: the application object: module handle, product folders, the private
// temporary folder and the message boxes. SystemTime: a UTC clock reading.
#pragma once

#include "framework/VLN2.h"
#include "system/Log.h"
#include "system/port/Port.h"

namespace VLN2 {

class SystemApp : public Element {
 public:
  virtual Port::ModuleHandle GetInstance() = 0;
  virtual void SetInstance(Port::ModuleHandle module) = 0;
  // Texts are owned by the application object and valid until the property changes.
  virtual const char* GetCommandLineText() = 0;
  virtual int SetCommandLineText(const char* text) = 0;
  virtual const char* GetModuleFolder() = 0;
  virtual void SetModuleFolder(const char* text) = 0;
  virtual const char* GetMachineName() = 0;
  virtual void SetMachineName(const char* text) = 0;
  virtual const char* GetOsProductName() = 0;
  virtual void SetOsProductName(const char* text) = 0;
  // Folders end in a backslash.
  virtual const char* GetBaseFolder() = 0;
  virtual const char* GetToolboxFolder() = 0;
  virtual const char* GetViewerFolder() = 0;
  virtual const char* GetTempFolder() = 0;
  // Modal boxes without owner; caption null = "Error" / "Info". The box's result.
  virtual int ShowError(const char* text, const char* caption) = 0;
  virtual int ShowInfo(const char* text, const char* caption) = 0;
  // A warning box with Retry and Cancel; 0 when the user chose Retry, 1 otherwise.
  virtual int AskRetry(const char* text, const char* caption) = 0;
  // Deletes every file below the temporary folder; 0.
  virtual int ClearTempFolder() = 0;
  // Hands the text to the shell's default action; 0 whatever happened.
  virtual int ShellOpen(const char* text) = 0;
  // Waits for input to the thread or the time to pass; the platform's wait result.
  virtual int WaitForInput(int milliseconds) = 0;
  // A box with Yes and No (caption null = "Question"); 0 when the answer was Yes.
  virtual int ShowQuestion(const char* text, const char* caption) = 0;
  // The log of the run, or null; not owned. Every box is written to it.
  virtual Log* GetLog() = 0;
  virtual void SetLog(Log* log) = 0;
  // In a quiet run boxes are only written to the log: ShowError and ShowInfo answer OK,
  // ShowQuestion No.
  virtual void SetQuiet(bool quiet) = 0;
};

class SystemTime : public Element {
 public:
  // Reads the current time in UTC.
  virtual void Update() = 0;
  // The setters have no effect.
  virtual int GetYear() = 0;
  virtual void SetYear(int value) = 0;
  virtual int GetMonth() = 0;
  virtual void SetMonth(int value) = 0;
  virtual int GetDay() = 0;
  virtual void SetDay(int value) = 0;
  virtual int GetHour() = 0;
  virtual void SetHour(int value) = 0;
  virtual int GetMinute() = 0;
  virtual void SetMinute(int value) = 0;
  virtual int GetSecond() = 0;
  virtual void SetSecond(int value) = 0;
  virtual int GetMilliseconds() = 0;
  virtual void SetMilliseconds(int value) = 0;
};

}  // namespace VLN2
