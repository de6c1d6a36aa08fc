#include "installer/ClassTable.h"

namespace VLN2 {

const ClassEntry* const kClassTable = nullptr;
const int kClassCount = 0;

}  // namespace VLN2
