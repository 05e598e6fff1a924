/* The command ring of a target_core_user device, as its UAPI header
 * (linux/target_core_user.h) describes it. In C because that header is not
 * valid C++. */
#ifndef ORVEX_TCMU_RING_H
#define ORVEX_TCMU_RING_H

#include <signal.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TcmuRing TcmuRing;

enum { TCMU_ENTRY_COMMAND = 1, TCMU_ENTRY_TMR = 2, TCMU_ENTRY_BAD = 3 };

/* One data area of a command, inside the mapping. */
typedef struct {
  uint8_t* base;
  size_t length;
} TcmuSpan;

/* An entry taken from the ring. The spans and ids stay valid until the
 * next take. */
typedef struct {
  int kind;
  uint16_t id;
  /* Commands: the CDB as the kernel copied it, zero-padded to 16 bytes. */
  uint8_t cdb[16];
  size_t cdbLength;
  const TcmuSpan* spans;
  unsigned spanCount;
  uint64_t dataLength;
  /* Notifications: the type and the commands they name. */
  unsigned tmrType;
  unsigned tmrCount;
  const uint16_t* tmrIds;
} TcmuEntry;

/* Opens and maps /dev/UIO (the map's size from sysfs); null with a reason
 * in err. */
TcmuRing* TcmuRingOpen(const char* uio, char* err, size_t errLength);
void TcmuRingClose(TcmuRing* ring);
unsigned TcmuRingVersion(const TcmuRing* ring);
unsigned TcmuRingFlags(const TcmuRing* ring);
unsigned TcmuRingSize(const TcmuRing* ring);
/* Whether the kernel takes the length of data in a completion reports. */
int TcmuRingTakesReadLength(const TcmuRing* ring);

/* The next entry the kernel queued that was not taken yet: 1, or 0 when
 * there is none. Padding is passed over. */
int TcmuRingTake(TcmuRing* ring, TcmuEntry* entry);
/* Completes command `id`. The answer goes into the first command slot at
 * the tail, which with out-of-order completion need not be the command's
 * own. */
void TcmuRingComplete(TcmuRing* ring, uint16_t id, uint8_t status, const uint8_t* sense, size_t senseLength,
                      int withReadLength, uint32_t readLength);
/* Hands back the slots at the tail that need no answer (padding,
 * notifications). */
void TcmuRingPassOver(TcmuRing* ring);
/* Blocks until the kernel queues something, with `waiting` as the signal
 * mask meanwhile; 0 when a signal ended the wait. */
int TcmuRingWait(TcmuRing* ring, const sigset_t* waiting);

#ifdef __cplusplus
}
#endif

#endif
