// Builds archive files for tests with the archive's own writer.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace VLN2 {

using ArchiveContents = std::vector<std::pair<std::string, std::string>>;  // name, bytes

// Writes an archive of the entries, in order, to path (Windows grammar); false on failure.
bool BuildArchive(const std::string& path, const ArchiveContents& entries);

}  // namespace VLN2
