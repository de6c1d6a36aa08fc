#include "archive/ArchiveEntryImp.h"
#include "archive/ArchiveImp.h"
#include "installer/ClassRows.h"
#include "installer/ClassTable.h"
#include "installer/ToolboxInstallImp.h"
#ifdef _WIN32
#include "ui/GUI_LicenseDisplayImp.h"
#include "ui/GUI_ToolboxInstallImp.h"
#endif

namespace VLN2 {

const ClassEntry kRows[] = {
    VLN2_REMOVAL_ROWS{kArchiveType, Construct<ArchiveImp>},
    {kArchiveEntryType, Construct<ArchiveEntryImp>},
    {kToolboxInstallType, Construct<ToolboxInstallImp>},
#ifdef _WIN32
    {kGUI_ToolboxInstallType, Construct<GUI_ToolboxInstallImp>},
    {kGUI_LicenseDisplayType, Construct<GUI_LicenseDisplayImp>},
#endif
};
const ClassEntry* const kClassTable = kRows;
const int kClassCount = sizeof kRows / sizeof kRows[0];

}  // namespace VLN2
