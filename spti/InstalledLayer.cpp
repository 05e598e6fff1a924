// The choice between the pass-through and an installed ASPI layer.
#include "spti/InstalledLayer.h"

#include <cstdio>

namespace spti {

namespace {

std::string Hex8(DWORD v) {
  char s[16];
  std::snprintf(s, sizeof(s), "%08lXh", static_cast<unsigned long>(v));
  return s;
}

bool IsReady(DWORD info) { return ((info >> 8) & 0xFF) == SS_COMP; }

// Errors that say there is no file to load rather than a file that fails.
bool IsMissing(std::uint32_t err) {
  return err == kErrFileNotFound || err == kErrPathNotFound || err == 126;  // ERROR_MOD_NOT_FOUND
}

}  // namespace

void CAspiRouter::Reject(const std::string& why, ModHandle m) {
  if (m != 0) m_sys.Free(m);
  m_probe = kRejected;
  m_io.Report(m_io.Tag() + why);
}

bool CAspiRouter::InstalledServes(DWORD* info) {
  if (m_probe == kRejected) return false;
  if (m_probe == kNotProbed) {
    m_path = m_sys.InstalledPath();
    if (m_path.empty()) {
      m_probe = kRejected;
      return false;
    }
    // Loading this library's own file again would only hand back this
    // library: it is never loaded as the installed layer.
    if (m_sys.IsOwnFile(m_path)) {
      Reject(m_path + " is this library itself; not used as the installed ASPI layer", 0);
      return false;
    }
    std::uint32_t err = 0;
    const ModHandle m = m_sys.Load(m_path, &err);
    if (m == 0) {
      if (IsMissing(err))
        Reject("no ASPI layer installed (" + m_path + " not found)", 0);
      else
        Reject(m_path + " could not be loaded (Windows error " + std::to_string(err) +
                   "); not used",
               0);
      return false;
    }
    if (m_sys.IsOwnModule(m)) {
      Reject(m_path + " loads as this library itself; not used as the installed ASPI layer", m);
      return false;
    }
    auto support = reinterpret_cast<PfnAspiSupportInfo>(m_sys.Entry(m, "GetASPI32SupportInfo"));
    auto send = reinterpret_cast<PfnAspiSendCommand>(m_sys.Entry(m, "SendASPI32Command"));
    // Half a layer is no layer: neither entry point is called.
    if (support == nullptr || send == nullptr) {
      Reject(m_path + " lacks " +
                 (support == nullptr ? "GetASPI32SupportInfo" : "SendASPI32Command") +
                 "; not used",
             m);
      return false;
    }
    m_module = m;
    m_pfnSupport = support;
    m_pfnSend = send;
    m_probe = kUsable;
    *info = m_pfnSupport();
    if (!IsReady(*info)) {
      Reject(m_path + " is not ready (support information " + Hex8(*info) + "); not used", m);
      m_module = 0;
      m_pfnSupport = nullptr;
      m_pfnSend = nullptr;
      return false;
    }
    if ((*info & 0xFF) == 0) {
      Reject(m_path + " reports no host adapter; not used", m);
      m_module = 0;
      m_pfnSupport = nullptr;
      m_pfnSend = nullptr;
      return false;
    }
    return true;
  }
  // Already taken once: it starts afresh like any ASPI layer asked again,
  // and serves only while it still reports an adapter.
  *info = m_pfnSupport();
  return IsReady(*info) && (*info & 0xFF) != 0;
}

void CAspiRouter::Take(Road road, const std::string& why) {
  m_road = road;
  const std::string line = m_io.Tag() + why;
  // The road is chosen at every support call; say it when it changes.
  if (line != m_lastReport && !why.empty()) m_io.Report(line);
  m_lastReport = line;
}

DWORD CAspiRouter::SupportInfo() {
  DWORD info = 0;
  if (m_sys.IsWin9x()) {
    if (InstalledServes(&info)) {
      Take(kInstalled, "Windows 9x: the installed ASPI layer " + m_path + " serves (" +
                           std::to_string(info & 0xFF) + " host adapter(s))");
      return info;
    }
    Take(kPassThrough,
         "Windows 9x without a usable installed ASPI layer: the pass-through answers, "
         "though this system has none");
    return m_layer.SupportInfo();
  }
  const DWORD own = m_layer.SupportInfo();
  const std::size_t opened = m_layer.Devices().size();
  if (opened > 0) {
    // Linux has no pass-through of that name: the kernel's SG_IO serves.
    Take(kPassThrough, std::string(m_sys.CanHaveInstalledLayers() ? "the pass-through" : "SG_IO") + " serves (" +
                           std::to_string(opened) + " CD/DVD device(s) opened)");
    return own;
  }
  if (InstalledServes(&info)) {
    Take(kInstalled, "the pass-through opened no CD/DVD device; the installed ASPI layer " +
                         m_path + " serves (" + std::to_string(info & 0xFF) +
                         " host adapter(s))");
    return info;
  }
  // Where no system folder can hold a layer (Linux), there is nothing to
  // say beyond the device layer's own lines.
  Take(kPassThrough, !m_sys.CanHaveInstalledLayers()
                         ? std::string()
                         : "the pass-through opened no CD/DVD device and no installed ASPI layer serves");
  return own;
}

DWORD CAspiRouter::Hold(DWORD op, BYTE ha, BYTE target, BYTE lun) {
  if (m_road == kUndecided) SupportInfo();
  if (m_road != kInstalled) return m_layer.Hold(op, ha, target, lun);
  return op == ORVEX_HOLD_BUSY_COUNT ? 0 : ORVEX_HOLD_UNAVAILABLE | (kErrNotSupported << 8);
}

DWORD CAspiRouter::DeviceName(BYTE ha, BYTE target, BYTE lun, char* name, DWORD size) {
  if (m_road == kUndecided) SupportInfo();
  return m_road != kInstalled ? m_layer.DeviceName(ha, target, lun, name, size) : 0;
}

DWORD CAspiRouter::Send(void* srb) {
  if (m_road == kUndecided) SupportInfo();
  if (m_road == kInstalled) return m_pfnSend(srb);
  return m_layer.Send(srb);
}

}  // namespace spti
