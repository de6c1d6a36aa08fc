// What the registry fixtures share; the platform's halves are in win32/ and posix/.
#include "unit/support/TestRegistry.h"

namespace VLN2 {

std::string TestRegistry::Key(const std::string& sub) const {
  return sub.empty() ? base_ : base_ + "\\" + sub;
}

void TestRegistry::SetText(Port::RegistryHandle root, const std::string& key, const char* name,
                           const char* text) {
  std::string data = text ? text : "";
  SetData(root, key, name, data.c_str(), static_cast<std::uint32_t>(data.size() + 1));
}

}  // namespace VLN2
