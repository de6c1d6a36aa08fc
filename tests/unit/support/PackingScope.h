// Streams made while a PackingScope lives pack with its packing, through a device of its own
// registered in the Core, as vlnpack's is.
#pragma once

#include "archive/CompressDeviceImp.h"

namespace VLN2 {

class PackingScope {
 public:
  PackingScope(Core* core, Packing packing)
      : core_(core), device_(new CompressDeviceImp(core, packing)) {
    device_->AddRef();
    core_->SetRegistered(kCompressDeviceType, device_);
  }
  ~PackingScope() {
    core_->SetRegistered(kCompressDeviceType, nullptr);
    device_->Release();
  }

 private:
  Core* core_;
  CompressDeviceImp* device_;
};

}  // namespace VLN2
