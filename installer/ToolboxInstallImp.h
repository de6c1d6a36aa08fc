#pragma once

#include "framework/ElementImp.h"
#include "installer/ToolboxInstall.h"

namespace VLN2 {

class Archive;
class String;
class Uninstaller;

class ToolboxInstallImp : public ElementImp<ToolboxInstall>, public InstallSource {
 public:
  explicit ToolboxInstallImp(Core* core) : ElementImp(core, kToolboxInstallType) {}

  // Removes what the previous installation recorded.
  int Init() override;
  // Writes the new installation record, unless SaveRecord did.
  int Destroy() override;
  void* Cast(int interfaceId) override;
  int UseArchive(Archive* archive) override;

  int InstallTarget(int index, const char* archivePath, const char* folder) override;
  int InstallSharedFiles(const char* archivePath) override;
  // Writes the record unless SaveRecord did, then shows the targets' texts and what went
  // wrong besides.
  int ShowReport() override;
  int SaveRecord() override;

 private:
  // Records every entry below prefix as a file of destination, with its folder.
  // 1 when an entry could not be recorded.
  int RecordFolder(Archive* archive, const char* destination, const char* prefix);
  // Opens the archive, records and extracts the entries below prefix into destination.
  int InstallFolder(const char* archivePath, const char* destination, const char* prefix);

  static constexpr int kNotAttempted = 18;
  int* status_ = nullptr;
  Archive* archive_ = nullptr;  // the open archive of UseArchive, or null
  Uninstaller* uninstaller_ = nullptr;
  bool recordSaved_ = false;
  bool recordLost_ = false;
  bool sharedFailed_ = false;
  bool recordDamaged_ = false;  // the previous record was cut short
  String* leftOver_ = nullptr;  // the previous files that stayed, one a line
};

}  // namespace VLN2
