// ASPI transport: library loading, drive scan and one request at a time.
#include "drive/MyAspi32.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "drive/Cdb.h"
#include "platform/Event.h"
#include "platform/SysInfo.h"

unsigned CMyASPI32::s_nRequestLimitMs = 60000;

namespace {
const DWORD kPage = 4096;
// What a data-in answer's buffer holds before the request, and for a second
// look the complement: no byte equals both, so two answers that agree are
// the drive's bytes whatever they are.
const BYTE kFill = 0xA5;
const BYTE kOtherFill = 0x5A;
}  // namespace

// What the library actually receives: a copy of the caller's block and
// buffer. The caller's own block may live on its stack and be gone as soon
// as Execute returns; a request the library has not finished with (timed
// out, failed wait) must keep its block, buffer and event until the library
// signals that it is done. No abort request is sent: this updater never
// asked a library to give a request up, and an abort that fails would leave
// the same question open.
struct CMyASPI32::Request {
  SRB_ExecSCSICmd srb;
  BYTE* data = nullptr;  // where this request's bytes start, within block
  BYTE* block = nullptr;
  DWORD capacity = 0;  // bytes at data
  EventHandle event = 0;
};

namespace {

const char* const kVendors[] = {"KORVELIN", "QN      "};

// The library may complete a request on another thread; the status byte is
// the library's last write into the block.
BYTE LoadStatus(const SRB_ExecSCSICmd& srb) {
  return __atomic_load_n(&srb.SRB_Status, __ATOMIC_ACQUIRE);
}

int MapStatus(BYTE status) {
  switch (status) {
    case SS_COMP: return 0;
    case SS_ERR: return ASPI_CHECK_CONDITION;
    case SS_PENDING: return ASPI_ERR_STILL_PENDING;
    case SS_ABORTED: return ASPI_ERR_ABORTED;
    case SS_ABORT_FAIL: return ASPI_ERR_ABORT_FAILED;
    case SS_NO_DEVICE: return ASPI_ERR_NO_DEVICE;
    case SS_INVALID_SRB: return ASPI_ERR_INVALID_SRB;
    case SS_BUFFER_ALIGN: return ASPI_ERR_BUFFER_ALIGN;
    case SS_ILLEGAL_MODE: return ASPI_ERR_ILLEGAL_MODE;
    case SS_BUFFER_TO_BIG: return ASPI_ERR_BUFFER_TOO_BIG;
    default: return ASPI_ERR_UNKNOWN_STATUS;
  }
}

// The length of an answer in a buffer filled with `fill` beforehand: up to
// its last byte that differs from the fill.
DWORD ArrivedLength(const BYTE* data, DWORD length, BYTE fill) {
#ifdef ORVEX_GUARD_OFF_ANSWER_LENGTH
  return length;
#endif
  while (length > 0 && data[length - 1] == fill) --length;
  return length;
}

}  // namespace

// Requests that were still the library's when their CMyASPI32 went away.
// They are kept, reachable, for the life of the process: freeing them could
// let a late completion write into someone else's memory.
static std::vector<void*>* g_abandoned = nullptr;

CMyASPI32::CMyASPI32() { Load(nullptr); }

CMyASPI32::CMyASPI32(const char* library) { Load(library); }

void CMyASPI32::Load(const char* library) {
  PlatformVersion ver;
  // An unreadable version or an unknown family takes the NT road: the bare
  // name through the platform's library search.
  m_bWin9x = (SysGetVersion(&ver) && ver.platformId == PLATFORM_WIN9X) ? 1 : 0;

  char name[256 + 32] = "wnaspi32";
  if (library != nullptr) {
    std::snprintf(name, sizeof(name), "%s", library);
  } else if (m_bWin9x) {
    char dir[256];
    if (SysGetWindowsDirectory(dir, sizeof(dir)) > 0)
      std::snprintf(name, sizeof(name), "%s%s", dir, "\\system\\wnaspi32.dll");
  }
  m_hAspi = SysLoadLibrary(name);
  if (m_hAspi == nullptr) {
    m_nStatus = ASPI_ERR_NO_LIBRARY;
    return;
  }
  m_pfnGetSupportInfo =
      reinterpret_cast<PFN_GetASPI32SupportInfo>(SysGetProcAddress(m_hAspi, "GetASPI32SupportInfo"));
  m_pfnSendCommand =
      reinterpret_cast<PFN_SendASPI32Command>(SysGetProcAddress(m_hAspi, "SendASPI32Command"));
  if (m_pfnGetSupportInfo == nullptr || m_pfnSendCommand == nullptr) {
    // Half a library is no library: neither entry point is ever called.
    m_pfnGetSupportInfo = nullptr;
    m_pfnSendCommand = nullptr;
    m_nStatus = ASPI_ERR_NO_ENTRY_POINT;
    return;
  }
  // Optional: a library without it offers no hold of its own.
  m_pfnHold = reinterpret_cast<PFN_OrvexDriveHold>(SysGetProcAddress(m_hAspi, "OrvexDriveHold"));
  m_pfnDeviceName = reinterpret_cast<PFN_OrvexDeviceName>(SysGetProcAddress(m_hAspi, "OrvexDeviceName"));
  DWORD info = m_pfnGetSupportInfo();
  if (((info >> 8) & 0xFF) != SS_COMP) {
    m_nStatus = ASPI_ERR_NOT_READY;
    return;
  }
  m_nAdapters = static_cast<BYTE>(info & 0xFF);
  m_nStatus = 0;
  m_nDrives = 0;
  m_nSenseCode = m_nSenseKey = m_nSenseASC = m_nSenseASCQ = -1;
}

CMyASPI32::~CMyASPI32() {
  ReleaseDrive();
  FreeRequest(m_pSpare);
  m_pSpare = nullptr;
  ReclaimParked();
  if (m_hAspi != nullptr) SysFreeLibrary(m_hAspi);
  // A library that finished its work while unloading has signalled by now.
  ReclaimParked();
  if (!m_parked.empty()) {
    if (g_abandoned == nullptr) g_abandoned = new std::vector<void*>();
    for (Request* rq : m_parked) g_abandoned->push_back(rq);
    m_parked.clear();
  }
}

void CMyASPI32::FreeRequest(Request* rq) {
  if (rq == nullptr) return;
  SysCloseEvent(rq->event);
  delete[] rq->block;
  delete rq;
}

void CMyASPI32::ReclaimParked() {
  for (std::size_t i = 0; i < m_parked.size();) {
    Request* rq = m_parked[i];
    if (LoadStatus(rq->srb) != SS_PENDING &&
        SysWaitEvent(rq->event, 0) == EventWait::Signalled) {
      SysResetEvent(rq->event);
      FreeRequest(rq);
      m_parked.erase(m_parked.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

int CMyASPI32::Execute(SRB_ExecSCSICmd& srb) {
  m_nLastResult = ExecuteOnce(srb);
  if (m_pfnTrace != nullptr) m_pfnTrace(m_pTraceContext, srb, m_nLastResult);
  return m_nLastResult;
}

int CMyASPI32::ExecuteOnce(SRB_ExecSCSICmd& srb) {
  if (m_pfnSendCommand == nullptr || m_nStatus == ASPI_ERR_NOT_READY) return m_nStatus;

  // The block, buffer and event of the last request the library gave back
  // serve the next one: creating them for every request cost more than the
  // request itself. One the library still holds is never reused.
  Request* rq = m_pSpare;
  m_pSpare = nullptr;
  if (rq == nullptr) {
    rq = new (std::nothrow) Request;
    if (rq == nullptr) return ASPI_ERR_NO_EVENT;
    // Created unsignalled: a signalled event would make every request that
    // the library completes later look finished at once, unless the library
    // happens to reset it, and end as "still pending".
    if (!SysCreateEvent(false, &rq->event)) {
      delete rq;
      return ASPI_ERR_NO_EVENT;
    }
  }
  rq->srb = srb;
  const bool hasData = srb.SRB_BufPointer != nullptr && srb.SRB_BufLen > 0;
  const bool dataIn = hasData && (srb.SRB_Flags & SRB_DIR_OUT) == 0;
  m_nLastArrived = 0;
  if (hasData) {
    if (rq->capacity < srb.SRB_BufLen) {
      delete[] rq->block;
      rq->capacity = 0;
      rq->data = nullptr;
      rq->block = new (std::nothrow) BYTE[srb.SRB_BufLen + kPage];
      if (rq->block == nullptr) {
        FreeRequest(rq);
        return ASPI_ERR_NO_EVENT;
      }
      rq->capacity = srb.SRB_BufLen;
    }
    // Half a page away from the caller's bytes: a copy between two places
    // at the same offset within their 4 KiB pages runs several times
    // slower on processors whose memcpy uses the string-move instruction.
    const std::uintptr_t want = (reinterpret_cast<std::uintptr_t>(srb.SRB_BufPointer) + kPage / 2) % kPage;
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(rq->block) % kPage;
    rq->data = rq->block + (want + kPage - at) % kPage;
    if (dataIn) {
      std::memset(rq->data, m_bOtherFill ? kOtherFill : kFill, srb.SRB_BufLen);
    } else {
      std::memcpy(rq->data, srb.SRB_BufPointer, srb.SRB_BufLen);
    }
  }
  rq->srb.SRB_BufPointer = hasData ? rq->data : nullptr;
  rq->srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  rq->srb.SRB_Flags |= SRB_EVENT_NOTIFY;
  rq->srb.SRB_PostProc = rq->event;
  // The library sets the status; a stale value from a reused block must not
  // pass for its answer.
#ifndef ORVEX_GUARD_OFF_PENDING_STATUS
  rq->srb.SRB_Status = SS_PENDING;
#endif

  const DWORD sent = m_pfnSendCommand(&rq->srb);
  BYTE status = LoadStatus(rq->srb);
  int result;
  bool libraryDone = true;
  if (status == SS_PENDING) {
    EventWait w = SysWaitEvent(rq->event, s_nRequestLimitMs);
    status = LoadStatus(rq->srb);
    if (status != SS_PENDING) {
      result = MapStatus(status);
      // Completed, but unless it signalled, the event stays the library's.
      libraryDone = w == EventWait::Signalled;
    } else {
      result = w == EventWait::Timeout  ? ASPI_ERR_TIMEOUT
               : w == EventWait::Failed ? ASPI_ERR_WAIT_FAILED
                                        : ASPI_ERR_STILL_PENDING;
      libraryDone = false;
      // Signalled yet pending: only a fresh signal will mean it is done.
      if (w == EventWait::Signalled) SysResetEvent(rq->event);
    }
  } else {
    result = MapStatus(status);
    // A library that said "pending" and finished before we looked may not
    // have signalled yet: keep the event until it has.
    if (sent == SS_PENDING && SysWaitEvent(rq->event, 0) != EventWait::Signalled)
      libraryDone = false;
  }

  if (status != SS_PENDING) {
    // Give the caller the block as the library left it, with its own
    // buffer address and length, and the data the drive sent. The private
    // buffer is as long as the caller's: a library that writes back a
    // larger length gets no more than that copied.
    BYTE* callerBuf = srb.SRB_BufPointer;
    const DWORD callerLen = srb.SRB_BufLen;
    srb = rq->srb;
    srb.SRB_BufPointer = callerBuf;
#ifndef ORVEX_GUARD_OFF_COPY_CLAMP
    srb.SRB_BufLen = callerLen;
#endif
    m_nLastArrived = srb.SRB_BufLen;
    if (dataIn) {
      // A short answer leaves the rest of the caller's buffer as it was.
      m_nLastArrived = ArrivedLength(rq->data, srb.SRB_BufLen, m_bOtherFill ? kOtherFill : kFill);
      std::memcpy(callerBuf, rq->data, m_nLastArrived);
    }
    if (status == SS_ERR) {
      m_nSenseCode = srb.SenseArea[0] & 0x7F;
      m_nSenseKey = srb.SenseArea[2] & 0x0F;
      m_nSenseASC = srb.SenseArea[12];
      m_nSenseASCQ = srb.SenseArea[13];
    }
  } else {
    BYTE* callerBuf = srb.SRB_BufPointer;
    const DWORD callerLen = srb.SRB_BufLen;
    srb = rq->srb;
    srb.SRB_BufPointer = callerBuf;
    srb.SRB_BufLen = callerLen;
    srb.SRB_Status = SS_PENDING;
  }

  if (libraryDone) {
    SysResetEvent(rq->event);
    m_pSpare = rq;
  } else {
    m_parked.push_back(rq);
  }
  ReclaimParked();
  return result;
}

int CMyASPI32::ExecuteOnDrive(SRB_ExecSCSICmd& srb, int drive) {
  if (drive < 0 || drive >= m_nDrives || drive >= MAX_DRIVES) return m_nLastResult = ASPI_ERR_BAD_DRIVE;
  const DriveEntry& d = m_drives[drive];
  srb.SRB_HaId = static_cast<BYTE>(d.nHaId);
  srb.SRB_Target = static_cast<BYTE>(d.nTarget);
  srb.SRB_Lun = static_cast<BYTE>(d.nLun);
  return Execute(srb);
}

int CMyASPI32::ReadOnDrive(SRB_ExecSCSICmd& srb, int drive, DWORD need) {
  if (need > srb.SRB_BufLen || srb.SRB_BufPointer == nullptr) return m_nLastResult = ASPI_ERR_SHORT_ANSWER;
  int r = ExecuteOnDrive(srb, drive);
  if (r != 0 || m_nLastArrived >= need) return r;
  // The answer as the drive may have meant it: what arrived, then the fill.
  std::vector<BYTE> first(srb.SRB_BufPointer, srb.SRB_BufPointer + need);
  std::memset(first.data() + m_nLastArrived, kFill, need - m_nLastArrived);
  m_bOtherFill = true;
  r = ExecuteOnDrive(srb, drive);
  m_bOtherFill = false;
  if (r != 0) return r;
  if (m_nLastArrived >= need && std::memcmp(first.data(), srb.SRB_BufPointer, need) == 0) return 0;
  return m_nLastResult = ASPI_ERR_SHORT_ANSWER;
}

int CMyASPI32::StartStopUnit(int drive, BYTE control) {
  SRB_ExecSCSICmd srb;
  BuildStartStopUnit(srb, control);
  return ExecuteOnDrive(srb, drive);
}

void CMyASPI32::InquireAll(InquiryFn fn, void* context) {
  BYTE answer[INQUIRY_LENGTH];
  SRB_ExecSCSICmd srb;
  BuildInquiry(srb, answer);
  for (int ha = 0; ha < m_nAdapters; ++ha) {
    for (int target = 0; target < 8; ++target) {
      for (int lun = 0; lun < 8; ++lun) {
        srb.SRB_HaId = static_cast<BYTE>(ha);
        srb.SRB_Target = static_cast<BYTE>(target);
        srb.SRB_Lun = static_cast<BYTE>(lun);
        // A device that answers short must not inherit the previous
        // device's identity from the reused buffer.
        std::memset(answer, 0, sizeof(answer));
        if (Execute(srb) == 0) fn(context, srb);
      }
    }
  }
}

int CMyASPI32::ScanDrives() {
  if (m_nStatus != 0) return ASPI_ERR_SCAN_REFUSED;
  InquireAll(
      [](void* self, const SRB_ExecSCSICmd& srb) {
        CMyASPI32* aspi = static_cast<CMyASPI32*>(self);
        aspi->AddDrive(srb, aspi->m_nLastArrived);
      },
      this);
  return m_nDrives == 0 ? ASPI_ERR_NO_DRIVE : 0;
}

int CMyASPI32::RescanDrives() {
  // A full table is no reason to refuse once it has been emptied.
  if (m_nStatus != 0 && m_nStatus != ASPI_ERR_TABLE_FULL) return ASPI_ERR_SCAN_REFUSED;
  DriveEntry kept[MAX_DRIVES];
  std::memcpy(kept, m_drives, sizeof(kept));
  const int keptCount = m_nDrives;
  std::memset(m_drives, 0, sizeof(m_drives));
  m_nDrives = 0;
  m_nStatus = 0;
  const int rc = ScanDrives();
  if (rc == ASPI_ERR_NO_DRIVE && keptCount > 0) {
    std::memcpy(m_drives, kept, sizeof(kept));
    m_nDrives = keptCount;
    return 0;
  }
  return rc;
}

bool IsAdmittedVendor(const char* vendor) {
  for (const char* v : kVendors) {
    if (std::memcmp(vendor, v, 9) == 0) return true;
  }
  return false;
}

int ParseInquiry(const BYTE* answer, DWORD arrived, DriveEntry* row) {
  *row = DriveEntry();
  if (answer == nullptr || arrived < 16) return ASPI_ERR_SHORT_ANSWER;
  std::memcpy(row->abInquiry, answer, 8);
  std::memcpy(row->szVendor, answer + 8, 8);
  // Product bytes that did not arrive stay zero: the model check then
  // refuses the drive.
  std::memcpy(row->szProduct, answer + 16, arrived >= 32 ? 16 : arrived - 16);
  // A revision cut short would compare below every version: none at all
  // tells the admission that it cannot be read.
#ifndef ORVEX_GUARD_OFF_INQUIRY_REVISION
  if (arrived >= 36)
#endif
    std::memcpy(row->szRevision, answer + 32, 4);
  return 0;
}

int CMyASPI32::AddDrive(const SRB_ExecSCSICmd& srb, DWORD arrived) {
  if (m_nDrives >= MAX_DRIVES) {
    m_nStatus = ASPI_ERR_TABLE_FULL;
    return ASPI_ERR_TABLE_FULL;
  }
  DriveEntry row = {};
  const int rc = ReadInquiryAnswer(srb, arrived, &row);
  if (rc != 0) return rc;
  m_drives[m_nDrives++] = row;
  return 0;
}

int CMyASPI32::ReadInquiryAnswer(const SRB_ExecSCSICmd& srb, DWORD arrived, DriveEntry* out) {
  if (srb.SRB_BufPointer == nullptr) return ASPI_ERR_VENDOR;
  if (arrived > srb.SRB_BufLen) arrived = srb.SRB_BufLen;
  DriveEntry row;
  if (ParseInquiry(srb.SRB_BufPointer, arrived, &row) != 0 || !IsAdmittedVendor(row.szVendor))
    return ASPI_ERR_VENDOR;
  row.nHaId = srb.SRB_HaId;
  row.nTarget = srb.SRB_Target;
  row.nLun = srb.SRB_Lun;
  *out = row;
  return 0;
}

int CMyASPI32::InquireDrive(int drive, DriveEntry* now) {
  BYTE answer[INQUIRY_LENGTH] = {};
  SRB_ExecSCSICmd srb;
  BuildInquiry(srb, answer);
  const int rc = ExecuteOnDrive(srb, drive);
  return rc != 0 ? rc : ReadInquiryAnswer(srb, m_nLastArrived, now);
}

std::string CMyASPI32::DriveLockName(int drive) const {
  const DriveEntry& d = m_drives[drive];
  char name[64];
  PlatformVersion ver;
  // Windows 2000 and later have one namespace for every session; older
  // systems take the name as it is.
  const bool global = SysGetVersion(&ver) && ver.platformId == PLATFORM_NT && ver.major >= 5;
  std::snprintf(name, sizeof name, "%sOrvex drive %d:%d:%d", global ? "Global\\" : "", d.nHaId, d.nTarget, d.nLun);
  return name;
}

DWORD CMyASPI32::CallHold(DWORD op, int drive) {
  const DriveEntry& d = m_drives[drive];
  return m_pfnHold(op, static_cast<BYTE>(d.nHaId), static_cast<BYTE>(d.nTarget), static_cast<BYTE>(d.nLun));
}

std::string CMyASPI32::DriveDeviceName(int drive) const {
  if (m_pfnDeviceName == nullptr || drive < 0 || drive >= m_nDrives || drive >= MAX_DRIVES) return std::string();
  const DriveEntry& d = m_drives[drive];
  char name[512] = {};
  const DWORD n = m_pfnDeviceName(static_cast<BYTE>(d.nHaId), static_cast<BYTE>(d.nTarget),
                                  static_cast<BYTE>(d.nLun), name, sizeof name);
  return n > 0 && n < sizeof name ? std::string(name, n) : std::string();
}

int CMyASPI32::HoldDrive(int drive, std::string* note) {
  note->clear();
  if (drive < 0 || drive >= m_nDrives || drive >= MAX_DRIVES) return ASPI_ERR_BAD_DRIVE;
  // Held already, through a front end's checks: kept, never let go in
  // between, so the checks and the update see one drive.
  const std::string name = DriveLockName(drive);
  if (m_driveLock.Held() && name == m_strLockName) return 0;
  ReleaseDrive();
  // Refused either way: busy, or a lock that cannot be had at all, which
  // would leave the drive to any other updater.
  const int lock = m_driveLock.Acquire(name, DriveDeviceName(drive), note);
  if (lock != LOCK_HELD) return lock == LOCK_BUSY ? ASPI_ERR_DRIVE_BUSY : ASPI_ERR_NO_LOCK;
  m_strLockName = name;
  if (m_pfnHold == nullptr) {
    *note = "the ASPI library offers no hold of the drive; other programs are not kept from it";
    return 0;
  }
  const DWORD r = CallHold(ORVEX_HOLD_TAKE, drive);
  switch (r & 0xFF) {
    case ORVEX_HELD:
      m_nHeldDrive = drive;
      return 0;
    case ORVEX_HOLD_BUSY:
      m_driveLock.Release();
      return ASPI_ERR_DRIVE_BUSY;
    case ORVEX_HOLD_UNAVAILABLE:
      *note = "the system gave no exclusive access to the drive (error " + std::to_string(r >> 8) +
              "); other programs are not kept from it";
      return 0;
    default:
      *note = "the ASPI library knows no device at that address to hold";
      return 0;
  }
}

void CMyASPI32::ReleaseDrive() {
  if (m_nHeldDrive >= 0 && m_pfnHold != nullptr) CallHold(ORVEX_HOLD_RELEASE, m_nHeldDrive);
  m_nHeldDrive = -1;
  m_driveLock.Release();
  m_strLockName.clear();
}

int CMyASPI32::BusyDevices() const {
  return m_pfnHold != nullptr ? static_cast<int>(m_pfnHold(ORVEX_HOLD_BUSY_COUNT, 0, 0, 0)) : 0;
}
