// The application object and the UTC clock element.
#pragma once

#include <cstdint>

#include "framework/ElementImp.h"
#include "framework/String.h"
#include "system/SystemApp.h"
#include "system/port/Port.h"

namespace VLN2 {

class SystemAppImp : public ElementImp<SystemApp> {
 public:
  // Constructed directly by the program entry, not through the Core. The command-line
  // text is kept only when count is greater than 0.
  SystemAppImp(Core* core, Port::ModuleHandle module, const char* commandLine, int count);

  // Reads the folders and names and creates the private temporary folder. 1 only when its
  // work buffer cannot be had.
  int Init() override;
  // Empties and removes the temporary folder (only the one it created itself), then
  // clears every property.
  int Destroy() override;

  Port::ModuleHandle GetInstance() override { return module_; }
  void SetInstance(Port::ModuleHandle module) override { module_ = module; }
  const char* GetCommandLineText() override { return TextOf(commandLine_); }
  int SetCommandLineText(const char* text) override;
  const char* GetModuleFolder() override { return TextOf(moduleFolder_); }
  void SetModuleFolder(const char* text) override { Store(&moduleFolder_, text); }
  const char* GetMachineName() override { return TextOf(machineName_); }
  void SetMachineName(const char* text) override { Store(&machineName_, text); }
  const char* GetOsProductName() override { return TextOf(osProductName_); }
  void SetOsProductName(const char* text) override { Store(&osProductName_, text); }
  const char* GetBaseFolder() override { return TextOf(baseFolder_); }
  const char* GetToolboxFolder() override { return TextOf(toolboxFolder_); }
  const char* GetViewerFolder() override { return TextOf(viewerFolder_); }
  const char* GetTempFolder() override { return TextOf(tempFolder_); }
  int ShowError(const char* text, const char* caption) override;
  int ShowInfo(const char* text, const char* caption) override;
  int AskRetry(const char* text, const char* caption) override;
  int ClearTempFolder() override;
  int ShellOpen(const char* text) override;
  int WaitForInput(int milliseconds) override;
  int ShowQuestion(const char* text, const char* caption) override;
  Log* GetLog() override { return log_; }
  void SetLog(Log* log) override { log_ = log; }
  void SetQuiet(bool quiet) override { quiet_ = quiet; }

 private:
  int ShowBox(const char* text, const char* caption, Port::MessageBoxKind kind);
  static const char* TextOf(String* property) { return property ? property->GetText() : nullptr; }
  // Copies text into the property, creating its String on first use; null clears it.
  void Store(String** property, const char* text);
  void Append(String* property, const char* text);
  void ReadProductFolders(char* buffer, std::size_t size);
  void ReadModuleFolder(char* buffer, std::size_t size);
  void ReadOsProductName();
  void CreateTempFolder();
  bool TryTempFolder(std::uint32_t* lastClock, bool* clockRead);

  Port::ModuleHandle module_;
  String* commandLine_ = nullptr;
  String* baseFolder_ = nullptr;
  String* toolboxFolder_ = nullptr;
  String* viewerFolder_ = nullptr;
  String* moduleFolder_ = nullptr;
  String* tempFolder_ = nullptr;
  String* machineName_ = nullptr;
  String* osProductName_ = nullptr;
  // Whether this object created the temporary folder: only then is it emptied and removed.
  bool tempFolderCreated_ = false;
  Log* log_ = nullptr;
  bool quiet_ = false;
};

class SystemTimeImp : public ElementImp<SystemTime> {
 public:
  explicit SystemTimeImp(Core* core) : ElementImp(core, kSystemTimeType) { Update(); }

  int Init() override {
    Update();
    return 0;
  }
  void Update() override { Port::GetSystemTime(&time_); }
  int GetYear() override { return time_.year; }
  void SetYear(int) override {}
  int GetMonth() override { return time_.month; }
  void SetMonth(int) override {}
  int GetDay() override { return time_.day; }
  void SetDay(int) override {}
  int GetHour() override { return time_.hour; }
  void SetHour(int) override {}
  int GetMinute() override { return time_.minute; }
  void SetMinute(int) override {}
  int GetSecond() override { return time_.second; }
  void SetSecond(int) override {}
  int GetMilliseconds() override { return time_.milliseconds; }
  void SetMilliseconds(int) override {}

 private:
  Port::CalendarTime time_ = {};
};

}  // namespace VLN2
