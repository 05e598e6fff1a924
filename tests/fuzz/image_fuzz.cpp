// libFuzzer target for the firmware image: arbitrary bytes as an image file
// through FirmwareImage::LoadBytes (the steps Load takes after reading the
// file, without a file, so that an input costs no disk write), FindPattern on arbitrary data and patterns,
// and MatchDrive against an arbitrary identification answer from a stub
// ASPI library. Each result is checked against a plain reference written
// from the file format, not just for not crashing.
//
// Input layout (short inputs leave the later parts empty):
//   byte 0       bits 0-1: file length: 2 MiB, the payload alone, 2 MiB - 1,
//                2 MiB + 1; bit 2: model check with the image's own vendor
//                and product (else the two strings below)
//   bytes 1-3    where the payload goes in a file of about 2 MiB (around the
//                search window, which starts at 140000h)
//   byte 4       SRB_Status of the identification request (0: good)
//   byte 5       length of its answer, modulo 41
//   bytes 6-45   the answer
//   two NUL-terminated strings: the drive's vendor and product
//   the rest     the payload
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
#include "update/FirmwareImage.h"

namespace {

const char* const kSignatures[] = {"KORVELINDVDRRW M", "KORVELIN DVDRRW M", "KORVELINDVD+-RW M",
                                   "KORVELINDVD-RAM M", "QN      DVD Writer"};

CMyASPI32* g_aspi = nullptr;
// Takes every input of the image file's length: loading again refills its
// buffer, where a fresh object would map fresh memory for each input.
FirmwareImage* g_image = nullptr;
std::vector<uint8_t> g_file;  // zeros but for the payload of the current input
// Where that payload lies in g_file: [g_payloadAt, g_payloadEnd).
size_t g_payloadAt = 0, g_payloadEnd = 0;

// What the stub library answers the identification request with.
uint8_t g_status = SS_COMP;
uint8_t g_answer[40];
size_t g_answerLength = 0;
int g_requests = 0;

DWORD StubSend(void* p) {
  auto& srb = *static_cast<SRB_ExecSCSICmd*>(p);
  ++g_requests;
  if (g_status == SS_COMP && (srb.SRB_Flags & SRB_DIR_IN) && srb.SRB_BufPointer != nullptr) {
    size_t n = g_answerLength < srb.SRB_BufLen ? g_answerLength : srb.SRB_BufLen;
    memcpy(srb.SRB_BufPointer, g_answer, n);
  }
  if (g_status == SS_ERR) {
    srb.SenseArea[0] = 0x70;
    srb.SenseArea[2] = 0x05;
  }
  srb.SRB_Status = g_status;
  return g_status;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
  }
}

std::string TakeString(const uint8_t*& p, const uint8_t* end) {
  const uint8_t* z = static_cast<const uint8_t*>(memchr(p, 0, end - p));
  if (!z) z = end;
  std::string s(reinterpret_cast<const char*>(p), z - p);
  p = z < end ? z + 1 : end;
  return s;
}

// The reference scans are plain loops over megabytes; coverage feedback
// from them would only slow the search for new inputs down.
#define ORVEX_UNTRACED __attribute__((no_sanitize("coverage")))

// The first offset of `pattern` from where the image search starts, written
// from its rule rather than taken from the product.
ORVEX_UNTRACED long RefFind(const uint8_t* data, long length, const uint8_t* pattern, long patternLength) {
  const long start = length > IMAGE_SEARCH_START ? IMAGE_SEARCH_START : 0;
  if (patternLength == 0) return start;
  for (long off = start; off + patternLength <= length; ++off) {
    long i = 0;
    while (i < patternLength && data[off + i] == pattern[i]) ++i;
    if (i == patternLength) return off;
  }
  return -1;
}

// The same scan over an image built in g_file. Every byte but the payload's
// is zero and the patterns searched in an image are never all zero, so an
// occurrence puts its first nonzero byte inside the payload: only that
// part of the search window is scanned.
ORVEX_UNTRACED long RefFindInImage(const uint8_t* data, const uint8_t* pattern, long patternLength) {
  if (patternLength == 0) return IMAGE_SEARCH_START;
  long lead = 0;
  while (lead < patternLength && pattern[lead] == 0) ++lead;
  Check(lead < patternLength, "image patterns are never all zero");
  long from = long(g_payloadAt) - lead;
  if (from < IMAGE_SEARCH_START) from = IMAGE_SEARCH_START;
  for (long off = from; off + lead < long(g_payloadEnd) && off + patternLength <= IMAGE_LOAD_LENGTH; ++off) {
    long i = 0;
    while (i < patternLength && data[off + i] == pattern[i]) ++i;
    if (i == patternLength) return off;
  }
  return -1;
}

// The byte sum of the loaded region of an image built in g_file: the sum of
// its payload bytes that lie in the region.
ORVEX_UNTRACED uint32_t RefSum(const uint8_t* data) {
  uint32_t sum = 0;
  for (size_t i = g_payloadAt; i < g_payloadEnd && i < size_t(IMAGE_LOAD_LENGTH); ++i) sum += data[i];
  return sum;
}

void CheckFindPattern(const uint8_t* data, long length, const uint8_t* pattern, long patternLength) {
  long got = FindPattern(data, static_cast<int>(length), pattern, static_cast<int>(patternLength));
  Check(got == RefFind(data, length, pattern, patternLength), "FindPattern agrees with a plain scan");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvex-image-fuzz.XXXXXX";
  if (!mkdtemp(&dir[0])) abort();
  // No real library: the stub below answers every request.
  headless::SetLibraryDir(dir);
  g_aspi = new CMyASPI32;
  g_aspi->m_pfnSendCommand = StubSend;
  g_aspi->m_nStatus = 0;
  g_aspi->m_nDrives = 1;
  g_file.assign(IMAGE_FILE_LENGTH + 1, 0);
  g_image = new FirmwareImage;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  auto take = [&]() -> uint8_t { return p < end ? *p++ : 0; };
  const uint8_t flags = take();
  uint32_t where = take();
  where = (where << 8) | take();
  where = (where << 8) | take();
  g_status = take();
  if (g_status == SS_PENDING) g_status = SS_COMP;
  g_answerLength = take() % 41;
  memset(g_answer, 0, sizeof g_answer);
  for (size_t i = 0; i < sizeof g_answer; ++i) g_answer[i] = take();
  const std::string vendor = TakeString(p, end);
  const std::string product = TakeString(p, end);
  const uint8_t* payload = p;
  const size_t payloadLength = end - p;

  // ---- the file ----
  size_t fileLength;
  size_t at = 0;
  switch (flags & 3) {
    case 0: fileLength = IMAGE_FILE_LENGTH; break;
    case 1: fileLength = payloadLength; break;
    case 2: fileLength = IMAGE_FILE_LENGTH - 1; break;
    default: fileLength = IMAGE_FILE_LENGTH + 1; break;
  }
  if ((flags & 3) != 1) {
    // From a little below the search window to a little past the loaded
    // region, so that blocks straddle both edges.
    const size_t span = (IMAGE_LOAD_LENGTH - IMAGE_SEARCH_START) + 256;
    at = IMAGE_SEARCH_START - 128 + where % span;
    size_t n = payloadLength < fileLength - at ? payloadLength : fileLength - at;
    memcpy(&g_file[at], payload, n);
    g_payloadAt = at;
    g_payloadEnd = at + n;
  }
  if ((flags & 3) == 1) {
    g_payloadAt = 0;
    g_payloadEnd = payloadLength;
  }
  const uint8_t* file = (flags & 3) == 1 ? payload : g_file.data();

  // ---- loading ----
  FirmwareImage other;
  FirmwareImage& image = fileLength == static_cast<size_t>(IMAGE_FILE_LENGTH) ? *g_image : other;
  const int rc = image.LoadBytes(file, fileLength, g_aspi);
  if (fileLength != static_cast<size_t>(IMAGE_FILE_LENGTH)) {
    Check(rc == IMAGE_ERR_LENGTH, "a file of another length is refused");
  } else {
    long base = -1;
    for (const char* sig : kSignatures) {
      long off = RefFindInImage(file, reinterpret_cast<const uint8_t*>(sig), static_cast<long>(strlen(sig)));
      if (off >= 0 && off + IMAGE_IDENTITY_LENGTH <= IMAGE_LOAD_LENGTH) {
        base = off;
        break;
      }
      // A first occurrence without room for its block: the next signature.
    }
    if (base < 0) {
      Check(rc == IMAGE_ERR_IDENTITY, "no identity block, refused");
    } else {
      Check(rc == IMAGE_OK, "an identity block, loaded");
      Check(image.m_nLength == IMAGE_LOAD_LENGTH, "the loaded length");
      Check(image.m_nSum == RefSum(file), "the byte sum of the loaded region");
      Check(memcmp(image.m_szVendor, file + base, 8) == 0 && image.m_szVendor[8] == '\0', "vendor field");
      Check(memcmp(image.m_szProduct, file + base + 8, 16) == 0 && image.m_szProduct[16] == '\0',
            "product field");
      Check(memcmp(image.m_szRevision, file + base + 24, 4) == 0 && image.m_szRevision[4] == '\0',
            "revision field");
    }
  }

  // ---- the model check ----
  image.SetDriveIndex(0);
  g_requests = 0;
  const bool own = (flags & 4) != 0;
  const std::string v = own ? std::string(image.m_szVendor) : vendor;
  const std::string pr = own ? std::string(image.m_szProduct) : product;
  const int match = image.MatchDrive(v.c_str(), pr.c_str());
  if (rc != IMAGE_OK) {
    // Never asked by the dialog, which drops such an image; only an answer.
    Check(match == 0 || match == 1, "a model check answers 0 or 1");
  } else {
    int expected = 1;
    if (v == image.m_szVendor && pr == image.m_szProduct) {
      // A second one only when the first answer looks cut short.
      Check(g_requests == 1 || g_requests == 2, "one identification request once vendor and product match");
      // Only a text that arrived whole, and is not empty, is looked for:
      // all six of its bytes.
      static const uint8_t kNone[6] = {};
      const uint8_t* text = g_answer + 3;
      if (g_status == SS_COMP && g_answerLength >= 9 && memcmp(text, kNone, 6) != 0)
        expected = RefFindInImage(file, text, 6) >= 0 ? 0 : 1;
    } else {
      Check(g_requests == 0, "no request for another model");
    }
    Check(match == expected, "model check");
  }

  // ---- the search itself, on the input's own bytes ----
  const size_t split = size ? data[size - 1] % (size + 1) : 0;
  const size_t patternLength = split < 24 ? split : 24;
  CheckFindPattern(data, static_cast<long>(size), data + (size - split), static_cast<long>(patternLength));
  CheckFindPattern(data, static_cast<long>(size - patternLength), data + size - patternLength,
                   static_cast<long>(patternLength));
  // Either side of the window's start, a search from the beginning and one
  // from the window; only a short part of the data differs from zero. The
  // one from the beginning scans over a megabyte: one input in sixteen.
  if (rc == IMAGE_OK && patternLength > 0 && patternLength <= 8) {
    const uint8_t* pattern = data + size - patternLength;
    if (((where >> 8) & 0xF) == 0)
      CheckFindPattern(image.m_pData, IMAGE_SEARCH_START - (where & 0xFF), pattern, static_cast<long>(patternLength));
    CheckFindPattern(image.m_pData, IMAGE_SEARCH_START + 1 + (where & 0xFFF), pattern,
                     static_cast<long>(patternLength));
  }
  Check(FindPattern(nullptr, 10, data, 1) == -1, "no data, nothing found");
  Check(FindPattern(data, -1, data, 0) == -1, "a negative length finds nothing");

  if ((flags & 3) != 1) {
    size_t n = payloadLength < fileLength - at ? payloadLength : fileLength - at;
    memset(&g_file[at], 0, n);
  }
  return 0;
}
