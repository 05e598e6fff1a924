/* The command ring of a target_core_user device. */
#define _GNU_SOURCE
#include "sim/tcmu/TcmuRing.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>
/* The C library's struct iovec is the kernel's: linux/uio.h must not
 * define it a second time. */
#define __LINUX_UIO_H
#include <linux/target_core_user.h>

struct TcmuRing {
  int fd;
  uint8_t* base;
  size_t size;
  struct tcmu_mailbox* mb;
  uint32_t next; /* the first slot not taken yet */
  TcmuSpan* spans;
  unsigned spanCapacity;
  uint16_t tmrIds[256];
};

/* The CDB length the kernel copies into the ring: by the opcode's group,
 * as its scsi_command_size() has it. */
static size_t CdbLength(uint8_t opcode) {
  static const size_t group[8] = {6, 10, 10, 12, 16, 12, 10, 10};
  return group[opcode >> 5];
}

static int Inside(const TcmuRing* r, uint64_t off, uint64_t len) { return off <= r->size && len <= r->size - off; }

static struct tcmu_cmd_entry* Slot(TcmuRing* r, uint32_t off) {
  return (struct tcmu_cmd_entry*)(r->base + r->mb->cmdr_off + off);
}

static uint32_t After(TcmuRing* r, uint32_t off) {
  return (off + tcmu_hdr_get_len(Slot(r, off)->hdr.len_op)) % r->mb->cmdr_size;
}

static void Kick(TcmuRing* r) {
  uint32_t one = 0;
  ssize_t k = write(r->fd, &one, sizeof one);
  (void)k;
}

TcmuRing* TcmuRingOpen(const char* uio, char* err, size_t errLength) {
  char path[256];
  snprintf(path, sizeof path, "/sys/class/uio/%s/maps/map0/size", uio);
  FILE* f = fopen(path, "r");
  unsigned long long size = 0;
  if (f == NULL || fscanf(f, "%llx", &size) != 1 || size <= sizeof(struct tcmu_mailbox)) {
    snprintf(err, errLength, "%s: %s", path, f == NULL ? strerror(errno) : "no map size");
    if (f != NULL) fclose(f);
    return NULL;
  }
  fclose(f);
  snprintf(path, sizeof path, "/dev/%s", uio);
  int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    snprintf(err, errLength, "%s: %s", path, strerror(errno));
    return NULL;
  }
  void* base = mmap(NULL, (size_t)size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    snprintf(err, errLength, "mmap of %s: %s", path, strerror(errno));
    close(fd);
    return NULL;
  }
  TcmuRing* r = calloc(1, sizeof *r);
  r->fd = fd;
  r->base = base;
  r->size = (size_t)size;
  r->mb = base;
  r->next = r->mb->cmd_tail;
  return r;
}

void TcmuRingClose(TcmuRing* r) {
  munmap(r->base, r->size);
  close(r->fd);
  free(r->spans);
  free(r);
}

unsigned TcmuRingVersion(const TcmuRing* r) { return r->mb->version; }
unsigned TcmuRingFlags(const TcmuRing* r) { return r->mb->flags; }
unsigned TcmuRingSize(const TcmuRing* r) { return r->mb->cmdr_size; }
int TcmuRingTakesReadLength(const TcmuRing* r) { return (r->mb->flags & TCMU_MAILBOX_FLAG_CAP_READ_LEN) != 0; }

int TcmuRingTake(TcmuRing* r, TcmuEntry* e) {
  for (;;) {
    const uint32_t head = __atomic_load_n(&r->mb->cmd_head, __ATOMIC_ACQUIRE);
    if (r->next == head) return 0;
    struct tcmu_cmd_entry* s = Slot(r, r->next);
    r->next = After(r, r->next);
    const int op = tcmu_hdr_get_op(s->hdr.len_op);
    if (op == TCMU_OP_PAD) continue;
    memset(e, 0, sizeof *e);
    e->id = s->hdr.cmd_id;
    if (op == TCMU_OP_TMR) {
      struct tcmu_tmr_entry* t = (struct tcmu_tmr_entry*)s;
      e->kind = TCMU_ENTRY_TMR;
      e->tmrType = t->tmr_type;
      e->tmrCount = t->cmd_cnt;
      const unsigned keep = t->cmd_cnt < 256 ? t->cmd_cnt : 256;
      memcpy(r->tmrIds, (const uint8_t*)t + sizeof *t, keep * sizeof(uint16_t));
      e->tmrIds = r->tmrIds;
      return 1;
    }
    e->kind = TCMU_ENTRY_BAD;
    if (op != TCMU_OP_CMD || !Inside(r, s->req.cdb_off, 1)) return 1;
    const size_t cdbLength = CdbLength(r->base[s->req.cdb_off]);
    if (!Inside(r, s->req.cdb_off, cdbLength)) return 1;
    memcpy(e->cdb, r->base + s->req.cdb_off, cdbLength);
    e->cdbLength = cdbLength;
    const unsigned n = s->req.iov_cnt;
    if (n > r->spanCapacity) {
      TcmuSpan* grown = realloc(r->spans, n * sizeof *grown);
      if (grown == NULL) return 1;
      r->spans = grown;
      r->spanCapacity = n;
    }
    for (unsigned i = 0; i < n; ++i) {
      const uint64_t off = (uint64_t)(uintptr_t)s->req.iov[i].iov_base;
      const uint64_t len = s->req.iov[i].iov_len;
      if (!Inside(r, off, len)) return 1;
      r->spans[i].base = r->base + off;
      r->spans[i].length = (size_t)len;
      e->dataLength += len;
    }
    e->spans = r->spans;
    e->spanCount = n;
    e->kind = TCMU_ENTRY_COMMAND;
    return 1;
  }
}

void TcmuRingComplete(TcmuRing* r, uint16_t id, uint8_t status, const uint8_t* sense, size_t senseLength,
                      int withReadLength, uint32_t readLength) {
  uint32_t tail = r->mb->cmd_tail;
  while (tcmu_hdr_get_op(Slot(r, tail)->hdr.len_op) != TCMU_OP_CMD) tail = After(r, tail);
  struct tcmu_cmd_entry* s = Slot(r, tail);
  s->hdr.cmd_id = id;
  s->hdr.uflags = withReadLength ? TCMU_UFLAG_READ_LEN : 0;
  memset(&s->rsp, 0, sizeof s->rsp);
  s->rsp.scsi_status = status;
  s->rsp.read_len = readLength;
  if (senseLength > sizeof s->rsp.sense_buffer) senseLength = sizeof s->rsp.sense_buffer;
  if (senseLength > 0) memcpy(s->rsp.sense_buffer, sense, senseLength);
  __atomic_store_n(&r->mb->cmd_tail, After(r, tail), __ATOMIC_RELEASE);
  Kick(r);
}

void TcmuRingPassOver(TcmuRing* r) {
  uint32_t tail = r->mb->cmd_tail;
  const uint32_t start = tail;
  while (tail != r->next && tcmu_hdr_get_op(Slot(r, tail)->hdr.len_op) != TCMU_OP_CMD) tail = After(r, tail);
  if (tail == start) return;
  __atomic_store_n(&r->mb->cmd_tail, tail, __ATOMIC_RELEASE);
  Kick(r);
}

int TcmuRingWait(TcmuRing* r, const sigset_t* waiting) {
  struct pollfd p = {r->fd, POLLIN, 0};
  if (ppoll(&p, 1, NULL, waiting) <= 0) return 0;
  uint32_t n = 0;
  return read(r->fd, &n, sizeof n) == (ssize_t)sizeof n;
}
