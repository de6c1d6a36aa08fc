#include "system/PathGate.h"

#include "framework/PathRules.h"
#include "system/port/Port.h"

namespace VLN2 {

PathFault CheckPlace(const char* path) {
  if (!IsPlainPath(path)) return PathFault::kNotPlain;
  char volume[kMaxPathSize];
  if (!Port::GetVolumeFolder(path, volume, sizeof volume)) return PathFault::kNoDrive;
  return Port::IsNetworkVolume(volume) ? PathFault::kNetwork : PathFault::kNone;
}

const char* DescribePathFault(PathFault fault) {
  switch (fault) {
    case PathFault::kNotPlain:
      return " is not a full path on a drive of this computer, or names a device, ends in a "
             "dot or a blank, or is too long";
    case PathFault::kNoDrive:
      return " is on a drive that does not exist on this computer";
    case PathFault::kNetwork:
      return " is on a network drive: Setup installs only on this computer's own disks";
    default:
      return "";
  }
}

}  // namespace VLN2
