// The programs' explicit class tables: type id to implementation class. The uninstaller's
// holds only what a removal creates, so that it carries no archive reader, installation or form.
#pragma once

#include "framework/CoreImp.h"

namespace VLN2 {

extern const ClassEntry* const kClassTable;
extern const int kClassCount;
extern const ClassEntry* const kRemovalClassTable;
extern const int kRemovalClassCount;

}  // namespace VLN2
