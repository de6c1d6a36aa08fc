// The command line: the command, its options and its operands, the usage and the help text.
#pragma once

#include <string>
#include <vector>

#include "archive/Packer.h"

namespace VLN2::Vlnpack {

struct CommandLine {
  std::string command;  // "create", "list", "test" or "extract"
  std::vector<const char*> operands;
  bool details = false;  // list -l
  Packing packing = DefaultPacking();
};

// Reads the arguments after the program's name. kExitOk with the command in *line; for --help
// and --version the text printed and kExitOk with no command; else a usage message and
// kExitUsage.
int ParseCommandLine(std::vector<const char*> args, CommandLine* line);

}  // namespace VLN2::Vlnpack
