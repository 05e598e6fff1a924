// The small device-I/O surface the pass-through layer needs from the
// operating system: which drive letters are CD/DVD drives, open a device by
// path, one DeviceIoControl-like call, close, signal a completion, report a
// line. The structures below are the Windows NT storage ones, declared here
// with fixed-width types so the mapping builds and is tested on any host;
// the Win32 implementation checks at compile time that they match the
// system's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace spti {

typedef std::uintptr_t DevHandle;

// Windows error codes the layer tells apart (winerror.h values).
enum : std::uint32_t {
  kErrNone = 0,
  kErrInvalidFunction = 1,
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrAccessDenied = 5,
  kErrInvalidHandle = 6,
  kErrNotEnoughMemory = 8,
  kErrNotReady = 21,
  kErrGenFailure = 31,
  kErrNotSupported = 50,
  kErrBusy = 170,
  kErrDevNotExist = 55,
  kErrInvalidParameter = 87,
  kErrSemTimeout = 121,
  kErrNoSuchDevice = 433,
  kErrNoAccess = 998,
  kErrIoDevice = 1117,
  kErrDeviceNotConnected = 1167,
  kErrNoSystemResources = 1450,
  kErrTimeout = 1460,
  kErrInvalidUserBuffer = 1784
};

// Control codes (CTL_CODE of the published device types and functions).
enum : std::uint32_t {
  kIoctlScsiGetCapabilities = 0x00041010,   // IOCTL_SCSI_GET_CAPABILITIES
  kIoctlScsiPassThroughDirect = 0x0004D014, // IOCTL_SCSI_PASS_THROUGH_DIRECT
  kIoctlScsiGetAddress = 0x00041018,        // IOCTL_SCSI_GET_ADDRESS
  kIoctlStorageQueryProperty = 0x002D1400,  // IOCTL_STORAGE_QUERY_PROPERTY
  kIoctlCdromExclusiveAccess = 0x0002C05C   // IOCTL_CDROM_EXCLUSIVE_ACCESS (Vista and later)
};

// CDROM_EXCLUSIVE_ACCESS and CDROM_EXCLUSIVE_LOCK.
enum : std::uint32_t { kExclusiveLockDevice = 1, kExclusiveUnlockDevice = 2 };
struct CdromExclusiveAccess {
  std::uint32_t RequestType;
  std::uint32_t Flags;
};
struct CdromExclusiveLock {
  CdromExclusiveAccess Access;
  std::uint8_t CallerName[64];  // letters, digits, spaces and a few marks
};

// SCSI_PASS_THROUGH_DIRECT: natural alignment, pointer-sized DataBuffer.
struct ScsiPassThroughDirect {
  std::uint16_t Length;
  std::uint8_t ScsiStatus;
  std::uint8_t PathId;
  std::uint8_t TargetId;
  std::uint8_t Lun;
  std::uint8_t CdbLength;
  std::uint8_t SenseInfoLength;
  std::uint8_t DataIn;
  std::uint32_t DataTransferLength;
  std::uint32_t TimeOutValue;  // seconds
  void* DataBuffer;
  std::uint32_t SenseInfoOffset;
  std::uint8_t Cdb[16];
};

enum : std::uint8_t { kDataOut = 0, kDataIn = 1, kDataUnspecified = 2 };

// The request as the layer sends it: the sense buffer follows the
// structure in the same block, found through SenseInfoOffset.
struct PassThroughRequest {
  ScsiPassThroughDirect sptd;
  std::uint32_t filler;  // keeps the sense buffer DWORD-aligned
  std::uint8_t sense[32];
};

// SCSI_ADDRESS.
struct ScsiAddress {
  std::uint32_t Length;
  std::uint8_t PortNumber;
  std::uint8_t PathId;
  std::uint8_t TargetId;
  std::uint8_t Lun;
};

// IO_SCSI_CAPABILITIES.
struct ScsiCapabilities {
  std::uint32_t Length;
  std::uint32_t MaximumTransferLength;
  std::uint32_t MaximumPhysicalPages;
  std::uint32_t SupportedAsynchronousEvents;
  std::uint32_t AlignmentMask;
  std::uint8_t TaggedQueuing;
  std::uint8_t AdapterScansDown;
  std::uint8_t AdapterUsesPio;
};

// STORAGE_PROPERTY_QUERY asking for the adapter descriptor.
struct StoragePropertyQuery {
  std::uint32_t PropertyId;  // StorageAdapterProperty = 1
  std::uint32_t QueryType;   // PropertyStandardQuery = 0
  std::uint8_t AdditionalParameters[4];
};

// The leading part of STORAGE_ADAPTER_DESCRIPTOR the layer reads.
struct StorageAdapterDescriptor {
  std::uint32_t Version;
  std::uint32_t Size;
  std::uint32_t MaximumTransferLength;
  std::uint32_t MaximumPhysicalPages;
  std::uint32_t AlignmentMask;
  std::uint8_t AdapterUsesPio;
  std::uint8_t AdapterScansDown;
  std::uint8_t CommandQueueing;
  std::uint8_t AcceleratedTransfer;
  std::uint8_t BusType;
  std::uint8_t Reserved;
  std::uint16_t BusMajorVersion;
  std::uint16_t BusMinorVersion;
};

class CDeviceIo {
 public:
  virtual ~CDeviceIo() = default;
  // Drive letters ("DE") whose drive type is CD-ROM, in ascending order.
  virtual std::string CdRomLetters() = 0;
  // The paths the search opens, in order. Windows': the CD-ROM letters
  // (\\.\D:), then \\.\CdRom0 to \\.\CdRom31, tried blindly.
  virtual std::vector<std::string> DevicePaths();
  // Opens the device for reading and writing, shared; 0 or a Windows error.
  virtual std::uint32_t Open(const std::string& path, DevHandle* out) = 0;
  // DeviceIoControl; 0 or a Windows error. `*returned` is the output size.
  virtual std::uint32_t Control(DevHandle h, std::uint32_t code, void* in, std::uint32_t inLen,
                                void* out, std::uint32_t outLen, std::uint32_t* returned) = 0;
  virtual void Close(DevHandle h) = 0;
  // Holds the device for this process alone through an update (`hold`), or
  // lets it go. Its handle may change (*h). 0 when done; kErrBusy when
  // another process holds it or has it open, so nothing must be sent;
  // another error when the system offers no such hold, which requests
  // survive. Windows': the class driver's exclusive access, which refuses
  // other handles' requests meanwhile.
  virtual std::uint32_t Hold(DevHandle* h, const std::string& path, bool hold);
  // Completion of a request block: sets the event (SRB_EVENT_NOTIFY) or
  // calls the posting routine (SRB_POSTING) named by SRB_PostProc.
  virtual void Notify(std::uint8_t flags, std::uint64_t postProc, void* srb) = 0;
  // One line for the user or the developer (standard error, debugger).
  virtual void Report(const std::string& line) = 0;

  // The layer's lines in the words of the system beneath: the tag they
  // start with, and what a failure with error `err` means and how to get
  // past it. The defaults are Windows'.
  enum class Say { OpenDenied, NoneOpened, RequestFailed };
  virtual std::string Tag();
  virtual std::string Words(Say what, std::uint32_t err);
};

}  // namespace spti
