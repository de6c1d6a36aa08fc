// The stored forms of the installer's files, made and read straight from their bytes and
// without the framework: a test can make damaged or hostile files with them, and judge what
// the framework wrote even while the framework's allocator is failing on purpose.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace VLN2 {

// ---- Making them

// A little-endian 32-bit field.
inline std::string StoredWord(std::uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

// A text as the String form stores it: a 16-bit count of its bytes with the NUL, the
// text, the NUL.
inline std::string StoredText(const std::string& text) {
  std::size_t count = text.size() + 1;
  return std::string{static_cast<char>(count), static_cast<char>(count >> 8)} + text + '\0';
}

// An installation record: the header, then the file list and the folder list.
inline std::string StoredRecordBytes(const std::vector<std::string>& files,
                                     const std::vector<std::string>& folders,
                                     std::int32_t header = 0) {
  std::string bytes = StoredWord(static_cast<std::uint32_t>(header));
  for (const std::vector<std::string>* list : {&files, &folders}) {
    bytes += StoredWord(static_cast<std::uint32_t>(list->size()));
    for (const std::string& text : *list) bytes += StoredText(text);
  }
  return bytes;
}

// ---- Reading them

inline std::uint32_t StoredWordAt(const std::string& bytes, std::size_t at) {
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
    *value = static_cast<std::int32_t>(StoredWordAt(bytes, at));
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

// One entry of an archive: its directory record and its block, unpacked.
struct StoredEntry {
  std::string name;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::string tag;  // the block's four bytes
  std::string data;
};

// An archive file. whole: the bytes are a whole, well-formed archive as the writer makes
// it; otherwise fault says where it went wrong.
struct StoredArchive {
  bool whole = false;
  std::string fault;
  std::uint16_t version = 0;
  std::uint16_t subversion = 0;
  std::uint32_t directorySize = 0;
  std::vector<StoredEntry> entries;

  // Names and data in directory order.
  std::vector<std::pair<std::string, std::string>> Contents() const {
    std::vector<std::pair<std::string, std::string>> contents;
    for (const StoredEntry& entry : entries) contents.emplace_back(entry.name, entry.data);
    return contents;
  }
};

inline StoredArchive ParseStoredArchive(const std::string& bytes) {
  StoredArchive archive;
  auto fail = [&](const char* where) {
    archive.fault = where;
    return archive;
  };
  if (bytes.size() < 20 || bytes.compare(0, 4, std::string("VLN\1", 4)) != 0) return fail("header");
  auto big16 = [&](std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) << 8 |
                                      static_cast<unsigned char>(bytes[at + 1]));
  };
  archive.version = big16(4);
  archive.subversion = big16(6);
  if (bytes.compare(8, 4, std::string("RAW\0", 4)) != 0) return fail("tag");
  archive.directorySize = StoredWordAt(bytes, 12);
  std::uint32_t count = StoredWordAt(bytes, 16);
  std::size_t at = 20;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + 2 > bytes.size()) return fail("record");
    std::size_t length = static_cast<unsigned char>(bytes[at]) |
                         static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    at += 2;
    if (length == 0 || at + length + 8 > bytes.size() || bytes[at + length - 1] != '\0')
      return fail("name");
    StoredEntry entry;
    entry.name = bytes.substr(at, length - 1);
    at += length;
    entry.offset = StoredWordAt(bytes, at);
    entry.size = StoredWordAt(bytes, at + 4);
    at += 8;
    archive.entries.push_back(entry);
  }
  if (at != 8 + std::size_t{archive.directorySize}) return fail("directory size");
  // Blocks follow the directory back to back, in directory order.
  std::size_t end = at;
  for (StoredEntry& entry : archive.entries) {
    if (entry.offset != end || entry.size < 4 || end + entry.size > bytes.size())
      return fail("block placement");
    end += entry.size;
    entry.tag = bytes.substr(entry.offset, 4);
    if (entry.tag == std::string("RAW\0", 4)) {
      entry.data = bytes.substr(entry.offset + 4, entry.size - 4);
    } else if (entry.tag == std::string("PAC\0", 4) && entry.size > 8) {
      uLongf length = StoredWordAt(bytes, entry.offset + 4);
      std::vector<Bytef> out(length ? length : 1);
      if (uncompress(out.data(), &length,
                     reinterpret_cast<const Bytef*>(bytes.data() + entry.offset + 8),
                     entry.size - 8) != Z_OK ||
          length != StoredWordAt(bytes, entry.offset + 4))
        return fail("zlib");
      entry.data.assign(reinterpret_cast<const char*>(out.data()), length);
    } else {
      return fail("block tag");
    }
  }
  if (end != bytes.size()) return fail("file end");
  archive.whole = true;
  return archive;
}

}  // namespace VLN2
