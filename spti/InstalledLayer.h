// Which road answers the ASPI calls: this library's own pass-through, or an
// ASPI layer installed in the system folder. The 9x family has no
// pass-through, so there the installed layer serves; on the NT family the
// pass-through serves whenever it opens a CD/DVD device, and the installed
// layer only when it opens none. A layer counts only when it is not this
// library, has both entry points, reports ready and at least one host
// adapter. Plain C++: the native tests drive it against fakes.
#pragma once

#include <string>

#include "aspi/wnaspi32.h"
#include "spti/DeviceIo.h"
#include "spti/SptiLayer.h"
#include "spti/SystemLibraries.h"

namespace spti {

typedef DWORD (*PfnAspiSupportInfo)(void);
typedef DWORD (*PfnAspiSendCommand)(void*);

class CAspiRouter {
 public:
  enum Road { kUndecided, kPassThrough, kInstalled };

  // `io` carries the diagnostics, as the pass-through's own do.
  CAspiRouter(CSptiLayer& layer, CSystemLibraries& sys, CDeviceIo& io)
      : m_layer(layer), m_sys(sys), m_io(io) {}
  // An installed layer in use stays loaded: this runs while the process
  // lets this library go, where freeing another library is not allowed.
  ~CAspiRouter() = default;
  CAspiRouter(const CAspiRouter&) = delete;
  CAspiRouter& operator=(const CAspiRouter&) = delete;

  // GetASPI32SupportInfo: chooses the road afresh and answers from it.
  DWORD SupportInfo();
  // SendASPI32Command on the road chosen (chosen first if not yet).
  // OrvexDriveHold: the pass-through's hold; an installed layer offers none.
  DWORD Hold(DWORD op, BYTE ha, BYTE target, BYTE lun);
  // OrvexDeviceName: the pass-through's device; an installed layer names none.
  DWORD DeviceName(BYTE ha, BYTE target, BYTE lun, char* name, DWORD size);
  DWORD Send(void* srb);

  Road CurrentRoad() const { return m_road; }

 private:
  enum Probe { kNotProbed, kUsable, kRejected };
  // Loads and checks the installed layer the first time; true when it
  // serves now, with its support answer in *info.
  bool InstalledServes(DWORD* info);
  void Reject(const std::string& why, ModHandle m);
  void Take(Road road, const std::string& why);

  CSptiLayer& m_layer;
  CSystemLibraries& m_sys;
  CDeviceIo& m_io;
  Road m_road = kUndecided;
  std::string m_lastReport;
  Probe m_probe = kNotProbed;
  std::string m_path;
  ModHandle m_module = 0;
  PfnAspiSupportInfo m_pfnSupport = nullptr;
  PfnAspiSendCommand m_pfnSend = nullptr;
};

}  // namespace spti
