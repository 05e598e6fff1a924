// The simulated drive: its configuration, one device's behaviour, and the
// bus that routes request blocks to devices with the configured faults.
// Plain C++ so that tests can drive it without the library around it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "aspi/wnaspi32.h"
#include "sim/SimPort.h"

namespace sim {

// The command kinds faults and counters refer to.
enum class Kind {
  Inquiry, TestUnitReady, StartStop, WritePiece, ReadTransferSum, ReadZoneSum,
  CommitMain, CommitStrategy, IdText, Other, Any
};
const char* KindName(Kind k);
bool ParseKind(const std::string& s, Kind* out);
// The kind of a CDB as the drive sees it.
Kind ClassifyCdb(const std::uint8_t* cdb);

enum class FaultAction {
  Check,          // check condition with the given sense
  Status,         // complete with the given SRB_Status (82h, 02h, E0h, ...)
  Timeout,        // never complete
  SignalPending,  // signal the event but leave the request pending forever
  BadSum,         // answer a checksum one higher than the right one
  LateCheck,      // carry the command out, then answer a check condition
  Slow,           // carry the command out normally, taking the given time
  Short           // carry it out, good status, but send fewer data-in bytes
};

struct Fault {
  Kind kind = Kind::Any;
  int occurrence = 1;     // 1-based count of that kind on that device
  bool onward = false;    // that one and every later one
  FaultAction action = FaultAction::Check;
  std::uint8_t status = 0;
  std::uint8_t senseKey = 0, asc = 0, ascq = 0;
  int delayMs = 0;  // Slow
  int bytes = 0;    // Short: at most this many, -1 half of the answer
};

struct DeviceConfig {
  int ha = 0, target = 0, lun = 0;
  std::string vendor = "KORVELIN";          // 8 bytes
  std::string product = "DVDRRW M1       "; // 16 bytes
  std::string revision = "1.00";            // 4 bytes
  std::string idText = "ABC123";            // 6 bytes, NULs allowed
  std::uint8_t deviceType = 0x05;
  bool disc = false;
  std::uint32_t zoneSum = 0x00C0FFEE;
  int inquiryLength = 36;
  bool strategyChangesZone = false;
  // The identification query is a 12-byte packet whose byte 10 must be 07h;
  // false checks only its first ten bytes, which is all a drive behind the
  // kernel's target stack receives of a vendor command.
  bool idTextNeedsByte10 = true;
  int latencyMs = -1;  // -1: the bus's
  std::vector<Fault> faults;
};

struct BusConfig {
  int adapters = 1;
  std::uint8_t supportStatus = SS_COMP;
  bool async = false;
  // SRB_Status 00h is written when a request is taken; false leaves the
  // byte as the caller left it until the request completes.
  bool markPending = true;
  int latencyMs = 0;
  std::string logPath;
  std::string flashPath;
  std::vector<DeviceConfig> devices;
};

// Parses the configuration text (format in sim/README.md).
bool ParseConfig(const std::string& text, BusConfig* out, std::string* error);
bool ReadTextFile(const std::string& path, std::string* text);

// A quoted or bare value with \xHH, \0, \\ and \" escapes, padded with
// spaces (or cut) to `width` when width > 0.
std::string FitField(const std::string& s, std::size_t width);

// Answer of one command.
struct Reply {
  std::uint8_t status = SS_COMP;
  std::uint8_t sense[18] = {};
  std::vector<std::uint8_t> data;  // what a data-in command sends back
};

// One device: identity, disc, received firmware buffer and flash.
class SimDrive {
 public:
  enum : std::uint32_t { kBufferSize = 0x200000, kLoadLength = 0x1A0000, kZoneSpan = 0xF8000 };
  explicit SimDrive(const DeviceConfig& cfg);

  // Runs one CDB. `out` is the data a data-out command carries.
  Reply Handle(const std::uint8_t* cdb, const std::uint8_t* out, std::uint32_t outLen);

  const DeviceConfig& Config() const { return m_cfg; }
  bool Disc() const { return m_cfg.disc; }
  // The byte sum of the receive buffer over [0, length).
  std::uint32_t ReceivedSum(std::uint32_t length) const;
  std::uint32_t ZoneSum() const { return m_cfg.zoneSum; }
  // Flash contents that outlive a run.
  void SetFlash(const std::string& vendor, const std::string& product,
                const std::string& revision, std::uint32_t zoneSum);
  bool Committed() const { return m_committed; }

 private:
  Reply Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) const;
  DeviceConfig m_cfg;
  std::vector<std::uint8_t> m_buffer;
  bool m_committed = false;
};

// Finds the identity block in a received image the way the image loader
// does; -1 when none fits.
int FindIdentity(const std::uint8_t* data, std::uint32_t length);

// What the bus decided when a request arrived; carried out at completion.
struct Decision {
  enum Completion { Complete, Never, SignalOnly } completion = Complete;
  int device = -1;  // index into devices, -1 none
  int latencyMs = 0;
  bool hasFault = false;
  Fault fault;
};

// Adapters, devices, faults, the request log and the flash-state file.
class SimBus {
 public:
  explicit SimBus(const BusConfig& cfg);
  ~SimBus();
  SimBus(const SimBus&) = delete;
  SimBus& operator=(const SimBus&) = delete;

  std::uint32_t SupportInfo() const;
  bool Async() const { return m_cfg.async; }
  bool MarksPending() const { return m_cfg.markPending; }
  // Logs the block, counts it and decides its fate.
  Decision Accept(const SRB_ExecSCSICmd& srb);
  // Runs the decision: answer, sense and, last, the status. Returns the
  // bytes of data in the device put into the buffer.
  std::uint32_t Complete(SRB_ExecSCSICmd& srb, const Decision& d);

  SimDrive& Device(int i) { return m_devices[static_cast<std::size_t>(i)]; }
  int DeviceCount() const { return static_cast<int>(m_devices.size()); }
  int Count(int device, Kind k) const;

 private:
  void LoadFlash();
  void SaveFlash();
  BusConfig m_cfg;
  std::vector<SimDrive> m_devices;
  std::vector<std::vector<int>> m_counts;
  std::FILE* m_log = nullptr;
  mutable Lock m_mutex;
};

// A block's status is the library's last write; readers poll it.
inline void StoreStatus(SRB_ExecSCSICmd& srb, std::uint8_t status) {
  __atomic_store_n(&srb.SRB_Status, status, __ATOMIC_RELEASE);
}

}  // namespace sim
