// The simulated drive as a USB mass-storage device: a FunctionFS function
// that speaks the Bulk-Only Transport (CBW, data, CSW, Get Max LUN, the
// class reset) over sim/SimModel. Bound to a USB device controller through
// a configfs gadget (in tests/vm, dummy_hcd's), the kernel's own usb-storage
// driver finds a USB CD/DVD drive and makes its /dev/srN and /dev/sgN, as
// for an external writer. The configuration is the simulated drive's
// (sim/README.md); its first device answers.
//
//   sim-usbgadget FFS GADGET UDC CONFIG LOG [OPTION...]
//     FFS     the mounted FunctionFS folder (ep0, then ep1 in, ep2 out)
//     GADGET  the configfs gadget whose UDC file binds it
//     UDC     the device controller's name (dummy_udc.0)
//   --restart-after-commit MS  after a commit is answered, leave the bus
//                              (unbind) and come back MS later, as a drive
//                              whose firmware restarts does (its new
//                              revision, from the flash file)
//   --leave-at-commit MS       leave the bus when the commit arrives,
//                              without answering it; back MS later
//
// LOG has the lines of sim-tcmu ("rx" as a command arrives, "tx" as it
// completes) and one per control request, reset and departure ("ctl",
// "bus"). SIGTERM ends it.
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "aspi/wnaspi32.h"
#include "sim/SimModel.h"
#include "sim/SimWire.h"

namespace {

using sim::Crc32;
using sim::Hex;
using sim::Hold;
using sim::Now;

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::FILE* g_log = nullptr;
std::mutex g_logLock;
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
  std::lock_guard<std::mutex> hold(g_logLock);
  va_list ap;
  va_start(ap, format);
  std::vfprintf(g_log, format, ap);
  va_end(ap);
  std::fflush(g_log);
}

// The function's descriptors: one interface of class mass storage, SCSI
// transparent command set (06h), Bulk-Only Transport (50h), as external
// DVD writers have; a bulk endpoint each way, at full and high speed.
struct __attribute__((packed)) Descriptors {
  usb_functionfs_descs_head_v2 head;
  __le32 fsCount, hsCount;
  struct __attribute__((packed)) Set {
    usb_interface_descriptor intf;
    usb_endpoint_descriptor_no_audio in, out;
  } fs, hs;
};

Descriptors::Set MakeSet(std::uint16_t maxPacket) {
  Descriptors::Set s;
  std::memset(&s, 0, sizeof s);
  s.intf.bLength = sizeof s.intf;
  s.intf.bDescriptorType = USB_DT_INTERFACE;
  s.intf.bNumEndpoints = 2;
  s.intf.bInterfaceClass = USB_CLASS_MASS_STORAGE;
  s.intf.bInterfaceSubClass = 0x06;
  s.intf.bInterfaceProtocol = 0x50;
  s.intf.iInterface = 1;
  for (auto* ep : {&s.in, &s.out}) {
    ep->bLength = sizeof *ep;
    ep->bDescriptorType = USB_DT_ENDPOINT;
    ep->bmAttributes = USB_ENDPOINT_XFER_BULK;
    ep->wMaxPacketSize = htole16(maxPacket);
  }
  s.in.bEndpointAddress = 1 | USB_DIR_IN;
  s.out.bEndpointAddress = 2 | USB_DIR_OUT;
  return s;
}

struct __attribute__((packed)) Strings {
  usb_functionfs_strings_head head;
  __le16 language;
  char text[sizeof "Orvex simulated drive"];
};

bool WriteAll(int fd, const void* p, std::size_t n) { return write(fd, p, n) == static_cast<ssize_t>(n); }

// The bus side: binding the gadget to the controller, and leaving.
class Bus {
 public:
  Bus(std::string gadget, std::string udc) : m_udcFile(std::move(gadget) + "/UDC"), m_udc(std::move(udc)) {}
  bool Bind() { return Put(m_udc + "\n"); }
  bool Unbind() { return Put("\n"); }

 private:
  bool Put(const std::string& s) {
    const int fd = open(m_udcFile.c_str(), O_WRONLY);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, s.data(), s.size());
    close(fd);
    return ok;
  }
  std::string m_udcFile, m_udc;
};

// What ep0 reports to the command loop.
struct Control {
  std::atomic<bool> enabled{false};
  std::atomic<unsigned> resets{0};
  pthread_t serving;
};

void OnWake(int) {}

// ep0: the function's events and the class requests. A class reset wakes
// the command loop out of its endpoint I/O, so that it drops the command it
// was serving and waits for the next CBW, as the transport wants.
void ServeEp0(int ep0, Control* c) {
  usb_functionfs_event events[4];
  for (;;) {
    const ssize_t n = read(ep0, events, sizeof events);
    if (n < 0) {
      if (errno == EINTR) continue;
      Log("bus t=%.3f ep0 read failed: %s\n", Now(), std::strerror(errno));
      return;
    }
    for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof events[0]); ++i) {
      const usb_functionfs_event& e = events[i];
      switch (e.type) {
        case FUNCTIONFS_ENABLE:
          Log("bus t=%.3f enable\n", Now());
          c->enabled = true;
          break;
        case FUNCTIONFS_DISABLE:
        case FUNCTIONFS_UNBIND:
          Log("bus t=%.3f %s\n", Now(), e.type == FUNCTIONFS_DISABLE ? "disable" : "unbind");
          c->enabled = false;
          c->resets++;
          pthread_kill(c->serving, SIGUSR1);
          break;
        case FUNCTIONFS_SETUP: {
          const usb_ctrlrequest& r = e.u.setup;
          const unsigned length = le16toh(r.wLength);
          Log("ctl t=%.3f type=%02X request=%02X value=%04X index=%04X length=%u\n", Now(), r.bRequestType,
              r.bRequest, le16toh(r.wValue), le16toh(r.wIndex), length);
          std::uint8_t ack = 0;
          if (r.bRequestType == 0xA1 && r.bRequest == 0xFE && length >= 1) {
            // Get Max LUN: one logical unit.
            if (write(ep0, &ack, 1) != 1) Log("ctl t=%.3f answer failed: %s\n", Now(), std::strerror(errno));
          } else if (r.bRequestType == 0x21 && r.bRequest == 0xFF && length == 0) {
            // Bulk-Only Mass Storage Reset: ready for a CBW once it is acked.
            c->resets++;
            pthread_kill(c->serving, SIGUSR1);
            if (read(ep0, &ack, 0) < 0) Log("ctl t=%.3f ack failed: %s\n", Now(), std::strerror(errno));
            Log("ctl t=%.3f reset\n", Now());
          } else {
            // Anything else is stalled: I/O against the request's direction.
            const ssize_t k = (r.bRequestType & USB_DIR_IN) ? read(ep0, &ack, 0) : write(ep0, &ack, 0);
            (void)k;
          }
          break;
        }
        default:
          Log("bus t=%.3f event %u\n", Now(), e.type);
      }
    }
  }
}

struct Options {
  int restartAfterCommitMs = -1;
  int leaveAtCommitMs = -1;
};

// dummy_hcd completes the device's side of a transfer before it gives the
// host its URB back: a device that left at once after its CSW took the
// commit's answer with it (the commit failed with DID_ERROR), which no
// device on a real bus can do once the host has acknowledged the packet.
// The restarting drive leaves this long after its answer is out.
constexpr int kAnswerOutMs = 100;

class Drive {
 public:
  Drive(const sim::BusConfig& cfg, Bus& bus, Control& control, int in, int out, const Options& opt)
      : m_cfg(cfg), m_bus(bus), m_control(control), m_in(in), m_out(out), m_opt(opt),
        m_model(new sim::SimBus(cfg)) {}

  void Run() {
    std::vector<std::uint8_t> cbw(512);
    for (;;) {
      if (!m_control.enabled) {
        Hold(5);
        continue;
      }
      const unsigned resets = m_control.resets;
      const ssize_t n = read(m_out, cbw.data(), cbw.size());
      if (n < 0) {
        if (errno != EINTR && errno != ESHUTDOWN && errno != ENODEV)
          Log("bus t=%.3f CBW read failed: %s\n", Now(), std::strerror(errno));
        if (errno != EINTR) Hold(5);
        continue;
      }
      if (n != 31 || Le32(cbw.data()) != 0x43425355u) {
        // Not a valid CBW: halt both endpoints until the host resets.
        Log("bus t=%.3f invalid CBW of %zd bytes\n", Now(), n);
        Halt(true);
        Halt(false);
        continue;
      }
      Command(cbw.data(), resets);
    }
  }

 private:
  // FunctionFS halts an endpoint on I/O against its direction.
  void Halt(bool in) {
    std::uint8_t b = 0;
    const ssize_t r = in ? read(m_in, &b, 0) : write(m_out, &b, 0);
    (void)r;
  }

  // Moves a whole buffer through an endpoint; false when the host reset the
  // transport or left meanwhile.
  bool Io(bool toHost, std::uint8_t* p, std::size_t n, unsigned resets) {
    std::size_t done = 0;
    do {
      // Nothing of a command from before a reset may reach the host: it
      // would take it for the answer to its next CBW.
      if (m_control.resets != resets) return false;
      const ssize_t k = toHost ? write(m_in, p + done, n - done) : read(m_out, p + done, n - done);
      if (m_control.resets != resets) return false;
      if (k < 0) {
        if (errno == EINTR) continue;
        Log("bus t=%.3f %s failed: %s\n", Now(), toHost ? "data in" : "data out", std::strerror(errno));
        return false;
      }
      done += static_cast<std::size_t>(k);
    } while (done < n && n > 0);
    return true;
  }

  void Command(const std::uint8_t* cbw, unsigned resets) {
    const std::uint32_t tag = Le32(cbw + 4), length = Le32(cbw + 8);
    const bool toHost = (cbw[12] & 0x80) != 0;
    const std::size_t cdbLength = cbw[14] & 0x1F;
    std::uint8_t cdb[16] = {};
    std::memcpy(cdb, cbw + 15, cdbLength > 16 ? 16 : cdbLength);
    const std::uint32_t n = ++m_count;
    std::vector<std::uint8_t> data(length);
    if (!toHost && length > 0 && !Io(false, data.data(), length, resets)) {
      Log("rx n=%u t=%.3f tag=%u dropped: reset during its data\n", n, Now(), tag);
      return;
    }

    const sim::Kind kind = cdb[0] == 0x03 ? sim::Kind::Other : sim::ClassifyCdb(cdb);
    std::string extra;
    char b[32];
    if (kind == sim::Kind::WritePiece) {
      std::snprintf(b, sizeof b, " off=%02X%02X%02X", cdb[3], cdb[4], cdb[5]);
      extra = b;
    }
    if (!toHost && length > 0) {
      std::snprintf(b, sizeof b, " crc=%08X", Crc32(data.data(), data.size()));
      extra += b;
    }
    Log("rx n=%u t=%.3f id=%u kind=%s cdb=%s len=%u dir=%s%s\n", n, Now(), tag, sim::KindName(kind),
        Hex(cdb, cdbLength).c_str(), length, length == 0 ? "none" : toHost ? "in" : "out", extra.c_str());

    const bool commit = kind == sim::Kind::CommitMain || kind == sim::Kind::CommitStrategy;
    if (commit && m_opt.leaveAtCommitMs >= 0) {
      Leave(m_opt.leaveAtCommitMs, "at the commit, unanswered");
      return;
    }

    std::uint8_t status = 0;
    std::uint32_t sent = 0;
    if (cdb[0] == 0x03) {
      // REQUEST SENSE: the transport has no sense of its own; the kernel
      // asks for it after every failed command.
      sent = length < sizeof m_sense ? length : sizeof m_sense;
      std::memcpy(data.data(), m_sense, sent);
      std::memset(m_sense, 0, sizeof m_sense);
      m_sense[0] = 0x70;
      m_sense[7] = 10;
    } else if (!Model(cdb, cdbLength, toHost, data, &status, &sent)) {
      Log("held n=%u t=%.3f\n", n, Now());
      // A command never answered: the host's timeout and reset end it.
      while (m_control.resets == resets) Hold(10);
      return;
    }
    if (toHost && sent > 0 && !Io(true, data.data(), sent, resets)) {
      Log("tx n=%u t=%.3f dropped: reset during its data\n", n, Now());
      return;
    }
    // A data-in phase that ended early on a full packet: the host learns
    // the end from a halted endpoint (it then clears it and reads the CSW).
    if (toHost && sent < length && (sent == 0 || sent % MaxPacket() == 0)) Halt(true);
    std::uint8_t csw[13];
    PutLe32(csw, 0x53425355u);
    PutLe32(csw + 4, tag);
    PutLe32(csw + 8, toHost ? length - sent : 0);
    csw[12] = status == 0 ? 0 : 1;
    if (!Io(true, csw, sizeof csw, resets)) {
      Log("tx n=%u t=%.3f dropped: reset before its status\n", n, Now());
      return;
    }
    Log("tx n=%u t=%.3f status=%02X sense=%s read=%u\n", n, Now(), status,
        status ? (Hex(m_sense + 2, 1) + Hex(m_sense + 12, 2)).c_str() : "-", toHost ? sent : 0);
    if (commit && status == 0 && m_opt.restartAfterCommitMs >= 0) Leave(m_opt.restartAfterCommitMs, "after the commit", kAnswerOutMs);
  }

  // One command through the model, as the ASPI library's request block;
  // false when the model never answers it.
  bool Model(const std::uint8_t* cdb, std::size_t cdbLength, bool toHost, std::vector<std::uint8_t>& data,
             std::uint8_t* status, std::uint32_t* sent) {
    const sim::DeviceConfig& dev = m_cfg.devices[0];
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = static_cast<BYTE>(dev.ha);
    srb.SRB_Target = static_cast<BYTE>(dev.target);
    srb.SRB_Lun = static_cast<BYTE>(dev.lun);
    srb.SRB_Flags = data.empty() ? 0 : toHost ? SRB_DIR_IN : SRB_DIR_OUT;
    srb.SRB_BufLen = static_cast<DWORD>(data.size());
    srb.SRB_BufPointer = data.empty() ? nullptr : data.data();
    srb.SRB_SenseLen = sizeof srb.SenseArea;
    srb.SRB_CDBLen = static_cast<BYTE>(cdbLength);
    std::memcpy(srb.CDBByte, cdb, sizeof srb.CDBByte);
    const sim::Decision d = m_model->Accept(srb);
    if (d.completion != sim::Decision::Complete) return false;
    if (d.latencyMs > 0) Hold(d.latencyMs);
    const std::uint32_t got = m_model->Complete(srb, d);
    std::memset(m_sense, 0, sizeof m_sense);
    m_sense[0] = 0x70;
    m_sense[7] = 10;
    if (srb.SRB_Status == SS_COMP) {
      *status = 0;
      *sent = toHost ? got : 0;
      return true;
    }
    *status = 0x02;
    *sent = 0;
    if (srb.SRB_Status == SS_ERR && srb.SRB_TargStat == 0x02) {
      std::memcpy(m_sense, srb.SenseArea, sizeof srb.SenseArea);
    } else {
      // An ASPI status has no SCSI form: HARDWARE ERROR, internal target
      // failure.
      m_sense[2] = 0x04;
      m_sense[12] = 0x44;
    }
    return true;
  }

  std::uint32_t MaxPacket() {
    usb_endpoint_descriptor desc;
    if (ioctl(m_in, FUNCTIONFS_ENDPOINT_DESC, &desc) == 0 && le16toh(desc.wMaxPacketSize) > 0)
      return le16toh(desc.wMaxPacketSize) & 0x7FF;
    return 64;
  }

  // Off the bus and back: the host sees the device go and a new one come.
  // The new firmware, if any, is the flash file's.
  void Leave(int ms, const char* why, int afterMs = 0) {
    if (afterMs > 0) Hold(afterMs);
    Log("bus t=%.3f leaves %s\n", Now(), why);
    m_bus.Unbind();
    Hold(ms);
    m_model.reset();
    m_model.reset(new sim::SimBus(m_cfg));
    Log("bus t=%.3f back\n", Now());
    if (!m_bus.Bind()) Log("bus t=%.3f binding again failed: %s\n", Now(), std::strerror(errno));
  }

  const sim::BusConfig& m_cfg;
  Bus& m_bus;
  Control& m_control;
  int m_in, m_out;
  Options m_opt;
  std::unique_ptr<sim::SimBus> m_model;
  std::uint8_t m_sense[18] = {0x70, 0, 0, 0, 0, 0, 0, 10};
  std::uint32_t m_count = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: sim-usbgadget FFS GADGET UDC CONFIG LOG [--restart-after-commit MS] [--leave-at-commit MS]\n");
    return 2;
  }
  Options opt;
  for (int i = 6; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--restart-after-commit") == 0) opt.restartAfterCommitMs = std::atoi(argv[i + 1]);
    else if (std::strcmp(argv[i], "--leave-at-commit") == 0) opt.leaveAtCommitMs = std::atoi(argv[i + 1]);
    else {
      std::fprintf(stderr, "sim-usbgadget: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  std::string text, error;
  sim::BusConfig cfg;
  if (!sim::ReadTextFile(argv[4], &text) || !sim::ParseConfig(text, &cfg, &error) || cfg.devices.empty()) {
    std::fprintf(stderr, "sim-usbgadget: %s: %s\n", argv[4], error.empty() ? "no device" : error.c_str());
    return 1;
  }
  g_log = std::fopen(argv[5], "a");
  if (g_log == nullptr) {
    std::fprintf(stderr, "sim-usbgadget: %s: %s\n", argv[5], std::strerror(errno));
    return 1;
  }
  const std::string ffs = argv[1];
  const int ep0 = open((ffs + "/ep0").c_str(), O_RDWR);
  if (ep0 < 0) {
    std::fprintf(stderr, "sim-usbgadget: %s/ep0: %s\n", ffs.c_str(), std::strerror(errno));
    return 1;
  }
  Descriptors d;
  d.head.magic = htole32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
  d.head.flags = htole32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
  d.head.length = htole32(sizeof d);
  d.fsCount = d.hsCount = htole32(3);
  d.fs = MakeSet(64);
  d.hs = MakeSet(512);
  Strings s;
  s.head.magic = htole32(FUNCTIONFS_STRINGS_MAGIC);
  s.head.length = htole32(sizeof s);
  s.head.str_count = htole32(1);
  s.head.lang_count = htole32(1);
  s.language = htole16(0x0409);
  std::memcpy(s.text, "Orvex simulated drive", sizeof s.text);
  if (!WriteAll(ep0, &d, sizeof d) || !WriteAll(ep0, &s, sizeof s)) {
    std::fprintf(stderr, "sim-usbgadget: %s/ep0: descriptors refused: %s\n", ffs.c_str(), std::strerror(errno));
    return 1;
  }
  const int in = open((ffs + "/ep1").c_str(), O_RDWR), out = open((ffs + "/ep2").c_str(), O_RDWR);
  if (in < 0 || out < 0) {
    std::fprintf(stderr, "sim-usbgadget: %s/ep1, ep2: %s\n", ffs.c_str(), std::strerror(errno));
    return 1;
  }
  // SIGUSR1 only wakes endpoint I/O (no SA_RESTART): a reset reaches the
  // command loop wherever it waits.
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnWake;
  sigaction(SIGUSR1, &sa, nullptr);

  Control control;
  control.serving = pthread_self();
  Bus bus(argv[2], argv[3]);
  std::thread(ServeEp0, ep0, &control).detach();
  if (!bus.Bind()) {
    std::fprintf(stderr, "sim-usbgadget: %s/UDC: binding to %s failed: %s\n", argv[2], argv[3], std::strerror(errno));
    return 1;
  }
  std::printf("sim-usbgadget: serving %s on %s through %s\n", argv[4], argv[3], ffs.c_str());
  std::fflush(stdout);
  Drive(cfg, bus, control, in, out, opt).Run();
  return 0;
}
