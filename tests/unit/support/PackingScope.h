// Streams made while a PackingScope lives pack with its packing, through a device of its own
// registered in the Core, as vlnpack's is.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "archive/CompressDeviceImp.h"
#include "archive/Packer.h"

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
  PackingScope(const PackingScope&) = delete;
  PackingScope& operator=(const PackingScope&) = delete;

 private:
  Core* core_;
  CompressDeviceImp* device_;
};

// Every level of every encoder this build has.
inline std::vector<Packing> EveryPacking() {
  std::vector<Packing> packings;
  for (Encoder encoder : {Encoder::kZlib, Encoder::kLibdeflate})
    for (int level = 1; level <= HighestLevel(encoder); ++level)
      packings.push_back({encoder, level});
  return packings;
}

}  // namespace VLN2
