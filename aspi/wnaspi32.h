// The published ASPI for Win32 interface: commands, status and flag values,
// and the request blocks, as the programs and the ASPI libraries of this
// project all use them (the transport, the simulated drive, the
// pass-through and SG_IO libraries).
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;

// ---- ASPI commands ----
enum : BYTE {
  SC_HA_INQUIRY = 0x00,
  SC_GET_DEV_TYPE = 0x01,
  SC_EXEC_SCSI_CMD = 0x02,
  SC_ABORT_SRB = 0x03
};

// ---- SRB_Status values ----
enum : BYTE {
  SS_PENDING = 0x00,
  SS_COMP = 0x01,
  SS_ABORTED = 0x02,
  SS_ABORT_FAIL = 0x03,
  SS_ERR = 0x04,
  SS_INVALID_CMD = 0x80,
  SS_INVALID_HA = 0x81,
  SS_NO_DEVICE = 0x82,
  SS_INVALID_SRB = 0xE0,
  SS_BUFFER_ALIGN = 0xE1,
  SS_ILLEGAL_MODE = 0xE2,
  SS_NO_ASPI = 0xE3,
  SS_FAILED_INIT = 0xE4,
  SS_ASPI_IS_BUSY = 0xE5,
  SS_BUFFER_TO_BIG = 0xE6
};

// ---- SRB_Flags ----
enum : BYTE {
  SRB_POSTING = 0x01,
  SRB_ENABLE_RESIDUAL_COUNT = 0x04,
  SRB_DIR_IN = 0x08,
  SRB_DIR_OUT = 0x10,
  SRB_EVENT_NOTIFY = 0x40
};

enum : int { SENSE_LEN = 14 };

// The notification field (SRB_PostProc) carries an event handle or the
// address of a posting routine. On 64-bit Windows both need 64 bits; on the
// native build it carries an event number and stays 32 bits wide.
#if defined(_WIN64)
typedef std::uint64_t SRB_POSTPROC;
#else
typedef DWORD SRB_POSTPROC;
#endif

#pragma pack(push, 1)
// SC_EXEC_SCSI_CMD. On the 32-bit Windows build this is the published
// 80-byte layout. Elsewhere the fields keep their order, packed, with a
// pointer-sized buffer address; on 64-bit Windows the notification field is
// 64 bits too (88 bytes in all), natively 32 (84 bytes).
struct SRB_ExecSCSICmd {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  BYTE SRB_Target;
  BYTE SRB_Lun;
  WORD SRB_Rsvd1;
  DWORD SRB_BufLen;
  BYTE* SRB_BufPointer;
  BYTE SRB_SenseLen;
  BYTE SRB_CDBLen;
  BYTE SRB_HaStat;
  BYTE SRB_TargStat;
  SRB_POSTPROC SRB_PostProc;
  BYTE SRB_Rsvd2[20];
  BYTE CDBByte[16];
  BYTE SenseArea[SENSE_LEN + 2];
};

// SC_ABORT_SRB, for libraries that are asked to give a request up.
struct SRB_Abort {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  void* SRB_ToAbort;
};
#pragma pack(pop)

static_assert(offsetof(SRB_ExecSCSICmd, SRB_Cmd) == 0x00, "SRB_Cmd");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Status) == 0x01, "SRB_Status");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaId) == 0x02, "SRB_HaId");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Flags) == 0x03, "SRB_Flags");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Hdr_Rsvd) == 0x04, "SRB_Hdr_Rsvd");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 0x08, "SRB_Target");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Lun) == 0x09, "SRB_Lun");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd1) == 0x0A, "SRB_Rsvd1");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 0x0C, "SRB_BufLen");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 0x10, "SRB_BufPointer");
// Everything after the buffer address moves with the size of a pointer.
constexpr std::size_t kSrbPtrExtra = sizeof(void*) - 4;
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 0x14 + kSrbPtrExtra, "SRB_SenseLen");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 0x15 + kSrbPtrExtra, "SRB_CDBLen");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 0x16 + kSrbPtrExtra, "SRB_HaStat");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 0x17 + kSrbPtrExtra, "SRB_TargStat");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 0x18 + kSrbPtrExtra, "SRB_PostProc");
constexpr std::size_t kSrbPostExtra = sizeof(SRB_POSTPROC) - 4;
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2) == 0x1C + kSrbPtrExtra + kSrbPostExtra, "SRB_Rsvd2");
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 0x30 + kSrbPtrExtra + kSrbPostExtra, "CDBByte");
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 0x40 + kSrbPtrExtra + kSrbPostExtra, "SenseArea");
static_assert(sizeof(SRB_ExecSCSICmd) == 0x50 + kSrbPtrExtra + kSrbPostExtra, "SRB_ExecSCSICmd size");
#if defined(_WIN64)
static_assert(sizeof(SRB_ExecSCSICmd::SRB_BufPointer) == 8 && sizeof(SRB_ExecSCSICmd::SRB_PostProc) == 8,
              "the Win64 block carries 64-bit addresses and handles");
static_assert(sizeof(SRB_ExecSCSICmd) == 88, "the Win64 request block is 88 bytes");
#elif defined(_WIN32)
static_assert(sizeof(SRB_ExecSCSICmd) == 80, "the Windows request block is 80 bytes");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 0x18 && offsetof(SRB_ExecSCSICmd, CDBByte) == 0x30,
              "the published Win32 offsets");
#endif

// Values only the libraries need: "not initialised", host adapter
// statuses, the CD-ROM device type.
enum : BYTE { SS_NO_ADAPTERS = 0xE8 };
enum : BYTE {
  HASTAT_OK = 0x00,
  HASTAT_COMMAND_TIMEOUT = 0x0B,
  HASTAT_SEL_TO = 0x11,
  HASTAT_DO_DU = 0x12,
  HASTAT_PHASE_ERR = 0x14
};
enum : BYTE { DTYPE_CDROM = 0x05 };

#pragma pack(push, 1)
// SC_HA_INQUIRY.
struct SRB_HAInquiry {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  BYTE HA_Count;
  BYTE HA_SCSI_ID;
  BYTE HA_ManagerId[16];
  BYTE HA_Identifier[16];
  BYTE HA_Unique[16];  // 0-1 alignment mask, 3 targets, 4-7 maximum transfer
  WORD HA_Rsvd1;
};
// SC_GET_DEV_TYPE.
struct SRB_GDEVBlock {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  BYTE SRB_Target;
  BYTE SRB_Lun;
  BYTE SRB_DeviceType;
  BYTE SRB_Rsvd1;
};
#pragma pack(pop)

// The libraries' one entry point beyond the published interface, looked up
// by name (a library without it offers no hold):
//   DWORD OrvexDriveHold(DWORD op, BYTE ha, BYTE target, BYTE lun)
// holds the device at that address for this process alone through an
// update, so that no other updater, and where the system can refuse them
// no other program, sends it commands meanwhile; or lets it go; or counts
// the devices its last search found held by another process.
typedef DWORD (*PFN_OrvexDriveHold)(DWORD op, BYTE ha, BYTE target, BYTE lun);
enum : DWORD { ORVEX_HOLD_RELEASE = 0, ORVEX_HOLD_TAKE = 1, ORVEX_HOLD_BUSY_COUNT = 2 };
// Results in the low byte; for ORVEX_HOLD_UNAVAILABLE the system's error in
// the bits above. Requests go on after UNAVAILABLE, never after BUSY.
enum : DWORD {
  ORVEX_HELD = 0,
  ORVEX_HOLD_BUSY = 1,         // another process holds the device or has it open
  ORVEX_HOLD_UNAVAILABLE = 2,  // the system offers no hold here
  ORVEX_HOLD_NO_DEVICE = 3
};
// And, looked up the same way (a library without it names no device):
//   DWORD OrvexDeviceName(BYTE ha, BYTE target, BYTE lun, char* name, DWORD size)
// the system's name of the device at that address ("/dev/sr0" on Linux),
// which stays the same for every process while the device is attached,
// whatever address a search gave it: the updaters' lock between processes
// is keyed by it. Writes it NUL-terminated; returns its length, 0 when
// there is no such device or `size` is too small.
typedef DWORD (*PFN_OrvexDeviceName)(BYTE ha, BYTE target, BYTE lun, char* name, DWORD size);
static_assert(sizeof(SRB_HAInquiry) == 60, "SRB_HAInquiry");
static_assert(sizeof(SRB_GDEVBlock) == 12, "SRB_GDEVBlock");
