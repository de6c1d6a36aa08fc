// The uninstaller's table, apart from Setup's (SetupClassTable.cpp): a program that uses only
// this one links neither the archive reader nor the installation nor the form.
#include "installer/ClassTable.h"

#include "installer/ClassRows.h"

namespace VLN2 {

const ClassEntry kRemovalRows[] = {VLN2_REMOVAL_ROWS};
const ClassEntry* const kRemovalClassTable = kRemovalRows;
const int kRemovalClassCount = sizeof kRemovalRows / sizeof kRemovalRows[0];

}  // namespace VLN2
