/* Preloaded for tests into Wine's (32-bit) processes, or natively (64-bit)
 * into a program that loads libwnaspi32.so: SG_IO and the SCSI address
 * queries on one device node are answered by the simulated drive behind a
 * Unix socket (SgioDrive) instead of the kernel. Everything else goes to
 * the real ioctl. Built without the C library's headers or start files
 * (the machine need not have 32-bit development files); the few library
 * functions it calls are found at run time in the process.
 *
 *   ORVEX_SGIO_NODE    the device node Wine opens for the CD-ROM letter
 *   ORVEX_SGIO_SOCKET  the simulated drive's socket
 *   ORVEX_SGIO_TARGET  target id reported for the node (default 0)
 *   ORVEX_SGIO_DENY    when set, opening the node fails with EACCES, as for
 *                      a user without rights on the drive (wineserver opens
 *                      devices for its clients, so it is preloaded too)
 *   ORVEX_SGIO_NO_RAWIO  the process lacks CAP_SYS_RAWIO: on a block node
 *                      (ORVEX_SGIO_BLOCK set) WRITE BUFFER and F0h fail with
 *                      EPERM, as the kernel refuses them there; a generic
 *                      node opened for reading and writing passes them, as
 *                      the real sg driver does
 *   ORVEX_SGIO_BLOCK   the node stands for a block node (/dev/srN)
 *   ORVEX_SGIO_SIGNALS a handled signal interrupts SG_IO as in the sg
 *                      driver (below); for native programs only: Wine's
 *                      own signals would then send commands twice
 *
 * Signals (ORVEX_SGIO_SIGNALS): the sg driver waits interruptibly. A
 * handled signal that is not blocked in the waiting thread ends the wait
 * while the device goes on with the command (the request is orphaned).
 * With SA_RESTART the kernel restarts the ioctl, which submits the command
 * again, so the drive gets it twice; without, the ioctl fails with EINTR.
 * A blocked signal never interrupts it. Here the reply is awaited with
 * poll(), which a handled signal interrupts and the kernel never restarts;
 * an orphaned request's reply is read and dropped before the next one.
 * Which signal came is not known after poll() returns, so the shim restarts
 * only when every signal that could have come (handled and not blocked in
 * this thread, asked of the kernel at that moment) has SA_RESTART. A
 * one-shot handler is back at SIG_DFL once it ran but keeps its flags,
 * so it still counts.
 */

typedef unsigned int u32;
typedef unsigned short u16;
typedef unsigned char u8;
/* size_t and ssize_t: as wide as a pointer on both i386 and x86_64. */
typedef unsigned long size_type;
typedef long ssize_type;

extern void* dlsym(void* handle, const char* name);
extern char* getenv(const char* name);
extern ssize_type readlink(const char* path, char* buf, size_type len);
extern int socket(int domain, int type, int protocol);
extern int connect(int fd, const void* addr, u32 len);
extern ssize_type read(int fd, void* buf, size_type len);
extern ssize_type write(int fd, const void* buf, size_type len);
extern int close(int fd);
extern int* __errno_location(void);
extern char* realpath(const char* path, char* resolved);
extern int poll(void* fds, unsigned long nfds, int timeout);
extern int sigaction(int sig, const void* act, void* old);
extern int sigprocmask(int how, const void* set, void* old);

#define RTLD_NEXT ((void*)-1l)
#define SG_IO 0x2285
#define SCSI_IOCTL_GET_IDLUN 0x5382
#define SCSI_IOCTL_GET_BUS_NUMBER 0x5386
#define SG_GET_SCSI_ID 0x2276
#define SG_DXFER_TO_DEV (-2)
#define SG_DXFER_FROM_DEV (-3)
#define EPERM 1
#define EINTR 4
#define EIO 5
#define EACCES 13

/* sg_io_hdr_t; int, u32 and pointer fields lay it out on i386 and x86_64. */
struct sg_io_hdr {
  int interface_id;
  int dxfer_direction;
  u8 cmd_len;
  u8 mx_sb_len;
  u16 iovec_count;
  u32 dxfer_len;
  void* dxferp;
  u8* cmdp;
  u8* sbp;
  u32 timeout;
  u32 flags;
  int pack_id;
  void* usr_ptr;
  u8 status;
  u8 masked_status;
  u8 msg_status;
  u8 sb_len_wr;
  u16 host_status;
  u16 driver_status;
  int resid;
  u32 duration;
  u32 info;
};

/* The wire format shared with SgioDrive.cpp. */
struct request {
  u32 magic; /* 'SGIO' */
  u32 cmd_len;
  u8 cdb[16];
  int direction;
  u32 dxfer_len;
  u32 mx_sb_len;
};
struct reply {
  u32 status;
  u32 sense_len;
  u32 data_len;
  u32 host_status;
  u8 sense[32];
};

/* glibc's struct sigaction, on i386 and x86_64 alike: the handler, a
 * 128-byte mask, then the flags. */
struct sigaction_glibc {
  void* handler;
  u32 mask[32];
  int flags;
  void* restorer;
};
#define SA_RESTART 0x10000000
#define SA_RESETHAND 0x80000000u

static int g_sock = -1;
/* Requests a signal orphaned whose replies are still to come, in order. */
static u32 g_orphans;

static u32 length(const char* s) {
  u32 n = 0;
  while (s[n]) ++n;
  return n;
}

static int same(const char* a, const char* b, u32 n) {
  u32 i;
  for (i = 0; i < n; ++i)
    if (a[i] != b[i]) return 0;
  return 1;
}

/* Is fd the simulated drive's node? */
static int is_node(int fd) {
  const char* node = getenv("ORVEX_SGIO_NODE");
  char link[32] = "/proc/self/fd/";
  char target[512];
  u32 i = 14, n;
  ssize_type got;
  if (!node || fd < 0) return 0;
  if (fd >= 1000000) return 0;
  {
    char digits[8];
    int k = 0, v = fd;
    do {
      digits[k++] = (char)('0' + v % 10);
      v /= 10;
    } while (v);
    while (k) link[i++] = digits[--k];
    link[i] = 0;
  }
  got = readlink(link, target, sizeof(target));
  n = length(node);
  return got == (ssize_type)n && same(target, node, n);
}

static int is_node_path(const char* path) {
  const char* node = getenv("ORVEX_SGIO_NODE");
  char resolved[4096];
  u32 n;
  if (!node || !path || !realpath(path, resolved)) return 0;
  n = length(node);
  return length(resolved) == n && same(resolved, node, n);
}

static int io_all(int write_it, void* p, u32 len) {
  u8* b = (u8*)p;
  while (len) {
    ssize_type k = write_it ? write(g_sock, b, len) : read(g_sock, b, len);
    /* The kernel's part of a request (copying it in, the answer out) is
     * not interrupted; only the wait for the device is. */
    if (k < 0 && *__errno_location() == EINTR) continue;
    if (k <= 0) return -1;
    b += k;
    len -= (u32)k;
  }
  return 0;
}

static int drive_connect(void) {
  struct {
    u16 family;
    char path[108];
  } addr;
  const char* path = getenv("ORVEX_SGIO_SOCKET");
  u32 n, i;
  if (g_sock >= 0) return 0;
  if (!path || (n = length(path)) >= sizeof(addr.path)) return -1;
  addr.family = 1; /* AF_UNIX */
  for (i = 0; i <= n; ++i) addr.path[i] = path[i];
  g_sock = socket(1, 1 /* SOCK_STREAM */, 0);
  if (g_sock < 0) return -1;
  if (connect(g_sock, &addr, (u32)(2 + n + 1)) != 0) {
    close(g_sock);
    g_sock = -1;
    return -1;
  }
  return 0;
}

static int send_request(const struct sg_io_hdr* h) {
  struct request rq;
  u32 i;
  rq.magic = 0x4F494753;
  rq.cmd_len = h->cmd_len;
  for (i = 0; i < 16; ++i) rq.cdb[i] = i < h->cmd_len ? h->cmdp[i] : 0;
  rq.direction = h->dxfer_direction;
  rq.dxfer_len = h->dxfer_len;
  rq.mx_sb_len = h->mx_sb_len;
  if (io_all(1, &rq, sizeof(rq)) != 0) return -1;
  return h->dxfer_direction == SG_DXFER_TO_DEV ? io_all(1, h->dxferp, h->dxfer_len) : 0;
}

/* Waits for a reply: 0 when one is there, 1 when a signal ended the wait,
 * -1 on a broken socket. Without ORVEX_SGIO_SIGNALS the read just blocks. */
static int wait_reply(void) {
  struct {
    int fd;
    short events, revents;
  } p;
  if (!getenv("ORVEX_SGIO_SIGNALS")) return 0;
  p.fd = g_sock;
  p.events = 1; /* POLLIN */
  p.revents = 0;
  if (poll(&p, 1, -1) >= 0) return 0;
  return *__errno_location() == EINTR ? 1 : -1;
}

/* Would the kernel restart the interrupted SG_IO? See the header. */
static int restarts(void) {
  u32 blocked[32];
  int sig;
  if (sigprocmask(0 /* SIG_BLOCK */, 0, blocked) != 0) return 0;
  for (sig = 1; sig <= 64; ++sig) {
    struct sigaction_glibc sa;
    if ((blocked[(sig - 1) / 32] >> ((sig - 1) % 32)) & 1) continue;
    if (sigaction(sig, 0, &sa) != 0) continue; /* glibc's own, refused */
    if ((sa.handler == 0 || sa.handler == (void*)1) && !((u32)sa.flags & SA_RESETHAND)) continue;
    if (!(sa.flags & SA_RESTART)) return 0;
  }
  return 1;
}

static int drop(u32 len) {
  u8 scrap[512];
  while (len) {
    u32 k = len < sizeof(scrap) ? len : (u32)sizeof(scrap);
    if (io_all(0, scrap, k) != 0) return -1;
    len -= k;
  }
  return 0;
}

static int answer_sg_io(struct sg_io_hdr* h) {
  struct reply rp;
  u32 i;
  if (getenv("ORVEX_SGIO_NO_RAWIO") && getenv("ORVEX_SGIO_BLOCK") && h->cmd_len &&
      (h->cmdp[0] == 0x3B || h->cmdp[0] == 0xF0)) {
    *__errno_location() = EPERM;
    return -1;
  }
  if (drive_connect() != 0) {
    *__errno_location() = EIO;
    return -1;
  }
  if (send_request(h) != 0) goto broken;
  for (;;) {
    int w = wait_reply();
    if (w < 0) goto broken;
    if (w > 0) {
      /* The drive goes on with it; its reply is dropped when it comes. */
      ++g_orphans;
      if (!restarts()) {
        *__errno_location() = EINTR;
        return -1;
      }
      if (send_request(h) != 0) goto broken;
      continue;
    }
    if (io_all(0, &rp, sizeof(rp)) != 0) goto broken;
    if (g_orphans) {
      --g_orphans;
      if (drop(rp.data_len) != 0) goto broken;
      continue;
    }
    if (rp.data_len > h->dxfer_len || (rp.data_len && io_all(0, h->dxferp, rp.data_len) != 0))
      goto broken;
    break;
  }
  h->status = (u8)rp.status;
  h->masked_status = (u8)(rp.status >> 1);
  h->msg_status = 0;
  h->host_status = (u16)rp.host_status;
  h->driver_status = 0;
  h->sb_len_wr = 0;
  if (h->sbp && rp.sense_len) {
    u32 k = rp.sense_len < h->mx_sb_len ? rp.sense_len : h->mx_sb_len;
    for (i = 0; i < k; ++i) h->sbp[i] = rp.sense[i];
    h->sb_len_wr = (u8)k;
  }
  h->resid = h->dxfer_direction == SG_DXFER_FROM_DEV ? (int)(h->dxfer_len - rp.data_len) : 0;
  h->duration = 0;
  h->info = rp.host_status ? 1 : (rp.status ? 1 : 0);
  return 0;
broken:
  close(g_sock);
  g_sock = -1;
  g_orphans = 0;
  *__errno_location() = EIO;
  return -1;
}

/* Answers the node's SCSI requests; -2 when the request is not ours. */
static int answer(int fd, unsigned long request, void* arg) {
  const char* t;
  u32 target;
  if ((request != SG_IO && request != SCSI_IOCTL_GET_IDLUN &&
       request != SCSI_IOCTL_GET_BUS_NUMBER && request != SG_GET_SCSI_ID) || !is_node(fd))
    return -2;
  if (request == SG_IO) return answer_sg_io((struct sg_io_hdr*)arg);
  if (request == SCSI_IOCTL_GET_BUS_NUMBER) {
    *(int*)arg = 0;
    return 0;
  }
  t = getenv("ORVEX_SGIO_TARGET");
  target = (t && t[0] >= '0' && t[0] <= '7') ? (u32)(t[0] - '0') : 0;
  if (request == SG_GET_SCSI_ID) {
    /* host, channel, id, lun, type (CD/DVD), queue sizes, reserved */
    int* id = (int*)arg;
    u32 i;
    for (i = 0; i < 8; ++i) id[i] = 0;
    id[2] = (int)target;
    id[4] = 5;
    return 0;
  }
  /* id, lun, channel, host in the low to high bytes */
  ((u32*)arg)[0] = target;
  ((u32*)arg)[1] = 0;
  return 0;
}

/* Programs built with 64-bit time (Wine among them) call __ioctl_time64. */
int ioctl(int fd, unsigned long request, void* arg) {
  static int (*real)(int, unsigned long, void*);
  int r = answer(fd, request, arg);
  if (r != -2) return r;
  if (!real) real = (int (*)(int, unsigned long, void*))dlsym(RTLD_NEXT, "ioctl");
  return real(fd, request, arg);
}

int __ioctl_time64(int fd, unsigned long request, void* arg) {
  static int (*real)(int, unsigned long, void*);
  int r = answer(fd, request, arg);
  if (r != -2) return r;
  if (!real) real = (int (*)(int, unsigned long, void*))dlsym(RTLD_NEXT, "__ioctl_time64");
  return real(fd, request, arg);
}

/* Wine opens with open64; 64-bit programs call open. */
static int open_node(const char* name, const char* path, int flags, u32 mode) {
  int (*real)(const char*, int, ...);
  if (getenv("ORVEX_SGIO_DENY") && is_node_path(path)) {
    *__errno_location() = EACCES;
    return -1;
  }
  real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, name);
  return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  __builtin_va_list ap;
  u32 mode = 0;
  if (flags & (0x40 | 0x400000)) { /* O_CREAT, O_TMPFILE: a mode follows */
    __builtin_va_start(ap, flags);
    mode = __builtin_va_arg(ap, u32);
    __builtin_va_end(ap);
  }
  return open_node("open64", path, flags, mode);
}

int open(const char* path, int flags, ...) {
  __builtin_va_list ap;
  u32 mode = 0;
  if (flags & (0x40 | 0x400000)) {
    __builtin_va_start(ap, flags);
    mode = __builtin_va_arg(ap, u32);
    __builtin_va_end(ap);
  }
  return open_node("open", path, flags, mode);
}
