// The simulated drive model, its configuration reader and its bus.
#include "sim/SimModel.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

struct KindName {
  Kind kind;
  const char* name;
};
const KindName kKinds[] = {
    {Kind::Inquiry, "inquiry"},       {Kind::TestUnitReady, "tur"},
    {Kind::StartStop, "startstop"},   {Kind::WritePiece, "write"},
    {Kind::ReadTransferSum, "readsum"}, {Kind::ReadZoneSum, "readzone"},
    {Kind::CommitMain, "commit"},     {Kind::CommitStrategy, "commit-ws"},
    {Kind::IdText, "idtext"},         {Kind::Other, "other"},
    {Kind::Any, "any"},
};
constexpr int kKindCount = 11;

std::uint32_t BE24(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
}
std::uint32_t BE32(const std::uint8_t* p) { return (std::uint32_t(p[0]) << 24) | BE24(p + 1); }
void PutBE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v >> 24);
  p[1] = std::uint8_t(v >> 16);
  p[2] = std::uint8_t(v >> 8);
  p[3] = std::uint8_t(v);
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Splits one line into tokens; quoted tokens keep spaces and take escapes.
bool Tokenize(const std::string& line, std::vector<std::string>* out, std::string* error) {
  std::size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == '#') break;
    std::string tok;
    if (c == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d != '\\') {
          tok += d;
          continue;
        }
        if (i >= line.size()) break;
        char e = line[i++];
        if (e == '0') {
          tok += '\0';
        } else if (e == 'x' && i + 1 < line.size() && Hex(line[i]) >= 0 && Hex(line[i + 1]) >= 0) {
          tok += static_cast<char>(Hex(line[i]) * 16 + Hex(line[i + 1]));
          i += 2;
        } else {
          tok += e;
        }
      }
      if (!closed) {
        *error = "unterminated quote";
        return false;
      }
    } else {
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) tok += line[i++];
    }
    out->push_back(tok);
  }
  return true;
}

bool ParseInt(const std::string& s, int base, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, base);
  if (end == nullptr || *end != '\0') return false;
  *out = v;
  return true;
}

bool ParseByte(const std::string& s, std::uint8_t* out) {
  long v;
  if (!ParseInt(s, 16, &v) || v < 0 || v > 255) return false;
  *out = static_cast<std::uint8_t>(v);
  return true;
}

bool ParseBool(const std::string& s, bool* out) {
  if (s == "yes" || s == "1" || s == "true") {
    *out = true;
    return true;
  }
  if (s == "no" || s == "0" || s == "false") {
    *out = false;
    return true;
  }
  return false;
}

std::string Quote(const std::string& s) {
  std::string q = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      q += '\\';
      q += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof(buf), "\\x%02X", c);
      q += buf;
    } else {
      q += static_cast<char>(c);
    }
  }
  return q + "\"";
}

bool ParseFault(const std::vector<std::string>& t, Fault* f, std::string* error) {
  // fault KIND N[+]|* ACTION [ARGS]
  if (t.size() < 4) {
    *error = "fault needs a kind, an occurrence and an action";
    return false;
  }
  if (!ParseKind(t[1], &f->kind)) {
    *error = "unknown command kind " + t[1];
    return false;
  }
  std::string occ = t[2];
  if (occ == "*") {
    f->occurrence = 1;
    f->onward = true;
  } else {
    if (!occ.empty() && occ.back() == '+') {
      f->onward = true;
      occ.pop_back();
    }
    long n;
    if (!ParseInt(occ, 10, &n) || n < 1) {
      *error = "bad occurrence " + t[2];
      return false;
    }
    f->occurrence = static_cast<int>(n);
  }
  const std::string& a = t[3];
  std::size_t args = t.size() - 4;
  if (a == "check") {
    f->action = FaultAction::Check;
    if (args != 3 || !ParseByte(t[4], &f->senseKey) || !ParseByte(t[5], &f->asc) ||
        !ParseByte(t[6], &f->ascq)) {
      *error = "check needs sense key, ASC and ASCQ in hex";
      return false;
    }
  } else if (a == "status") {
    f->action = FaultAction::Status;
    if (args != 1 || !ParseByte(t[4], &f->status)) {
      *error = "status needs one hex byte";
      return false;
    }
  } else if (a == "nodevice" || a == "aborted" || a == "invalid") {
    f->action = FaultAction::Status;
    f->status = a == "nodevice" ? SS_NO_DEVICE : a == "aborted" ? SS_ABORTED : SS_INVALID_SRB;
  } else if (a == "timeout") {
    f->action = FaultAction::Timeout;
  } else if (a == "signal-pending") {
    f->action = FaultAction::SignalPending;
  } else if (a == "badsum") {
    f->action = FaultAction::BadSum;
  } else if (a == "slow") {
    f->action = FaultAction::Slow;
    long ms = 0;
    if (args != 1 || !ParseInt(t[4], 10, &ms) || ms < 0 || ms > 600000) {
      *error = "slow needs milliseconds";
      return false;
    }
    f->delayMs = static_cast<int>(ms);
  } else if (a == "short" || a == "empty" || a == "half") {
    f->action = FaultAction::Short;
    f->bytes = a == "empty" ? 0 : -1;
    long n = 0;
    if (a == "short" && (args != 1 || !ParseInt(t[4], 10, &n) || n < 0 || n > 0xFFFF)) {
      *error = "short needs a byte count";
      return false;
    }
    if (a != "short" && args != 0) {
      *error = a + " takes no value";
      return false;
    }
    if (a == "short") f->bytes = static_cast<int>(n);
  } else if (a == "late-check") {
    f->action = FaultAction::LateCheck;
    if (args != 3 || !ParseByte(t[4], &f->senseKey) || !ParseByte(t[5], &f->asc) ||
        !ParseByte(t[6], &f->ascq)) {
      *error = "late-check needs sense key, ASC and ASCQ in hex";
      return false;
    }
  } else {
    *error = "unknown fault action " + a;
    return false;
  }
  return true;
}

}  // namespace

const char* KindName(Kind k) {
  for (const auto& kn : kKinds) {
    if (kn.kind == k) return kn.name;
  }
  return "?";
}

bool ParseKind(const std::string& s, Kind* out) {
  for (const auto& kn : kKinds) {
    if (s == kn.name) {
      *out = kn.kind;
      return true;
    }
  }
  return false;
}

Kind ClassifyCdb(const std::uint8_t* cdb) {
  switch (cdb[0]) {
    case 0x12: return Kind::Inquiry;
    case 0x00: return Kind::TestUnitReady;
    case 0x1B: return Kind::StartStop;
    case 0x3B:
      if ((cdb[1] & 0x1F) == 0x06) return Kind::WritePiece;
      if ((cdb[1] & 0x1F) == 0x07) return cdb[9] == 0x02 ? Kind::CommitStrategy : Kind::CommitMain;
      return Kind::Other;
    case 0x3C:
      if (cdb[2] == 0x03) return Kind::ReadTransferSum;
      if (cdb[2] == 0x06) return Kind::ReadZoneSum;
      return Kind::Other;
    case 0xF0: return Kind::IdText;
    default: return Kind::Other;
  }
}

std::string FitField(const std::string& s, std::size_t width) {
  std::string r = s;
  if (width > 0) r.resize(width, ' ');
  return r;
}

bool ReadTextFile(const std::string& path, std::string* text) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  text->clear();
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) text->append(buf, n);
  std::fclose(f);
  return true;
}

bool ParseConfig(const std::string& text, BusConfig* out, std::string* error) {
  BusConfig cfg;
  DeviceConfig* dev = nullptr;
  std::size_t pos = 0;
  int lineNo = 0;
  while (pos <= text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> t;
    std::string err;
    auto fail = [&](const std::string& why) {
      *error = "line " + std::to_string(lineNo) + ": " + why;
      return false;
    };
    if (!Tokenize(line, &t, &err)) return fail(err);
    if (t.empty()) continue;
    const std::string& key = t[0];
    long v;
    if (key == "device") {
      if (t.size() != 4) return fail("device needs adapter, target and LUN");
      long a, tg, l;
      if (!ParseInt(t[1], 10, &a) || !ParseInt(t[2], 10, &tg) || !ParseInt(t[3], 10, &l) || a < 0 ||
          a > 255 || tg < 0 || tg > 7 || l < 0 || l > 7)
        return fail("bad device address");
      cfg.devices.emplace_back();
      dev = &cfg.devices.back();
      dev->ha = static_cast<int>(a);
      dev->target = static_cast<int>(tg);
      dev->lun = static_cast<int>(l);
      continue;
    }
    if (key == "fault") {
      if (dev == nullptr) return fail("fault outside a device");
      Fault f;
      if (!ParseFault(t, &f, &err)) return fail(err);
      dev->faults.push_back(f);
      continue;
    }
    if (t.size() != 2) return fail("'" + key + "' takes one value");
    const std::string& val = t[1];
    if (dev == nullptr) {
      if (key == "adapters") {
        if (!ParseInt(val, 10, &v) || v < 0 || v > 255) return fail("adapters is 0 to 255");
        cfg.adapters = static_cast<int>(v);
      } else if (key == "support") {
        if (!ParseByte(val, &cfg.supportStatus)) return fail("support is a hex byte");
      } else if (key == "completion") {
        if (val != "sync" && val != "async") return fail("completion is sync or async");
        cfg.async = val == "async";
      } else if (key == "accept-status") {
        if (val != "pending" && val != "keep") return fail("accept-status is pending or keep");
        cfg.markPending = val == "pending";
      } else if (key == "latency") {
        if (!ParseInt(val, 10, &v) || v < 0) return fail("latency is milliseconds");
        cfg.latencyMs = static_cast<int>(v);
      } else if (key == "log") {
        cfg.logPath = val == "none" ? std::string() : val;
      } else if (key == "flash") {
        cfg.flashPath = val;
      } else {
        return fail("unknown key " + key);
      }
      continue;
    }
    if (key == "vendor") {
      dev->vendor = FitField(val, 8);
    } else if (key == "product") {
      dev->product = FitField(val, 16);
    } else if (key == "revision") {
      dev->revision = FitField(val, 4);
    } else if (key == "idtext") {
      std::string id = val;
      id.resize(6, '\0');
      dev->idText = id;
    } else if (key == "type") {
      if (!ParseByte(val, &dev->deviceType)) return fail("type is a hex byte");
    } else if (key == "disc") {
      if (!ParseBool(val, &dev->disc)) return fail("disc is yes or no");
    } else if (key == "zone-sum") {
      char* end = nullptr;
      unsigned long z = std::strtoul(val.c_str(), &end, 16);
      if (val.empty() || *end != '\0') return fail("zone-sum is hex");
      dev->zoneSum = static_cast<std::uint32_t>(z);
    } else if (key == "inquiry-length") {
      if (!ParseInt(val, 10, &v) || v < 0 || v > 255) return fail("inquiry-length is 0 to 255");
      dev->inquiryLength = static_cast<int>(v);
    } else if (key == "strategy-commit") {
      if (val != "same" && val != "changes-zone") return fail("strategy-commit is same or changes-zone");
      dev->strategyChangesZone = val == "changes-zone";
    } else if (key == "idtext-cdb") {
      if (val != "12" && val != "10") return fail("idtext-cdb is 12 or 10");
      dev->idTextNeedsByte10 = val == "12";
    } else if (key == "latency") {
      if (!ParseInt(val, 10, &v) || v < 0) return fail("latency is milliseconds");
      dev->latencyMs = static_cast<int>(v);
    } else {
      return fail("unknown device key " + key);
    }
  }
  *out = cfg;
  return true;
}

// ---------------------------------------------------------------- SimDrive

SimDrive::SimDrive(const DeviceConfig& cfg) : m_cfg(cfg), m_buffer(kBufferSize, 0) {
  m_cfg.vendor = FitField(m_cfg.vendor, 8);
  m_cfg.product = FitField(m_cfg.product, 16);
  m_cfg.revision = FitField(m_cfg.revision, 4);
  m_cfg.idText.resize(6, '\0');
}

Reply SimDrive::Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) const {
  Reply r;
  r.status = SS_ERR;
  r.sense[0] = 0x70;
  r.sense[2] = key;
  r.sense[7] = 10;
  r.sense[12] = asc;
  r.sense[13] = ascq;
  return r;
}

std::uint32_t SimDrive::ReceivedSum(std::uint32_t length) const {
  if (length > kBufferSize) length = kBufferSize;
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < length; ++i) sum += m_buffer[i];
  return sum;
}

void SimDrive::SetFlash(const std::string& vendor, const std::string& product,
                        const std::string& revision, std::uint32_t zoneSum) {
  m_cfg.vendor = FitField(vendor, 8);
  m_cfg.product = FitField(product, 16);
  m_cfg.revision = FitField(revision, 4);
  m_cfg.zoneSum = zoneSum;
}

int FindIdentity(const std::uint8_t* data, std::uint32_t length) {
  static const char* const kSigs[] = {"KORVELINDVDRRW M", "KORVELIN DVDRRW M", "KORVELINDVD+-RW M",
                                      "KORVELINDVD-RAM M", "QN      DVD Writer"};
  const std::uint32_t start = length > 0x140000 ? 0x140000 : 0;
  for (const char* sig : kSigs) {
    const std::uint32_t n = static_cast<std::uint32_t>(std::strlen(sig));
    for (std::uint32_t off = start; off + n <= length; ++off) {
      if (std::memcmp(data + off, sig, n) == 0) {
        if (off + 28 <= length) return static_cast<int>(off);
        break;  // the first occurrence leaves no room: try the next signature
      }
    }
  }
  return -1;
}

Reply SimDrive::Handle(const std::uint8_t* cdb, const std::uint8_t* out, std::uint32_t outLen) {
  Reply ok;
  switch (ClassifyCdb(cdb)) {
    case Kind::Inquiry: {
      std::vector<std::uint8_t> a(96, 0);
      a[0] = m_cfg.deviceType;
      a[1] = 0x80;  // removable medium
      a[2] = 0x02;
      a[3] = 0x02;
      a[4] = 31;
      std::memcpy(&a[8], m_cfg.vendor.data(), 8);
      std::memcpy(&a[16], m_cfg.product.data(), 16);
      std::memcpy(&a[32], m_cfg.revision.data(), 4);
      std::size_t n = static_cast<std::size_t>(m_cfg.inquiryLength);
      if (n > cdb[4]) n = cdb[4];
      a.resize(n);
      ok.data = a;
      return ok;
    }
    case Kind::TestUnitReady:
      if (!m_cfg.disc) return Check(0x02, 0x3A, 0x00);
      return ok;
    case Kind::StartStop:
      if (cdb[4] & 0x02) m_cfg.disc = (cdb[4] & 0x01) != 0;  // load or eject
      return ok;
    case Kind::WritePiece: {
      const std::uint32_t off = BE24(cdb + 3), len = BE24(cdb + 6);
      if (len != outLen || out == nullptr || off + len > kBufferSize) return Check(0x05, 0x24, 0x00);
      std::memcpy(&m_buffer[off], out, len);
      return ok;
    }
    case Kind::ReadTransferSum: {
      const std::uint32_t len = BE32(cdb + 3);
      if (len > kBufferSize) return Check(0x05, 0x24, 0x00);
      ok.data.assign(4, 0);
      PutBE32(ok.data.data(), ReceivedSum(len));
      return ok;
    }
    case Kind::ReadZoneSum:
      if (BE32(cdb + 3) != kZoneSpan) return Check(0x05, 0x24, 0x00);
      ok.data.assign(4, 0);
      PutBE32(ok.data.data(), m_cfg.zoneSum);
      return ok;
    case Kind::CommitMain: {
      if (cdb[2] != 0x0A || BE24(cdb + 3) != 0x8000) return Check(0x05, 0x24, 0x00);
      int b = FindIdentity(m_buffer.data(), kLoadLength);
      if (b < 0) return Check(0x05, 0x26, 0x00);  // not a firmware image
      const char* id = reinterpret_cast<const char*>(&m_buffer[static_cast<std::size_t>(b)]);
      SetFlash(std::string(id, 8), std::string(id + 8, 16), std::string(id + 24, 4),
               ReceivedSum(kZoneSpan));
      m_committed = true;
      return ok;
    }
    case Kind::CommitStrategy:
      if (m_cfg.strategyChangesZone) m_cfg.zoneSum ^= 0x00010001u;
      m_committed = true;
      return ok;
    case Kind::IdText: {
      if (cdb[1] != 0x12 || cdb[2] != 0x20 || (m_cfg.idTextNeedsByte10 && cdb[10] != 0x07))
        return Check(0x05, 0x24, 0x00);
      ok.data.assign(40, 0);
      ok.data[2] = 0x24;
      std::memcpy(&ok.data[3], m_cfg.idText.data(), 6);
      return ok;
    }
    default:
      return Check(0x05, 0x20, 0x00);
  }
}

// ------------------------------------------------------------------ SimBus

SimBus::SimBus(const BusConfig& cfg) : m_cfg(cfg) {
  for (const DeviceConfig& d : m_cfg.devices) m_devices.emplace_back(d);
  m_counts.assign(m_devices.size(), std::vector<int>(kKindCount, 0));
  if (!m_cfg.logPath.empty()) m_log = std::fopen(m_cfg.logPath.c_str(), "a");
  LoadFlash();
}

SimBus::~SimBus() {
  if (m_log != nullptr) std::fclose(m_log);
}

std::uint32_t SimBus::SupportInfo() const {
  return (std::uint32_t(m_cfg.supportStatus) << 8) | std::uint32_t(m_cfg.adapters & 0xFF);
}

int SimBus::Count(int device, Kind k) const {
  Guard lock(m_mutex);
  return m_counts[static_cast<std::size_t>(device)][static_cast<int>(k)];
}

Decision SimBus::Accept(const SRB_ExecSCSICmd& srb) {
  Guard lock(m_mutex);
  if (m_log != nullptr) {
    char cdb[33];
    for (int i = 0; i < 16; ++i) std::snprintf(cdb + 2 * i, 3, "%02X", srb.CDBByte[i]);
    std::string sum = "-", head = "-";
    if ((srb.SRB_Flags & SRB_DIR_OUT) && srb.SRB_BufPointer != nullptr) {
      std::uint32_t s = 0;
      for (std::uint32_t i = 0; i < srb.SRB_BufLen; ++i) s += srb.SRB_BufPointer[i];
      char b[16];
      std::snprintf(b, sizeof(b), "%08X", s);
      sum = b;
      head.clear();
      for (std::uint32_t i = 0; i < srb.SRB_BufLen && i < 16; ++i) {
        std::snprintf(b, sizeof(b), "%02X", srb.SRB_BufPointer[i]);
        head += b;
      }
    }
    std::fprintf(m_log,
                 "ha=%u target=%u lun=%u cmd=%02X flags=%02X buflen=%u senselen=%u cdblen=%u "
                 "cdb=%s datasum=%s head=%s\n",
                 srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun, srb.SRB_Cmd, srb.SRB_Flags,
                 static_cast<unsigned>(srb.SRB_BufLen), srb.SRB_SenseLen, srb.SRB_CDBLen, cdb,
                 sum.c_str(), head.c_str());
    std::fflush(m_log);
  }
  Decision d;
  d.latencyMs = m_cfg.latencyMs;
  if (srb.SRB_HaId >= m_cfg.adapters) return d;
  for (std::size_t i = 0; i < m_devices.size(); ++i) {
    const DeviceConfig& c = m_devices[i].Config();
    if (c.ha == srb.SRB_HaId && c.target == srb.SRB_Target && c.lun == srb.SRB_Lun) {
      d.device = static_cast<int>(i);
      break;
    }
  }
  if (d.device < 0) return d;
  const DeviceConfig& c = m_devices[static_cast<std::size_t>(d.device)].Config();
  if (c.latencyMs >= 0) d.latencyMs = c.latencyMs;
  const Kind k = ClassifyCdb(srb.CDBByte);
  const int n = ++m_counts[static_cast<std::size_t>(d.device)][static_cast<int>(k)];
  const int any = ++m_counts[static_cast<std::size_t>(d.device)][static_cast<int>(Kind::Any)];
  for (const Fault& f : c.faults) {
    const int count = f.kind == Kind::Any ? any : (f.kind == k ? n : 0);
    if (count == 0) continue;
    if (count == f.occurrence || (f.onward && count > f.occurrence)) {
      d.hasFault = true;
      d.fault = f;
      if (f.action == FaultAction::Timeout) d.completion = Decision::Never;
      if (f.action == FaultAction::SignalPending) d.completion = Decision::SignalOnly;
      if (f.action == FaultAction::Slow) d.latencyMs = f.delayMs;
      break;
    }
  }
  return d;
}

std::uint32_t SimBus::Complete(SRB_ExecSCSICmd& srb, const Decision& d) {
  Guard lock(m_mutex);
  if (d.device < 0) {
    StoreStatus(srb, srb.SRB_HaId >= m_cfg.adapters ? SS_INVALID_HA : SS_NO_DEVICE);
    return 0;
  }
  if (srb.SRB_BufLen > 0 && srb.SRB_BufPointer == nullptr) {
    StoreStatus(srb, SS_INVALID_SRB);
    return 0;
  }
  Reply r;
  if (d.hasFault && d.fault.action == FaultAction::Status) {
    StoreStatus(srb, d.fault.status);
    return 0;
  }
  auto check = [&d](Reply& reply) {
    reply = Reply();
    reply.status = SS_ERR;
    reply.sense[0] = 0x70;
    reply.sense[2] = d.fault.senseKey;
    reply.sense[7] = 10;
    reply.sense[12] = d.fault.asc;
    reply.sense[13] = d.fault.ascq;
  };
  if (d.hasFault && d.fault.action == FaultAction::Check) {
    check(r);
  } else {
    SimDrive& drive = m_devices[static_cast<std::size_t>(d.device)];
    const bool out = (srb.SRB_Flags & SRB_DIR_OUT) != 0;
    const Kind k = ClassifyCdb(srb.CDBByte);
    r = drive.Handle(srb.CDBByte, out ? srb.SRB_BufPointer : nullptr, out ? srb.SRB_BufLen : 0);
    if (d.hasFault && d.fault.action == FaultAction::BadSum && r.status == SS_COMP &&
        r.data.size() == 4) {
      PutBE32(r.data.data(), BE32(r.data.data()) + 1);
    }
    if (d.hasFault && d.fault.action == FaultAction::Short) {
      const std::size_t keep = d.fault.bytes < 0 ? r.data.size() / 2 : static_cast<std::size_t>(d.fault.bytes);
      if (keep < r.data.size()) r.data.resize(keep);
    }
    if (r.status == SS_COMP && (k == Kind::CommitMain || k == Kind::CommitStrategy)) SaveFlash();
    // Done, and then reported as failed.
    if (d.hasFault && d.fault.action == FaultAction::LateCheck) check(r);
  }
  std::size_t sent = 0;
  if (r.status == SS_COMP && (srb.SRB_Flags & SRB_DIR_IN) && !r.data.empty()) {
    sent = r.data.size() < srb.SRB_BufLen ? r.data.size() : srb.SRB_BufLen;
    std::memcpy(srb.SRB_BufPointer, r.data.data(), sent);
  }
  if (r.status == SS_ERR) {
    std::size_t n = srb.SRB_SenseLen < sizeof(srb.SenseArea) ? srb.SRB_SenseLen : sizeof(srb.SenseArea);
    std::memcpy(srb.SenseArea, r.sense, n);
    srb.SRB_TargStat = 0x02;  // check condition
  }
  StoreStatus(srb, r.status);
  return static_cast<std::uint32_t>(sent);
}

void SimBus::LoadFlash() {
  if (m_cfg.flashPath.empty()) return;
  std::string text;
  if (!ReadTextFile(m_cfg.flashPath, &text)) return;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::vector<std::string> t;
    std::string err;
    bool good = Tokenize(text.substr(pos, eol - pos), &t, &err);
    pos = eol + 1;
    // flash HA TARGET LUN vendor V product P revision R zone-sum Z
    if (!good || t.size() != 12 || t[0] != "flash") continue;
    for (SimDrive& d : m_devices) {
      const DeviceConfig& c = d.Config();
      if (std::to_string(c.ha) == t[1] && std::to_string(c.target) == t[2] &&
          std::to_string(c.lun) == t[3]) {
        d.SetFlash(t[5], t[7], t[9], static_cast<std::uint32_t>(std::strtoul(t[11].c_str(), nullptr, 16)));
      }
    }
  }
}

void SimBus::SaveFlash() {
  if (m_cfg.flashPath.empty()) return;
  const std::string tmp = m_cfg.flashPath + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) return;
  for (const SimDrive& d : m_devices) {
    const DeviceConfig& c = d.Config();
    std::fprintf(f, "flash %d %d %d vendor %s product %s revision %s zone-sum %08X\n", c.ha,
                 c.target, c.lun, Quote(c.vendor).c_str(), Quote(c.product).c_str(),
                 Quote(c.revision).c_str(), static_cast<unsigned>(c.zoneSum));
  }
  std::fclose(f);
  std::remove(m_cfg.flashPath.c_str());  // Windows' rename does not replace
  std::rename(tmp.c_str(), m_cfg.flashPath.c_str());
}

}  // namespace sim
