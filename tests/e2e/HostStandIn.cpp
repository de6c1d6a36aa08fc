// Stands in for a host's program file: what matters is its version resource. With
// "probe NAME" it loads the library NAME the ordinary way, as a program that does not
// restrict the DLL search would.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "probe") == 0) return LoadLibraryA(argv[2]) ? 0 : 1;
  return 0;
}
