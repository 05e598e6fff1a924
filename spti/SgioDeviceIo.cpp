// CD/DVD devices and pass-through requests over the kernel's SG_IO.
#include "spti/SgioDeviceIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "aspi/wnaspi32.h"
#include "spti/SptiLayer.h"

namespace spti {

namespace {


// What a command is called in a line the user reads.
std::string CommandName(std::uint8_t op) {
  switch (op) {
    case 0x3B: return "WRITE BUFFER (3Bh)";
    case 0x3C: return "READ BUFFER (3Ch)";
    case 0x12: return "INQUIRY (12h)";
    default: return "command " + Hex2(op);
  }
}

std::string RightsForNode(const std::string& group) {
  if (group.empty() || group == "root") return "root";
  return "membership of group " + group + " (usermod -aG " + group +
         " USER, then log in again) or root";
}

}  // namespace

std::vector<std::string> CSgioDeviceIo::DevicePaths() {
  m_nodes.clear();
  m_hosts.clear();
  std::string where;
  std::vector<std::string> paths;
  for (const SgioNode& n : m_k.Nodes(&where)) {
    m_nodes[n.name] = n.node;
    paths.push_back(n.name);
  }
  if (paths.empty())
    Report(Tag() + "no CD/DVD device: none at " + where + " (" + ErrnoText(ENOENT) + ")");
  return paths;
}

std::uint32_t CSgioDeviceIo::Open(const std::string& path, DevHandle* out) {
  auto it = m_nodes.find(path);
  const std::string node = it == m_nodes.end() ? path : it->second;
  Opened d;
  d.node = node;
  d.label = node == path ? path : path + " (" + node + ")";

  int fd = -1;
  const int e = m_k.Open(node, &fd);
  if (e == EACCES || e == EPERM) {
    m_group = m_k.NodeGroup(node);
    m_openWords = ErrnoText(e) + "; reading and writing " + node + " needs " + RightsForNode(m_group);
    return kErrAccessDenied;
  }
  if (e == EBUSY) {
    // The sg driver's answer while another process holds the node with
    // O_EXCL, as an updater does through its update.
    Report(Tag() + d.label + ": another update is running on this drive (another process holds " + node +
           " exclusively: " + ErrnoText(e) + "); not offered until it ends");
    return kErrBusy;
  }
  if (e != 0) {
    const bool none = e == ENOENT || e == ENXIO || e == ENODEV;
    Report(Tag() + d.label + (none ? ": no device (" : ": cannot be opened (") + ErrnoText(e) +
           "); not offered");
    // Only a refusal of rights counts as "could not be opened".
    return none ? kErrFileNotFound : kErrGenFailure;
  }
  const int ide = m_k.ScsiId(fd, &d.id);
  std::string wrong;
  if (ide != 0)
    wrong = "not a SCSI generic device (" + ErrnoText(ide) + " to SG_GET_SCSI_ID)";
  else if (d.id.type != -1 && d.id.type != 0x04 && d.id.type != 0x05)
    wrong = "a SCSI device of type " + Hex2(static_cast<unsigned>(d.id.type)) + ", not a CD/DVD drive";
  if (!wrong.empty()) {
    Report(Tag() + d.label + ": " + wrong + "; not offered");
    m_k.Close(fd);
    return kErrInvalidFunction;
  }
  // Adapters follow the order in which the search meets their hosts: the
  // kernel's host numbers only grow as devices come and go, and do not fit
  // the address's byte for long.
  auto h = std::find(m_hosts.begin(), m_hosts.end(), d.id.host);
  if (h == m_hosts.end()) h = m_hosts.insert(m_hosts.end(), d.id.host);
  d.port = static_cast<std::uint8_t>(std::min<std::ptrdiff_t>(h - m_hosts.begin(), 255));
  d.maxTransfer = m_k.MaxTransfer(fd);
  d.block = m_k.IsBlockNode(fd);
  m_open[fd] = d;
  *out = static_cast<DevHandle>(fd);
  return kErrNone;
}

std::uint32_t CSgioDeviceIo::Control(DevHandle h, std::uint32_t code, void* in, std::uint32_t inLen,
                                     void* out, std::uint32_t outLen, std::uint32_t* returned) {
  *returned = 0;
  auto it = m_open.find(static_cast<int>(h));
  if (it == m_open.end()) return kErrInvalidHandle;
  Opened& d = it->second;
  switch (code) {
    case kIoctlScsiGetAddress: {
      if (outLen < sizeof(ScsiAddress)) return kErrInvalidParameter;
      ScsiAddress a = {};
      a.Length = sizeof(a);
      a.PortNumber = d.port;
      a.PathId = static_cast<std::uint8_t>(d.id.channel);
      a.TargetId = static_cast<std::uint8_t>(d.id.id);
      a.Lun = static_cast<std::uint8_t>(d.id.lun);
      std::memcpy(out, &a, sizeof(a));
      *returned = sizeof(a);
      return kErrNone;
    }
    case kIoctlStorageQueryProperty: {
      if (outLen < sizeof(StorageAdapterDescriptor)) return kErrInvalidParameter;
      // The block layer copies what it cannot map, so any alignment does;
      // DWORD is what the layer assumes anyway.
      StorageAdapterDescriptor desc = {};
      desc.Version = desc.Size = sizeof(desc);
      desc.MaximumTransferLength = d.maxTransfer;
      desc.AlignmentMask = kDefaultAlignMask;
      std::memcpy(out, &desc, sizeof(desc));
      *returned = sizeof(desc);
      return kErrNone;
    }
    case kIoctlScsiPassThroughDirect:
      if (in == nullptr || in != out || inLen < sizeof(PassThroughRequest)) return kErrInvalidParameter;
      *returned = inLen;
      return PassThrough(d, static_cast<int>(h), static_cast<PassThroughRequest*>(in));
    default:
      return kErrInvalidFunction;
  }
}

std::uint32_t CSgioDeviceIo::PassThrough(Opened& d, int fd, PassThroughRequest* rq) {
  const SgioRequest s = SgioFromPassThrough(*rq);
  SgioOutcome o;
  m_k.Execute(fd, s, &o);
  std::uint32_t err = ApplySgioOutcome(o, s, rq);
  if (err == kErrNone) return err;
  // A drive that leaves (a USB drive unplugged or restarting, a LUN taken
  // off tcm_loop) fails the request in hand with DID_ERROR, a moment
  // before the kernel takes its nodes away: a transport error on a device
  // that is gone within a moment is the device gone.
  if (o.nErrno == 0 && o.hostStatus == kDidError && Gone(d.node)) err = kErrDeviceNotConnected;

  const std::string what = CommandName(rq->sptd.Cdb[0]);
  if (o.nErrno == EPERM && d.block) {
    // On a block node the kernel passes only a list of harmless commands
    // to a process without CAP_SYS_RAWIO; the firmware ones are not on it.
    m_requestWords = ErrnoText(o.nErrno) + ": " + what + " was refused on the block node " + d.node +
                     ", where the kernel passes it only to a process with CAP_SYS_RAWIO; load the sg driver "
                     "(modprobe sg) so that the drive is reached through its /dev/sg* node, where read and "
                     "write access is enough, or run as root";
  } else if (o.nErrno == EPERM) {
    // The sg driver filters commands only on a node opened read-only, and
    // this library opens it for reading and writing.
    m_requestWords = ErrnoText(o.nErrno) + ": " + what + " was refused on " + d.label +
                     " although it is open for reading and writing, where the kernel filters no command: "
                     "a security policy of this machine refuses it; run as root";
  } else if (o.nErrno == EACCES) {
    m_requestWords = ErrnoText(o.nErrno) + ": " + what + " needs write access to " + d.label +
                     ": " + RightsForNode(m_k.NodeGroup(d.node));
  } else if (o.nErrno != 0) {
    m_requestWords = ErrnoText(o.nErrno);
  } else {
    m_requestWords = TransportText(o);
  }
  if (err == kErrDeviceNotConnected) m_requestWords += "; the device has gone";
  return err;
}

bool CSgioDeviceIo::Gone(const std::string& node) {
  for (int tries = 0; tries < 20; ++tries) {
    if (!m_k.Present(node)) return true;
    m_k.Pause(50);
  }
  return false;
}

std::uint32_t CSgioDeviceIo::Hold(DevHandle* h, const std::string&, bool hold) {
  auto it = m_open.find(static_cast<int>(*h));
  if (it == m_open.end()) return kErrInvalidHandle;
  const Opened d = it->second;
  // The process's own descriptor would keep the exclusive open out: the
  // node is closed first, and opened again the way the hold needs.
  m_open.erase(it);
  m_k.Close(static_cast<int>(*h));
  int fd = -1;
  int e = 0;
  bool heldElsewhere = false;
  if (hold) {
    // A scan of another updater, or another program, may have the node
    // open for a moment: wait for it, a few seconds at most. Never for
    // another exclusive holder: its update may end with the drive changed
    // since this one was checked against it.
    for (int tries = 0; tries < 100; ++tries) {
      e = m_k.OpenExclusive(d.node, &fd);
      if (e != EBUSY) break;
      int probe = -1;
      if (m_k.Open(d.node, &probe) == EBUSY) {
        heldElsewhere = true;
        break;
      }
      if (probe >= 0) m_k.Close(probe);
      m_k.Pause(50);
    }
    if (e == 0) {
      m_open[fd] = d;
      *h = static_cast<DevHandle>(fd);
      return kErrNone;
    }
    Report(Tag() + d.label +
           (heldElsewhere ? ": another update is running on this drive (another process holds it exclusively: " +
                                ErrnoText(e) + ")"
            : e == EBUSY  ? ": another process keeps it open (" + ErrnoText(e) +
                               " on an exclusive open); the drive cannot be held for this update alone"
                          : ": no exclusive open (" + ErrnoText(e) + ")"));
  }
  // Back to an ordinary open, for what this process sends after the hold.
  const int back = m_k.Open(d.node, &fd);
  if (back == 0) {
    m_open[fd] = d;
    *h = static_cast<DevHandle>(fd);
  } else {
    // The handle names nothing now: requests to it fail until the next
    // search.
    *h = static_cast<DevHandle>(-1);
  }
  if (!hold) return back == 0 ? kErrNone : kErrGenFailure;
  return e == EBUSY ? kErrBusy : kErrNotSupported;
}

void CSgioDeviceIo::Close(DevHandle h) {
  if (m_open.erase(static_cast<int>(h)) > 0) m_k.Close(static_cast<int>(h));
}

void CSgioDeviceIo::Notify(std::uint8_t flags, std::uint64_t postProc, void*) {
  if (flags & SRB_EVENT_NOTIFY) {
    m_k.Signal(static_cast<std::uint32_t>(postProc));
  } else if ((flags & SRB_POSTING) && !m_bPostingSaid) {
    m_bPostingSaid = true;
    Report(Tag() + "posting routines are not supported (SRB_PostProc holds 32 bits, not a "
                   "routine's address); use SRB_EVENT_NOTIFY");
  }
}

std::string CSgioDeviceIo::Words(Say what, std::uint32_t) {
  switch (what) {
    case Say::OpenDenied:
      return m_openWords;
    case Say::NoneOpened:
      // Each refused node's line named the rights it needs already.
      return "no read and write access (the rights it needs are named above).";
    case Say::RequestFailed:
      return m_requestWords;
  }
  return std::string();
}

}  // namespace spti
