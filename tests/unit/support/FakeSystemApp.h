// An application object for tests: folders chosen by the test, message boxes recorded.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/ElementImp.h"
#include "system/SystemApp.h"

namespace VLN2 {

class FakeSystemApp : public ElementImp<SystemApp> {
 public:
  struct Box {
    std::string text, caption;
  };

  // base: the base folder, ending in a backslash; the toolbox folder is base + "Toolbox\".
  // An empty base or temp leaves those folders absent.
  FakeSystemApp(Core* core, const std::string& base, const std::string& temp)
      : ElementImp(core, kSystemAppType),
        base_(base),
        toolbox_(base.empty() ? "" : base + "Toolbox\\"),
        temp_(temp) {}

  std::vector<Box> boxes;
  // The answer to a Retry/Cancel box: 0 Retry; Cancel when unset.
  std::function<int()> answerRetry;

  Port::ModuleHandle GetInstance() override { return nullptr; }
  void SetInstance(Port::ModuleHandle) override {}
  const char* GetCommandLineText() override { return Folder(commandLine_); }
  int SetCommandLineText(const char* text) override {
    commandLine_ = text ? text : "";
    return 0;
  }
  const char* GetModuleFolder() override { return nullptr; }
  void SetModuleFolder(const char*) override {}
  const char* GetMachineName() override { return nullptr; }
  void SetMachineName(const char*) override {}
  const char* GetOsProductName() override { return nullptr; }
  void SetOsProductName(const char*) override {}
  const char* GetBaseFolder() override { return Folder(base_); }
  const char* GetToolboxFolder() override { return Folder(toolbox_); }
  const char* GetViewerFolder() override { return nullptr; }
  const char* GetTempFolder() override { return Folder(temp_); }
  int ShowError(const char* text, const char* caption) override { return Record(text, caption); }
  int ShowInfo(const char* text, const char* caption) override { return Record(text, caption); }
  // Answers Yes unless told otherwise.
  int ShowQuestion(const char* text, const char* caption) override {
    Record(text, caption);
    return !quiet_ && answerYes ? 0 : 1;
  }
  Log* GetLog() override { return log_; }
  void SetLog(Log* log) override { log_ = log; }
  void SetQuiet(bool quiet) override {
    quiet_ = quiet;
    quietAsks_ = 0;
  }
  bool answerYes = true;
  int AskRetry(const char* text, const char* caption) override {
    Record(text, caption);
    if (answerRetry) return answerRetry();
    // A quiet run has nobody to answer: it cancels, and must not ask again.
    if (quiet_ && quietAsks_++ > 0) {
      ADD_FAILURE() << "a quiet run asked again after Cancel";
      return 0;
    }
    return 1;
  }
  int ClearTempFolder() override { return 0; }
  int ShellOpen(const char*) override { return 0; }
  int WaitForInput(int) override { return 0; }

 private:
  static const char* Folder(const std::string& folder) {
    return folder.empty() ? nullptr : folder.c_str();
  }
  // A quiet run shows no box: it is only written to the log.
  int Record(const char* text, const char* caption) {
    if (log_) log_->WriteLines(quiet_ ? "box (not shown)" : "box", caption, text);
    if (!quiet_) boxes.push_back({text ? text : "", caption ? caption : ""});
    return 1;
  }
  std::string base_, toolbox_, temp_, commandLine_;
  Log* log_ = nullptr;
  bool quiet_ = false;
  int quietAsks_ = 0;
};

}  // namespace VLN2
