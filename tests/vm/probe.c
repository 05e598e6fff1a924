/* Asks the guest's kernel one thing and prints what it answered, for the
 * facts the VM cases measure about device nodes:
 *
 *   vm-probe open PATH FLAGS          open and close; prints ok or the errno
 *   vm-probe hold PATH FLAGS          open and keep it until SIGTERM
 *   vm-probe sgio PATH FLAGS CDB      one SG_IO without data (CDB in hex)
 *
 * FLAGS: a comma list of ro, rw, excl, nonblock; and for sgio, intr or
 * restart: SIGUSR1 gets a handler, without or with SA_RESTART (the SG_IO's
 * time is printed too). */
#include <errno.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

static int Flags(const char* list) {
  int flags = O_RDONLY;
  char copy[128];
  snprintf(copy, sizeof copy, "%s", list);
  for (char* word = strtok(copy, ","); word != NULL; word = strtok(NULL, ",")) {
    if (strcmp(word, "rw") == 0) flags = (flags & ~O_ACCMODE) | O_RDWR;
    else if (strcmp(word, "excl") == 0) flags |= O_EXCL;
    else if (strcmp(word, "nonblock") == 0) flags |= O_NONBLOCK;
  }
  return flags;
}

static const char* ErrName(int e) {
  switch (e) {
    case EBUSY: return "EBUSY";
    case EACCES: return "EACCES";
    case EPERM: return "EPERM";
    case ENOMEDIUM: return "ENOMEDIUM";
    case ENXIO: return "ENXIO";
    case ENODEV: return "ENODEV";
    case EINTR: return "EINTR";
    case EAGAIN: return "EAGAIN";
    default: return strerror(e);
  }
}

static void OnTerm(int sig) { (void)sig; _exit(0); }
static void OnUsr1(int sig) { (void)sig; }

static long Ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: vm-probe open|hold|sgio PATH FLAGS [CDB]\n");
    return 2;
  }
  const int fd = open(argv[2], Flags(argv[3]));
  if (fd < 0) {
    printf("%s\n", ErrName(errno));
    return 1;
  }
  if (strcmp(argv[1], "hold") == 0) {
    signal(SIGTERM, OnTerm);
    printf("held\n");
    fflush(stdout);
    for (;;) pause();
  }
  if (strcmp(argv[1], "sgio") == 0 && argc > 4) {
    if (strstr(argv[3], "intr") != NULL || strstr(argv[3], "restart") != NULL) {
      struct sigaction sa;
      memset(&sa, 0, sizeof sa);
      sa.sa_handler = OnUsr1;
      sa.sa_flags = strstr(argv[3], "restart") != NULL ? SA_RESTART : 0;
      sigaction(SIGUSR1, &sa, NULL);
    }
    const long start = Ms();
    unsigned char cdb[16] = {0}, sense[32] = {0};
    size_t n = strlen(argv[4]) / 2;
    if (n > sizeof cdb) n = sizeof cdb;
    for (size_t i = 0; i < n; ++i) sscanf(argv[4] + 2 * i, "%2hhx", &cdb[i]);
    sg_io_hdr_t h;
    memset(&h, 0, sizeof h);
    h.interface_id = 'S';
    h.dxfer_direction = SG_DXFER_NONE;
    h.cmd_len = (unsigned char)n;
    h.cmdp = cdb;
    h.mx_sb_len = sizeof sense;
    h.sbp = sense;
    h.timeout = 10000;
    if (ioctl(fd, SG_IO, &h) != 0) {
      printf("%s after %ld ms\n", ErrName(errno), Ms() - start);
      return 1;
    }
    printf("status %02X host %02X driver %02X sense %02X/%02X/%02X after %ld ms\n", h.status, h.host_status,
           h.driver_status, sense[2] & 0x0F, sense[12], sense[13], Ms() - start);
    return 0;
  }
  printf("ok\n");
  close(fd);
  return 0;
}
