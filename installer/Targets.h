// The fourteen installation targets: index 0 to 13 ties host, detection, archive folder
// and report texts together. The order of the indices is the order of installation and
// of the report.
#pragma once

namespace VLN2 {

constexpr int kTargetCount = 14;

// Indices the driver and the form name.
enum TargetIndex {
  kTarget3dsMax3 = 0,
  kTarget3dsMax4 = 1,
  kTarget3dsMax5 = 2,
  kTarget3dsMax6 = 3,
  kTarget3dsMax7 = 4,
  kTarget3dsMax8 = 5,
  kTarget3dsMax9 = 6,
  kTargetMicroStation = 7,
  kTargetArchiCAD9 = 8,
  kTargetArchiCAD10 = 9,
  kTargetCinema4DR8 = 10,
  kTargetCinema4DR9 = 11,
  kTargetCinema4DR10 = 12,
  kTargetSDK = 13,
};

struct Target {
  const char* key;            // its name on the command line
  const char* name;           // the host and version, as the form's check box names it
  const char* detection;      // where the driver finds the host, for people
  const char* archiveFolder;  // the top-level archive folder installed for the target
  const char* successText;    // report entry after a successful installation
  const char* failureText;    // report entry after a failed one
};

// The target of an index, or null outside 0 to 13.
const Target* FindTarget(int index);

// The archive folder installed into the toolbox folder before the first target.
extern const char* const kSharedFolder;
// The caption of the report box.
extern const char* const kReportCaption;
// The caption of the boxes Setup shows about itself.
extern const char* const kSetupCaption;

}  // namespace VLN2
