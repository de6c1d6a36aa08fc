// Readers of the stored files written by the installer, straight from their bytes and
// without the framework, so that a test can judge what the framework wrote even while
// the framework's allocator is failing on purpose.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace VLN2 {

inline std::uint32_t StoredLE32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The lists of an installation record. complete: the whole file was read as a record and
// nothing follows it; otherwise the lists hold the whole text records read before the file
// ended or went wrong, as the uninstaller's own reading keeps them.
struct StoredRecord {
  bool complete = false;
  std::vector<std::string> files, folders;
};

inline StoredRecord ParseStoredRecord(const std::string& bytes) {
  StoredRecord record;
  std::size_t at = 0;
  auto int32 = [&](std::int32_t* value) {
    if (at + 4 > bytes.size()) return false;
    *value = static_cast<std::int32_t>(StoredLE32(bytes, at));
    at += 4;
    return true;
  };
  auto texts = [&](std::vector<std::string>* out) {
    std::int32_t count;
    if (!int32(&count)) return false;
    for (std::int32_t i = 0; i < count; ++i) {
      if (at + 2 > bytes.size()) return false;
      std::size_t length = static_cast<unsigned char>(bytes[at]) |
                           static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
      at += 2;
      if (length == 0) {
        out->push_back("");
        continue;
      }
      if (at + length > bytes.size()) return false;
      out->push_back(bytes.substr(at, length - 1).c_str());
      at += length;
    }
    return true;
  };
  std::int32_t header;
  if (!int32(&header) || header > 0) return record;
  record.complete = texts(&record.files) && texts(&record.folders) && at == bytes.size();
  return record;
}

using StoredEntries = std::vector<std::pair<std::string, std::string>>;  // name, data

// The entries of an archive file with their unpacked data; false when the bytes are not a
// whole, well-formed archive as the writer makes it.
inline bool ParseStoredArchive(const std::string& bytes, StoredEntries* entries) {
  entries->clear();
  if (bytes.size() < 20 || bytes.compare(0, 4, std::string("VLN\1", 4)) != 0 ||
      bytes.compare(8, 4, std::string("RAW\0", 4)) != 0)
    return false;
  std::uint64_t directory = StoredLE32(bytes, 12);
  std::uint32_t count = StoredLE32(bytes, 16);
  std::size_t at = 20;
  std::uint64_t end = 8 + directory;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + 2 > bytes.size()) return false;
    std::size_t length = static_cast<unsigned char>(bytes[at]) |
                         static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    at += 2;
    if (length == 0 || at + length + 8 > bytes.size() || bytes[at + length - 1] != '\0')
      return false;
    std::string name = bytes.substr(at, length - 1);
    at += length;
    std::uint64_t offset = StoredLE32(bytes, at);
    std::uint64_t size = StoredLE32(bytes, at + 4);
    at += 8;
    // Blocks follow the directory back to back, in directory order.
    if (offset != end || size < 4 || offset + size > bytes.size()) return false;
    end = offset + size;
    std::string block = bytes.substr(offset, size);
    std::string data;
    if (block.compare(0, 4, std::string("RAW\0", 4)) == 0) {
      data = block.substr(4);
    } else if (block.compare(0, 4, std::string("PAC\0", 4)) == 0 && size > 8) {
      uLongf unpacked = StoredLE32(block, 4);
      std::vector<Bytef> out(unpacked ? unpacked : 1);
      if (uncompress(out.data(), &unpacked, reinterpret_cast<const Bytef*>(block.data() + 8),
                     static_cast<uLong>(size - 8)) != Z_OK ||
          unpacked != StoredLE32(block, 4))
        return false;
      data.assign(reinterpret_cast<const char*>(out.data()), unpacked);
    } else {
      return false;
    }
    entries->emplace_back(name, data);
  }
  return at == 8 + directory && end == bytes.size();
}

}  // namespace VLN2
