// The system C runtime's own functions on Windows (MinGW otherwise links its own copies).
#define __USE_MINGW_ANSI_STDIO 0

#include "framework/CFormat.h"

#include <stdio.h>

int VLN2_ScanColor(const char* text, unsigned* red, unsigned* green, unsigned* blue) {
  return sscanf(text, "#%2X%2X%2X", red, green, blue);
}

void VLN2_FormatColor(char* out, size_t size, unsigned color) {
  snprintf(out, size, "#%06X", color);
}
