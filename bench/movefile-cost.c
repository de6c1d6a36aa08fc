// The system calls of one MoveFileEx as Wine makes it, at the paths an installation writes:
// run once with "create" (each listed file made in the program files folder's Vorlane folder
// and closed) and once with "move" (each made under its name followed by .VLNnew, then renamed
// into place); the difference of the two counts, divided by the files, is the price of the
// rename alone.
//
// Usage: movefile-cost.exe LISTING create|move   (LISTING: one relative path a line)
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

// Makes the folders above PATH, the highest first; those already there are passed over.
static void MakeFoldersAbove(wchar_t* path) {
  for (wchar_t* separator = wcschr(path + 3, L'\\'); separator;
       separator = wcschr(separator + 1, L'\\')) {
    *separator = 0;
    CreateDirectoryW(path, NULL);
    *separator = L'\\';
  }
}

int wmain(int argc, wchar_t** argv) {
  wchar_t base[MAX_PATH];
  if (argc != 3 || !ExpandEnvironmentStringsW(L"%ProgramFiles%\\Vorlane", base, MAX_PATH))
    return 2;
  int move = wcscmp(argv[2], L"move") == 0;
  FILE* listing = _wfopen(argv[1], L"r");
  if (!listing) return 2;
  char line[MAX_PATH];
  int files = 0;
  while (fgets(line, sizeof line, listing)) {
    line[strcspn(line, "\r\n")] = 0;
    if (!line[0]) continue;
    wchar_t path[2 * MAX_PATH], staged[2 * MAX_PATH];
    swprintf(path, 2 * MAX_PATH, L"%ls\\%hs", base, line);
    swprintf(staged, 2 * MAX_PATH, L"%ls.VLNnew", path);
    MakeFoldersAbove(path);
    HANDLE file = CreateFileW(move ? staged : path, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, "x", 1, &written, NULL);
    CloseHandle(file);
    if (move && !MoveFileExW(staged, path, 0)) return 1;
    ++files;
  }
  fclose(listing);
  printf("%d files\n", files);
  return files > 0 ? 0 : 1;
}
