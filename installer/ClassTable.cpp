#include "installer/ClassTable.h"

#include "archive/ArchiveEntryImp.h"
#include "archive/ArchiveImp.h"
#include "archive/BinaryStreamImp.h"
#include "archive/CompressDeviceImp.h"
#include "archive/CompressStreamImp.h"
#include "framework/DynamicSizeElementIteratorImp.h"
#include "framework/ElementContainerImp.h"
#include "framework/FilePathImp.h"
#include "framework/ListImp.h"
#include "framework/StaticSizeElementIteratorImp.h"
#include "framework/StringImp.h"
#include "framework/StringUtilImp.h"
#include "installer/ToolboxInstallImp.h"
#include "installer/UninstallerImp.h"
#include "system/FileFuncImp.h"
#include "system/FileSystemIteratorImp.h"
#include "system/SystemAppImp.h"
#ifdef _WIN32
#include "ui/GUI_LicenseDisplayImp.h"
#include "ui/GUI_ToolboxInstallImp.h"
#endif

namespace VLN2 {

// Every class but the form's.
// clang-format off
#define VLN2_REMOVAL_ROWS                                                        \
    {0, Construct<SystemTimeImp>},                                               \
    {kSystemTimeType, Construct<SystemTimeImp>},                                 \
    {kStringType, Construct<StringImp>},                                         \
    {kListType, Construct<ListImp>},                                             \
    {kListEntryType, Construct<ListEntryImp>},                                   \
    {kFileSystemIteratorType, Construct<FileSystemIteratorImp>},                 \
    {kFilePathType, Construct<FilePathImp>},                                     \
    {kBinaryStreamType, Construct<BinaryStreamImp>},                             \
    {kArchiveType, Construct<ArchiveImp>},                                       \
    {kArchiveEntryType, Construct<ArchiveEntryImp>},                             \
    {kCompressDeviceType, Construct<CompressDeviceImp>},                         \
    {kCompressStreamType, Construct<CompressStreamImp>},                         \
    {kToolboxInstallType, Construct<ToolboxInstallImp>},                         \
    {kUninstallerType, Construct<UninstallerImp>},                               \
    {kFileFuncType, Construct<FileFuncImp>},                                     \
    {kStaticElementArrayType, Construct<StaticElementArrayImp>},                 \
    {kElementContainerType, Construct<ElementContainerImp>},                     \
    {kStaticSizeElementIteratorType, Construct<StaticSizeElementIteratorImp>},   \
    {kDynamicSizeElementIteratorType, Construct<DynamicSizeElementIteratorImp>}, \
    {kStringUtilType, Construct<StringUtilImp>},
// clang-format on

const ClassEntry kRows[] = {
    VLN2_REMOVAL_ROWS
#ifdef _WIN32
    {kGUI_ToolboxInstallType, Construct<GUI_ToolboxInstallImp>},
    {kGUI_LicenseDisplayType, Construct<GUI_LicenseDisplayImp>},
#endif
};
const ClassEntry kRemovalRows[] = {VLN2_REMOVAL_ROWS};
const ClassEntry* const kClassTable = kRows;
const int kClassCount = sizeof kRows / sizeof kRows[0];
const ClassEntry* const kRemovalClassTable = kRemovalRows;
const int kRemovalClassCount = sizeof kRemovalRows / sizeof kRemovalRows[0];

}  // namespace VLN2
