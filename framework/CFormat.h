// The few C library format and scan calls of the framework. They live in a C file so that
// Windows builds call the system's C runtime: C++ headers there switch to a static copy of
// the whole printf and scanf family.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// sscanf(text, "#%2X%2X%2X", red, green, blue); the number of fields read.
int VLN2_ScanColor(const char* text, unsigned* red, unsigned* green, unsigned* blue);
// snprintf(out, size, "#%06X", color).
void VLN2_FormatColor(char* out, size_t size, unsigned color);

#ifdef __cplusplus
}
#endif
