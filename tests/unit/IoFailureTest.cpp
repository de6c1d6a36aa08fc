// A disk that fails and a process that dies, during an Update of the shared files and two
// targets over a previous installation of those and of a target not chosen again: the n-th
// open, write, read, lseek, unlink, mkdir, rename or fsync refused (full disk,
// access denied), once or from then on, for every n the Update reaches; and the process ended
// at each of its system calls in turn, then started again. Whatever happens, each destination
// holds its files from before the Update or from after it, whole; the record lists exactly the
// files installed; the report tells each target as it ended; nothing outside changes.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/ElementRef.h"
#include "framework/String.h"
#include "installer/Journal.h"
#include "installer/LogFile.h"
#include "installer/Targets.h"
#include "installer/ToolboxInstall.h"
#include "system/port/posix/PosixPort.h"
#include "unit/support/ArchiveBuilder.h"
#include "unit/support/CoreFixture.h"
#include "unit/support/FakeSystemApp.h"
#include "unit/support/Sandbox.h"
#include "unit/support/StoredFiles.h"

namespace VLN2 {
namespace {

std::string Lines(int count, const char* word) {
  std::string text;
  for (int i = 0; i < count; ++i) text += word + std::to_string(i * 7919 % 1000) + "\n";
  return text;
}

// The version installed before, and the one the Update installs: other bytes at the same
// names, a file only the old SDK had and one only the new has, and Cinema 4D only before.
const ArchiveContents kOld = {
    {"VLN2_Resources\\Resources.txt", "old shared"},
    {"VLN2_Resources\\Shaders\\Default.fx", Lines(200, "old shader ")},
    {"3DSMax6\\VorlaneBox.dlu", Lines(700, "old plug-in ")},
    {"3DSMax6\\VorlaneBox.ini", "[Vorlane] old"},
    {"SDK\\include\\VLN2\\VLN2.h", Lines(60, "old header ")},
    {"SDK\\Old.txt", "only before"},
    {"Cinema4D\\plugins\\VorlaneBox.cdl", Lines(100, "c4d ")},
};
const ArchiveContents kNew = {
    {"VLN2_Resources\\Resources.txt", "shared"},
    {"VLN2_Resources\\Shaders\\Default.fx", Lines(300, "shader ")},
    {"3DSMax6\\VorlaneBox.dlu", Lines(900, "plug-in ")},
    {"3DSMax6\\VorlaneBox.ini", "[Vorlane]"},
    {"SDK\\include\\VLN2\\VLN2.h", Lines(80, "header ")},
    {"SDK\\ReadMe.txt", "read me"},
    {"SDK\\samples\\Hello.cpp", "int main() {}"},  // in a folder it makes
};
// The previous version's names with other bytes: its record is the previous one's, byte for byte.
ArchiveContents Rewritten(ArchiveContents contents) {
  for (auto& entry : contents) entry.second += " rewritten";
  return contents;
}

// The destinations' folders, each compared on its own.
const char* const kFolders[] = {"Vorlane\\Toolbox\\", "Max\\", "SDK\\", "C4D\\"};
// The folders the installation may change; everything else in the sandbox must stay.
const char* const kOwnFolders[] = {"Max", "SDK", "C4D", "Vorlane/Toolbox", "tmp"};

using State = std::map<std::string, std::string>;  // file below the folder -> bytes

bool EndsWith(const std::string& text, const char* end) {
  std::string tail = end;
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct Outcome {
  std::vector<FakeSystemApp::Box> boxes;
};

class IoFailureTest : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    PosixPort::ResetSystemCalls();
    box_.MakeFolder("tmp");
    ASSERT_TRUE(BuildArchive(box_.Path("tmp\\old.vln"), kOld));
    ASSERT_TRUE(BuildArchive(box_.Path("tmp\\new.vln"), kNew));
    ASSERT_TRUE(BuildArchive(box_.Path("tmp\\rewritten.vln"), Rewritten(kOld)));
    box_.WriteFile("elsewhere\\sentinel.txt", "someone else's");
    box_.WriteFile("Vorlane\\notes.txt", "the user's, beside the toolbox folder");
    outside_ = Outside();
    Prepare();
    before_ = States();
    Update();
    after_ = States();
    ASSERT_NE(before_, after_);
  }
  void TearDown() override {
    PosixPort::ResetSystemCalls();
    CoreFixture::TearDown();
  }

  // One installation from the archive: the shared files and the targets, the report, the
  // record.
  Outcome Run(const char* archive, std::vector<std::pair<int, const char*>> targets) {
    Outcome run;
    auto* app = new FakeSystemApp(core_, box_.Path("Vorlane\\"), box_.Path("tmp\\"));
    core_->SetSystemApp(app);
    {
      auto install = ElementRef<ToolboxInstall>::Create(kToolboxInstallType);
      if (!install) return run;
      const std::string path = box_.Path(archive);
      install->InstallSharedFiles(path.c_str());
      for (const auto& [index, folder] : targets)
        install->InstallTarget(index, path.c_str(), box_.Path(folder).c_str());
      install->ShowReport();
    }
    run.boxes = app->boxes;
    core_->SetSystemApp(nullptr);
    return run;
  }
  // The previous installation, every time from nothing.
  void Prepare() {
    for (const char* folder : kFolders) box_.Remove(folder);
    Run("tmp\\old.vln", kOldTargets);
  }
  Outcome Update() {
    return rewritten_ ? Run("tmp\\rewritten.vln", kOldTargets)
                      : Run("tmp\\new.vln", {{kTarget3dsMax6, "Max\\"}, {kTargetSDK, "SDK\\"}});
  }
  // What a start after an interrupted run does first.
  void Restart() {
    auto* app = new FakeSystemApp(core_, box_.Path("Vorlane\\"), box_.Path("tmp\\"));
    core_->SetSystemApp(app);
    ElementRef<String> message = ElementRef<String>::Create(kStringType);
    message->SetText("");
    EXPECT_EQ(Journal::Recover(record_.c_str(), message.get()), 0) << message->GetText();
    core_->SetSystemApp(nullptr);
  }

  // The files of each destination, but for the record and the journal (and the record's
  // temporary name, where a test allows it to stay).
  std::map<std::string, State> States() {
    std::map<std::string, State> states;
    for (const char* folder : kFolders) {
      State& state = states[folder];
      for (const std::string& file : box_.FilesBelow(folder)) {
        std::string below = file.substr(std::string(folder).size());
        if (below != "Uninstall.info" && below != Journal::kName &&
            !(strayRecordAllowed_ && below == "Uninstall.info.saving"))
          state[below] = box_.ReadFile(file);
      }
    }
    return states;
  }
  // Every file and folder of the sandbox outside the installation's own folders.
  std::map<std::string, std::string> Outside() {
    std::map<std::string, std::string> found;
    std::filesystem::path root(box_.NativePath(""));
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      std::string relative = std::filesystem::relative(it->path(), root).string();
      bool own = false;
      for (std::string name : kOwnFolders)
        own = own || relative == name || relative.rfind(name + "/", 0) == 0;
      if (!own)
        found[relative] = it->is_regular_file() ? "file:" + box_.ReadFile(relative) : "folder";
    }
    return found;
  }

  // Judges what the Update left: run is its outcome, or null after a restart. True when a
  // target or the shared files ended after the Update.
  void ExpectBeforeOrAfter(const Outcome* run, int* afterCount = nullptr) {
    // A journal that could not be removed is the next start's to finish.
    if (box_.Exists(std::string("Vorlane\\Toolbox\\") + Journal::kName)) Restart();
    const bool recorded = box_.Exists("Vorlane\\Toolbox\\Uninstall.info");
    StoredRecord record = ParseStoredRecord(box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info"));
    EXPECT_TRUE(record.complete || !recorded);
    std::set<std::string> listed(record.files.begin(), record.files.end());
    EXPECT_FALSE(box_.Exists(std::string("Vorlane\\Toolbox\\") + Journal::kName));
    const std::string report = run && !run->boxes.empty() ? run->boxes.back().text : "";
    // Files of the previous installation may stay unlisted only where the report says that
    // its record could not be read.
    const bool unread = report.find("previous installation was damaged") != std::string::npos;
    std::map<std::string, State> now = States();
    int after = 0;
    for (const char* folder : kFolders) {
      SCOPED_TRACE(folder);
      State trimmed = now[folder];
      // What could not be removed after the commit stays, listed: a backup, a previous file.
      for (auto it = trimmed.begin(); it != trimmed.end();) {
        bool previous =
            before_[folder].count(it->first) && before_[folder][it->first] == it->second;
        bool stayed = listed.count(box_.Path(folder + it->first))
                          ? EndsWith(it->first, Journal::kOldSuffix) ||
                                (previous && !after_[folder].count(it->first))
                          : unread && previous;
        it = stayed ? trimmed.erase(it) : std::next(it);
      }
      bool isBefore = now[folder] == before_[folder], isAfter = trimmed == after_[folder];
      EXPECT_TRUE(isBefore || isAfter) << "neither before nor after:" << Describe(now[folder]);
      after += isAfter && !isBefore;
      for (const auto& [file, bytes] : now[folder]) {
        std::string path = box_.Path(folder + file);
        bool orphan = unread && before_[folder].count(file) && before_[folder].at(file) == bytes;
        EXPECT_TRUE(listed.count(path) || orphan) << path << " is not in the record";
      }
      const Target* target = std::string(folder) == "Max\\"   ? FindTarget(kTarget3dsMax6)
                             : std::string(folder) == "SDK\\" ? FindTarget(kTargetSDK)
                                                              : nullptr;
      if (run && target) {
        EXPECT_EQ(
            report.find(isAfter ? target->successText : target->failureText) != std::string::npos,
            true)
            << report;
      }
    }
    for (const std::string& path : listed) {
      EXPECT_TRUE(box_.Exists(box_.Relative(path))) << path << " is listed but gone";
    }
    EXPECT_TRUE(Outside() == outside_) << "something outside the installation's folders changed";
    if (afterCount) *afterCount += after;
  }

  static std::string Describe(const State& state) {
    std::string text;
    for (const auto& [file, bytes] : state)
      text += "\n  " + file + " (" + std::to_string(bytes.size()) + ")";
    return text;
  }

  // Runs the Update with the n-th call of the name failing, and judges it.
  // With also, the alsoAt-th call of that name and the one after it are refused too.
  void Judge(const char* call, long n, int error, long times, const char* also = nullptr,
             long alsoAt = 0) {
    SCOPED_TRACE(std::string(call) + " #" + std::to_string(n) + " " +
                 (error == ENOSPC ? "ENOSPC" : "EACCES") +
                 (times == PosixPort::kFromThenOn ? " from then on"
                                                  : " " + std::to_string(times) + " times") +
                 (also ? std::string(" and ") + also + " #" + std::to_string(alsoAt) : ""));
    Prepare();
    PosixPort::FailSystemCall(call, n, error, times);
    if (also) PosixPort::FailSystemCall(also, alsoAt, EACCES, 2);
    Outcome run = Update();
    PosixPort::ResetSystemCalls();
    ExpectBeforeOrAfter(&run);
  }
  // How often a whole Update calls the name.
  long Calls(const char* call) {
    Prepare();
    PosixPort::FailSystemCall(call, 0, 0);
    Update();
    return PosixPort::SystemCallCount(call);
  }
  void Sweep(const char* call, std::initializer_list<long> runs = {1, PosixPort::kFromThenOn}) {
    long calls = Calls(call);
    RecordProperty(call, static_cast<int>(calls));
    std::printf("[ io       ] %s: %ld calls in a whole Update\n", call, calls);
    ASSERT_GT(calls, 0) << "the Update never calls " << call;
    for (long times : runs)
      for (int error : {ENOSPC, EACCES})
        for (long n = 1; n <= calls && !HasFatalFailure(); ++n) Judge(call, n, error, times);
  }

  const std::vector<std::pair<int, const char*>> kOldTargets = {
      {kTarget3dsMax6, "Max\\"}, {kTargetCinema4DR9, "C4D\\"}, {kTargetSDK, "SDK\\"}};
  bool rewritten_ = false;  // the Update rewrites the previous version's files
  bool strayRecordAllowed_ = false;
  // Ended at each of its system calls, whichever it is, in a process of its own; the next start
  // undoes or finishes it from the journal.
  void CrashSweep() {
    static long counted, endAt;
    auto count = [](const char*) {
      if (++counted == endAt) _exit(0);
    };
    Prepare();
    counted = 0;
    endAt = 0;
    PosixPort::ObserveSystemCalls(count);
    Update();
    PosixPort::ObserveSystemCalls(nullptr);
    const long calls = counted;
    ASSERT_GT(calls, 0);
    int afterCount = 0;
    for (long n = 1; n <= calls && !HasFailure(); ++n) {
      SCOPED_TRACE("ended at call " + std::to_string(n));
      Prepare();
      std::fflush(nullptr);
      pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        counted = 0;
        endAt = n;
        PosixPort::ObserveSystemCalls(count);
        Update();
        _exit(0);
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      Restart();
      ExpectBeforeOrAfter(nullptr, &afterCount);
    }
    std::printf("[ crash    ] %ld calls swept; destinations after the Update %d times\n", calls,
                afterCount);
    RecordProperty("calls", static_cast<int>(calls));
  }

  Sandbox box_;
  const std::string record_ = box_.Path("Vorlane\\Toolbox\\Uninstall.info");
  std::map<std::string, State> before_, after_;
  std::map<std::string, std::string> outside_;
};

TEST_F(IoFailureTest, Open) { Sweep("open"); }
TEST_F(IoFailureTest, Write) { Sweep("write"); }
TEST_F(IoFailureTest, Read) { Sweep("read"); }
TEST_F(IoFailureTest, Lseek) { Sweep("lseek"); }
TEST_F(IoFailureTest, Unlink) { Sweep("unlink"); }
TEST_F(IoFailureTest, Mkdir) { Sweep("mkdir"); }
// The renames that put files in place and the record's one replace, and the flushes before.
// Twice in a row: a destination fails, and a file of it cannot go back at once; it goes back
// once the new record is written.
TEST_F(IoFailureTest, Rename) { Sweep("rename", {1, 2, PosixPort::kFromThenOn}); }
TEST_F(IoFailureTest, Fsync) { Sweep("fsync"); }
// A rename refused, and two unlinks from the undo's on: what could not be deleted at once goes
// once the new record is written, or at the next start when it cannot then either. The record's
// own temporary file, whose rename and then deletion were refused, stays until the next save,
// which deletes it first; nothing lists it.
TEST_F(IoFailureTest, RenameAndUnlink) {
  strayRecordAllowed_ = true;
  const long renames = Calls("rename"), unlinks = Calls("unlink");
  for (long n = 1; n <= renames; ++n)
    for (long m = 1; m <= unlinks && !HasFatalFailure(); ++m)
      Judge("rename", n, EACCES, 1, "unlink", m);
}

TEST_F(IoFailureTest, AnUpdateEndedAtAnySystemCallIsUndoneOrFinishedByTheNextStart) {
  CrashSweep();
}

// The same for an Update whose new record has the bytes of the previous one: only the journal's
// mark tells that it committed.
TEST_F(IoFailureTest, AnUpdateWithTheSameRecordIsToldCommittedByTheJournalAlone) {
  rewritten_ = true;
  Prepare();
  const std::string record = box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info");
  before_ = States();
  Update();
  after_ = States();
  ASSERT_EQ(box_.ReadFile("Vorlane\\Toolbox\\Uninstall.info"), record);
  ASSERT_NE(before_, after_);
  CrashSweep();
}

// A journal that is damaged, or names a place an installation never writes, is not followed:
// the start stops and names it, and nothing is changed.
TEST_F(IoFailureTest, AJournalThatCannotBeFollowedStopsTheStart) {
  static long renames;
  Prepare();
  std::fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    renames = 0;
    // Ended at the first file put in place: the journal names every file of the destination.
    PosixPort::ObserveSystemCalls([](const char* name) {
      if (std::string(name) == "rename" && ++renames == 2) _exit(0);
    });
    Update();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  const std::string journal = std::string("Vorlane\\Toolbox\\") + Journal::kName;
  const std::string written = box_.ReadFile(journal);
  ASSERT_FALSE(written.empty());
  // Whole as a journal again, so that only what was changed refuses it.
  auto whole = [](std::string bytes) {
    const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
    uInt checked = static_cast<uInt>(bytes.size() - 4);
    return bytes.replace(checked, 4,
                         StoredWord(static_cast<std::uint32_t>(crc32(0, data, checked))));
  };
  const std::string share = "\\\\server\\share\\x";
  std::string unc = written, kind = written, version = written, place = written, longer = written;
  std::size_t at = unc.find(box_.Path("Max\\"));
  ASSERT_NE(at, std::string::npos);
  unc.replace(at, share.size(), share);
  std::string other = written;  // another path an installation could write: only the CRC-32 tells
  other[at + 3] = 'N';
  kind[0] = 'X';   // its magic
  version[4] = 2;  // its version
  place[21] = 3;   // the first file's place
  longer.insert(longer.size() - 4, 1, '\0');
  for (const std::string& bytes : {written.substr(0, written.size() - 1), other, whole(unc),
                                   whole(kind), whole(version), whole(place), whole(longer)}) {
    box_.WriteFile(journal, bytes);
    const std::map<std::string, State> interrupted = States();
    ElementRef<String> message = ElementRef<String>::Create(kStringType);
    message->SetText("");
    EXPECT_EQ(Journal::Recover(record_.c_str(), message.get()), 1);
    EXPECT_NE(std::string(message->GetText()).find(box_.Path(journal)), std::string::npos);
    EXPECT_TRUE(States() == interrupted);
  }
  // As it was written, it is followed; a start that cannot put every file back says so and
  // keeps it for the next one.
  box_.WriteFile(journal, written);
  ElementRef<String> message = ElementRef<String>::Create(kStringType);
  message->SetText("");
  PosixPort::FailSystemCall("unlink", 1, EACCES);
  EXPECT_EQ(Journal::Recover(record_.c_str(), message.get()), 1);
  PosixPort::ResetSystemCalls();
  EXPECT_EQ(std::string(message->GetText()).find("Setup could not put back every file"), 0u);
  EXPECT_EQ(box_.ReadFile(journal), written);
  Restart();
  ExpectBeforeOrAfter(nullptr);
}

}  // namespace
}  // namespace VLN2

#endif  // !_WIN32
