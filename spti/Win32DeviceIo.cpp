// The device layer over the Win32 API: drive types, CreateFileA,
// DeviceIoControl, completion events and debugger output.
#include "spti/DeviceIo.h"
#include "spti/SptiPort.h"

#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstdio>

namespace spti {

// The portable declarations must be the system's own, byte for byte.
static_assert(sizeof(ScsiPassThroughDirect) == sizeof(SCSI_PASS_THROUGH_DIRECT), "SPTD size");
static_assert(offsetof(ScsiPassThroughDirect, DataTransferLength) ==
                  offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength), "SPTD length");
static_assert(offsetof(ScsiPassThroughDirect, TimeOutValue) ==
                  offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue), "SPTD timeout");
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) ==
                  offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer), "SPTD buffer");
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoOffset) ==
                  offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset), "SPTD sense offset");
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb),
              "SPTD CDB");
static_assert(sizeof(ScsiAddress) == sizeof(SCSI_ADDRESS), "SCSI_ADDRESS");
static_assert(offsetof(ScsiAddress, Lun) == offsetof(SCSI_ADDRESS, Lun), "SCSI_ADDRESS Lun");
static_assert(sizeof(ScsiCapabilities) == sizeof(IO_SCSI_CAPABILITIES), "IO_SCSI_CAPABILITIES");
static_assert(offsetof(ScsiCapabilities, AlignmentMask) ==
                  offsetof(IO_SCSI_CAPABILITIES, AlignmentMask), "capabilities mask");
static_assert(offsetof(StorageAdapterDescriptor, AlignmentMask) ==
                  offsetof(STORAGE_ADAPTER_DESCRIPTOR, AlignmentMask), "adapter mask");
static_assert(kIoctlScsiPassThroughDirect == IOCTL_SCSI_PASS_THROUGH_DIRECT, "ioctl");
static_assert(kIoctlScsiGetAddress == IOCTL_SCSI_GET_ADDRESS, "ioctl");
static_assert(kIoctlScsiGetCapabilities == IOCTL_SCSI_GET_CAPABILITIES, "ioctl");
// Not in every SDK's headers: its published definition.
static_assert(kIoctlCdromExclusiveAccess ==
                  CTL_CODE(FILE_DEVICE_CD_ROM, 0x0017, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS),
              "ioctl");
static_assert(sizeof(CdromExclusiveLock) == 72, "CDROM_EXCLUSIVE_LOCK");
static_assert(kIoctlStorageQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY, "ioctl");
static_assert(kErrAccessDenied == ERROR_ACCESS_DENIED && kErrSemTimeout == ERROR_SEM_TIMEOUT &&
                  kErrInvalidParameter == ERROR_INVALID_PARAMETER &&
                  kErrDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED &&
                  kErrInvalidUserBuffer == ERROR_INVALID_USER_BUFFER &&
                  kErrNoSystemResources == ERROR_NO_SYSTEM_RESOURCES,
              "error codes");

namespace {

const BYTE kFlagPosting = 0x01;
const BYTE kFlagEventNotify = 0x40;

class CWin32DeviceIo : public CDeviceIo {
 public:
  std::string CdRomLetters() override {
    std::string letters;
    const DWORD present = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
      if ((present & (1u << i)) == 0) continue;
      const char root[4] = {static_cast<char>('A' + i), ':', '\\', 0};
      if (GetDriveTypeA(root) == DRIVE_CDROM) letters += root[0];
    }
    return letters;
  }

  std::uint32_t Open(const std::string& path, DevHandle* out) override {
    // A drive without a disc must not bring up the system's error box.
    const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD err = GetLastError();
    SetErrorMode(old);
    if (h == INVALID_HANDLE_VALUE) return err != 0 ? err : ERROR_GEN_FAILURE;
    *out = reinterpret_cast<DevHandle>(h);
    return 0;
  }

  std::uint32_t Control(DevHandle h, std::uint32_t code, void* in, std::uint32_t inLen, void* out,
                        std::uint32_t outLen, std::uint32_t* returned) override {
    DWORD got = 0;
    const BOOL ok = DeviceIoControl(reinterpret_cast<HANDLE>(h), code, in, inLen, out, outLen, &got,
                                    nullptr);
    *returned = got;
    if (ok) return 0;
    const DWORD err = GetLastError();
    return err != 0 ? err : ERROR_GEN_FAILURE;
  }

  void Close(DevHandle h) override { CloseHandle(reinterpret_cast<HANDLE>(h)); }

  void Notify(std::uint8_t flags, std::uint64_t postProc, void* srb) override {
    if (postProc == 0) return;
    if (flags & kFlagEventNotify) {
      SetEvent(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(postProc)));
    } else if (flags & kFlagPosting) {
      // The published posting routine: cdecl, given the request block.
      typedef void (*PostRoutine)(void*);
      reinterpret_cast<PostRoutine>(static_cast<UINT_PTR>(postProc))(srb);
    }
  }

  void Report(const std::string& line) override {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    OutputDebugStringA((line + "\n").c_str());
  }
};

CRITICAL_SECTION* LayerSection() {
  // Initialised while the loader holds its lock, before any entry point
  // can be called.
  static CRITICAL_SECTION* cs = [] {
    auto* s = new CRITICAL_SECTION;
    InitializeCriticalSection(s);
    return s;
  }();
  return cs;
}
CRITICAL_SECTION* const g_section = LayerSection();

}  // namespace

CDeviceIo& PlatformDeviceIo() {
  static CWin32DeviceIo io;
  return io;
}

CLayerLock::CLayerLock() { EnterCriticalSection(g_section); }
CLayerLock::~CLayerLock() { LeaveCriticalSection(g_section); }

}  // namespace spti
