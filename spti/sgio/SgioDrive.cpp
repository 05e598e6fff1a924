// The simulated drive behind a Unix socket, for the SG_IO shim that is
// preloaded into Wine: every SG_IO the shim forwards runs on the first
// device of a simulated-drive configuration (format in sim/README.md), and
// the outcome goes back as the kernel would report it.
//
//   SgioDrive CONFIG SOCKET
//
// Serves until it is ended; one connection per Wine process.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "aspi/wnaspi32.h"
#include "sim/SimModel.h"

namespace {

// The wire format shared with SgioShim.c.
struct Request {
  std::uint32_t magic;
  std::uint32_t cmdLen;
  std::uint8_t cdb[16];
  std::int32_t direction;
  std::uint32_t dxferLen;
  std::uint32_t mxSbLen;
};
struct Reply {
  std::uint32_t status;
  std::uint32_t senseLen;
  std::uint32_t dataLen;
  std::uint32_t hostStatus;
  std::uint8_t sense[32];
};
static_assert(sizeof(Request) == 36 && sizeof(Reply) == 48, "wire format");

constexpr std::int32_t kToDev = -2, kFromDev = -3;
constexpr std::uint32_t kMagic = 0x4F494753;
constexpr std::uint32_t kDidTimeOut = 0x03, kDidBadTarget = 0x04, kDidError = 0x07;
constexpr std::uint32_t kMaxTransfer = 1u << 20;

std::mutex g_busLock;

bool IoAll(int fd, bool writing, void* p, std::size_t len) {
  auto* b = static_cast<std::uint8_t*>(p);
  while (len > 0) {
    const ssize_t k = writing ? write(fd, b, len) : read(fd, b, len);
    if (k <= 0) return false;
    b += k;
    len -= static_cast<std::size_t>(k);
  }
  return true;
}

void Serve(int fd, sim::SimBus* bus, sim::DeviceConfig dev) {
  for (;;) {
    Request rq;
    if (!IoAll(fd, false, &rq, sizeof(rq)) || rq.magic != kMagic || rq.dxferLen > kMaxTransfer ||
        rq.cmdLen > 16)
      break;
    std::vector<std::uint8_t> data(rq.dxferLen);
    if (rq.direction == kToDev && !IoAll(fd, false, data.data(), data.size())) break;

    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof(srb));
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = static_cast<BYTE>(dev.ha);
    srb.SRB_Target = static_cast<BYTE>(dev.target);
    srb.SRB_Lun = static_cast<BYTE>(dev.lun);
    srb.SRB_Flags = rq.direction == kToDev ? SRB_DIR_OUT : rq.direction == kFromDev ? SRB_DIR_IN : 0;
    srb.SRB_BufLen = rq.dxferLen;
    srb.SRB_BufPointer = rq.dxferLen ? data.data() : nullptr;
    srb.SRB_SenseLen = static_cast<BYTE>(rq.mxSbLen < sizeof(srb.SenseArea) ? rq.mxSbLen
                                                                             : sizeof(srb.SenseArea));
    srb.SRB_CDBLen = static_cast<BYTE>(rq.cmdLen);
    std::memcpy(srb.CDBByte, rq.cdb, sizeof(rq.cdb));

    Reply rp;
    std::memset(&rp, 0, sizeof(rp));
    sim::Decision d;
    {
      std::lock_guard<std::mutex> lock(g_busLock);
      d = bus->Accept(srb);
    }
    if (d.latencyMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(d.latencyMs));
    if (d.completion != sim::Decision::Complete) {
      rp.hostStatus = kDidTimeOut;
    } else {
      std::lock_guard<std::mutex> lock(g_busLock);
      bus->Complete(srb, d);
      switch (srb.SRB_Status) {
        case SS_COMP:
          break;
        case SS_ERR:
          rp.status = srb.SRB_TargStat ? srb.SRB_TargStat : 0x02;
          rp.senseLen = srb.SRB_SenseLen;
          std::memcpy(rp.sense, srb.SenseArea, rp.senseLen);
          break;
        case SS_NO_DEVICE:
        case SS_INVALID_HA:
          rp.hostStatus = kDidBadTarget;
          break;
        default:
          rp.hostStatus = kDidError;
          break;
      }
    }
    rp.dataLen = rq.direction == kFromDev ? rq.dxferLen : 0;
    if (!IoAll(fd, true, &rp, sizeof(rp)) ||
        (rp.dataLen && !IoAll(fd, true, data.data(), rp.dataLen)))
      break;
  }
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: SgioDrive CONFIG SOCKET\n");
    return 2;
  }
  std::string text, error;
  sim::BusConfig cfg;
  if (!sim::ReadTextFile(argv[1], &text) || !sim::ParseConfig(text, &cfg, &error) ||
      cfg.devices.empty()) {
    std::fprintf(stderr, "SgioDrive: %s: %s\n", argv[1], error.empty() ? "no device" : error.c_str());
    return 1;
  }
  sim::SimBus bus(cfg);

  const int srv = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr;
  std::memset(&addr, 0, sizeof(addr));
  addr.sun_family = AF_UNIX;
  if (std::strlen(argv[2]) >= sizeof(addr.sun_path)) {
    std::fprintf(stderr, "SgioDrive: socket path too long\n");
    return 1;
  }
  std::strcpy(addr.sun_path, argv[2]);
  unlink(argv[2]);
  if (srv < 0 || bind(srv, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      listen(srv, 8) != 0) {
    std::perror("SgioDrive: socket");
    return 1;
  }
  std::printf("SgioDrive: serving %s on %s\n", argv[1], argv[2]);
  std::fflush(stdout);
  for (;;) {
    const int fd = accept(srv, nullptr, nullptr);
    if (fd < 0) continue;
    std::thread(Serve, fd, &bus, cfg.devices[0]).detach();
  }
}
