// The program's explicit class tables: type id to implementation class. The uninstaller's
// leaves out the form's classes, which it never shows, so that it does not carry them.
#pragma once

#include "framework/CoreImp.h"

namespace VLN2 {

extern const ClassEntry* const kClassTable;
extern const int kClassCount;
extern const ClassEntry* const kRemovalClassTable;
extern const int kRemovalClassCount;

}  // namespace VLN2
