#include "installer/SingleInstance.h"

namespace VLN2 {

const char* const kAlreadyRunningText = "VorlaneBox Setup is already running.";
const char* const kNotAloneText =
    "VorlaneBox Setup cannot make sure that no other copy of it is running, and has ended. "
    "Nothing was changed on this computer.";

SingleInstance::SingleInstance() : claim_(Port::ClaimInstanceMutex("VorlaneBoxSetup", &mutex_)) {}

SingleInstance::~SingleInstance() { Port::CloseInstanceMutex(mutex_); }

}  // namespace VLN2
