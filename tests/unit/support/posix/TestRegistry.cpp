// Registry fixtures natively: the POSIX port's in-memory registry.
#include "unit/support/TestRegistry.h"

#include <unistd.h>

#include "system/port/posix/PosixPort.h"

namespace VLN2 {

TestRegistry::TestRegistry() : base_("Software\\VorlaneTest\\" + std::to_string(getpid())) {
  PosixPort::ClearRegistry();
}

TestRegistry::~TestRegistry() { PosixPort::ClearRegistry(); }

// The in-memory registry is this process's own already.
void TestRegistry::StandIn() { standIn_ = true; }

void TestRegistry::SetData(Port::RegistryHandle root, const std::string& key, const char* name,
                           const void* data, std::uint32_t size) {
  PosixPort::SetRegistryData(root, key.c_str(), name, data, size);
}

void TestRegistry::CreateKey(Port::RegistryHandle root, const std::string& key) {
  PosixPort::CreateRegistryKey(root, key.c_str());
}

}  // namespace VLN2
