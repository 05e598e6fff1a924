// The Linux SG_IO road in portable terms: what one pass-through request
// becomes as an sg version 3 request, and how the kernel's outcome (errno,
// host, driver and SCSI status, sense length, residual count) comes back
// into the pass-through request as the Windows error and fields that the
// mapping (CSptiLayer) reads. No system header: the native tests check it
// on any host; LinuxDeviceIo.cpp copies it to and from sg_io_hdr.
#pragma once

#include <cstdint>
#include <string>

#include "spti/DeviceIo.h"

namespace spti {

// sg_io_hdr.dxfer_direction.
enum : int { kSgDxferNone = -1, kSgDxferToDev = -2, kSgDxferFromDev = -3 };

// sg_io_hdr.host_status (the kernel's DID_* codes) that are told apart.
enum : std::uint16_t {
  kDidOk = 0x00,
  kDidNoConnect = 0x01,
  kDidTimeOut = 0x03,
  kDidBadTarget = 0x04,
  kDidError = 0x07
};
// sg_io_hdr.driver_status, low nibble (the high one carries suggestions).
enum : std::uint16_t { kDriverOk = 0, kDriverTimeout = 6, kDriverSense = 8, kDriverMask = 0x0F };

struct SgioRequest {
  int direction = kSgDxferNone;
  std::uint8_t cmdLen = 0;
  const std::uint8_t* cdb = nullptr;
  std::uint8_t senseMax = 0;
  std::uint8_t* sense = nullptr;
  std::uint32_t dxferLen = 0;
  void* data = nullptr;
  std::uint32_t timeoutMs = 0;
};

struct SgioOutcome {
  int nErrno = 0;  // of ioctl(SG_IO); 0 when the kernel carried the request
  std::uint8_t status = 0;  // SCSI status byte
  std::uint8_t maskedStatus = 0;
  std::uint16_t hostStatus = 0;
  std::uint16_t driverStatus = 0;
  std::uint8_t senseLen = 0;  // sb_len_wr
  std::int32_t resid = 0;
};

// The request as sg sends it; the CDB, sense area and data buffer are the
// pass-through request's own. A request without a data direction carries
// no data (the kernel cannot guess one).
SgioRequest SgioFromPassThrough(PassThroughRequest& rq);

// Writes the outcome into `rq` (SCSI status, sense length, bytes moved in
// either direction) and returns the Windows error the mapping reads, 0 when
// the drive answered. Ranked as the kernel's layers are: the system call's
// errno, then the host (transport), then the driver, then the SCSI status.
std::uint32_t ApplySgioOutcome(const SgioOutcome& o, const SgioRequest& sent,
                               PassThroughRequest* rq);

// The errno of collecting a generic node's answer with read(): `got`
// bytes of a header of `size`, carrying `interfaceId`. Only a whole header
// that is still an sg version 3 one is an answer: the part not read back
// would keep what this process wrote, a good status among it.
int SgHeaderReadErrno(long got, std::size_t size, int interfaceId);

std::uint32_t WinErrorFromErrno(int err);

// "EPERM: Operation not permitted".
std::string ErrnoText(int err);
// "host status 03h (DID_TIME_OUT)", "driver status 06h (DRIVER_TIMEOUT)";
// empty when host and driver did their part.
std::string TransportText(const SgioOutcome& o);

}  // namespace spti
