// What the exported entry points take from the operating system: the
// device layer and one lock around the pass-through layer.
#pragma once

#include "spti/DeviceIo.h"

namespace spti {

CDeviceIo& PlatformDeviceIo();

class CLayerLock {
 public:
  CLayerLock();
  ~CLayerLock();
  CLayerLock(const CLayerLock&) = delete;
  CLayerLock& operator=(const CLayerLock&) = delete;
};

}  // namespace spti
