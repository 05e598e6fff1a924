// libFuzzer target for the engine's reading of what a drive answers: a
// whole update (scan, admission, disc check, transfer, checksum, commit,
// zone check) against the simulated drive model, whose INQUIRY, F0h and
// checksum answers the input cuts short or replaces. No crash, and no
// commit unless the answers the update depends on arrived whole and right.
//
// Input layout:
//   byte 0       bit 0: a write-strategy update (else the main firmware)
//   then, for each data-in answer in the order the drive gives them, one
//   control byte: bit 7 set (or the input ended): the drive's answer as it
//   is; else bits 0-5 are the bytes sent (at most the answer's length) and
//   bit 6 takes those bytes from the input instead of the drive's answer
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "drive/Cdb.h"
#include "drive/MyAspi32.h"
#include "platform/headless/InspectDrive.h"
#include "sim/SimModel.h"
#include "tools/ImageGen.h"
#include "update/FirmwareImage.h"
#include "update/UpdateEngine.h"

namespace {

const uint8_t* g_next = nullptr;
const uint8_t* g_end = nullptr;
sim::SimDrive* g_drive = nullptr;
std::string g_image;            // the image file, written once
std::vector<uint8_t> g_bytes;   // its loaded region

// Each data-in answer as the drive sent it.
struct Sent {
  sim::Kind kind;
  std::vector<uint8_t> bytes;
  size_t whole;  // the length of the drive's own answer
};
std::vector<Sent> g_sent;
int g_commits = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
  }
}

DWORD StubSend(void* p) {
  auto& srb = *static_cast<SRB_ExecSCSICmd*>(p);
  if (srb.SRB_HaId != 0 || srb.SRB_Target != 0 || srb.SRB_Lun != 0) {
    srb.SRB_Status = SS_NO_DEVICE;
    return SS_NO_DEVICE;
  }
  const bool out = (srb.SRB_Flags & SRB_DIR_OUT) != 0;
  const sim::Kind kind = sim::ClassifyCdb(srb.CDBByte);
  if (kind == sim::Kind::CommitMain || kind == sim::Kind::CommitStrategy) ++g_commits;
  sim::Reply r = g_drive->Handle(srb.CDBByte, out ? srb.SRB_BufPointer : nullptr, out ? srb.SRB_BufLen : 0);
  if (r.status == SS_COMP && !out && srb.SRB_BufPointer != nullptr) {
    const size_t whole = r.data.size();
    if (g_next < g_end && (*g_next & 0x80) == 0) {
      const uint8_t c = *g_next++;
      size_t n = c & 0x3F;
      if (n > whole) n = whole;
      r.data.resize(n);
      if (c & 0x40) {
        for (size_t i = 0; i < n && g_next < g_end; ++i) r.data[i] = *g_next++;
      }
    } else if (g_next < g_end) {
      ++g_next;
    }
    const size_t k = r.data.size() < srb.SRB_BufLen ? r.data.size() : srb.SRB_BufLen;
    memcpy(srb.SRB_BufPointer, r.data.data(), k);
    r.data.resize(k);
    g_sent.push_back({kind, r.data, whole});
  }
  if (r.status == SS_ERR) {
    memcpy(srb.SenseArea, r.sense, sizeof r.sense < SENSE_LEN ? sizeof r.sense : SENSE_LEN);
    srb.SRB_TargStat = 0x02;
  }
  srb.SRB_Status = r.status;
  return r.status;
}

class CQuietReport : public CUpdateReport {
 public:
  void OnStatus(unsigned) override {}
  void OnNotice(NoticeKind, unsigned, const char*) override {}
  bool Ask(UpdateQuestion) override { return true; }
};

uint32_t BE32(const std::vector<uint8_t>& b) {
  return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

// Some answer of `kind` arrived whole (its four bytes or more) with `value`.
bool ArrivedWith(sim::Kind kind, uint32_t value) {
  for (const Sent& s : g_sent)
    if (s.kind == kind && s.bytes.size() >= 4 && BE32(s.bytes) == value) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvex-answer-fuzz.XXXXXX";
  if (!mkdtemp(&dir[0])) abort();
  headless::SetLibraryDir(dir);
  imagegen::ImageSpec layout;
  layout.Identity(0x150000, "KORVELIN", "DVDRRW M1", "2300").Text(0x160000, "ABC123");
  g_image = dir + "/fw.bin";
  if (!imagegen::Write(g_image, layout)) abort();
  g_bytes = imagegen::Build(layout);
  g_bytes.resize(IMAGE_LOAD_LENGTH);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool ws = size > 0 && (data[0] & 1) != 0;
  g_next = size > 0 ? data + 1 : data;
  g_end = data + size;
  g_sent.clear();
  g_commits = 0;

  sim::DeviceConfig cfg;
  cfg.revision = ws ? "1300" : "1.00";
  cfg.zoneSum = 0x00C0FFEE;
  sim::SimDrive drive(cfg);
  g_drive = &drive;

  CMyASPI32 aspi;
  aspi.m_pfnSendCommand = StubSend;
  aspi.m_nStatus = 0;
  aspi.m_nAdapters = 1;
  aspi.ScanDrives();
  CQuietReport report;
  int rc = ENGINE_REFUSED;
  {
    CUpdateEngine engine(aspi, report);
    FirmwareImage image;
    if (aspi.m_nDrives == 1) {
      const DriveEntry& d = aspi.m_drives[0];
      AdmitRules rules;
      rules.writeStrategy = ws;
      AdmitResult admit;
      rc = engine.Admit(image, g_image.c_str(), 0, IdentityText(d.szVendor, d.szProduct, d.szRevision), rules,
                        &admit);
      if (rc == ENGINE_OK) {
        // Admitted: the revision and the whole identification text came.
        Check(RevisionReadable(d.szRevision), "admitted without a readable revision");
        bool text = false;
        for (const Sent& s : g_sent) {
          if (s.kind != sim::Kind::IdText || s.bytes.size() < IDTEXT_OFFSET + IDTEXT_LENGTH) continue;
          static const uint8_t kNone[IDTEXT_LENGTH] = {};
          const uint8_t* t = s.bytes.data() + IDTEXT_OFFSET;
          text = text || (memcmp(t, kNone, IDTEXT_LENGTH) != 0 &&
                          FindPattern(g_bytes.data(), IMAGE_LOAD_LENGTH, t, IDTEXT_LENGTH) >= 0);
        }
        Check(text, "admitted without an identification text found in the image");
        rc = engine.Prepare(image, 0, admit.writeStrategy);
        if (rc == ENGINE_OK) rc = engine.Transfer(image, 0, admit.writeStrategy);
        if (rc == ENGINE_OK) rc = engine.Commit(image, 0, admit.writeStrategy);
        if (g_commits > 0 && admit.writeStrategy) {
          Check(ArrivedWith(sim::Kind::ReadZoneSum, engine.m_dwZoneSumBefore), "commit without a zone sum");
        } else if (g_commits > 0) {
          Check(ArrivedWith(sim::Kind::ReadTransferSum, image.m_nSum), "commit without the transfer sum");
        }
        if (rc == ENGINE_OK && admit.writeStrategy)
          Check(engine.m_dwZoneSumAfter == engine.m_dwZoneSumBefore &&
                    ArrivedWith(sim::Kind::ReadZoneSum, engine.m_dwZoneSumAfter),
                "zone judged unchanged without an answer");
      }
    }
  }
  Check(g_commits <= 1, "a second commit");
  Check(g_commits == 0 || rc != ENGINE_REFUSED, "a commit in a refused update");
  g_drive = nullptr;
  return 0;
}
