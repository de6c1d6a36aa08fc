// The bodies of the fuzz targets, shared with the unit test that replays their corpora and
// every input that once broke something. Each body runs on the current Core (g_core),
// releases every element it made, and returns an empty text when every invariant held,
// else a description of what broke. The fuzz targets abort on a non-empty result; the
// unit test reports it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace VLN2 {
namespace Fuzz {

// Packed-block decoding: a CompressStream reading one entry's block from memory. The first
// byte chooses the variant (pass-through, block size taken from the input or its real
// length), the next four a claimed block size, the rest is the block.
std::string RunPackedBlock(const std::uint8_t* data, std::size_t size);

// The stored forms of String and ElementContainer: read, written back, read again.
std::string RunStoredForms(const std::uint8_t* data, std::size_t size);

#ifndef _WIN32

// A folder of its own for the bodies that touch files:
//   S/sentinel.txt          outside every mapped drive
//   S/c/                    drive C:
//   S/c/sentinel.txt        on the drive, outside the extraction folder
//   S/c/files/...           files and folders a record may name
//   C:\in\                  where the input is written
//   C:\out\dest\            where archives are extracted
// Every drive but C: is unmapped, and a guard on the port's system calls refuses any change
// outside S, so no input can reach the rest of the machine.
class Workspace {
 public:
  Workspace() = default;
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // Makes the folder, maps the drive and installs the guard; false on failure.
  bool Create();
  // Puts the drive back in its start state (the layout above, nothing else).
  void Reset();
  // What changed outside the drive C:, or outside C:\out\dest\ and C:\in\ when
  // driveToo; empty when nothing did.
  std::string CheckOutside(bool driveToo);
  // Changes the guard refused since the last Reset.
  int Refused() const;
  // Writes bytes as C:\in\<name>; false on failure.
  bool WriteInput(const char* name, const std::uint8_t* data, std::size_t size);
  const std::string& Native() const { return native_; }

 private:
  std::map<std::string, std::string> Snapshot(bool driveToo);
  std::string native_;  // S, without a trailing separator
  std::map<std::string, std::string> outside_, outsideDrive_;
};

// Archive reading: the input as an archive file, opened, listed, every entry read by name,
// then everything extracted into C:\out\dest\. Nothing outside that folder (and the input
// folder) may change, and no change outside the workspace may even be attempted.
std::string RunArchive(const std::uint8_t* data, std::size_t size, Workspace* workspace);

// The installation record: the input as a record file, loaded, saved (and loaded and saved
// again, which must give the same bytes), then replayed. Paths in a record are absolute by
// design, so anything on the drive may go; nothing outside it may change.
std::string RunRecord(const std::uint8_t* data, std::size_t size, Workspace* workspace);

#endif  // !_WIN32

}  // namespace Fuzz
}  // namespace VLN2
