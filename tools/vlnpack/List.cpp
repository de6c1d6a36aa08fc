// list: the entry names in directory order; with -l also each block's offset, size and form
// and the unpacked size.
#include <cstdio>

#include "tools/vlnpack/ArchiveReading.h"
#include "tools/vlnpack/Commands.h"
#include "tools/vlnpack/NativePath.h"
#include "tools/vlnpack/Report.h"

namespace VLN2::Vlnpack {

int ListArchive(const char* given, bool details) {
  std::string path;
  OpenedArchive opened;
  if (!ResolveFile(given, &path)) return kExitFailure;
  int result = OpenForReading(given, path, &opened);
  if (result != kExitOk) return result;
  std::vector<std::string> problems = NameProblems(opened.entries);
  for (std::size_t i = 0; i < opened.entries.size(); ++i) {
    ArchiveEntry* entry = opened.entries[i];
    std::string name = Printable(entry->GetEntryName());
    if (!problems[i].empty())
      Message("%s: entry \"%s\": %s", given, name.c_str(), problems[i].c_str());
    if (details) {
      BlockForm form = FormOf(opened, entry);
      std::printf("%10u %10u %-3s %10s %s\n", entry->GetBlockOffset(), entry->GetBlockSize(),
                  form.known ? (form.packed ? "PAC" : "RAW") : "?",
                  form.known ? std::to_string(form.unpacked).c_str() : "?", name.c_str());
    } else {
      std::printf("%s\n", name.c_str());
    }
  }
  return FinishOutput(given, "the list");
}

}  // namespace VLN2::Vlnpack
