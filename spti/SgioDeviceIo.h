// The pass-through layer's device layer on Linux: the CD/DVD devices the
// kernel knows, each opened through its SCSI generic node, and every
// IOCTL_SCSI_PASS_THROUGH_DIRECT carried as one SG_IO. Plain C++ over
// CSgioKernel; lines name the errno and what to do about it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "spti/DeviceIo.h"
#include "spti/SgioKernel.h"

namespace spti {

class CSgioDeviceIo : public CDeviceIo {
 public:
  explicit CSgioDeviceIo(CSgioKernel& kernel) : m_k(kernel) {}

  std::string CdRomLetters() override { return std::string(); }
  std::vector<std::string> DevicePaths() override;
  std::uint32_t Open(const std::string& path, DevHandle* out) override;
  std::uint32_t Control(DevHandle h, std::uint32_t code, void* in, std::uint32_t inLen, void* out,
                        std::uint32_t outLen, std::uint32_t* returned) override;
  void Close(DevHandle h) override;
  void Notify(std::uint8_t flags, std::uint64_t postProc, void* srb) override;
  void Report(const std::string& line) override { m_k.Line(line); }
  std::string Tag() override { return "libwnaspi32 (SG_IO): "; }
  std::string Words(Say what, std::uint32_t err) override;
  // The drive's node reopened with O_EXCL: no other process opens it, and
  // so none sends it a command, until the hold ends. Another process's open
  // (a scan, another program) is waited for a few seconds.
  std::uint32_t Hold(DevHandle* h, const std::string& path, bool hold) override;

 private:
  struct Opened {
    std::string node;
    std::string label;  // "/dev/sr0 (/dev/sg1)"
    SgioScsiId id;
    std::uint8_t port = 0;
    std::uint32_t maxTransfer = 0;
    bool block = false;
  };
  std::uint32_t PassThrough(Opened& d, int fd, PassThroughRequest* rq);
  // Whether the device behind `node` leaves the kernel within a second.
  bool Gone(const std::string& node);

  CSgioKernel& m_k;
  std::map<std::string, std::string> m_nodes;  // name -> node opened
  std::map<int, Opened> m_open;
  std::vector<int> m_hosts;  // host numbers in the order the search met them
  std::string m_openWords;
  std::string m_requestWords;
  std::string m_group;  // of the last node refused
  bool m_bPostingSaid = false;
};

}  // namespace spti
