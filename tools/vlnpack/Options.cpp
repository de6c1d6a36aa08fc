#include "tools/vlnpack/Options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/vlnpack/Report.h"

#ifndef VLNPACK_VERSION
#define VLNPACK_VERSION "0"
#endif

namespace VLN2::Vlnpack {
namespace {

const char kUsage[] =
    "usage: vlnpack create [--level=N] [--zlib] ARCHIVE FOLDER\n"
    "       vlnpack list [-l] ARCHIVE\n"
    "       vlnpack test ARCHIVE\n"
    "       vlnpack extract ARCHIVE FOLDER [PREFIX]\n"
    "       vlnpack --help | --version\n";

const char kHelp[] =
    "\n"
    "Builds, lists, tests and extracts VorlaneBox archives.\n"
    "\n"
    "  create   packs every file below FOLDER; entries are named by their path relative\n"
    "           to FOLDER with backslashes, in byte order of the names, so the same tree\n"
    "           always gives the same archive. Names that extraction would refuse are\n"
    "           refused here, as are names that are not UTF-8 and names that Windows\n"
    "           takes for one file (letter case ignored). Each file is one zlib stream,\n"
    "           which every reader of the format decodes alike, or is stored as it is:\n"
    "           with libdeflate when packing would not make it smaller, with zlib when\n"
    "           zlib's stream would be longer than one and a half times the file.\n"
    "             --level=N  the encoder's level: libdeflate's 1 (fastest) to 12 (smallest),\n"
    "                        zlib's 1 to 9. Levels below 8 (zlib's below 7) change the zlib\n"
    "                        header's second byte from DA, which names the slowest levels.\n"
    "             --zlib     packs with zlib's compress2, at level 9 unless --level says\n"
    "                        otherwise: the same bytes as builds before libdeflate.\n"
    "  list     prints the entry names in directory order; with -l also the block offset,\n"
    "           the block size, the block form (PAC or RAW) and the unpacked size. Names\n"
    "           that are not UTF-8 or that collide with an earlier one are reported.\n"
    "  test     decodes every entry; names each damaged one and each bad name. The last\n"
    "           line gives the archive's size in bytes and its zlib CRC-32 in\n"
    "           hexadecimal, which the installer build records beside the payload.\n"
    "  extract  writes the entries (those whose names begin with PREFIX, which is then\n"
    "           left out, ignoring case) into FOLDER, creating it; an entry that\n"
    "           collides with one already extracted fails.\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

// The operands each command takes.
const struct {
  const char* command;
  std::size_t fewest, most;
  const char* wrong;
} kOperands[] = {
    {"create", 2, 2, "create takes ARCHIVE and FOLDER"},
    {"list", 1, 1, "list takes one ARCHIVE"},
    {"test", 1, 1, "test takes one ARCHIVE"},
    {"extract", 2, 3, "extract takes ARCHIVE, FOLDER and an optional PREFIX"},
};

int Usage(const char* what) {
  Message("%s", what);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

// The encoder, its version and the level that create uses without options.
void PrintPacking(Packing packing) {
  std::printf("Packs with %s %s at level %d unless told otherwise.\n", EncoderName(packing.encoder),
              EncoderVersion(packing.encoder), packing.level);
}

// Takes create's options out of args into *packing.
int ParsePacking(std::vector<const char*>* args, Packing* packing) {
  int level = -1;
  for (auto arg = args->begin(); arg != args->end();) {
    if (std::strcmp(*arg, "--zlib") == 0) {
      packing->encoder = Encoder::kZlib;
    } else if (std::strncmp(*arg, "--level=", 8) == 0) {
      const char* digits = *arg + 8;
      if (std::strlen(digits) < 1 || std::strlen(digits) > 2 ||
          std::strspn(digits, "0123456789") != std::strlen(digits))
        return Usage("--level takes a number");
      level = std::atoi(digits);
    } else {
      ++arg;
      continue;
    }
    arg = args->erase(arg);
  }
  if (packing->encoder == Encoder::kZlib) packing->level = kZlibPacking.level;
  if (level >= 0) packing->level = level;
  if (!IsSupported(*packing)) {
    char levels[80];
    std::snprintf(levels, sizeof levels, "%s packs at levels 1 to %d",
                  EncoderName(packing->encoder), HighestLevel(packing->encoder));
    return Usage(levels);
  }
  return kExitOk;
}

}  // namespace

int ParseCommandLine(std::vector<const char*> args, CommandLine* line) {
  if (args.empty()) return Usage("no command given");
  std::string command = args[0];
  if (command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    PrintPacking(DefaultPacking());
    return kExitOk;
  }
  if (command == "--version") {
    std::printf("vlnpack %s\n", VLNPACK_VERSION);
    PrintPacking(DefaultPacking());
    return kExitOk;
  }
  args.erase(args.begin());
  if (command == "list" && !args.empty() && std::strcmp(args[0], "-l") == 0) {
    line->details = true;
    args.erase(args.begin());
  }
  if (command == "create" && ParsePacking(&args, &line->packing) != kExitOk) return kExitUsage;
  for (const char* arg : args)
    if (arg[0] == '-' && arg[1] != '\0')
      return Usage((std::string("unknown option ") + arg).c_str());
  for (const auto& form : kOperands) {
    if (command != form.command) continue;
    if (args.size() < form.fewest || args.size() > form.most) return Usage(form.wrong);
    line->command = command;
    line->operands = args;
    return kExitOk;
  }
  return Usage((std::string("unknown command ") + command).c_str());
}

}  // namespace VLN2::Vlnpack
