#include "installer/Targets.h"

namespace VLN2 {

const char* const kSharedFolder = "VLN2_Resources\\";
const char* const kReportCaption = "VorlaneBox Installation Report";
const char* const kSetupCaption = "VorlaneBox Setup";

namespace {

#define MAX_CLSID "SOFTWARE\\Classes\\CLSID\\{5985293F-A250-11d1-BCC1-0060B01A6606}\\LocalServer"
#define UTILITIES "The plug-in can now be found in the 'Utilities' panel.\n"
#define VLN_FILE "The plug-in can now be started by saving a 3D scene as a *.vln file.\n"
#define PLUGINS_MENU "The plug-in can now be found in the 'Plugins' menu.\n"
#define FAILED(host)                           \
  "\nThe installation of VorlaneBox for " host \
  " failed. Make sure that the program is closed before installing.\n"
#define SUCCEEDED(host, hint) "\nVorlaneBox for " host " is successfully installed.\n" hint

const Target kTargets[kTargetCount] = {
    {"max3", "3D Studio Max 3 or Autodesk Viz 3", MAX_CLSID " (product major version 3)",
     "3DSMax3\\", SUCCEEDED("3ds Max 3 or Autodesk Viz 3", UTILITIES),
     FAILED("3ds Max 3 or Autodesk Viz 3")},
    {"max4", "3D Studio Max 4 or Autodesk Viz 4", MAX_CLSID " (product major version 4 or 5)",
     "3DSMax4\\", SUCCEEDED("3ds Max 4 or Autodesk Viz 4", UTILITIES),
     FAILED("3ds Max 4 or Autodesk Viz 4")},
    {"max5", "3D Studio Max 5", nullptr, "3DSMax4\\", SUCCEEDED("3ds Max 5", UTILITIES),
     FAILED("3ds Max 5")},
    {"max6", "3D Studio Max 6 or Autodesk Viz 5", MAX_CLSID " (product major version 6 or 7)",
     "3DSMax6\\", SUCCEEDED("3ds Max 6 or Autodesk Viz 5", UTILITIES),
     FAILED("3ds Max 6 or Autodesk Viz 5")},
    {"max7", "3D Studio Max 7", nullptr, "3DSMax6\\", SUCCEEDED("3ds Max 7", UTILITIES),
     FAILED("3ds Max 7")},
    {"max8", "3D Studio Max 8", MAX_CLSID " (product major version 8)", "3DSMax6\\",
     SUCCEEDED("3ds Max 8", UTILITIES), FAILED("3ds Max 8")},
    {"max9", "3D Studio Max 9", "SOFTWARE\\Autodesk\\3dsMax\\9.0\\MAX-1:409, value Installdir",
     "3DSMax9\\", SUCCEEDED("3ds Max 9", UTILITIES), FAILED("3ds Max 9")},
    {"microstation", "MicroStation",
     "SOFTWARE\\Classes\\CLSID\\{6BA41DED-589A-427C-B829-B12F68C651B6}\\LocalServer32",
     "MicroStation\\",
     SUCCEEDED("MicroStation", "The plug-in can now be found under 'Export' in the File menu.\n"),
     FAILED("MicroStation")},
    {"archicad9", "ArchiCAD 9",
     "HKEY_CURRENT_USER Software\\Graphisoft\\ArchiCAD\\, value Last Started Version names the "
     "subkey",
     "Archicad\\", SUCCEEDED("ArchiCAD 9", VLN_FILE), FAILED("ArchiCAD 9")},
    {"archicad10", "ArchiCAD 10", nullptr, "Archicad10\\", SUCCEEDED("ArchiCAD 10", VLN_FILE),
     FAILED("ArchiCAD 10")},
    {"c4d-r8", "Cinema 4D R8", nullptr, "Cinema4D\\", SUCCEEDED("Cinema4D R8", PLUGINS_MENU),
     FAILED("Cinema4D R8")},
    {"c4d-r9", "Cinema4D R9", "SOFTWARE\\MAXON\\CINEMA 4D\\9.0\\, value InstallPath", "Cinema4D\\",
     SUCCEEDED("Cinema4D R9", PLUGINS_MENU), FAILED("Cinema4D R9")},
    {"c4d-r10", "Cinema4D R10", "SOFTWARE\\MAXON\\CINEMA 4D\\10.0\\, value InstallPath",
     "Cinema4D10\\", SUCCEEDED("Cinema4D R10", PLUGINS_MENU), FAILED("Cinema4D R10")},
    {"sdk", "Vorlane SDK", "not detected: base folder + SDK\\, proposed unselected", "SDK\\",
     "\nVorlane SDK is successfully installed.\nYou need a C++ compiler to use it.\n",
     "\nThe installation of Vorlane SDK failed. Make sure that no files are in used before "
     "installing.\n"},
};

}  // namespace

const Target* FindTarget(int index) {
  return index >= 0 && index < kTargetCount ? &kTargets[index] : nullptr;
}

}  // namespace VLN2
