// SG_IO requests and outcomes against the pass-through request.
#include "spti/SgioMap.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "spti/SptiLayer.h"

namespace spti {

namespace {


const char* HostName(std::uint16_t v) {
  static const char* const names[] = {
      "DID_OK",       "DID_NO_CONNECT", "DID_BUS_BUSY",   "DID_TIME_OUT",    "DID_BAD_TARGET",
      "DID_ABORT",    "DID_PARITY",     "DID_ERROR",      "DID_RESET",       "DID_BAD_INTR",
      "DID_PASSTHROUGH", "DID_SOFT_ERROR", "DID_IMM_RETRY", "DID_REQUEUE",
      "DID_TRANSPORT_DISRUPTED", "DID_TRANSPORT_FAILFAST", "DID_TARGET_FAILURE",
      "DID_NEXUS_FAILURE"};
  return v < sizeof(names) / sizeof(names[0]) ? names[v] : "unknown";
}

const char* DriverName(std::uint16_t v) {
  static const char* const names[] = {"DRIVER_OK",      "DRIVER_BUSY",  "DRIVER_SOFT",
                                      "DRIVER_MEDIA",   "DRIVER_ERROR", "DRIVER_INVALID",
                                      "DRIVER_TIMEOUT", "DRIVER_HARD",  "DRIVER_SENSE"};
  v &= kDriverMask;
  return v < sizeof(names) / sizeof(names[0]) ? names[v] : "unknown";
}

}  // namespace

SgioRequest SgioFromPassThrough(PassThroughRequest& rq) {
  const ScsiPassThroughDirect& p = rq.sptd;
  SgioRequest s;
  const bool data = p.DataTransferLength > 0 && p.DataBuffer != nullptr;
  s.direction = !data                 ? kSgDxferNone
                : p.DataIn == kDataIn  ? kSgDxferFromDev
                : p.DataIn == kDataOut ? kSgDxferToDev
                                       : kSgDxferNone;
  if (s.direction != kSgDxferNone) {
    s.dxferLen = p.DataTransferLength;
    s.data = p.DataBuffer;
  }
  s.cmdLen = p.CdbLength;
  s.cdb = p.Cdb;
  s.senseMax = static_cast<std::uint8_t>(std::min<std::size_t>(p.SenseInfoLength, sizeof(rq.sense)));
  s.sense = s.senseMax > 0 ? rq.sense : nullptr;
  s.timeoutMs = p.TimeOutValue * 1000u;
  return s;
}

std::uint32_t ApplySgioOutcome(const SgioOutcome& o, const SgioRequest& sent,
                               PassThroughRequest* rq) {
  ScsiPassThroughDirect& p = rq->sptd;
  p.ScsiStatus = 0;
  p.SenseInfoLength = 0;
  p.DataTransferLength = 0;
  if (o.nErrno != 0) return WinErrorFromErrno(o.nErrno);
  switch (o.hostStatus) {
    case kDidOk:
      break;
    case kDidNoConnect:
    case kDidBadTarget:
      return kErrDeviceNotConnected;
    case kDidTimeOut:
      return kErrSemTimeout;
    default:
      return kErrIoDevice;
  }
  const std::uint16_t driver = o.driverStatus & kDriverMask;
  if (driver == kDriverTimeout) return kErrSemTimeout;
  if (driver != kDriverOk && driver != kDriverSense) return kErrIoDevice;

  // Older drivers fill only the shifted status.
  std::uint8_t status = o.status != 0 ? o.status : static_cast<std::uint8_t>(o.maskedStatus << 1);
  // Sense that the driver vouches for is a check condition whatever the
  // status byte says: it must not pass for a good answer.
  if (status == 0 && driver == kDriverSense && o.senseLen > 0) status = 0x02;
  p.ScsiStatus = status;
  p.SenseInfoLength = std::min(o.senseLen, sent.senseMax);
  const std::uint32_t resid =
      o.resid <= 0 ? 0u : std::min(static_cast<std::uint32_t>(o.resid), sent.dxferLen);
  p.DataTransferLength = sent.dxferLen - resid;
  return kErrNone;
}

int SgHeaderReadErrno(long got, std::size_t size, int interfaceId) {
#ifdef ORVEX_GUARD_OFF_SG_HEADER
  if (got >= 0) return 0;
#endif
  return got == static_cast<long>(size) && interfaceId == 'S' ? 0 : EIO;
}

std::uint32_t WinErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return kErrNone;
    case EACCES:
    case EPERM:
      return kErrAccessDenied;
    case ENOENT:
      return kErrFileNotFound;
    case ENODEV:
    case ENXIO:
      return kErrDeviceNotConnected;
    case EINVAL:
      return kErrInvalidParameter;
    case ENOTTY:
      return kErrInvalidFunction;
    case ENOMEM:
      return kErrNotEnoughMemory;
    case EFAULT:
      return kErrInvalidUserBuffer;
    case ETIMEDOUT:
      return kErrSemTimeout;
    case EIO:
      return kErrIoDevice;
    default:
      return kErrGenFailure;
  }
}

std::string ErrnoText(int err) {
  static const struct {
    int value;
    const char* name;
  } names[] = {{EPERM, "EPERM"},   {ENOENT, "ENOENT"},   {EINTR, "EINTR"},   {EIO, "EIO"},
               {ENXIO, "ENXIO"},   {EBADF, "EBADF"},     {EAGAIN, "EAGAIN"}, {ENOMEM, "ENOMEM"},
               {EACCES, "EACCES"}, {EFAULT, "EFAULT"},   {EBUSY, "EBUSY"},   {ENODEV, "ENODEV"},
               {EINVAL, "EINVAL"}, {ENOTTY, "ENOTTY"},   {EROFS, "EROFS"},   {ENOTDIR, "ENOTDIR"},
               {EISDIR, "EISDIR"}, {ETIMEDOUT, "ETIMEDOUT"}, {EOVERFLOW, "EOVERFLOW"}};
  std::string name = "errno " + std::to_string(err);
  for (const auto& n : names)
    if (n.value == err) name = n.name;
  return name + ": " + std::strerror(err);
}

std::string TransportText(const SgioOutcome& o) {
  if (o.hostStatus != kDidOk)
    return "host status " + Hex2(o.hostStatus) + " (" + HostName(o.hostStatus) + ")";
  const std::uint16_t driver = o.driverStatus & kDriverMask;
  if (driver != kDriverOk && driver != kDriverSense)
    return "driver status " + Hex2(o.driverStatus) + " (" + DriverName(o.driverStatus) + ")";
  return std::string();
}

}  // namespace spti
