// ASPI for Win32 answered over the NT SCSI pass-through: CD/DVD devices
// are found by drive letter and \\.\CdRomN, placed at ASPI addresses from
// their SCSI addresses, and every execute request becomes one
// IOCTL_SCSI_PASS_THROUGH_DIRECT on the device's handle. Requests complete
// before SendASPI32Command returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "aspi/wnaspi32.h"
#include "spti/DeviceIo.h"

namespace spti {

// A byte as two hex digits and "h", for the library's messages.
std::string Hex2(unsigned v);

// The port's limit for one request, in seconds.
constexpr std::uint32_t kTimeoutSeconds = 60;
// Highest \\.\CdRomN tried.
constexpr int kMaxCdRomIndex = 31;
// Alignment assumed when the port does not tell: DWORD, which the common
// adapters need and costs nothing for the others.
constexpr std::uint32_t kDefaultAlignMask = 3;

class CSptiLayer {
 public:
  explicit CSptiLayer(CDeviceIo& io) : m_io(io) {}
  ~CSptiLayer();
  CSptiLayer(const CSptiLayer&) = delete;
  CSptiLayer& operator=(const CSptiLayer&) = delete;

  // GetASPI32SupportInfo: finds the devices afresh and answers
  // SS_COMP << 8 | adapters, or SS_NO_ADAPTERS << 8 when CD/DVD devices
  // exist but none could be opened for lack of rights.
  DWORD SupportInfo();
  // SendASPI32Command: answers the block and returns its SRB_Status.
  DWORD Send(void* srb);
  // OrvexDriveHold: ORVEX_HELD, ORVEX_HOLD_BUSY, ORVEX_HOLD_UNAVAILABLE
  // (the system's error above the low byte) or ORVEX_HOLD_NO_DEVICE; for
  // ORVEX_HOLD_BUSY_COUNT the number of devices the last search found
  // held by another process. A new search lets every hold go.
  DWORD Hold(DWORD op, BYTE ha, BYTE target, BYTE lun);
  // OrvexDeviceName: the path the search opened the device by (its user's
  // name for it, /dev/srN on Linux, whichever node carries the requests).
  DWORD DeviceName(BYTE ha, BYTE target, BYTE lun, char* name, DWORD size);

  struct Device {
    std::string path;
    DevHandle handle = 0;
    ScsiAddress address = {};
    BYTE haId = 0;
    // A CDB length the port refused was sent padded; send such lengths
    // padded from then on.
    bool padCdb = false;
    bool held = false;
  };
  struct Adapter {
    BYTE port = 0;
    BYTE pathId = 0;
    BYTE scsiId = 7;
    std::uint32_t alignMask = kDefaultAlignMask;
    std::uint32_t maxTransfer = 0;  // 0: not known, not enforced
  };
  const std::vector<Device>& Devices() const { return m_devices; }
  const std::vector<Adapter>& Adapters() const { return m_adapters; }

 private:
  void Enumerate();
  void CloseAll();
  void ReadLimits(DevHandle h, Adapter* a);
  Device* Find(BYTE ha, BYTE target, BYTE lun);
  BYTE ExecScsi(SRB_ExecSCSICmd& srb);
  BYTE HaInquiry(SRB_HAInquiry& srb);
  BYTE GetDevType(SRB_GDEVBlock& srb);
  std::uint32_t PassThrough(Device& d, const SRB_ExecSCSICmd& srb, BYTE* data,
                            BYTE cdbLen, PassThroughRequest* rq);

  CDeviceIo& m_io;
  bool m_bEnumerated = false;
  int m_nDenied = 0;  // paths refused for lack of rights at the last search
  int m_nBusy = 0;    // paths held by another process at the last search
  std::vector<Device> m_devices;
  std::vector<Adapter> m_adapters;
};

}  // namespace spti
