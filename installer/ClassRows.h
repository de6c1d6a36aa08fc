// The rows of the class tables that both programs have: the classes a removal creates. Setup's
// table adds the archive, the installation and the form. Included by the tables' files alone.
#pragma once

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
#include "installer/UninstallerImp.h"
#include "system/FileFuncImp.h"
#include "system/FileSystemIteratorImp.h"
#include "system/SystemAppImp.h"

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
    {kCompressDeviceType, Construct<CompressDeviceImp>},                         \
    {kCompressStreamType, Construct<CompressStreamImp>},                         \
    {kUninstallerType, Construct<UninstallerImp>},                               \
    {kFileFuncType, Construct<FileFuncImp>},                                     \
    {kStaticElementArrayType, Construct<StaticElementArrayImp>},                 \
    {kElementContainerType, Construct<ElementContainerImp>},                     \
    {kStaticSizeElementIteratorType, Construct<StaticSizeElementIteratorImp>},   \
    {kDynamicSizeElementIteratorType, Construct<DynamicSizeElementIteratorImp>}, \
    {kStringUtilType, Construct<StringUtilImp>},
// clang-format on
