// The device layer's system calls on Linux: the CD/DVD devices under /dev
// (or the nodes named by ORVEX_SGIO_DEVICES), SG_GET_SCSI_ID, SG_IO,
// eventfd completions and standard error. The only file that talks to the
// kernel's SCSI interfaces.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <poll.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "spti/SgioDeviceIo.h"
#include "spti/SgioMap.h"
#include "spti/SystemLibraries.h"
#include "spti/SptiPort.h"

namespace spti {

static_assert(kSgDxferNone == SG_DXFER_NONE && kSgDxferToDev == SG_DXFER_TO_DEV &&
                  kSgDxferFromDev == SG_DXFER_FROM_DEV,
              "sg directions");

namespace {

// srN -> N, for numeric order (sr10 after sr9); -1 for other names.
int SrIndex(const char* name) {
  if (std::strncmp(name, "sr", 2) != 0 || name[2] == '\0') return -1;
  for (const char* p = name + 2; *p; ++p)
    if (*p < '0' || *p > '9') return -1;
  return std::atoi(name + 2);
}

// The SCSI generic node of block device srN, when the sg driver has one.
std::string GenericNodeOf(const std::string& sr) {
  const std::string dir = "/sys/block/" + sr + "/device/scsi_generic";
  std::string node;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (std::strncmp(e->d_name, "sg", 2) == 0) {
        node = std::string("/dev/") + e->d_name;
        break;
      }
    }
    closedir(d);
  }
  return !node.empty() && access(node.c_str(), F_OK) == 0 ? node : std::string();
}

// Tests of what the kernel does when a drive holds a command past the
// timeout shorten it (ORVEX_SGIO_TIMEOUT_MS, never lengthen); a run as root
// or with raised rights (set-user-ID, file capabilities) ignores it.
std::uint32_t TimeoutMs(std::uint32_t asked) {
  static const long shorter = [] {
    const char* v = geteuid() == 0 ? nullptr : secure_getenv("ORVEX_SGIO_TIMEOUT_MS");
    return v != nullptr ? std::strtol(v, nullptr, 10) : 0L;
  }();
  return shorter > 0 && static_cast<std::uint32_t>(shorter) < asked ? static_cast<std::uint32_t>(shorter) : asked;
}

class CLinuxKernel : public CSgioKernel {
 public:
  std::vector<SgioNode> Nodes(std::string* where) override {
    std::vector<SgioNode> nodes;
    // Tests (and users with unusual nodes) name the nodes themselves.
    // Not in a privileged run: the user would choose the nodes it opens.
    if (const char* list = secure_getenv("ORVEX_SGIO_DEVICES")) {
      *where = std::string("ORVEX_SGIO_DEVICES (\"") + list + "\")";
      std::string s(list);
      std::size_t start = 0;
      while (start <= s.size()) {
        std::size_t end = s.find(':', start);
        if (end == std::string::npos) end = s.size();
        if (end > start) nodes.push_back({s.substr(start, end - start), s.substr(start, end - start)});
        start = end + 1;
      }
      return nodes;
    }
    *where = "/dev/sr*";
    std::vector<std::pair<int, std::string>> found;
    if (DIR* d = opendir("/dev")) {
      while (dirent* e = readdir(d)) {
        const int n = SrIndex(e->d_name);
        if (n >= 0) found.push_back({n, e->d_name});
      }
      closedir(d);
    }
    std::sort(found.begin(), found.end());
    for (const auto& f : found) {
      const std::string sg = GenericNodeOf(f.second);
      nodes.push_back({"/dev/" + f.second, sg.empty() ? "/dev/" + f.second : sg});
    }
    return nodes;
  }

  int Open(const std::string& node, int* fd) override {
    *fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return *fd < 0 ? errno : 0;
  }

  int ScsiId(int fd, SgioScsiId* out) override {
    struct sg_scsi_id id;
    std::memset(&id, 0, sizeof(id));
    if (ioctl(fd, SG_GET_SCSI_ID, &id) == 0) {
      out->host = id.host_no;
      out->channel = id.channel;
      out->id = id.scsi_id;
      out->lun = id.lun;
      out->type = id.scsi_type;
      return 0;
    }
    const int err = errno;
    // A /dev/srN without its sg node answers the older address query.
    int idlun[2] = {0, 0};
    int host = 0;
    if (ioctl(fd, SCSI_IOCTL_GET_IDLUN, idlun) != 0) return err;
    out->id = idlun[0] & 0xFF;
    out->lun = (idlun[0] >> 8) & 0xFF;
    out->channel = (idlun[0] >> 16) & 0xFF;
    out->host = ioctl(fd, SCSI_IOCTL_GET_BUS_NUMBER, &host) == 0 ? host : (idlun[0] >> 24) & 0xFF;
    out->type = -1;
    return 0;
  }

  std::uint32_t MaxTransfer(int fd) override {
    struct stat st;
    if (fstat(fd, &st) != 0) return 0;
    // The sg driver answers in bytes, a block device in 512-byte sectors.
    if (S_ISCHR(st.st_mode)) {
      int bytes = 0;
      return ioctl(fd, BLKSECTGET, &bytes) == 0 && bytes > 0 ? static_cast<std::uint32_t>(bytes) : 0;
    }
    if (S_ISBLK(st.st_mode)) {
      unsigned short sectors = 0;
      return ioctl(fd, BLKSECTGET, &sectors) == 0 ? sectors * 512u : 0;
    }
    return 0;
  }

  void Execute(int fd, const SgioRequest& rq, SgioOutcome* out) override {
    sg_io_hdr_t h;
    std::memset(&h, 0, sizeof(h));
    h.interface_id = 'S';
    h.dxfer_direction = rq.direction;
    h.cmd_len = rq.cmdLen;
    h.cmdp = const_cast<unsigned char*>(rq.cdb);
    h.mx_sb_len = rq.senseMax;
    h.sbp = rq.sense;
    h.dxfer_len = rq.dxferLen;
    h.dxferp = rq.data;
    h.timeout = TimeoutMs(rq.timeoutMs);
    *out = SgioOutcome();
    const int err = IsGenericNode(fd) ? SubmitAndCollect(fd, &h) : (ioctl(fd, SG_IO, &h) == 0 ? 0 : errno);
    if (err != 0) {
      out->nErrno = err;
      return;
    }
    out->status = h.status;
    out->maskedStatus = h.masked_status;
    out->hostStatus = h.host_status;
    out->driverStatus = h.driver_status;
    out->senseLen = h.sb_len_wr;
    out->resid = h.resid;
  }

  void Close(int fd) override { ::close(fd); }

  static bool IsGenericNode(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode);
  }

  // A generic node's request goes in with one write() and comes back with
  // read(). The blocking SG_IO ioctl does both in one call, and whatever
  // wakes the process while it waits (a handled signal, a stop and
  // continue, the freezer of a suspend) makes the kernel restart the call,
  // which sends the command again: a second commit while the drive commits.
  // write() returns once the request is queued and is never restarted after
  // that; a read() interrupted is only asked again. (A block node's SG_IO
  // waits without being woken, so it keeps the ioctl.)
  static int SubmitAndCollect(int fd, sg_io_hdr_t* h) {
    ssize_t n;
    do {
      n = write(fd, h, sizeof(*h));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return errno != 0 ? errno : EIO;
    for (;;) {
      pollfd p = {fd, POLLIN, 0};
      if (poll(&p, 1, -1) < 0 && errno != EINTR) return errno != 0 ? errno : EIO;
      n = read(fd, h, sizeof(*h));
      if (n >= 0) return SgHeaderReadErrno(static_cast<long>(n), sizeof(*h), h->interface_id);
      if (errno != EINTR && errno != EAGAIN) return errno != 0 ? errno : EIO;
    }
  }

  void Signal(std::uint32_t event) override {
    const std::uint64_t one = 1;
    ssize_t n = write(static_cast<int>(event), &one, sizeof(one));
    (void)n;
  }

  void Line(const std::string& line) override {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
  }

  std::string NodeGroup(const std::string& node) override {
    struct stat st;
    if (stat(node.c_str(), &st) != 0) return std::string();
    group g;
    group* found = nullptr;
    char buf[4096];
    if (getgrgid_r(st.st_gid, &g, buf, sizeof(buf), &found) != 0 || found == nullptr)
      return std::to_string(st.st_gid);
    return g.gr_name;
  }

  int OpenExclusive(const std::string& node, int* fd) override {
    *fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_EXCL);
    return *fd < 0 ? errno : 0;
  }

  void Pause(unsigned ms) override { usleep(ms * 1000u); }
  bool Present(const std::string& node) override {
    const std::string::size_type slash = node.rfind('/');
    const std::string name = slash == std::string::npos ? node : node.substr(slash + 1);
    const std::string entry = name.compare(0, 2, "sg") == 0 ? "/sys/class/scsi_generic/" + name + "/device"
                                                            : "/sys/block/" + name + "/device";
    return access(entry.c_str(), F_OK) == 0;
  }

  bool IsBlockNode(int fd) override {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISBLK(st.st_mode);
  }
};

std::mutex g_layerMutex;

}  // namespace

CDeviceIo& PlatformDeviceIo() {
  static CLinuxKernel kernel;
  static CSgioDeviceIo io(kernel);
  return io;
}

// Linux has no installed ASPI layer to fall back to.
CSystemLibraries& PlatformSystemLibraries() {
  static CNoSystemLibraries none;
  return none;
}

CLayerLock::CLayerLock() { g_layerMutex.lock(); }
CLayerLock::~CLayerLock() { g_layerMutex.unlock(); }

}  // namespace spti
