// The gate every path the installer acts on passes before it is opened: its text by the path
// rules (framework/PathRules.h), then what only the system can tell: whether its drive exists
// as this process sees it, and whether its volume lies on this computer.
#pragma once

namespace VLN2 {

enum class PathFault {
  kNone,
  kNotPlain,  // not a full path on a drive, or a name Windows would not keep as written
  kNoDrive,   // its drive does not exist for this process
  kNetwork,   // on another computer's disk: the checks and the writes would see it apart
};

// What keeps the installer from acting on path; kNone when nothing does.
PathFault CheckPlace(const char* path);

// Why a path of that fault cannot be used, as a clause after the path ("is not ...").
const char* DescribePathFault(PathFault fault);

}  // namespace VLN2
