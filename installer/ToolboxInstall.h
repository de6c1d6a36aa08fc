// ToolboxInstall: one installation. Creating it removes what the previous installation
// recorded; releasing it writes the new installation record.
#pragma once

#include "framework/VLN2.h"

namespace VLN2 {

class InstallPlan;

class ToolboxInstall : public Element {
 public:
  // Installs target index (0 to 13) from the archive file into folder; the target's
  // status: 0 installed, anything else failed.
  virtual int InstallTarget(int index, const char* archivePath, const char* folder) = 0;
  // Installs the shared resources into the toolbox folder and records the record file;
  // 1 when the archive could not be opened or a file not written.
  virtual int InstallSharedFiles(const char* archivePath) = 0;
  // Shows the report of the attempted targets; nothing when none was attempted.
  virtual int ShowReport() = 0;
  // Writes the installation record now, instead of at the release; 0 when it was written.
  virtual int SaveRecord() = 0;
};

// What an installation carries out; reached from a ToolboxInstall with Cast.
class InstallSource {
 public:
  static constexpr int kInterfaceId = kInstallSourceInterface;
  virtual ~InstallSource() = default;
  // The plan the shared files and the targets are installed from: its archive, read through
  // the handle the checks read, in place of the archive file named to them; its files; its
  // previous record. It must outlive the installation. 0.
  virtual int UsePlan(const InstallPlan* plan) = 0;
};

}  // namespace VLN2
