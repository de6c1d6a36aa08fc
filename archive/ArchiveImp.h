// The Archive element: reads an archive file's directory and entries, extracts them, and
// builds archive files from files on disk.
//
// File layout: "VLN", a flag byte, the big-endian version and subversion (absent when
// the flag is 0), "RAW\0", the directory size D (from the tag to the end of the last
// record), the entry count N, N records (name, block offset, block size), then the
// packed blocks from offset 8 + D to the end of the file.
#pragma once

#include <cstdint>

#include "archive/Archive.h"
#include "archive/ArchiveEntry.h"
#include "archive/BinaryStream.h"
#include "archive/CompressStream.h"
#include "archive/Stream.h"
#include "framework/ElementContainer.h"
#include "framework/ElementImp.h"
#include "framework/String.h"

namespace VLN2 {

class CompressStreamImp;

class ArchiveImp : public ElementImp<Archive>, public ArchiveReader {
 public:
  explicit ArchiveImp(Core* core) : ElementImp(core, kArchiveType) {}

  int Init() override;
  int Destroy() override;
  void* Cast(int interfaceId) override;
  int OpenArchiveFile(BinaryStream* file) override;
  int GetEntryForm(ArchiveEntry* entry, std::uint32_t* size, bool* packed) override;
  int ExtractEntry(ArchiveEntry* entry, const char* path) override;
  CompressStream* DecodeEntry(ArchiveEntry* entry) override;

  std::uint16_t GetVersion() override { return version_; }
  int SetVersion(std::uint16_t version) override;
  std::uint16_t GetSubVersion() override { return subversion_; }
  int SetSubVersion(std::uint16_t subversion) override;
  int GetArchiveMode() override { return mode_; }
  int SetArchiveMode(int mode) override;
  int OpenArchive(const char* path) override;
  int IsArchiveClosed() override;
  int CloseArchive() override;
  Iterator* GetEntries() override;
  int ReleaseEntries(Iterator** iterator) override;
  Stream* BeginEntry(const char* name) override;
  int EndEntry() override;
  Stream* OpenEntry(const char* name) override;
  int CloseEntry() override;
  int Reserved1() override { return 1; }
  int CheckEntry(const char* path) override;
  int Reserved2(const char*, const char*) override { return 1; }
  int AddFile(const char* path) override;
  int ExtractFile(const char* path) override;
  int AddFolder(const char* folder, const char* second) override;
  int ExtractFolder(const char* folder, const char* prefix) override;

  // The size of the copy buffers CloseArchive uses for a directory of D bytes: the
  // smallest power of two of at least 4096 and at least 8 + D.
  static std::uint32_t CopyBufferSize(std::uint32_t directorySize);

 private:
  Stream* FileStream();
  int ReadDirectory(Stream* file);
  void ClearEntries();
  // Writes the header and the directory in front of the entries' blocks, moving them up.
  int WriteDirectory(Stream* file);
  bool WriteHead(Stream* file, Iterator* entries, std::uint32_t count, std::uint32_t directorySize);
  // The reader made current for entry, its input at the entry's block; null when not possible.
  CompressStreamImp* ReaderFor(ArchiveEntry* entry);
  ArchiveEntry* FindEntry(const char* name);
  // Writes the data of entry to out, through the reader; CloseEntry ends it.
  int CopyOut(ArchiveEntry* entry, Stream* out);
  int AddOneFile(const char* path, const char* name);
  static int AddFolderFile(const char* path, void* context);

  ElementContainer* entries_ = nullptr;
  BinaryStream* file_ = nullptr;
  CompressStream* entryStream_ = nullptr;
  // The stream entries are read through, kept from one entry to the next so that its buffers
  // serve them all; released with the archive's file.
  CompressStream* reader_ = nullptr;
  ArchiveEntry* newEntry_ = nullptr;
  String* folder_ = nullptr;
  String* second_ = nullptr;
  std::uint16_t version_ = 256;
  std::uint16_t subversion_ = 78;
  int clean_ = 1;
  int mode_ = kArchiveRead;
};

}  // namespace VLN2
