// ASPI request blocks mapped onto IOCTL_SCSI_PASS_THROUGH_DIRECT.
#include "spti/SptiLayer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <tuple>

namespace spti {

std::string Hex2(unsigned v) {
  char s[8];
  std::snprintf(s, sizeof(s), "%02Xh", v & 0xFF);
  return s;
}

namespace {

bool IsStandardCdbLength(BYTE n) { return n == 6 || n == 10 || n == 12 || n == 16; }

// The next length a port is sure to take.
BYTE PaddedCdbLength(BYTE n) {
  for (BYTE s : {6, 10, 12, 16})
    if (n <= s) return s;
  return 16;
}

// The CDB length to send. A classic ASPI layer on an ATAPI drive always
// sent 12-byte packets, the block's bytes after SRB_CDBLen included, and
// callers rely on that: the identification query keeps 07h in byte 10 of a
// 10-byte CDB. Ports today send exactly CdbLength bytes (Linux SG_IO and
// Windows zero the rest), so the length grows to the next one a port takes
// that covers every nonzero byte.
BYTE CoveringCdbLength(const SRB_ExecSCSICmd& srb) {
  BYTE last = 0;
  for (BYTE i = 0; i < sizeof(srb.CDBByte); ++i)
    if (srb.CDBByte[i] != 0) last = static_cast<BYTE>(i + 1);
  return last <= srb.SRB_CDBLen ? srb.SRB_CDBLen : PaddedCdbLength(last);
}

// Errors with which a port turns down the shape of a request rather than
// failing to carry it out.
bool IsRefusal(std::uint32_t err) {
  return err == kErrInvalidParameter || err == kErrInvalidFunction || err == kErrNotSupported;
}

// A port's alignment as a mask of low address bits. Some ports give the
// alignment in bytes instead (Wine answers the page size): a power of two
// is taken as that, anything else is widened to the next mask.
// More than a page is not an alignment any port means.
std::uint32_t NormalizeMask(std::uint32_t v) {
  if ((v & (v - 1)) == 0 && v > 1) {
    v -= 1;  // 2, 4, 8, ... bytes
  } else {
    for (int s = 1; s < 32; s <<= 1) v |= v >> s;  // 0, 1, 3, 7, ... stay
  }
  return v > 0xFFF ? 0xFFF : v;
}

auto AddressKey(const ScsiAddress& a) {
  return std::make_tuple(a.PortNumber, a.PathId, a.TargetId, a.Lun);
}

// A buffer whose start meets `mask`, owned by the caller of Allocate;
// null when there is no room for it.
class CBounce {
 public:
  BYTE* Allocate(std::uint32_t len, std::uint32_t mask) {
    std::size_t align = 16;
    while (align - 1 < mask && align < 4096) align <<= 1;
    if (len > SIZE_MAX - align) return nullptr;  // 32-bit sizes wrap
    m_store.reset(new (std::nothrow) BYTE[len + align]);
    if (!m_store) return nullptr;
    auto p = reinterpret_cast<std::uintptr_t>(m_store.get());
    p = (p + align - 1) & ~static_cast<std::uintptr_t>(align - 1);
    return reinterpret_cast<BYTE*>(p);
  }

 private:
  std::unique_ptr<BYTE[]> m_store;
};

}  // namespace

std::vector<std::string> CDeviceIo::DevicePaths() {
  std::vector<std::string> paths;
  for (char c : CdRomLetters()) paths.push_back(std::string("\\\\.\\") + c + ":");
  for (int i = 0; i <= kMaxCdRomIndex; ++i) paths.push_back("\\\\.\\CdRom" + std::to_string(i));
  return paths;
}

std::string CDeviceIo::Tag() { return "wnaspi32 (SPTI): "; }

std::string CDeviceIo::Words(Say what, std::uint32_t err) {
  switch (what) {
    case Say::OpenDenied:
      return "access denied";
    case Say::NoneOpened:
      return "access denied. Run the program as administrator (on Wine: give this user read and "
             "write access to the drive's /dev/sr* node).";
    case Say::RequestFailed:
      break;
  }
  std::string w = "Windows error " + std::to_string(err);
  if (err == kErrAccessDenied) w += " (administrator rights needed)";
  return w;
}

CSptiLayer::~CSptiLayer() { CloseAll(); }

std::uint32_t CDeviceIo::Hold(DevHandle* h, const std::string&, bool hold) {
  CdromExclusiveLock lock = {};
  lock.Access.RequestType = hold ? kExclusiveLockDevice : kExclusiveUnlockDevice;
  static const char kCaller[] = "Orvex firmware update";
  std::memcpy(lock.CallerName, kCaller, sizeof kCaller);
  std::uint32_t got = 0;
  // Unlocking takes the access part alone.
  return Control(*h, kIoctlCdromExclusiveAccess, &lock,
                 hold ? static_cast<std::uint32_t>(sizeof lock) : static_cast<std::uint32_t>(sizeof lock.Access),
                 nullptr, 0, &got);
}

DWORD CSptiLayer::Hold(DWORD op, BYTE ha, BYTE target, BYTE lun) {
  if (op == ORVEX_HOLD_BUSY_COUNT) return static_cast<DWORD>(m_nBusy);
  if (!m_bEnumerated) Enumerate();
  Device* d = Find(ha, target, lun);
  if (d == nullptr) return ORVEX_HOLD_NO_DEVICE;
  const bool hold = op == ORVEX_HOLD_TAKE;
  if (d->held == hold) return ORVEX_HELD;
  const std::uint32_t err = m_io.Hold(&d->handle, d->path, hold);
  if (!hold) {
    d->held = false;
    return err == kErrNone ? ORVEX_HELD : ORVEX_HOLD_UNAVAILABLE | (err << 8);
  }
  if (err == kErrNone) {
    d->held = true;
    return ORVEX_HELD;
  }
  return err == kErrBusy ? ORVEX_HOLD_BUSY : ORVEX_HOLD_UNAVAILABLE | (err << 8);
}

DWORD CSptiLayer::DeviceName(BYTE ha, BYTE target, BYTE lun, char* name, DWORD size) {
  if (!m_bEnumerated) Enumerate();
  const Device* d = Find(ha, target, lun);
  if (d == nullptr || name == nullptr || d->path.size() >= size) return 0;
  std::memcpy(name, d->path.c_str(), d->path.size() + 1);
  return static_cast<DWORD>(d->path.size());
}

void CSptiLayer::CloseAll() {
  for (Device& d : m_devices) {
    if (d.held) m_io.Hold(&d.handle, d.path, false);
    m_io.Close(d.handle);
  }
  m_devices.clear();
  m_adapters.clear();
}

DWORD CSptiLayer::SupportInfo() {
  Enumerate();
  if (m_devices.empty() && m_nDenied > 0) {
    // Saying "no adapters" would send the user looking for a drive that is
    // there; the layer is what could not start.
    m_io.Report(m_io.Tag() + std::to_string(m_nDenied) +
                " CD/DVD device path(s) found, but none could be opened: " +
                m_io.Words(CDeviceIo::Say::NoneOpened, kErrAccessDenied));
    return static_cast<DWORD>(SS_NO_ADAPTERS) << 8;
  }
  const std::size_t n = std::min<std::size_t>(m_adapters.size(), 255);
  return (static_cast<DWORD>(SS_COMP) << 8) | static_cast<DWORD>(n);
}

void CSptiLayer::Enumerate() {
  CloseAll();
  m_bEnumerated = true;
  m_nDenied = 0;
  m_nBusy = 0;

  const std::vector<std::string> paths = m_io.DevicePaths();

  struct Found {
    Device device;
    Adapter limits;
  };
  std::vector<Found> found;
  for (const std::string& path : paths) {
    DevHandle h = 0;
    const std::uint32_t err = m_io.Open(path, &h);
    if (err == kErrAccessDenied) {
      ++m_nDenied;
      m_io.Report(m_io.Tag() + path + " could not be opened (" +
                  m_io.Words(CDeviceIo::Say::OpenDenied, err) + "); not offered");
      continue;
    }
    if (err == kErrBusy) {
      ++m_nBusy;  // the device layer said which, and why
      continue;
    }
    if (err != kErrNone) continue;  // no such device: \\.\CdRomN are tried blindly
    ScsiAddress addr = {};
    std::uint32_t got = 0;
    const std::uint32_t aerr =
        m_io.Control(h, kIoctlScsiGetAddress, nullptr, 0, &addr, sizeof(addr), &got);
    if (aerr != kErrNone || got < sizeof(addr)) {
      // The \\.\CdRomN names are tried blindly and may be aliases that
      // carry no pass-through (Wine's are); only a drive letter is worth a
      // line.
      if (path.back() == ':')
        m_io.Report(m_io.Tag() + path + " has no SCSI address (error " +
                    std::to_string(aerr) + "); not offered");
      m_io.Close(h);
      continue;
    }
    // A drive letter and its \\.\CdRomN are one device: the first path wins.
    const bool seen = std::any_of(found.begin(), found.end(), [&](const Found& f) {
      return AddressKey(f.device.address) == AddressKey(addr);
    });
    if (seen) {
      m_io.Close(h);
      continue;
    }
    Found f;
    f.device.path = path;
    f.device.handle = h;
    f.device.address = addr;
    ReadLimits(h, &f.limits);
    found.push_back(f);
  }

  // Adapters are the (port, bus) pairs in ascending order; two buses of one
  // port would otherwise put two devices at one ASPI address.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return AddressKey(a.device.address) < AddressKey(b.device.address);
  });
  for (Found& f : found) {
    const ScsiAddress& a = f.device.address;
    if (m_adapters.empty() || m_adapters.back().port != a.PortNumber ||
        m_adapters.back().pathId != a.PathId) {
      Adapter ad = f.limits;
      ad.port = a.PortNumber;
      ad.pathId = a.PathId;
      m_adapters.push_back(ad);
    } else {
      // Devices behind one adapter report its limits; keep the strictest.
      Adapter& ad = m_adapters.back();
      ad.alignMask = std::max(ad.alignMask, f.limits.alignMask);
      if (f.limits.maxTransfer != 0 && (ad.maxTransfer == 0 || f.limits.maxTransfer < ad.maxTransfer))
        ad.maxTransfer = f.limits.maxTransfer;
    }
    f.device.haId = static_cast<BYTE>(m_adapters.size() - 1);
    m_devices.push_back(f.device);
  }
  // The adapter's own id: the highest one no device of it uses, since some
  // callers skip the adapter's id when they scan.
  for (std::size_t i = 0; i < m_adapters.size(); ++i) {
    for (int id = 7; id >= 0; --id) {
      const bool used = std::any_of(m_devices.begin(), m_devices.end(), [&](const Device& d) {
        return d.haId == i && d.address.TargetId == id;
      });
      if (!used) {
        m_adapters[i].scsiId = static_cast<BYTE>(id);
        break;
      }
    }
  }
}

void CSptiLayer::ReadLimits(DevHandle h, Adapter* a) {
  std::uint32_t got = 0;
  StoragePropertyQuery q = {};
  q.PropertyId = 1;  // StorageAdapterProperty
  StorageAdapterDescriptor desc = {};
  if (m_io.Control(h, kIoctlStorageQueryProperty, &q, sizeof(q), &desc, sizeof(desc), &got) ==
          kErrNone &&
      got >= offsetof(StorageAdapterDescriptor, AlignmentMask) + 4) {
    a->alignMask = NormalizeMask(desc.AlignmentMask);
    a->maxTransfer = desc.MaximumTransferLength;
    return;
  }
  ScsiCapabilities cap = {};
  if (m_io.Control(h, kIoctlScsiGetCapabilities, nullptr, 0, &cap, sizeof(cap), &got) == kErrNone &&
      got >= offsetof(ScsiCapabilities, AlignmentMask) + 4) {
    a->alignMask = NormalizeMask(cap.AlignmentMask);
    a->maxTransfer = cap.MaximumTransferLength;
  }
}

CSptiLayer::Device* CSptiLayer::Find(BYTE ha, BYTE target, BYTE lun) {
  for (Device& d : m_devices)
    if (d.haId == ha && d.address.TargetId == target && d.address.Lun == lun) return &d;
  return nullptr;
}

DWORD CSptiLayer::Send(void* p) {
  if (p == nullptr) return SS_INVALID_SRB;
  if (!m_bEnumerated) Enumerate();
  BYTE* header = static_cast<BYTE*>(p);
  BYTE status;
  switch (header[0]) {
    case SC_HA_INQUIRY:
      status = HaInquiry(*static_cast<SRB_HAInquiry*>(p));
      header[1] = status;
      return status;
    case SC_GET_DEV_TYPE:
      status = GetDevType(*static_cast<SRB_GDEVBlock*>(p));
      header[1] = status;
      return status;
    case SC_EXEC_SCSI_CMD: {
      auto& srb = *static_cast<SRB_ExecSCSICmd*>(p);
      status = ExecScsi(srb);
      srb.SRB_Status = status;
      // Every request completes here, refused ones included: a caller that
      // waits on its event whatever the returned status must not hang.
      if (srb.SRB_Flags & (SRB_EVENT_NOTIFY | SRB_POSTING))
        m_io.Notify(srb.SRB_Flags, srb.SRB_PostProc, &srb);
      return status;
    }
    default:
      header[1] = SS_INVALID_CMD;
      return SS_INVALID_CMD;
  }
}

BYTE CSptiLayer::HaInquiry(SRB_HAInquiry& srb) {
  srb.HA_Count = static_cast<BYTE>(std::min<std::size_t>(m_adapters.size(), 255));
  if (srb.SRB_HaId >= m_adapters.size()) return SS_INVALID_HA;
  const Adapter& a = m_adapters[srb.SRB_HaId];
  srb.HA_SCSI_ID = a.scsiId;
  std::memset(srb.HA_ManagerId, ' ', sizeof(srb.HA_ManagerId));
  std::memcpy(srb.HA_ManagerId, "ASPI for WIN32", 14);
  char ident[32];
  if (a.pathId == 0)
    std::snprintf(ident, sizeof(ident), "SPTI port %u", a.port);
  else
    std::snprintf(ident, sizeof(ident), "SPTI port %u/%u", a.port, a.pathId);
  std::memset(srb.HA_Identifier, ' ', sizeof(srb.HA_Identifier));
  std::memcpy(srb.HA_Identifier, ident, std::min(std::strlen(ident), sizeof(srb.HA_Identifier)));
  std::memset(srb.HA_Unique, 0, sizeof(srb.HA_Unique));
  srb.HA_Unique[0] = static_cast<BYTE>(a.alignMask);
  srb.HA_Unique[1] = static_cast<BYTE>(a.alignMask >> 8);
  srb.HA_Unique[3] = 8;  // targets per adapter
  // An adapter that does not tell its limit is offered 64 KiB, which every
  // port carries.
  const std::uint32_t maxTransfer = a.maxTransfer != 0 ? a.maxTransfer : 0x10000;
  for (int i = 0; i < 4; ++i) srb.HA_Unique[4 + i] = static_cast<BYTE>(maxTransfer >> (8 * i));
  return SS_COMP;
}

BYTE CSptiLayer::GetDevType(SRB_GDEVBlock& srb) {
  if (srb.SRB_HaId >= m_adapters.size()) return SS_INVALID_HA;
  if (Find(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun) == nullptr) return SS_NO_DEVICE;
  // Only CD-ROM class devices are offered.
  srb.SRB_DeviceType = DTYPE_CDROM;
  return SS_COMP;
}

std::uint32_t CSptiLayer::PassThrough(Device& d, const SRB_ExecSCSICmd& srb, BYTE* data,
                                      BYTE cdbLen, PassThroughRequest* rq) {
  std::memset(rq, 0, sizeof(*rq));
  ScsiPassThroughDirect& p = rq->sptd;
  p.Length = sizeof(ScsiPassThroughDirect);
  p.PathId = d.address.PathId;
  p.TargetId = d.address.TargetId;
  p.Lun = d.address.Lun;
  p.CdbLength = cdbLen;
  p.SenseInfoLength =
      static_cast<std::uint8_t>(std::min<std::size_t>(srb.SRB_SenseLen, sizeof(srb.SenseArea)));
  const BYTE dir = srb.SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT);
  const bool noData = dir == (SRB_DIR_IN | SRB_DIR_OUT) || srb.SRB_BufLen == 0;
  p.DataIn = dir == SRB_DIR_IN ? kDataIn : dir == SRB_DIR_OUT ? kDataOut : kDataUnspecified;
  p.DataTransferLength = noData ? 0 : srb.SRB_BufLen;
  p.DataBuffer = noData ? nullptr : data;
  p.TimeOutValue = kTimeoutSeconds;
  p.SenseInfoOffset = offsetof(PassThroughRequest, sense);
  // Every byte after cdbLen is zero (CoveringCdbLength), so a padded CDB
  // is padded with zeros.
  std::memcpy(p.Cdb, srb.CDBByte, sizeof(p.Cdb));
  std::uint32_t got = 0;
  return m_io.Control(d.handle, kIoctlScsiPassThroughDirect, rq, sizeof(*rq), rq, sizeof(*rq), &got);
}

BYTE CSptiLayer::ExecScsi(SRB_ExecSCSICmd& srb) {
  srb.SRB_HaStat = HASTAT_OK;
  srb.SRB_TargStat = 0;
  if (srb.SRB_HaId >= m_adapters.size()) return SS_INVALID_HA;
  Device* d = Find(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
  if (d == nullptr) return SS_NO_DEVICE;
  if (srb.SRB_CDBLen == 0 || srb.SRB_CDBLen > sizeof(srb.CDBByte)) return SS_INVALID_SRB;

  const BYTE dir = srb.SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT);
  const std::uint32_t len = dir == (SRB_DIR_IN | SRB_DIR_OUT) ? 0 : srb.SRB_BufLen;
  if (len > 0 && srb.SRB_BufPointer == nullptr) return SS_INVALID_SRB;
  const Adapter& a = m_adapters[d->haId];
  if (a.maxTransfer != 0 && len > a.maxTransfer) return SS_BUFFER_TO_BIG;

  // Stale sense in a reused block must not pass for this request's.
  const std::size_t senseLen = std::min<std::size_t>(srb.SRB_SenseLen, sizeof(srb.SenseArea));
  std::memset(srb.SenseArea, 0, senseLen);

  BYTE* data = srb.SRB_BufPointer;
  CBounce bounce;
  // Data in always lands in a buffer of the layer's own, and only the bytes
  // the port says arrived reach the caller's: the rest of the caller's
  // buffer keeps what it held, as with any ASPI layer, so a short answer
  // shows as short (a port may write the whole length, what did not arrive
  // included).
  bool bounced = len > 0 && (reinterpret_cast<std::uintptr_t>(data) & a.alignMask) != 0;
#ifndef ORVEX_GUARD_OFF_SPTI_DATA_IN
  if (len > 0 && dir != SRB_DIR_OUT) bounced = true;
#endif
  if (bounced) {
    data = bounce.Allocate(len, a.alignMask);
    if (data == nullptr) return SS_BUFFER_TO_BIG;
    std::memcpy(data, srb.SRB_BufPointer, len);
  }

  PassThroughRequest rq;
  const BYTE cdbLen = CoveringCdbLength(srb);
  std::uint32_t err;
  if (d->padCdb && !IsStandardCdbLength(cdbLen)) {
    err = PassThrough(*d, srb, data, PaddedCdbLength(cdbLen), &rq);
  } else {
    err = PassThrough(*d, srb, data, cdbLen, &rq);
    if (IsRefusal(err) && !IsStandardCdbLength(cdbLen)) {
      err = PassThrough(*d, srb, data, PaddedCdbLength(cdbLen), &rq);
      if (err == kErrNone) d->padCdb = true;
    }
  }

  if (err == kErrNone) {
    if (bounced && dir != SRB_DIR_OUT)
      std::memcpy(srb.SRB_BufPointer, data, std::min(rq.sptd.DataTransferLength, len));
    srb.SRB_TargStat = rq.sptd.ScsiStatus;
    if (rq.sptd.ScsiStatus == 0) {
      // Data out that moved less than asked did not deliver it: a firmware
      // piece taken as written would be missing from the drive.
      if (dir == SRB_DIR_OUT && rq.sptd.DataTransferLength < len) {
        srb.SRB_HaStat = HASTAT_DO_DU;
        m_io.Report(m_io.Tag() + d->path + ": CDB " + Hex2(srb.CDBByte[0]) + " moved " +
                    std::to_string(rq.sptd.DataTransferLength) + " of " + std::to_string(len) +
                    " bytes out; not delivered");
        return SS_ERR;
      }
      return SS_COMP;
    }
    if (rq.sptd.ScsiStatus == 0x02) {  // check condition
      const std::size_t n = std::min<std::size_t>(senseLen, rq.sptd.SenseInfoLength);
      std::memcpy(srb.SenseArea, rq.sense, n);
    }
    return SS_ERR;
  }

  m_io.Report(m_io.Tag() + d->path + ": CDB " + Hex2(srb.CDBByte[0]) + " failed, " +
              m_io.Words(CDeviceIo::Say::RequestFailed, err));
  switch (err) {
    case kErrSemTimeout:
    case kErrTimeout:
      srb.SRB_HaStat = HASTAT_COMMAND_TIMEOUT;
      return SS_ERR;
    case kErrDeviceNotConnected:
    case kErrDevNotExist:
    case kErrNoSuchDevice:
    case kErrFileNotFound:
      srb.SRB_HaStat = HASTAT_SEL_TO;
      return SS_ERR;
    case kErrInvalidParameter:
    case kErrInvalidFunction:
    case kErrNotSupported:
      return SS_INVALID_SRB;
    case kErrInvalidUserBuffer:
    case kErrNoAccess:
      return SS_BUFFER_ALIGN;
    case kErrNotEnoughMemory:
    case kErrNoSystemResources:
      return SS_BUFFER_TO_BIG;
    default:
      // No ASPI adapter status says "the port failed"; a nonzero one keeps
      // callers from reading the zeroed sense as a target's answer.
      srb.SRB_HaStat = HASTAT_PHASE_ERR;
      return SS_ERR;
  }
}

}  // namespace spti
