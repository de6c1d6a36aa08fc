// The program's one explicit class table: type id to implementation class.
#pragma once

#include "framework/CoreImp.h"

namespace VLN2 {

extern const ClassEntry* const kClassTable;
extern const int kClassCount;

}  // namespace VLN2
