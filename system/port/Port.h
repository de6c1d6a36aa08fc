// The port: everything the system takes from the platform. Paths keep the Windows grammar
// (drive letter, backslashes) on every platform. win32/ calls the Win32 API; posix/ is a
// real implementation on POSIX calls, with a drive table, an in-memory registry and a
// resource table that tests and tools fill (posix/PosixPort.h).
//
// Generic code only: no platform header is included here.
#pragma once

#include <cstdint>

// Callers that include <windows.h> themselves see its A/W name macros; the port's own names
// are declared without them.
#pragma push_macro("DeleteFile")
#pragma push_macro("MoveFile")
#pragma push_macro("CreateDirectory")
#pragma push_macro("RemoveDirectory")
#pragma push_macro("RegOpenKey")
#pragma push_macro("RegCreateKey")
#pragma push_macro("RegDeleteTree")
#pragma push_macro("RegEnumValue")
#pragma push_macro("RegQueryValue")
#pragma push_macro("GetModuleFileName")
#pragma push_macro("GetTempPath")
#pragma push_macro("GetComputerName")
#pragma push_macro("FindResource")
#undef DeleteFile
#undef MoveFile
#undef CreateDirectory
#undef RemoveDirectory
#undef RegOpenKey
#undef RegCreateKey
#undef RegDeleteTree
#undef RegEnumValue
#undef RegQueryValue
#undef GetModuleFileName
#undef GetTempPath
#undef GetComputerName
#undef FindResource

namespace VLN2 {
namespace Port {

using ModuleHandle = void*;

// ---- Texts. The program's 8-bit texts are in the process code page: UTF-8 where the system
// honours the program's manifest (and always on POSIX), the legacy ANSI code page elsewhere.
// Converts length UTF-16 units of the system's wide text into buffer (*size: capacity on
// entry, bytes written on success; no NUL is added). False when a character has no exact
// equivalent (never a look-alike or a default character), is malformed, or does not fit.
bool FromWideText(const std::uint16_t* text, std::uint32_t length, char* buffer,
                  std::uint32_t* size);
// The same for length bytes of text written in the Windows code page codePage (such as 1252,
// as the registry names it).
bool FromCodePage(std::uint32_t codePage, const char* text, std::uint32_t length, char* buffer,
                  std::uint32_t* size);
// The other way: length bytes of text in codePage (kProcessCodePage: the program's own) into
// buffer as the system's wide text (*units: capacity on entry, UTF-16 units written on
// success; no NUL is added). A text never needs more units than it has bytes. False when the
// text is malformed in that code page or does not fit.
constexpr std::uint32_t kProcessCodePage = 0;
bool ToWideText(std::uint32_t codePage, const char* text, std::uint32_t length,
                std::uint16_t* buffer, std::uint32_t* units);

// ---- Files: CreateFileA with OPEN_ALWAYS and read sharing, ReadFile, WriteFile, ...
using FileHandle = void*;  // null = no file
// kAccessNoLink: refuse a symbolic link or other reparse point at the file's own name
// instead of following it. A link above it, and a link to a file that the platform reports
// as a plain file (Wine), show only in the final path: check GetFinalPath too.
// kAccessNew: only create the file; an existing one (or anything else at its name) refuses.
enum FileAccess { kAccessRead = 1, kAccessWrite = 2, kAccessNoLink = 4, kAccessNew = 8 };
// Opens the file, creating it when absent, at position 0; null when refused. No other opener
// may write or delete it while it is open. *created (may be null): whether this opening made
// the file; a file it made may be deleted through the handle (DeleteOpenFile).
FileHandle OpenFile(const char* path, int access, bool sequential, bool* created = nullptr);
bool ReadFile(FileHandle file, void* data, std::uint32_t n, std::uint32_t* done);
bool WriteFile(FileHandle file, const void* data, std::uint32_t n, std::uint32_t* done);
bool GetFileSize(FileHandle file, std::uint32_t* size);
// Absolute position from the start; beyond the end is allowed.
bool SetFilePointer(FileHandle file, std::uint32_t position);
bool GetFilePointer(FileHandle file, std::uint32_t* position);
// Cuts or extends the file at the current position.
bool SetEndOfFile(FileHandle file);
void CloseFile(FileHandle file);

// ---- Links and the real place of a file.
// The final path of an open file (every link resolved) in the drive-letter form, e.g.
// "C:\a\b.txt"; false when it cannot be had or does not fit.
bool GetFinalPath(FileHandle file, char* buffer, std::uint32_t size);
// The final path of an existing file or folder named by path; false when it cannot be had.
bool GetFinalPathOf(const char* path, char* buffer, std::uint32_t size);
// How many names (hard links) the open file has; 0 when unknown.
std::uint32_t GetLinkCount(FileHandle file);
// Opens an existing plain file to delete it, never following a link at its name; null when
// it is missing, a folder or a link.
FileHandle OpenForDelete(const char* path);
// Deletes the file opened by OpenForDelete (path: the name it was opened by) and closes the
// handle; true when deleted. Win32 deletes by the handle; POSIX, which cannot, unlinks the
// name only while it still names the open file.
bool DeleteOpenFile(FileHandle file, const char* path);

// ---- Files and folders by name.
bool DeleteFile(const char* path);
bool CreateDirectory(const char* path);
bool RemoveDirectory(const char* path);
// The C library's rename.
bool RenameFile(const char* oldPath, const char* newPath);
// Puts the file from in the place of to in one step, replacing to when it exists; done
// only once the move is on disk (MoveFileExA, replace-existing and write-through).
bool MoveFileReplacing(const char* from, const char* to);
// Renames the file from to the name to on the same volume (MoveFileExA); with replace, a file
// at to is replaced in the same step, else it refuses the move.
bool MoveFile(const char* from, const char* to, bool replace);
// Has the system delete the file, or the folder when it is empty then, at its next start
// (MoveFileExA with delay-until-reboot): the way to remove a running program's own file.
bool DeleteAtRestart(const char* path);
// Writes what the file holds through to the disk (FlushFileBuffers).
bool FlushFile(FileHandle file);
// Bytes free to this user on the volume that holds the existing folder.
bool GetVolumeFreeBytes(const char* folder, std::uint64_t* bytes);
// The folder at which the volume that holds path is mounted: its drive's root ("C:\"), or a
// folder below it where another volume is mounted (GetVolumePathName), found from the
// deepest level of path that exists. False when the drive does not exist as this process
// sees it, or the folder does not fit.
bool GetVolumeFolder(const char* path, char* buffer, std::uint32_t size);
// Whether the volume mounted at the folder lies on another computer (a mapped network drive).
bool IsNetworkVolume(const char* volumeFolder);
// Creates a new folder that only the user running the program, the Administrators and the
// system itself may enter; false when it exists already or cannot be made.
bool CreatePrivateFolder(const char* path);
// An existing file that cannot be opened for writing and deleting without sharing: another
// program has it open or loaded. A missing or merely refused file is not in use.
bool IsFileInUse(const char* path);
// Calls found with the name of each program that holds one of the files, as far as the
// system can tell (the Restart Manager); false when it cannot tell at all.
bool ListFileHolders(const char* const* paths, int count,
                     void (*found)(const char* program, void* context), void* context);

// ---- Directory listing: FindFirstFileA, FindNextFileA, FindClose.
struct FindData {
  char name[260];
  bool isDirectory;
  // A symbolic link, junction or other reparse point: never followed by clean-up.
  bool isLink;
};
using FindHandle = void*;  // null = no search
// Pattern may hold * and ?; null when nothing matches or the folder cannot be listed.
FindHandle FindFirst(const char* pattern, FindData* data);
bool FindNext(FindHandle search, FindData* data);
void FindClose(FindHandle search);

// ---- Registry: RegOpenKeyW, RegCloseKey, RegEnumValueW, RegQueryValueW, with names and
// texts converted from and to the program's 8-bit texts; sizes count those 8-bit bytes.
using RegistryHandle = void*;
extern const RegistryHandle kLocalMachine;
extern const RegistryHandle kCurrentUser;
// Win32 error codes the registry reader tells apart.
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
// A name or text of the registry that the program's 8-bit texts cannot carry exactly.
constexpr long kErrorNoUnicodeTranslation = 1113;
long RegOpenKey(RegistryHandle root, const char* path, RegistryHandle* key);
long RegCloseKey(RegistryHandle key);
// *nameSize and *dataSize: capacities on entry, lengths on success (name without NUL).
long RegEnumValue(RegistryHandle key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                  unsigned char* data, std::uint32_t* dataSize);
// The default value of the subkey (null = the key itself). data null asks for the size.
long RegQueryValue(RegistryHandle key, const char* subkey, char* data, long* size);
// Writing (RegCreateKeyExW with KEY_WRITE, RegSetValueExW, RegDeleteTreeW): opens the key for
// writing, creating it and the keys above it as needed; closed with RegCloseKey.
long RegCreateKey(RegistryHandle root, const char* path, RegistryHandle* key);
// Sets a named value of the open key: a text (REG_SZ) or a 32-bit number (REG_DWORD).
long RegSetText(RegistryHandle key, const char* name, const char* text);
long RegSetNumber(RegistryHandle key, const char* name, std::uint32_t value);
// Deletes the key with its values and every key below it.
long RegDeleteTree(RegistryHandle root, const char* path);

// ---- One installer at a time: a named mutex that a standard user cannot take first (a
// private namespace with an Administrators boundary where the system offers it, else the
// global namespace; POSIX: a lock file in the temporary folder).
using MutexHandle = void*;
enum class MutexClaim { kClaimed, kHeldElsewhere, kFailed };
// *mutex: held until CloseInstanceMutex or the process ends; null unless kClaimed.
MutexClaim ClaimInstanceMutex(const char* name, MutexHandle* mutex);
void CloseInstanceMutex(MutexHandle mutex);

// ---- Application services.
// The system's known program-files folder (SHGetFolderPathA, CSIDL_PROGRAM_FILES), without
// a trailing separator; false when the system has none.
bool GetProgramFilesFolder(char* buffer, std::uint32_t size);
// text with each %NAME% replaced by the environment's value (ExpandEnvironmentStringsA);
// false when it does not fit.
bool ExpandText(const char* text, char* buffer, std::uint32_t size);
// Full file name of the module; false when it does not fit or cannot be had.
bool GetModuleFileName(ModuleHandle module, char* buffer, std::uint32_t size);
// The system's temporary folder, ending in a backslash; its length, 0 on failure or when its
// name does not fit or cannot be carried exactly by the program's 8-bit texts.
std::uint32_t GetTempPath(char* buffer, std::uint32_t size);
// *size: capacity on entry, length on success; false when the name does not fit.
bool GetComputerName(char* buffer, std::uint32_t* size);
// Milliseconds since the system started, 32 bits, wrapping (timeGetTime).
std::uint32_t GetMilliseconds();
// Test seam: replaces the millisecond counter (null = the platform's own).
void SetMillisecondClock(std::uint32_t (*clock)());
// Suspends the thread for about that long.
void Sleep(std::uint32_t milliseconds);
// kError and kInfo have an OK button, kQuestion Yes and No, kRetryCancel (a warning) Retry
// and Cancel.
enum class MessageBoxKind { kError, kInfo, kQuestion, kRetryCancel };
// The results of the OK, Cancel, Retry and Yes buttons.
constexpr int kBoxOk = 1;
constexpr int kBoxCancel = 2;
constexpr int kBoxRetry = 4;
constexpr int kBoxYes = 6;
// A modal box with no owner; the box's result.
int ShowMessageBox(const char* text, const char* caption, MessageBoxKind kind);
// Writes text to the console the program was started from (its standard output when that
// was redirected); false when it has none.
bool PrintToConsole(const char* text);
// The calling thread's last system error as the system words it, with its number; always
// zero-terminated (size at least 1).
void GetLastErrorText(char* buffer, std::uint32_t size);
// Whether the process runs as the system's own account (LocalSystem; root on POSIX).
bool IsSystemAccount();
// The shell's default action on the text (ShellExecuteA, no verb, shown normally).
void ShellOpen(const char* what);
// Waits for input to the thread or the time to pass; the platform's wait result.
int WaitForInput(std::uint32_t milliseconds);
struct CalendarTime {
  std::uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};
// The current time in UTC (GetSystemTime).
void GetSystemTime(CalendarTime* time);

// ---- Resources of a module (FindResourceA ... LockResource).
// The bytes of resource id of the type; false when missing.
bool FindResource(ModuleHandle module, const char* type, int id, const void** data,
                  std::uint32_t* size);

// ---- The product major version of a program file's version resource; 0 without one.
int GetProductMajorVersion(const char* programFile);

// ---- The process-wide lock around decompression. Created at program start, deleted at
// exit; Lock and Unlock bracket each use.
void CreateLock();
void DeleteLock();
void Lock();
void Unlock();

}  // namespace Port
}  // namespace VLN2

#pragma pop_macro("DeleteFile")
#pragma pop_macro("MoveFile")
#pragma pop_macro("CreateDirectory")
#pragma pop_macro("RemoveDirectory")
#pragma pop_macro("RegOpenKey")
#pragma pop_macro("RegCreateKey")
#pragma pop_macro("RegDeleteTree")
#pragma pop_macro("RegEnumValue")
#pragma pop_macro("RegQueryValue")
#pragma pop_macro("GetModuleFileName")
#pragma pop_macro("GetTempPath")
#pragma pop_macro("GetComputerName")
#pragma pop_macro("FindResource")
