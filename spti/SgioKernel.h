// What the SG_IO device layer needs from Linux, one system call or file
// look-up each, so that everything above it (CSgioDeviceIo, CSptiLayer)
// is plain C++ that the native tests drive against a fake kernel. Only
// LinuxDeviceIo.cpp implements it for real.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "spti/SgioMap.h"

namespace spti {

// A CD/DVD device as the search found it: the name the user knows
// (/dev/sr0) and the node that is opened for it (its /dev/sgN, or the
// name itself when it has no SCSI generic node).
struct SgioNode {
  std::string name;
  std::string node;
};

// The kernel's address of a device (SG_GET_SCSI_ID). `type` is the SCSI
// peripheral type, -1 when the kernel did not say.
struct SgioScsiId {
  int host = 0;
  int channel = 0;
  int id = 0;
  int lun = 0;
  int type = -1;
};

class CSgioKernel {
 public:
  virtual ~CSgioKernel() = default;
  // The devices to offer, in order; `*where` names where they were looked
  // for, for the line that says there are none.
  virtual std::vector<SgioNode> Nodes(std::string* where) = 0;
  // open(2) for reading and writing, without waiting for a disc: 0 or errno.
  virtual int Open(const std::string& node, int* fd) = 0;
  // 0 or errno; a node that is no SCSI device refuses it.
  virtual int ScsiId(int fd, SgioScsiId* out) = 0;
  // The largest transfer the kernel takes for one request; 0 unknown.
  virtual std::uint32_t MaxTransfer(int fd) = 0;
  // ioctl(SG_IO); the errno, if any, is in `out->nErrno`.
  virtual void Execute(int fd, const SgioRequest& rq, SgioOutcome* out) = 0;
  virtual void Close(int fd) = 0;
  // Sets a completion event (an eventfd number).
  virtual void Signal(std::uint32_t event) = 0;
  // One line on standard error.
  virtual void Line(const std::string& line) = 0;
  // The group owning a node ("cdrom"); empty when unknown.
  virtual std::string NodeGroup(const std::string& node) = 0;
  // A block node (/dev/srN): the kernel passes firmware commands there
  // only to a process with CAP_SYS_RAWIO, while a SCSI generic node opened
  // for reading and writing passes every command.
  virtual bool IsBlockNode(int fd) { return false; }
  // open(2) for reading and writing with O_EXCL, without waiting: on a
  // generic node the sg driver then refuses every other open (EBUSY) until
  // this one is closed, and refuses this one while another is open.
  virtual int OpenExclusive(const std::string& node, int* fd) { return ENOSYS; }
  // Waits between two tries of an exclusive open.
  virtual void Pause(unsigned ms) {}
  // Whether the device behind a node is still in the kernel's device tree
  // (sysfs): a USB drive that leaves the bus takes its entries with it.
  virtual bool Present(const std::string& node) { return true; }
};

}  // namespace spti
