// vlnpack: builds, lists, tests and extracts archives in the installer's format, on the
// Archive object and its packed blocks. Paths on the command line are the platform's own;
// on POSIX they are turned into the port's Windows grammar (/x/y is Z:\x\y).
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "framework/CoreImp.h"
#include "installer/ClassTable.h"
#include "system/port/Port.h"
#include "tools/vlnpack/Commands.h"
#include "tools/vlnpack/Options.h"
#include "tools/vlnpack/Report.h"

namespace VLN2::Vlnpack {
namespace {

int Run(int argc, char** argv) {
  CommandLine line;
  int result = ParseCommandLine(std::vector<const char*>(argv + 1, argv + argc), &line);
  if (result != kExitOk || line.command.empty()) return result;
  const std::vector<const char*>& operand = line.operands;
  if (line.command == "create") return CreateArchive(operand[0], operand[1], line.packing);
  if (line.command == "list") return ListArchive(operand[0], line.details);
  if (line.command == "test") return TestArchive(operand[0]);
  return ExtractArchive(operand[0], operand[1], operand.size() == 3 ? operand[2] : nullptr);
}

}  // namespace
}  // namespace VLN2::Vlnpack

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // Entry buffers grow by doubling; large steps go back to the system when they are
  // freed instead of staying in the heap, which keeps the peak near one entry's size.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  // The workers' buffers come from the one heap too, rather than from an arena each.
  mallopt(M_ARENA_MAX, 1);
#endif
  int result;
  VLN2::Port::CreateLock();
  {
    VLN2::CoreImp core(VLN2::kClassTable, VLN2::kClassCount);
    try {
      result = VLN2::Vlnpack::Run(argc, argv);
    } catch (...) {
      VLN2::Vlnpack::Message("out of memory");
      result = VLN2::Vlnpack::kExitFailure;
    }
    core.Destroy();
  }
  VLN2::Port::DeleteLock();
  return result;
}
