#include "installer/SingleInstance.h"

namespace VLN2 {

const char* const kAlreadyRunningText = "VorlaneBox Setup is already running.";
const char* const kAlreadyRunningCaption = "VorlaneBox Setup";

SingleInstance::SingleInstance() : claim_(Port::ClaimInstanceMutex("VorlaneBoxSetup", &mutex_)) {}

SingleInstance::~SingleInstance() { Port::CloseInstanceMutex(mutex_); }

}  // namespace VLN2
