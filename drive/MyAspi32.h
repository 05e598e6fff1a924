// The only road to the drives: loads the ASPI library, scans for drives of
// the admitted vendors and sends one SCSI request at a time.
#pragma once

#include <string>
#include <vector>

#include "aspi/wnaspi32.h"
#include "drive/Srb.h"
#include "platform/Library.h"
#include "platform/NamedLock.h"

typedef DWORD (*PFN_GetASPI32SupportInfo)(void);
typedef DWORD (*PFN_SendASPI32Command)(void* srb);
// Told of every request Execute finished (or gave up on), with its result.
typedef void (*RequestTraceFn)(void* context, const SRB_ExecSCSICmd& srb, int result);

enum : int { MAX_DRIVES = 4 };

// The row of an INQUIRY answer of which `arrived` bytes came: the vendor
// must have arrived (0, else ASPI_ERR_SHORT_ANSWER); product bytes that
// did not stay zero, and the revision is left empty unless all four of its
// bytes arrived. The address is not set.
int ParseInquiry(const BYTE* answer, DWORD arrived, DriveEntry* row);

// One of the two vendor identifications the updater admits (8 characters
// and a NUL, as the drive table holds them).
bool IsAdmittedVendor(const char* vendor);

class CMyASPI32 {
 public:
  // Loads the library and reads its support information; the outcome is in
  // GetStatus. A library that lacks either entry point is left alone and
  // reports ASPI_ERR_NO_ENTRY_POINT.
  CMyASPI32();
  // The same with the library named by `library` (a path, or a bare name
  // for the platform's search) instead of the platform's default.
  explicit CMyASPI32(const char* library);
  ~CMyASPI32();
  CMyASPI32(const CMyASPI32&) = delete;
  CMyASPI32& operator=(const CMyASPI32&) = delete;

  int GetStatus() const { return m_nStatus; }
  // Fills (appends to) the drive table; 0 when it holds at least one drive.
  int ScanDrives();
  // Empties the table and scans again, for a later start-up: a commit may
  // have changed what the drives report, and a second scan appended to the
  // first would overflow the table. When no drive answers at all, the rows
  // of the last scan are kept: a drive that restarts after a commit may not
  // answer for a moment. Returns as ScanDrives.
  int RescanDrives();
  // INQUIRY at every address of every adapter; `fn` gets each answer that
  // completed (50 bytes at SRB_BufPointer, zeros past what arrived;
  // m_nLastArrived says how many did).
  typedef void (*InquiryFn)(void* context, const SRB_ExecSCSICmd& srb);
  void InquireAll(InquiryFn fn, void* context);
  // Admits the answer of a completed INQUIRY, of which `arrived` bytes
  // came from the drive, into the table.
  int AddDrive(const SRB_ExecSCSICmd& srb, DWORD arrived);
  // What the table takes from a completed INQUIRY's answer, of which
  // `arrived` bytes came from the drive (ParseInquiry); 0, or
  // ASPI_ERR_VENDOR when it is no admitted drive's.
  static int ReadInquiryAnswer(const SRB_ExecSCSICmd& srb, DWORD arrived, DriveEntry* out);
  // INQUIRY of table row `drive` now, read as the scan reads it into
  // *now; a request's result, or ASPI_ERR_VENDOR.
  int InquireDrive(int drive, DriveEntry* now);
  // Sends one request and waits for it; returns a result value (Srb.h).
  // Without a usable library nothing is sent and the object's status is
  // returned. The library works on a private copy of the block and buffer;
  // the caller's are updated from it when the request has completed.
  // ASPI tells no length of a data-in answer, so the private buffer is
  // filled beforehand and the answer is taken to end at its last byte that
  // differs from the fill: that many bytes are copied to the caller's
  // buffer (the rest keeps what the caller had there) and counted in
  // m_nLastArrived. The libraries that know the real count (pass-through,
  // SG_IO) write no byte beyond it, so one rule serves them all.
  int Execute(SRB_ExecSCSICmd& srb);
  // A data-in request on drive row `drive` whose caller reads its first
  // `need` bytes: 0 only when all of them arrived. An answer that seems to
  // end early may end in bytes equal to the fill; it is asked once more
  // with another fill, and taken only when the second answer is whole and
  // agrees with the first. Otherwise ASPI_ERR_SHORT_ANSWER (or the failed
  // request's result).
  int ReadOnDrive(SRB_ExecSCSICmd& srb, int drive, DWORD need);
  // Execute on the address of table row `drive`; a row not in use is
  // refused with ASPI_ERR_BAD_DRIVE and nothing is sent.
  int ExecuteOnDrive(SRB_ExecSCSICmd& srb, int drive);
  // START STOP UNIT with the given control byte (02h ejects the disc).
  int StartStopUnit(int drive, BYTE control);

  // Holds drive row `drive` for this process's update, from before its
  // first request until ReleaseDrive: a lock that every updater of this
  // machine takes, named after the drive's address and, where the library
  // names the device (OrvexDeviceName), keyed by the device, whatever the
  // library; and the library's own hold (OrvexDriveHold) where it has one.
  // 0 when held; ASPI_ERR_DRIVE_BUSY when another updater has the drive or
  // the lock cannot be had, and then nothing may be sent. *note says what
  // could not be held, and why.
  // Asked again for the drive it holds, it keeps the hold and returns 0.
  int HoldDrive(int drive, std::string* note);
  // Lets the drive go; safe to call when nothing is held, from any thread.
  void ReleaseDrive();
  bool HoldsDrive() const { return m_driveLock.Held(); }
  // The lock's name for table row `drive` ("Global\Orvex drive 1:0:0"
  // where the system has a global namespace).
  std::string DriveLockName(int drive) const;
  // The library's name of the device at table row `drive`; empty when it
  // names none.
  std::string DriveDeviceName(int drive) const;
  // Devices the library's last search found held by another process.
  int BusyDevices() const;

  LibHandle m_hAspi = nullptr;
  int m_nDrives = 0;
  PFN_GetASPI32SupportInfo m_pfnGetSupportInfo = nullptr;
  PFN_SendASPI32Command m_pfnSendCommand = nullptr;
  int m_nSenseCode = -1;
  int m_nSenseKey = -1;
  int m_nSenseASC = -1;
  int m_nSenseASCQ = -1;
  int m_bWin9x = 0;
  DriveEntry m_drives[MAX_DRIVES] = {};
  int m_nStatus = 0;
  BYTE m_nAdapters = 0;
  // The result of the last Execute, for front ends that tell more than
  // "failed".
  int m_nLastResult = 0;
  // Bytes of the last request's data-in answer that arrived; its whole
  // length for other requests; 0 when it did not complete.
  DWORD m_nLastArrived = 0;
  PFN_OrvexDriveHold m_pfnHold = nullptr;
  PFN_OrvexDeviceName m_pfnDeviceName = nullptr;
  RequestTraceFn m_pfnTrace = nullptr;
  void* m_pTraceContext = nullptr;

  // Completion events held for reuse (0 or 1); none once the object is gone.
  int KeptEvents() const { return m_pSpare != nullptr ? 1 : 0; }

  // How long one request may take, in milliseconds. Tests shorten it.
  static unsigned s_nRequestLimitMs;

 private:
  struct Request;
  void Load(const char* library);
  bool m_bOtherFill = false;  // ReadOnDrive's second look: the other fill
  int ExecuteOnce(SRB_ExecSCSICmd& srb);
  // Requests the library has not given back yet (timed out, failed wait,
  // still pending): their block, buffer and event stay alive until the
  // library signals that it is done with them.
  std::vector<Request*> m_parked;
  // The last request the library gave back, kept for the next one.
  Request* m_pSpare = nullptr;
  CNamedLock m_driveLock;
  int m_nHeldDrive = -1;  // the row the library holds, -1 none
  std::string m_strLockName;  // the drive lock's name while held
  void ReclaimParked();
  // OrvexDriveHold for the address of table row `drive`.
  DWORD CallHold(DWORD op, int drive);
  static void FreeRequest(Request* rq);
};
