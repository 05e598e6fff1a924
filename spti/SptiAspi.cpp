// The two ASPI for Win32 entry points of the pass-through library.
#include "aspi/wnaspi32.h"
#include "spti/InstalledLayer.h"
#include "spti/SptiLayer.h"
#include "spti/SptiPort.h"

namespace {

spti::CSptiLayer& Layer() {
  // Built on first use, closed with the library: its device handles go
  // when the process lets the library go.
  static spti::CSptiLayer layer(spti::PlatformDeviceIo());
  return layer;
}

// The pass-through, or an installed ASPI layer where it cannot serve.
spti::CAspiRouter& Router() {
  static spti::CAspiRouter router(Layer(), spti::PlatformSystemLibraries(),
                                  spti::PlatformDeviceIo());
  return router;
}

}  // namespace

// One request at a time: the device table is rebuilt by
// GetASPI32SupportInfo, and pass-through requests complete before the call
// returns (an installed layer's complete as that layer does).
extern "C" DWORD GetASPI32SupportInfo(void) {
  spti::CLayerLock lock;
  return Router().SupportInfo();
}

extern "C" DWORD SendASPI32Command(void* srb) {
  spti::CLayerLock lock;
  return Router().Send(srb);
}

// The updater's hold of one drive through an update (aspi/wnaspi32.h).
extern "C" DWORD OrvexDriveHold(DWORD op, BYTE ha, BYTE target, BYTE lun) {
  spti::CLayerLock lock;
  return Router().Hold(op, ha, target, lun);
}

// The device at an address, for the updaters' lock between processes.
extern "C" DWORD OrvexDeviceName(BYTE ha, BYTE target, BYTE lun, char* name, DWORD size) {
  spti::CLayerLock lock;
  return Router().DeviceName(ha, target, lun, name, size);
}
