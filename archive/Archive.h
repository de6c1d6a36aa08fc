// Archive: reads the installer's payload and builds archive files.
#pragma once

#include <cstdint>

#include "framework/VLN2.h"

namespace VLN2 {

class ArchiveEntry;
class BinaryStream;
class CompressStream;
class Iterator;
class Stream;

// Archive modes.
constexpr int kArchiveWrite = 0;
constexpr int kArchiveRead = 1;

class Archive : public Element {
 public:
  virtual std::uint16_t GetVersion() = 0;
  virtual int SetVersion(std::uint16_t version) = 0;
  virtual std::uint16_t GetSubVersion() = 0;
  virtual int SetSubVersion(std::uint16_t subversion) = 0;
  virtual int GetArchiveMode() = 0;
  // Only while closed (else 1); the value 2 is stored as 0.
  virtual int SetArchiveMode(int mode) = 0;
  // Opens the archive file; in read mode also reads the directory (1 when it is bad).
  virtual int OpenArchive(const char* path) = 0;
  virtual int IsArchiveClosed() = 0;
  // Finishes any entry; in write mode puts the header and directory in front.
  virtual int CloseArchive() = 0;
  // A list iterator over the entries (ArchiveEntry elements); hand it back with
  // ReleaseEntries.
  virtual Iterator* GetEntries() = 0;
  virtual int ReleaseEntries(Iterator** iterator) = 0;
  // Starts a new entry; the stream to write its data to (owned by the archive) or null.
  virtual Stream* BeginEntry(const char* name) = 0;
  // Packs and writes the entry's block and appends the entry to the directory.
  virtual int EndEntry() = 0;
  // The data of the first entry of that name (case ignored), or null; give it back
  // with CloseEntry.
  virtual Stream* OpenEntry(const char* name) = 0;
  virtual int CloseEntry() = 0;
  virtual int Reserved1() = 0;
  // 0 when an entry is named like the path's file name.
  virtual int CheckEntry(const char* path) = 0;
  virtual int Reserved2(const char* first, const char* second) = 0;
  // Adds one file as an entry named by its file name.
  virtual int AddFile(const char* path) = 0;
  // Writes the entry named like the path's file name to that path.
  virtual int ExtractFile(const char* path) = 0;
  // Adds every file below folder (ending in a backslash), named relative to it.
  virtual int AddFolder(const char* folder, const char* second) = 0;
  // Extracts every entry whose name begins with prefix (case ignored; null = all) into
  // folder (ending in a backslash); 0 when no entry failed.
  virtual int ExtractFolder(const char* folder, const char* prefix) = 0;
};

// What the installer asks of an archive beyond the operations above; reached with Cast.
class ArchiveReader {
 public:
  static constexpr int kInterfaceId = kArchiveReaderInterface;
  virtual ~ArchiveReader() = default;
  // Opens the archive for reading on a file its caller opened and checked: the archive holds
  // a reference to it and reads through it alone, never by its name, until CloseArchive. 0,
  // or 1 when the archive is open already or its directory is bad.
  virtual int OpenArchiveFile(BinaryStream* file) = 0;
  // The unpacked size of an entry of this archive and whether its block is packed (else
  // stored), from its block's head; 1 when the block does not lie inside the file or its head
  // names neither form.
  virtual int GetEntryForm(ArchiveEntry* entry, std::uint32_t* size, bool* packed) = 0;
  // Writes an entry's data to a file made new at path through no link (anything already at
  // its name refuses it). 0 when the file holds the whole data; otherwise what was made of it
  // stays for the caller to delete.
  virtual int ExtractEntry(ArchiveEntry* entry, const char* path) = 0;
  // A new memory stream at position 0 holding the data of an entry of this archive, decoded
  // whole, for a caller that keeps several at once (OpenEntry's stream serves one at a time);
  // the caller releases it. Null when memory runs out or the block cannot be read or decoded.
  virtual CompressStream* DecodeEntry(ArchiveEntry* entry) = 0;
};

}  // namespace VLN2
