#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/ElementRef.h"
#include "system/FileFunc.h"
#include "system/SystemAppImp.h"
#include "system/port/Port.h"
#include "unit/support/SandboxFiles.h"
#include "unit/support/SandboxFixture.h"
#include "unit/support/TestRegistry.h"

#ifdef _WIN32
#include <process.h>
#else
#include <sys/statfs.h>
#include <unistd.h>

#include "system/port/posix/PosixPort.h"
#endif

namespace VLN2 {
namespace {

const char* const kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
const char* const kNtCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";

// Clock readings of this process: programs running side by side choose other names.
std::uint32_t T(std::uint32_t n) {
#ifdef _WIN32
  std::uint32_t process = static_cast<std::uint32_t>(_getpid());
#else
  std::uint32_t process = static_cast<std::uint32_t>(getpid());
#endif
  return process * 65536u + n;
}

// A millisecond counter the test sets: the readings in order, the last one repeating.
std::vector<std::uint32_t> g_readings;
std::size_t g_reads = 0;
std::uint32_t TestClock() {
  std::uint32_t reading = g_readings[std::min(g_reads, g_readings.size() - 1)];
  ++g_reads;
  return reading;
}
// A counter that moves by one at every reading.
std::uint32_t g_next = 0;
std::uint32_t MovingClock() { return g_next++; }

// The name of the private folder for a clock reading.
std::string FolderName(std::uint32_t clock) {
  std::int32_t number = static_cast<std::int32_t>((clock + 1224122814u) ^ 1932168259u);
  return "VLN" + std::to_string(number) + "\\";
}

class SystemAppTest : public SandboxFixture {
 protected:
  void SetUp() override {
    SandboxFixture::SetUp();
    registry_ = std::make_unique<TestRegistry>();
    registry_->StandIn();
    // The system's temporary folder inside the sandbox; it does not exist yet.
    UseTempFolder("Temp\\");
    char temp[260];
    ASSERT_GT(Port::GetTempPath(temp, sizeof temp), 0u);
    ASSERT_EQ(temp, box_->Path("Temp\\"));
    UseClock({T(1000)});
  }
  void TearDown() override {
    app_.reset();
    Port::SetMillisecondClock(nullptr);
    registry_.reset();
    SandboxFixture::TearDown();
  }

  void UseClock(std::vector<std::uint32_t> readings) {
    g_readings = std::move(readings);
    g_reads = 0;
    Port::SetMillisecondClock(TestClock);
  }
  SystemApp* Start(const char* commandLine = nullptr, int count = 0) {
    app_.reset(new SystemAppImp(core_, nullptr, commandLine, count));
    if (!app_) return nullptr;
    EXPECT_EQ(app_->Init(), 0);
    return app_.get();
  }
  // Ends the application object, which cleans up its temporary folder.
  void Stop() { app_.reset(); }

  // The sandbox's relative path of a path the application object names.
  std::string InBox(const std::string& path) {
    EXPECT_EQ(path.compare(0, box_->Root().size(), box_->Root()), 0) << path;
    return path.substr(std::min(path.size(), box_->Root().size()));
  }

  std::unique_ptr<TestRegistry> registry_;
  ElementRef<SystemApp> app_;
};

// ---- Product folders.

TEST_F(SystemAppTest, FoldersWithoutTheRegistryValue) {
  SystemApp* app = Start();
  ASSERT_NE(app, nullptr);
  EXPECT_STREQ(app->GetBaseFolder(), "C:\\Program Files\\Vorlane\\");
  EXPECT_STREQ(app->GetToolboxFolder(), "C:\\Program Files\\Vorlane\\Toolbox\\");
  EXPECT_STREQ(app->GetViewerFolder(), "C:\\Program Files\\Vorlane\\Viewer\\");
  EXPECT_EQ(app->GetOsProductName(), nullptr);
}

TEST_F(SystemAppTest, FoldersBelowTheProgramFilesFolder) {
  registry_->SetText(Port::kLocalMachine, kCurrentVersion, "ProgramFilesDir", "D:\\Apps");
  SystemApp* app = Start();
  EXPECT_STREQ(app->GetBaseFolder(), "D:\\Apps\\Vorlane\\");
  EXPECT_STREQ(app->GetToolboxFolder(), "D:\\Apps\\Vorlane\\Toolbox\\");
  EXPECT_STREQ(app->GetViewerFolder(), "D:\\Apps\\Vorlane\\Viewer\\");
}

TEST_F(SystemAppTest, AProgramFilesFolderEndingInABackslashGetsAnother) {
  registry_->SetText(Port::kLocalMachine, kCurrentVersion, "ProgramFilesDir", "D:\\Apps\\");
  SystemApp* app = Start();
  EXPECT_STREQ(app->GetBaseFolder(), "D:\\Apps\\\\Vorlane\\");
  EXPECT_STREQ(app->GetToolboxFolder(), "D:\\Apps\\\\Vorlane\\Toolbox\\");
}

TEST_F(SystemAppTest, TheBaseFolderIsNeverRelative) {
#ifdef _WIN32
  _putenv("VLN2_TEST_DRIVE=E:");
#else
  setenv("VLN2_TEST_DRIVE", "E:", 1);
#endif
  char known[260];
  ASSERT_TRUE(Port::GetProgramFilesFolder(known, sizeof known));
  const std::string system = std::string(known) + "\\Vorlane\\";
  const std::pair<const char*, std::string> kValues[] = {
      {"%VLN2_TEST_DRIVE%\\Apps", "E:\\Apps\\Vorlane\\"},
      {"", system},
      {"Apps", system},
      {"\\Apps", system},
      {"%VLN2_UNSET_NAME%\\Apps", system},
      {"\\\\server\\share", system},
  };
  for (const auto& value : kValues) {
    registry_->SetText(Port::kLocalMachine, kCurrentVersion, "ProgramFilesDir", value.first);
    SystemApp* app = Start();
    std::string base = app->GetBaseFolder() ? app->GetBaseFolder() : "<none>";
#ifdef _WIN32
    // Wine derives its known folder from this very value: then it has none either.
    if (value.second == system && base == "<none>") base = system;
#endif
    EXPECT_EQ(base, value.second) << value.first;
    Stop();
  }
#ifndef _WIN32
  // Without a known folder either, no product folder is set: nothing goes anywhere.
  PosixPort::SetProgramFilesFolder("");
  SystemApp* app = Start();
  EXPECT_EQ(app->GetBaseFolder(), nullptr);
  EXPECT_EQ(app->GetToolboxFolder(), nullptr);
  PosixPort::SetProgramFilesFolder(nullptr);
#endif
}

TEST_F(SystemAppTest, TheProductNameLosesItsFirstTenCharacters) {
  const std::pair<const char*, const char*> cases[] = {
      {"Microsoft Windows 7", "Windows 7"},
      {"0123456789", "0123456789"},
      {"0123456789A", "A"},
      {"XP", "XP"},
  };
  for (const auto& product : cases) {
    registry_->SetText(Port::kLocalMachine, kNtCurrentVersion, "ProductName", product.first);
    SystemApp* app = Start();
    EXPECT_STREQ(app->GetOsProductName(), product.second) << product.first;
    Stop();
  }
}

// ---- Module and machine.

TEST_F(SystemAppTest, TheModuleFolderIsTheProgramsFolder) {
  SystemApp* app = Start();
  char program[260];
  ASSERT_TRUE(Port::GetModuleFileName(nullptr, program, sizeof program));
  ASSERT_NE(app->GetModuleFolder(), nullptr);
  std::string folder = app->GetModuleFolder();
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(std::string(program).substr(0, folder.size()), folder);
  EXPECT_EQ(std::string(program).find('\\', folder.size()), std::string::npos);
}

TEST_F(SystemAppTest, TheMachineName) {
  // The system's own registry: Windows keeps the name there.
  registry_.reset();
  registry_ = std::make_unique<TestRegistry>();
  SystemApp* app = Start();
  char name[16];
  std::uint32_t size = sizeof name;
  ASSERT_TRUE(Port::GetComputerName(name, &size));
  EXPECT_STREQ(app->GetMachineName(), name);
}

#ifndef _WIN32
TEST_F(SystemAppTest, NamesThePlatformCannotGive) {
  PosixPort::SetModuleFileName(("C:\\" + std::string(300, 'x') + "\\setup.exe").c_str());
  PosixPort::SetComputerName("A-NAME-OF-MORE-THAN-FIFTEEN");
  SystemApp* app = Start();
  EXPECT_EQ(app->GetModuleFolder(), nullptr);
  EXPECT_EQ(app->GetMachineName(), nullptr);
  Stop();
  PosixPort::SetModuleFileName("C:\\Setup\\setup.exe");
  PosixPort::SetComputerName("DESK");
  app = Start();
  EXPECT_STREQ(app->GetModuleFolder(), "C:\\Setup\\");
  EXPECT_STREQ(app->GetMachineName(), "DESK");
}
#endif

// ---- The private temporary folder.

TEST_F(SystemAppTest, ThePrivateFolderIsMadeAndRemoved) {
  SystemApp* app = Start();
  const std::string temp = "Temp\\" + FolderName(T(1000));
  ASSERT_NE(app->GetTempFolder(), nullptr);
  EXPECT_EQ(app->GetTempFolder(), box_->Path(temp));
  EXPECT_TRUE(box_->Exists(temp));
#ifndef _WIN32
  // Only this user may enter it.
  EXPECT_EQ(std::filesystem::status(box_->NativePath(temp)).permissions(),
            std::filesystem::perms::owner_all);
#endif
  box_->WriteFile(temp + "Archive.DAT", "data");
  Stop();
  EXPECT_FALSE(box_->Exists(temp));
}

TEST_F(SystemAppTest, TheNumberMayCarryASign) {
  UseClock({0x40000000u});
  SystemApp* app = Start();
  std::string name = FolderName(0x40000000u);
  EXPECT_EQ(name.substr(0, 4), "VLN-");
  EXPECT_EQ(app->GetTempFolder(), box_->Path("Temp\\" + name));
}

TEST_F(SystemAppTest, AMissingSystemFolderIsMade) {
  EXPECT_FALSE(box_->Exists("Temp"));
  SystemApp* app = Start();
  ASSERT_NE(app->GetTempFolder(), nullptr);
  EXPECT_TRUE(box_->Exists(InBox(app->GetTempFolder())));
}

#ifndef _WIN32
TEST_F(SystemAppTest, WithoutASystemFolderThereIsNoPrivateOne) {
  PosixPort::SetTempPath("");
  SystemApp* app = Start();
  EXPECT_EQ(app->GetTempFolder(), nullptr);
  EXPECT_EQ(app->ClearTempFolder(), 0);
  Stop();
  // Nor on a network drive, which the path gate refuses.
  PosixPort::SetTempPath(box_->Path("Temp\\").c_str());
  PosixPort::SetSystemCall(
      "statfs", reinterpret_cast<PosixPort::SystemCall>(+[](const char*, struct statfs* status) {
        *status = {};
        status->f_type = 0xFF534D42;  // CIFS
        return 0;
      }));
  EXPECT_EQ(Start()->GetTempFolder(), nullptr);
  PosixPort::SetSystemCall("statfs", nullptr);
}
#endif

TEST_F(SystemAppTest, AFileInASubfolderGoesButTheFoldersStay) {
  Start();
  const std::string temp = "Temp\\" + FolderName(T(1000));
  box_->WriteFile(temp + "top.txt", "1");
  box_->WriteFile(temp + "sub\\deep.txt", "2");
  Stop();
  EXPECT_FALSE(box_->Exists(temp + "top.txt"));
  EXPECT_FALSE(box_->Exists(temp + "sub\\deep.txt"));
  EXPECT_TRUE(box_->Exists(temp + "sub"));
}

TEST_F(SystemAppTest, ClearTempFolderDeletesOnlyFiles) {
  SystemApp* app = Start();
  const std::string temp = "Temp\\" + FolderName(T(1000));
  box_->WriteFile(temp + "a\\b\\f.txt", "1");
  EXPECT_EQ(app->ClearTempFolder(), 0);
  EXPECT_FALSE(box_->Exists(temp + "a\\b\\f.txt"));
  EXPECT_TRUE(box_->Exists(temp + "a\\b"));
  ASSERT_EQ(RemoveFolder(box_->Path(temp + "a\\b").c_str()), 0);
  ASSERT_EQ(RemoveFolder(box_->Path(temp + "a").c_str()), 0);
  Stop();
  EXPECT_FALSE(box_->Exists(temp));
}

// Someone else's file, folder or link under the name the clock gives first: another name
// is used, and what was planted is neither used nor emptied.
TEST_F(SystemAppTest, NothingPlantedUnderTheNextNameIsUsedOrEmptied) {
  box_->WriteFile("elsewhere\\precious.txt", "keep");
  std::uint32_t clock = T(1000);
  for (const std::string planted : {"file", "folder", "link"}) {
    const std::string name = "Temp\\" + FolderName(clock);
    const std::string bare = name.substr(0, name.size() - 1);
    if (planted == "file") {
      box_->WriteFile(bare, "theirs");
    } else if (planted == "folder") {
      box_->WriteFile(name + "theirs.txt", "theirs");
    } else if (!SandboxFiles::MakeFolderLink(box_->NativePath(bare),
                                             box_->NativePath("elsewhere"))) {
      std::printf("this system makes neither directory links nor junctions\n");
      continue;
    }
    UseClock({clock, clock + 1});
    SystemApp* app = Start();
    const std::string used = "Temp\\" + FolderName(clock + 1);
    EXPECT_EQ(app->GetTempFolder(), box_->Path(used)) << planted;
    box_->WriteFile(used + "Archive.DAT", "data");
    Stop();
    EXPECT_FALSE(box_->Exists(used)) << planted;
    EXPECT_TRUE(box_->Exists(planted == "folder" ? name + "theirs.txt" : bare)) << planted;
    clock += 2;
  }
  EXPECT_EQ(box_->ReadFile("elsewhere\\precious.txt"), "keep");
  EXPECT_FALSE(box_->Exists("elsewhere\\Archive.DAT"));
}

TEST_F(SystemAppTest, AClockThatHasNotMovedIsWaitedFor) {
  box_->WriteFile("Temp\\" + FolderName(T(1000)) + "theirs.txt", "theirs");
  UseClock({T(1000), T(1000), T(1001)});
  SystemApp* app = Start();
  EXPECT_EQ(app->GetTempFolder(), box_->Path("Temp\\" + FolderName(T(1001))));
  EXPECT_EQ(g_reads, 3u);
}

TEST_F(SystemAppTest, WhenEveryNameIsTakenThereIsNoPrivateFolder) {
  const std::string planted = "Temp\\" + FolderName(T(1000)) + "theirs.txt";
  box_->WriteFile(planted, "theirs");
  UseClock({T(1000)});
  SystemApp* app = Start();
  EXPECT_EQ(app->GetTempFolder(), nullptr);
  EXPECT_EQ(app->ClearTempFolder(), 0);
  Stop();
  EXPECT_EQ(box_->ReadFile(planted), "theirs");
}

#ifndef _WIN32
TEST_F(SystemAppTest, CleanUpNeverFollowsALinkOutOfTheFolder) {
  box_->WriteFile("elsewhere\\precious.txt", "keep");
  box_->WriteFile("elsewhere.txt", "keep too");
  Start();
  const std::string temp = "Temp\\" + FolderName(T(1000));
  ASSERT_EQ(
      ::symlink(box_->NativePath("elsewhere").c_str(), box_->NativePath(temp + "dirlink").c_str()),
      0);
  ASSERT_EQ(::symlink(box_->NativePath("elsewhere.txt").c_str(),
                      box_->NativePath(temp + "filelink").c_str()),
            0);
  box_->WriteFile(temp + "own.txt", "mine");
  Stop();
  EXPECT_EQ(box_->ReadFile("elsewhere\\precious.txt"), "keep");
  EXPECT_EQ(box_->ReadFile("elsewhere.txt"), "keep too");
  EXPECT_FALSE(box_->Exists(temp + "own.txt"));
  // The links stay, so the folder does too.
  EXPECT_TRUE(box_->Exists(temp + "filelink"));
}
#endif

// ---- Desktop services.

#ifndef _WIN32
TEST_F(SystemAppTest, MessageBoxesAndTheirCaptions) {
  SystemApp* app = Start();
  PosixPort::SetMessageBoxResult(1);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(app->ShowError("It failed.", nullptr), 1);
  EXPECT_EQ(app->ShowInfo("It worked.", nullptr), 1);
  EXPECT_EQ(app->ShowError("Disk full.", "Installation"), 1);
  EXPECT_EQ(app->ShowInfo("Done.", "Report"), 1);
  ::testing::internal::GetCapturedStderr();
  const auto& boxes = PosixPort::MessageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].kind, Port::MessageBoxKind::kError);
  EXPECT_EQ(boxes[0].text, "It failed.");
  EXPECT_EQ(boxes[1].caption, "Info");
  EXPECT_EQ(boxes[1].kind, Port::MessageBoxKind::kInfo);
  EXPECT_EQ(boxes[2].caption, "Installation");
  EXPECT_EQ(boxes[2].kind, Port::MessageBoxKind::kError);
  EXPECT_EQ(boxes[3].caption, "Report");
  EXPECT_EQ(boxes[3].kind, Port::MessageBoxKind::kInfo);
}

TEST_F(SystemAppTest, ShellOpenHandsTheTextOn) {
  SystemApp* app = Start();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(app->ShellOpen("C:\\Program Files\\Vorlane\\readme.html"), 0);
  EXPECT_EQ(app->ShellOpen(nullptr), 0);
  ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(PosixPort::ShellOpens().size(), 1u);
  EXPECT_EQ(PosixPort::ShellOpens()[0], "C:\\Program Files\\Vorlane\\readme.html");
}
#endif

TEST_F(SystemAppTest, WaitingWithoutInputTimesOut) {
  SystemApp* app = Start();
  EXPECT_EQ(app->WaitForInput(0), 258);
}

// ---- Properties.

TEST_F(SystemAppTest, TheCommandLineIsKeptOnlyWithACount) {
  SystemApp* app = Start("/quiet", 1);
  EXPECT_STREQ(app->GetCommandLineText(), "/quiet");
  EXPECT_EQ(app->SetCommandLineText(nullptr), 0);
  EXPECT_EQ(app->GetCommandLineText(), nullptr);
  EXPECT_EQ(app->SetCommandLineText("/x"), 0);
  EXPECT_STREQ(app->GetCommandLineText(), "/x");
  Stop();
  app = Start("/quiet", 0);
  EXPECT_EQ(app->GetCommandLineText(), nullptr);
}

TEST_F(SystemAppTest, PropertiesAndIdentity) {
  SystemApp* app = Start();
  EXPECT_EQ(app->GetTypeId(), kSystemAppType);
  EXPECT_EQ(app->Cast(kStreamInterface), nullptr);
  EXPECT_EQ(app->GetInstance(), nullptr);
  int handle = 0;
  app->SetInstance(&handle);
  EXPECT_EQ(app->GetInstance(), &handle);
  app->SetModuleFolder("C:\\Elsewhere\\");
  app->SetMachineName("HOST");
  app->SetOsProductName("Windows 98");
  EXPECT_STREQ(app->GetModuleFolder(), "C:\\Elsewhere\\");
  EXPECT_STREQ(app->GetMachineName(), "HOST");
  EXPECT_STREQ(app->GetOsProductName(), "Windows 98");
  app->SetMachineName(nullptr);
  EXPECT_EQ(app->GetMachineName(), nullptr);
  // Not made through the Core.
  EXPECT_EQ(core_->CreateElement(kSystemAppType, 0), nullptr);
}

TEST_F(SystemAppTest, RegisteredWithTheCore) {
  auto* app = new SystemAppImp(core_, nullptr, nullptr, 0);
  ASSERT_NE(app, nullptr);
  app->Init();
  std::string temp = InBox(app->GetTempFolder());
  core_->SetSystemApp(app);
  EXPECT_EQ(core_->GetSystemApp(), app);
  EXPECT_EQ(app->GetRefCount(), 1);
  // Destroying the Core releases it, which removes the folder.
  core_->Destroy();
  EXPECT_FALSE(box_->Exists(temp));
}

// ---- Memory running out.

TEST_F(SystemAppTest, WhenMemoryRunsOut) {
  registry_->SetText(Port::kLocalMachine, kCurrentVersion, "ProgramFilesDir", "D:\\Apps");
  registry_->SetText(Port::kLocalMachine, kNtCurrentVersion, "ProductName", "Microsoft Vista");
  Port::SetMillisecondClock(MovingClock);
  SweepAllocationFailuresBothModes([this] {
    g_next = T(5000);
    auto* app = new SystemAppImp(core_, nullptr, nullptr, 0);
    if (!app) return;
    int init = app->Init();
    if (!AllocationFailureHit()) {
      EXPECT_EQ(init, 0);
      EXPECT_STREQ(app->GetBaseFolder(), "D:\\Apps\\Vorlane\\");
      EXPECT_STREQ(app->GetToolboxFolder(), "D:\\Apps\\Vorlane\\Toolbox\\");
      EXPECT_STREQ(app->GetOsProductName(), "Vista");
      EXPECT_NE(app->GetTempFolder(), nullptr);
    }
    // What is there is right; the private folder, when named, is its own and exists.
    // A registry read that ran out of memory falls back to the default folder.
    if (app->GetBaseFolder()) {
      std::string base = app->GetBaseFolder();
      EXPECT_TRUE(base == "D:\\Apps\\Vorlane\\" || base == "C:\\Program Files\\Vorlane\\") << base;
    }
    if (app->GetTempFolder()) {
      std::string temp = InBox(app->GetTempFolder());
      EXPECT_EQ(temp.substr(0, 8), "Temp\\VLN");
      EXPECT_TRUE(box_->Exists(temp));
    }
    app->Release();
    for (std::uint32_t clock = T(5000); clock != g_next; ++clock)
      EXPECT_FALSE(box_->Exists("Temp\\" + FolderName(clock))) << clock;
  });
}

// ---- SystemTime.

TEST_F(SystemAppTest, SystemTimeReadsTheClockInUtc) {
  for (int type : {static_cast<int>(kSystemTimeType), 0}) {
    ElementRef<SystemTime> time(static_cast<SystemTime*>(core_->CreateElement(type, 0)));
    ASSERT_TRUE(time);
    EXPECT_EQ(time->GetTypeId(), kSystemTimeType);
    EXPECT_EQ(time->Cast(kStreamInterface), nullptr);
    Port::CalendarTime now;
    Port::GetSystemTime(&now);
    EXPECT_GE(time->GetYear(), 2020);
    EXPECT_LE(time->GetYear(), now.year);
    EXPECT_GE(time->GetMonth(), 1);
    EXPECT_LE(time->GetMonth(), 12);
    EXPECT_GE(time->GetDay(), 1);
    EXPECT_LE(time->GetDay(), 31);
    EXPECT_LE(time->GetHour(), 23);
    EXPECT_LE(time->GetMinute(), 59);
    EXPECT_LE(time->GetSecond(), 59);
    EXPECT_LE(time->GetMilliseconds(), 999);
    int year = time->GetYear();
    time->SetYear(1999);
    time->SetMonth(13);
    time->SetDay(0);
    time->SetHour(99);
    time->SetMinute(99);
    time->SetSecond(99);
    time->SetMilliseconds(5000);
    EXPECT_EQ(time->GetYear(), year);
    EXPECT_LE(time->GetMonth(), 12);
    EXPECT_LE(time->GetMilliseconds(), 999);
    time->Update();
    EXPECT_GE(time->GetYear(), year);
  }
  EXPECT_STREQ(core_->GetTypeName(kSystemTimeType), "SystemTime");
}

}  // namespace
}  // namespace VLN2
