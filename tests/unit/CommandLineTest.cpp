// The command line: how it is split and unquoted, what each option sets, and which lines
// are usage errors.
#include <gtest/gtest.h>

#include <string>

#include "framework/Allocator.h"
#include "installer/CommandLine.h"

namespace VLN2 {
namespace {

// What the options came to, in one line: the flags, the listed targets, the folders, the
// log, the ignored arguments.
std::string Summary(const CommandLine& options) {
  std::string text;
  auto add = [&](bool on, const std::string& what) {
    if (on) text += (text.empty() ? "" : " ") + what;
  };
  add(options.IsQuiet(), "quiet");
  add(options.AcceptsTerms(), "accept");
  add(options.IsUninstall(), "uninstall");
  add(options.WantsHelp(), "help");
  std::string listed;
  for (int i = 0; i < kTargetCount; ++i)
    if (options.IsTargetListed(i)) listed += (listed.empty() ? "" : ",") + std::to_string(i);
  add(options.HasTargets(), "targets=" + listed);
  for (int i = 0; i < kTargetCount; ++i)
    if (options.GetFolder(i)) add(true, std::to_string(i) + "=" + options.GetFolder(i));
  if (options.GetLogFile()) add(true, std::string("log=") + options.GetLogFile());
  for (int n = 0; options.GetIgnored(n); ++n)
    add(true, std::string("ignored:") + options.GetIgnored(n));
  return text;
}

TEST(CommandLineTest, LinesGiveTheirOptionsOrAUsageError) {
  const std::string tooLong = "/folder:sdk=C:\\" + std::string(257, 'x');
  const char* const kTooLong = tooLong.c_str();
  const struct {
    const char* line;
    int result;
    const char* parsed;  // the summary, or the start of the usage fault
  } rows[] = {
      {nullptr, 0, ""},
      {"", 0, ""},
      {"  \t ", 0, ""},
      {"/quiet /accept-terms", 0, "quiet accept"},
      {"-QUIET -Accept-Terms", 0, "quiet accept"},
      {"/quiet /accept-terms /targets=max8,SDK,c4d-r10", 0, "quiet accept targets=5,12,13"},
      {"/targets=microstation,archicad9,archicad10,c4d-r8,c4d-r9,max3,max4,max6,max7,max9,max5", 0,
       "targets=0,1,2,3,4,6,7,8,9,10,11"},
      {"/folder:sdk=D:\\Vorlane SDK", 0,
       "13=D:\\Vorlane ignored:SDK"},  // unquoted blank: two arguments
      {"\"/folder:sdk=D:\\Vorlane SDK\" /folder:Max9=C:/Max", 0, "6=C:/Max 13=D:\\Vorlane SDK"},
      {"/folder:sdk=\"D:\\Vorlane SDK\"", 0, "13=D:\\Vorlane SDK"},
      {"/folder:sdk=\"D:\\a\\\\\" /log=C:\\l.txt", 0, "13=D:\\a\\ log=C:\\l.txt"},
      {"/folder:sdk=D:\\a\\\"b\"", 2, "usage: The path names"},  // \" is a literal quote
      {"/folder:sdk=D:\\x /folder:SDK=E:\\y", 0, "13=E:\\y"},    // the last one counts
      {"/log=\"C:\\Logs\\setup log.txt\"", 0, "log=C:\\Logs\\setup log.txt"},
      {"/uninstall /quiet /log=C:\\u.log", 0, "quiet uninstall log=C:\\u.log"},
      {"/uninstall", 0, "uninstall"},
      // Without /quiet what is no option is ignored; with it, it is a usage error.
      {"setup.exe /unknown -x --quiet", 0,
       "ignored:setup.exe ignored:/unknown ignored:-x ignored:--quiet"},
      {"/quiet /accept-terms /unknown", 2, "usage: Unknown option: /unknown"},
      {"/quiet /accept-terms extra", 2, "usage: Unknown option: extra"},
      // Help wins over everything else.
      {"/?", 0, "help"},
      {"-HELP", 0, "help"},
      {"--help /quiet /targets=nonsense", 0, "quiet help targets="},
      {"/quiet", 2, "usage: /quiet installs only with /accept-terms"},
      {"/quiet /targets=sdk", 2, "usage: /quiet installs only with /accept-terms"},
      {"/targets=max10", 2, "usage: Unknown target name: max10"},
      {"/targets=max", 2, "usage: Unknown target name: max"},             // not max3's beginning
      {"/targets=max10 /log=x", 2, "usage: Unknown target name: max10"},  // the first fault
      {"/targets=max8,,sdk", 2, "usage: Missing target name"},
      {"/targets=", 2, "usage: Missing target name"},
      {"/targets=sdk,", 2, "usage: Missing target name"},
      {"/folder:sdk=SDK\\", 2, "usage: The folder must be an absolute path"},
      {"/folder:sdk=\\\\server\\share\\", 2, "usage: The folder must be an absolute path"},
      {"/folder:sdk=C:relative", 2, "usage: The folder must be an absolute path"},
      {"/folder:sdk=C:\\a|b", 2, "usage: The path names a device"},
      {"/folder:sdk=C:\\a:b", 2, "usage: The path names a device"},
      {"/folder:sdk=C:\\CON", 2, "usage: The path names a device"},
      {"/folder:sdk=C:\\x\\NUL\\y", 2, "usage: The path names a device"},
      {"/folder:sdk=C:\\x\\com1.txt\\y", 2, "usage: The path names a device"},
      {"/folder:sdk=C:\\Trailing.", 2, "usage: The path names a device"},
      {"\"/folder:sdk=C:\\Trailing \"", 2, "usage: The path names a device"},
      {kTooLong, 2, "usage: The path names a device"},
      {"/log=C:\\Logs\\NUL", 2, "usage: The path names a device"},
      {"\"/folder:sdk=C:\\a\tb\"", 2, "usage: The path names a device"},
      {"/folder:max10=C:\\x", 2, "usage: Expected /folder:NAME=PATH"},
      {"/folder:C:\\x", 2, "usage: Expected /folder:NAME=PATH"},
      {"/log=setup.log", 2, "usage: The log file must be an absolute path"},
      {"/log=", 2, "usage: The log file must be an absolute path"},
      {"/uninstall /targets=sdk", 2, "usage: /uninstall takes no /targets"},
      {"/uninstall /folder:sdk=C:\\x", 2, "usage: /uninstall takes no /folder"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line ? row.line : "(null)");
    CommandLine options;
    ASSERT_EQ(options.Parse(row.line), row.result);
    if (row.result == 0) {
      EXPECT_EQ(options.GetError(), nullptr);
      EXPECT_EQ(Summary(options), row.parsed);
    } else {
      ASSERT_NE(options.GetError(), nullptr);
      std::string fault = std::string("usage: ") + options.GetError();
      EXPECT_EQ(fault.substr(0, std::string(row.parsed).size()), row.parsed) << fault;
    }
  }
}

TEST(CommandLineTest, ALongFaultIsCutAndMemoryThatRunsOutFailsTheParse) {
  CommandLine longFault;
  std::string name(500, 'x');
  EXPECT_EQ(longFault.Parse(("/targets=" + name).c_str()), kExitUsage);
  EXPECT_LT(std::string(longFault.GetError()).size(), 200u);
  for (long n = 1; n <= 2; ++n) {
    CommandLine options;
    FailAllocation(n);
    EXPECT_EQ(options.Parse("/quiet /accept-terms"), 1);
    FailAllocation(0);
  }
}

}  // namespace
}  // namespace VLN2
