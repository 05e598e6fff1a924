// libFuzzer target for the drive table: CMyASPI32::AddDrive over arbitrary
// INQUIRY answers and buffer lengths, and a whole ScanDrives against a stub
// ASPI library that answers each address with arbitrary status, length and
// bytes. The table is checked against a model of the admission rules.
//
// Input layout:
//   byte 0       bits 0-1: host adapters for the scan (0 to 3)
//   byte 1       how many direct AddDrive offers follow (modulo 8)
//   each offer   one length byte, then that many answer bytes (the buffer is
//                exactly that long; length 0 offers no buffer)
//   the rest     the scan's answers, one per address in scan order: status
//                byte (0 and 08h-7Fh: good), length byte, that many bytes;
//                addresses past the end of the input have no device
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "drive/MyAspi32.h"
#include "platform/headless/InspectDrive.h"

namespace {

CMyASPI32* g_aspi = nullptr;
const uint8_t* g_next = nullptr;
const uint8_t* g_end = nullptr;

struct Answer {
  uint8_t status;
  std::vector<uint8_t> bytes;
};
std::vector<Answer> g_given;  // what the stub answered, in order

uint8_t Status(uint8_t b) { return (b == 0 || (b >= 0x08 && b < 0x80)) ? SS_COMP : b; }

DWORD StubSend(void* p) {
  auto& srb = *static_cast<SRB_ExecSCSICmd*>(p);
  Answer a{SS_NO_DEVICE, {}};
  if (g_next < g_end) {
    a.status = Status(*g_next++);
    size_t n = g_next < g_end ? *g_next++ : 0;
    if (n > static_cast<size_t>(g_end - g_next)) n = g_end - g_next;
    a.bytes.assign(g_next, g_next + n);
    g_next += n;
  }
  if (a.status == SS_COMP && srb.SRB_BufPointer != nullptr && !a.bytes.empty()) {
    size_t n = a.bytes.size() < srb.SRB_BufLen ? a.bytes.size() : srb.SRB_BufLen;
    memcpy(srb.SRB_BufPointer, a.bytes.data(), n);
  }
  g_given.push_back(a);
  srb.SRB_Status = a.status;
  return a.status;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
  }
}

bool Admitted(const uint8_t* vendor) {
  return memcmp(vendor, "KORVELIN", 8) == 0 || memcmp(vendor, "QN      ", 8) == 0;
}

// The row an admitted answer of which `arrived` bytes came makes: product
// bytes that did not come are zero, a revision that did not come whole is
// empty.
DriveEntry RowFrom(const uint8_t* a, size_t arrived, int ha, int target, int lun) {
  DriveEntry row = {};
  memcpy(row.abInquiry, a, 8);
  memcpy(row.szVendor, a + 8, 8);
  memcpy(row.szProduct, a + 16, arrived >= 32 ? 16 : arrived - 16);
  if (arrived >= 36) memcpy(row.szRevision, a + 32, 4);
  row.nHaId = ha;
  row.nTarget = target;
  row.nLun = lun;
  return row;
}

bool SameRow(const DriveEntry& a, const DriveEntry& b) {
  return memcmp(a.abInquiry, b.abInquiry, 8) == 0 && memcmp(a.szVendor, b.szVendor, 9) == 0 &&
         memcmp(a.szProduct, b.szProduct, 17) == 0 && memcmp(a.szRevision, b.szRevision, 5) == 0 &&
         a.nHaId == b.nHaId && a.nTarget == b.nTarget && a.nLun == b.nLun;
}

void Fresh(int adapters) {
  g_aspi->m_nDrives = 0;
  g_aspi->m_nStatus = 0;
  g_aspi->m_nAdapters = static_cast<BYTE>(adapters);
  memset(g_aspi->m_drives, 0, sizeof g_aspi->m_drives);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvex-inquiry-fuzz.XXXXXX";
  if (!mkdtemp(&dir[0])) abort();
  // No real library: the stub answers every request.
  headless::SetLibraryDir(dir);
  g_aspi = new CMyASPI32;
  g_aspi->m_pfnSendCommand = StubSend;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  const int adapters = size > 0 ? p[0] & 3 : 0;
  const int offers = size > 1 ? p[1] % 8 : 0;
  p += size < 2 ? size : 2;

  // ---- direct offers: the buffer is exactly as long as it says ----
  Fresh(1);
  std::vector<DriveEntry> model;
  int modelStatus = 0;
  for (int k = 0; k < offers && p < end; ++k) {
    size_t n = *p++;
    if (n > static_cast<size_t>(end - p)) n = end - p;
    std::vector<uint8_t> buf(p, p + n);
    p += n;
    SRB_ExecSCSICmd srb = {};
    srb.SRB_BufPointer = n ? buf.data() : nullptr;
    srb.SRB_BufLen = static_cast<DWORD>(n);
    srb.SRB_HaId = static_cast<BYTE>(k);
    srb.SRB_Target = static_cast<BYTE>(k % 8);
    srb.SRB_Lun = static_cast<BYTE>(7 - k % 8);
    const int rc = g_aspi->AddDrive(srb, static_cast<DWORD>(n));
    int expected;
    if (model.size() == MAX_DRIVES) {
      expected = ASPI_ERR_TABLE_FULL;
      modelStatus = ASPI_ERR_TABLE_FULL;
    } else if (n < 16 || !Admitted(buf.data() + 8)) {
      expected = ASPI_ERR_VENDOR;
    } else {
      expected = 0;
      model.push_back(RowFrom(buf.data(), n, k, k % 8, 7 - k % 8));
    }
    Check(rc == expected, "AddDrive result");
  }
  Check(g_aspi->m_nDrives == static_cast<int>(model.size()), "rows after direct offers");
  Check(g_aspi->m_nStatus == modelStatus, "status after direct offers");
  for (size_t i = 0; i < model.size(); ++i) Check(SameRow(g_aspi->m_drives[i], model[i]), "row content");

  // ---- a scan: every address once, in order, whatever is already stored ----
  Fresh(adapters);
  g_next = p;
  g_end = end;
  g_given.clear();
  const int rc = g_aspi->ScanDrives();
  Check(g_given.size() == static_cast<size_t>(adapters) * 64, "one INQUIRY per address");
  model.clear();
  modelStatus = 0;
  for (size_t i = 0; i < g_given.size(); ++i) {
    const Answer& a = g_given[i];
    if (a.status != SS_COMP) continue;
    // The request buffer starts empty at every address: a short answer does
    // not inherit the previous device's bytes. The transport counts an
    // answer up to its last byte that is not the fill (A5h).
    uint8_t answer[50] = {};
    size_t arrived = a.bytes.size() < 50 ? a.bytes.size() : 50;
    while (arrived > 0 && a.bytes[arrived - 1] == 0xA5) --arrived;
    if (arrived > 0) memcpy(answer, a.bytes.data(), arrived);
    if (model.size() == MAX_DRIVES) {
      modelStatus = ASPI_ERR_TABLE_FULL;
    } else if (arrived >= 16 && Admitted(answer + 8)) {
      model.push_back(
          RowFrom(answer, arrived, static_cast<int>(i / 64), static_cast<int>(i / 8 % 8), static_cast<int>(i % 8)));
    }
  }
  Check(rc == (model.empty() ? ASPI_ERR_NO_DRIVE : 0), "scan result");
  Check(g_aspi->m_nDrives == static_cast<int>(model.size()), "rows after the scan");
  Check(g_aspi->m_nStatus == modelStatus, "status after the scan");
  for (size_t i = 0; i < model.size(); ++i) Check(SameRow(g_aspi->m_drives[i], model[i]), "scanned row");
  // A full table refuses the next scan without a request.
  if (modelStatus != 0) {
    g_given.clear();
    Check(g_aspi->ScanDrives() == ASPI_ERR_SCAN_REFUSED && g_given.empty(), "an overflowed table refuses a scan");
  }
  return 0;
}
