#include "installer/InstallerDriver.h"

#include <cstring>

#include "archive/BinaryStream.h"
#include "archive/Stream.h"
#include "framework/ElementRef.h"
#include "framework/FilePath.h"
#include "framework/String.h"
#include "installer/ClassTable.h"
#include "installer/Targets.h"
#include "installer/ToolboxInstall.h"
#include "system/Registry.h"
#include "system/SystemAppImp.h"
#include "ui/GUI_ToolboxInstall.h"

namespace VLN2 {
namespace {

const char* const kMaxServerKey =
    "SOFTWARE\\Classes\\CLSID\\{5985293F-A250-11d1-BCC1-0060B01A6606}\\";
const char* const kMax9Key = "SOFTWARE\\Autodesk\\3dsMax\\9.0\\MAX-1:409";
const char* const kArchiCADKey = "Software\\Graphisoft\\ArchiCAD\\";
const char* const kCinema4DR9Key = "SOFTWARE\\MAXON\\CINEMA 4D\\9.0\\";
const char* const kCinema4DR10Key = "SOFTWARE\\MAXON\\CINEMA 4D\\10.0\\";
const char* const kMicroStationKey =
    "SOFTWARE\\Classes\\CLSID\\{6BA41DED-589A-427C-B829-B12F68C651B6}\\";
const char* const kArchiveResourceType = "ARCHIVE";
constexpr int kArchiveResourceId = 105;

// The target a 3ds Max of that product major version installs, or -1.
int MaxTargetOfVersion(int major) {
  switch (major) {
    case 3:
      return kTarget3dsMax3;
    case 4:
    case 5:
      return kTarget3dsMax4;
    case 6:
    case 7:
      return kTarget3dsMax6;
    case 8:
      return kTarget3dsMax8;
    default:
      return -1;
  }
}

// Reads the named value ("^Name") of the open key into buffer, always NUL-terminated;
// false when it is missing.
class ValueBuffer {
 public:
  bool Read(RegistryKey& key, const char* name) {
    std::memset(text, 0, sizeof text);
    return key.QueryString(name, text, sizeof text - 1) == 0;
  }
  char text[256];
};

class Detector {
 public:
  explicit Detector(GUI_ToolboxInstall* form) : form_(form) {}

  // Selects the target with the folder of path followed by subfolder.
  void DetectFolderOf(int index, const char* path, const char* subfolder) {
    ElementRef<FilePath> folder = ElementRef<FilePath>::Create(kFilePathType);
    if (!folder || folder->SetPath(path) != 0) return;
    folder->SetFileName(nullptr);
    if (folder->AppendPath(subfolder) != 0) return;
    Detect(index, folder->GetPath());
  }
  void Detect(int index, const char* folder) {
    form_->SetTargetPath(index, folder);
    form_->SetTargetSelected(index, true);
  }

 private:
  GUI_ToolboxInstall* form_;
};

// Writes the embedded archive to path; the file exists afterwards whenever it could be
// created. False when no BinaryStream could be had at all.
bool CopyPayload(SystemApp* app, const char* path) {
  ElementRef<BinaryStream> file = ElementRef<BinaryStream>::Create(kBinaryStreamType);
  if (!file) return false;
  file->SetStreamPath(path);
  Stream* stream = CastTo<Stream>(file.get());
  if (stream && stream->OpenStream() == 0) {
    const void* data = nullptr;
    std::uint32_t size = 0;
    if (Port::FindResource(app->GetInstance(), kArchiveResourceType, kArchiveResourceId, &data,
                           &size) &&
        size && data)
      stream->WriteData(data, size);
    stream->CloseStream();
  }
  return true;
}

}  // namespace

void InstallerDriver::DetectHosts(GUI_ToolboxInstall* form) {
  Detector detector(form);
  RegistryKey key;
  RegistryValue localServer("LocalServer");
  ValueBuffer value;

  key.SetRootKey(Port::kLocalMachine);
  if (key.OpenKey(kMaxServerKey) == 0) {
    localServer.Query(key);
    key.CloseKey();
    if (const char* program = localServer.GetText()) {
      int target = MaxTargetOfVersion(Port::GetProductMajorVersion(program));
      if (target >= 0) detector.DetectFolderOf(target, program, "Plugins\\");
    }
  }

  if (key.OpenKey(kMax9Key) == 0) {
    if (value.Read(key, "^Installdir"))
      detector.DetectFolderOf(kTarget3dsMax9, value.text, "Plugins\\");
    key.CloseKey();
  }

  // Whatever version was started last, its folder goes to the ArchiCAD 9 target.
  key.SetRootKey(Port::kCurrentUser);
  if (key.OpenKey(kArchiCADKey) == 0) {
    if (value.Read(key, "^Last Started Version")) {
      RegistryValue lastStarted(value.text);
      if (lastStarted.Query(key) == 0 && lastStarted.GetText())
        detector.DetectFolderOf(kTargetArchiCAD9, lastStarted.GetText(), "Add-Ons\\");
    }
    key.CloseKey();
  }

  key.SetRootKey(Port::kLocalMachine);
  const struct {
    const char* key;
    int target;
  } cinema[] = {{kCinema4DR9Key, kTargetCinema4DR9}, {kCinema4DR10Key, kTargetCinema4DR10}};
  for (const auto& version : cinema) {
    if (key.OpenKey(version.key) != 0) continue;
    if (value.Read(key, "^InstallPath")) detector.Detect(version.target, value.text);
    key.CloseKey();
  }

  RegistryValue localServer32("LocalServer32");
  if (key.OpenKey(kMicroStationKey) == 0) {
    if (localServer32.Query(key) == 0 && localServer32.GetText())
      detector.DetectFolderOf(kTargetMicroStation, localServer32.GetText(), "mdlapps\\");
    key.CloseKey();
  }

  if (SystemApp* app = core_->GetSystemApp()) {
    ElementRef<String> sdk = ElementRef<String>::Create(kStringType);
    if (sdk && sdk->SetText(app->GetBaseFolder()) == 0 && sdk->Append("SDK\\") == 0)
      form->SetTargetPath(kTargetSDK, sdk->GetText());
  }
}

void InstallerDriver::Install(GUI_ToolboxInstall* form) {
  // Creating the procedure removes the previous installation.
  ElementRef<ToolboxInstall> install = ElementRef<ToolboxInstall>::Create(kToolboxInstallType);
  if (!install) return;
  SystemApp* app = core_->GetSystemApp();
  // Without its private temporary folder the archive would land wherever the process
  // stands: nothing is copied or installed then.
  ElementRef<String> archivePath;
  if (app && app->GetTempFolder()) archivePath = ElementRef<String>::Create(kStringType);
  if (archivePath && archivePath->SetText(app->GetTempFolder()) == 0 &&
      archivePath->Append("Archive.DAT") == 0 && CopyPayload(app, archivePath->GetText())) {
    bool sharedInstalled = false;
    for (int index = 0; index < kTargetCount; ++index) {
      if (!form->IsTargetSelected(index)) continue;
      if (!sharedInstalled) install->InstallSharedFiles(archivePath->GetText());
      sharedInstalled = true;
      install->InstallTarget(index, archivePath->GetText(), form->GetTargetPath(index));
    }
  }
  install->ShowReport();
  // Releasing the procedure writes the new installation record.
}

int InstallerDriver::RunInstallation() {
  ElementRef<Element> component(core_->CreateElement(kGUI_ToolboxInstallType, 0));
  GUI_ToolboxInstall* form = CastTo<GUI_ToolboxInstall>(component.get());
  if (!form) return 1;
  DetectHosts(form);
  int result = form->Run();
  if (result == 0) Install(form);
  return result;
}

int RunProgram(Port::ModuleHandle module) {
  Port::CreateLock();
  int exitCode = 1;
  auto* core = new CoreImp(kClassTable, kClassCount);
  if (!core) {
    Port::DeleteLock();
    return 1;
  }
  if (core->Init() == 0) {
    if (auto* app = new SystemAppImp(core, module, nullptr, 0)) {
      app->Init();
      core->SetSystemApp(app);
      if (auto* driver = new InstallerDriver(core)) {
        exitCode = driver->RunInstallation() != 0 ? 0 : 1;
        delete driver;
      }
    }
  }
  // Releases the application object, which removes its temporary folder.
  core->Destroy();
  delete core;
  Port::DeleteLock();
  return exitCode;
}

}  // namespace VLN2
