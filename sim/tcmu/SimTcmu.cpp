// The simulated drive served to a real kernel: a user-space backstore of
// target_core_user (TCMU). With tcm_loop in front of it the kernel's own SCSI
// stack sees the drive model as /dev/srN and /dev/sgN, sends it its own
// commands, and carries every SG_IO of a program to it. The configuration is
// the simulated drive's (sim/README.md); its first device answers.
//
//   sim-tcmu UIO CONFIG LOG     e.g. sim-tcmu uio0 /tmp/drive.cfg /tmp/wire.log
//
// LOG gets one line per command as it arrives ("rx", before it is carried
// out, so a command that never completes is there too), one as it completes
// ("tx") and one per task management notification ("tmr"); see
// sim/README.md. SIGTERM ends it between two commands.
#include <time.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "aspi/wnaspi32.h"
#include "sim/SimModel.h"
#include "sim/SimWire.h"
#include "sim/tcmu/TcmuRing.h"

namespace {

using sim::Crc32;
using sim::Hex;
using sim::Hold;
using sim::Now;

volatile std::sig_atomic_t g_stop = 0;
void OnTerm(int) { g_stop = 1; }

// The ring entry does not carry the direction: a drive knows it from the
// command. These send data to the device; every other command with a
// buffer reads from it.
bool DataOut(std::uint8_t opcode) {
  switch (opcode) {
    case 0x04: case 0x07: case 0x0A: case 0x15: case 0x1D: case 0x2A: case 0x2E: case 0x3B:
    case 0x3F: case 0x4C: case 0x54: case 0x55: case 0x5D: case 0x8A: case 0xA2: case 0xA3:
    case 0xAA: case 0xB6: case 0xBF:
      return true;
    default:
      return false;
  }
}

class Handler {
 public:
  Handler(TcmuRing* ring, sim::SimBus& bus, const sim::DeviceConfig& dev, std::FILE* log)
      : m_ring(ring), m_bus(bus), m_dev(dev), m_log(log) {}

  void Serve(const TcmuEntry& e) {
    if (e.kind == TCMU_ENTRY_TMR) {
      std::string ids;
      for (unsigned i = 0; i < e.tmrCount && i < 64; ++i) ids += (i ? "," : "") + std::to_string(e.tmrIds[i]);
      Log("tmr t=%.3f type=%u ids=%s\n", Now(), e.tmrType, ids.empty() ? "-" : ids.c_str());
      return;
    }
    const std::uint32_t n = ++m_count;
    if (e.kind != TCMU_ENTRY_COMMAND) {
      Log("rx n=%u t=%.3f id=%u bad entry\n", n, Now(), e.id);
      Answer(e.id, Failure(), 0, false);
      return;
    }
    const bool out = e.dataLength > 0 && DataOut(e.cdb[0]);
    std::vector<std::uint8_t> data(e.dataLength);
    if (out) Gather(e, data.data());

    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = static_cast<BYTE>(m_dev.ha);
    srb.SRB_Target = static_cast<BYTE>(m_dev.target);
    srb.SRB_Lun = static_cast<BYTE>(m_dev.lun);
    srb.SRB_Flags = e.dataLength == 0 ? 0 : out ? SRB_DIR_OUT : SRB_DIR_IN;
    srb.SRB_BufLen = static_cast<DWORD>(e.dataLength);
    srb.SRB_BufPointer = e.dataLength ? data.data() : nullptr;
    srb.SRB_SenseLen = sizeof srb.SenseArea;
    srb.SRB_CDBLen = static_cast<BYTE>(e.cdbLength);
    std::memcpy(srb.CDBByte, e.cdb, sizeof e.cdb);

    const sim::Kind kind = sim::ClassifyCdb(e.cdb);
    std::string extra;
    char b[32];
    if (kind == sim::Kind::WritePiece) {
      std::snprintf(b, sizeof b, " off=%02X%02X%02X", e.cdb[3], e.cdb[4], e.cdb[5]);
      extra = b;
    }
    if (out) {
      std::snprintf(b, sizeof b, " crc=%08X", Crc32(data.data(), data.size()));
      extra += b;
    }
    Log("rx n=%u t=%.3f id=%u kind=%s cdb=%s len=%llu dir=%s%s\n", n, Now(), e.id, sim::KindName(kind),
        Hex(e.cdb, e.cdbLength).c_str(), static_cast<unsigned long long>(e.dataLength),
        e.dataLength == 0 ? "none" : out ? "out" : "in", extra.c_str());

    const sim::Decision d = m_bus.Accept(srb);
    if (d.completion != sim::Decision::Complete) {
      // A drive that never answers: the kernel's timeouts deal with it.
      Log("held n=%u t=%.3f\n", n, Now());
      return;
    }
    if (d.latencyMs > 0) Hold(d.latencyMs);
    const std::uint32_t sent = m_bus.Complete(srb, d);
    Status st;
    if (srb.SRB_Status == SS_ERR) {
      st.status = srb.SRB_TargStat ? srb.SRB_TargStat : 0x02;
      st.senseLength = sizeof st.sense;
      std::memcpy(st.sense, srb.SenseArea, sizeof srb.SenseArea);
    } else if (srb.SRB_Status != SS_COMP) {
      st = Failure();
    }
    std::uint32_t read = 0;
    if (!out && e.dataLength > 0 && st.status == 0x00) {
      read = sent;
      Scatter(e, data.data(), sent);
    }
    Log("tx n=%u t=%.3f status=%02X sense=%s read=%u\n", n, Now(), st.status,
        st.senseLength ? (Hex(st.sense + 2, 1) + Hex(st.sense + 12, 2)).c_str() : "-", read);
    Answer(e.id, st, read, !out && e.dataLength > 0);
  }

 private:
  struct Status {
    std::uint8_t status = 0x00;
    std::uint8_t sense[18] = {};
    std::size_t senseLength = 0;
  };
  // An ASPI status has no SCSI form: the drive reports a failure of its
  // own, HARDWARE ERROR, internal target failure.
  static Status Failure() {
    Status st;
    st.status = 0x02;
    st.senseLength = sizeof st.sense;
    st.sense[0] = 0x70;
    st.sense[2] = 0x04;
    st.sense[7] = 10;
    st.sense[12] = 0x44;
    return st;
  }
  void Answer(std::uint16_t id, const Status& st, std::uint32_t read, bool dataIn) {
    TcmuRingComplete(m_ring, id, st.status, st.sense, st.senseLength, dataIn && TcmuRingTakesReadLength(m_ring),
                     read);
  }
  static void Gather(const TcmuEntry& e, std::uint8_t* to) {
    for (unsigned i = 0; i < e.spanCount; ++i) {
      std::memcpy(to, e.spans[i].base, e.spans[i].length);
      to += e.spans[i].length;
    }
  }
  static void Scatter(const TcmuEntry& e, const std::uint8_t* from, std::size_t n) {
    for (unsigned i = 0; i < e.spanCount && n > 0; ++i) {
      const std::size_t k = e.spans[i].length < n ? e.spans[i].length : n;
      std::memcpy(e.spans[i].base, from, k);
      from += k;
      n -= k;
    }
  }
  void Log(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, format);
    std::vfprintf(m_log, format, ap);
    va_end(ap);
    std::fflush(m_log);
  }

  TcmuRing* m_ring;
  sim::SimBus& m_bus;
  sim::DeviceConfig m_dev;
  std::FILE* m_log;
  std::uint32_t m_count = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: sim-tcmu UIO CONFIG LOG\n");
    return 2;
  }
  std::string text, error;
  sim::BusConfig cfg;
  if (!sim::ReadTextFile(argv[2], &text) || !sim::ParseConfig(text, &cfg, &error) || cfg.devices.empty()) {
    std::fprintf(stderr, "sim-tcmu: %s: %s\n", argv[2], error.empty() ? "no device" : error.c_str());
    return 1;
  }
  std::FILE* log = std::fopen(argv[3], "a");
  if (log == nullptr) {
    std::fprintf(stderr, "sim-tcmu: %s: %s\n", argv[3], std::strerror(errno));
    return 1;
  }
  char why[512];
  TcmuRing* ring = TcmuRingOpen(argv[1], why, sizeof why);
  if (ring == nullptr) {
    std::fprintf(stderr, "sim-tcmu: %s\n", why);
    return 1;
  }
  // SIGTERM is let through only while the handler waits for the kernel.
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnTerm;
  sigaction(SIGTERM, &sa, nullptr);
  sigset_t term, waiting;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  sigprocmask(SIG_BLOCK, &term, &waiting);
  sigdelset(&waiting, SIGTERM);

  sim::SimBus bus(cfg);
  Handler handler(ring, bus, cfg.devices[0], log);
  std::printf("sim-tcmu: serving %s on /dev/%s (mailbox version %u, flags %02Xh, ring %u bytes)\n", argv[2], argv[1],
              TcmuRingVersion(ring), TcmuRingFlags(ring), TcmuRingSize(ring));
  std::fflush(stdout);
  TcmuEntry e;
  while (!g_stop) {
    while (TcmuRingTake(ring, &e)) handler.Serve(e);
    TcmuRingPassOver(ring);
    if (!g_stop) TcmuRingWait(ring, &waiting);
  }
  TcmuRingClose(ring);
  std::fclose(log);
  return 0;
}
