// Firmware image: loading, model check and the drive commands of an update.
#include "update/FirmwareImage.h"
#include "update/ZoneChecksum.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "drive/Cdb.h"
#include "drive/MyAspi32.h"
#include "platform/File.h"

namespace {

// Identity signatures: the vendor field and the start of the product field.
// The first one in this order that occurs with room for its block wins.
struct Signature {
  const char* bytes;
  int length;
};
const Signature kSignatures[] = {
    {"KORVELINDVDRRW M", 16}, {"KORVELIN DVDRRW M", 17}, {"KORVELINDVD+-RW M", 17},
    {"KORVELINDVD-RAM M", 17}, {"QN      DVD Writer", 18},
};

}  // namespace

int FindPattern(const std::uint8_t* data, int length, const std::uint8_t* pattern,
                int patternLength) {
  if (data == nullptr || length < 0 || patternLength < 0) return -1;
  const int start = length > IMAGE_SEARCH_START ? IMAGE_SEARCH_START : 0;
  if (patternLength == 0) return start;
  if (pattern == nullptr) return -1;
  const int last = length - patternLength;  // last offset where it fits
  int off = start;
  while (off <= last) {
    // Jump to the next place the first byte occurs, then compare the rest.
    const void* hit = std::memchr(data + off, pattern[0], static_cast<std::size_t>(last - off + 1));
    if (hit == nullptr) return -1;
    off = static_cast<int>(static_cast<const std::uint8_t*>(hit) - data);
    if (std::memcmp(data + off, pattern, static_cast<std::size_t>(patternLength)) == 0) return off;
    ++off;
  }
  return -1;
}

void CopyField(char* dest, const void* src, int n) {
  std::memcpy(dest, src, static_cast<std::size_t>(n));
  dest[n] = '\0';
}

FirmwareImage::~FirmwareImage() {
  if (m_pFile != nullptr) std::fclose(m_pFile);
  delete[] m_pData;
}

void FirmwareImage::Clear(CMyASPI32* aspi) {
  // A second Load on the same object starts from nothing but the buffer,
  // which it fills whole before any use, or frees.
  if (m_pFile != nullptr) std::fclose(m_pFile);
  m_pFile = nullptr;
  m_nLength = 0;
  m_nErrno = 0;
  m_nSum = 0;
  m_szVendor[0] = m_szProduct[0] = m_szRevision[0] = '\0';
  m_pDriveAccess = aspi;
}

void FirmwareImage::DropData() {
  delete[] m_pData;
  m_pData = nullptr;
}

// The file's length decides; on success the buffer for the loaded region
// is there to be filled.
int FirmwareImage::TakeLength(long long fileLength) {
  m_nLength = fileLength < 0 || fileLength > 0x7FFFFFFF ? -1 : static_cast<std::int32_t>(fileLength);
  if (m_nLength != IMAGE_FILE_LENGTH) {
    DropData();
    return IMAGE_ERR_LENGTH;
  }
  m_nLength = IMAGE_LOAD_LENGTH;
  if (m_pData == nullptr) m_pData = new (std::nothrow) std::uint8_t[IMAGE_LOAD_LENGTH];
  if (m_pData == nullptr) return IMAGE_ERR_MEMORY;
  return IMAGE_OK;
}

// Identity, sum and fields of the loaded region in m_pData.
int FirmwareImage::TakeRegion() {
  int base = -1;
  for (const Signature& sig : kSignatures) {
    int off = FindPattern(m_pData, m_nLength, reinterpret_cast<const std::uint8_t*>(sig.bytes),
                          sig.length);
    if (off >= 0 && off + IMAGE_IDENTITY_LENGTH <= m_nLength) {
      base = off;
      break;
    }
  }
  if (base < 0) return IMAGE_ERR_IDENTITY;

  ComputeSum();
  CopyField(m_szVendor, m_pData + base, 8);
  CopyField(m_szProduct, m_pData + base + 8, 16);
  CopyField(m_szRevision, m_pData + base + 24, 4);
  return IMAGE_OK;
}

int FirmwareImage::Load(const char* path, CMyASPI32* aspi) {
  Clear(aspi);
  m_nFileKind = FILE_KIND_NONE;
  m_llFileLength = -1;
  errno = 0;
  if (path != nullptr && *path != '\0') m_pFile = SysOpenRegularFile(path, &m_nFileKind);
  if (m_pFile == nullptr) {
    m_nErrno = path != nullptr && *path != '\0' ? errno : ENOENT;
    DropData();
    return m_nFileKind == FILE_KIND_NONE ? IMAGE_ERR_OPEN : IMAGE_ERR_NOT_FILE;
  }

  // A length that cannot be told is a wrong length.
  long length = -1;
  if (std::fseek(m_pFile, 0, SEEK_END) == 0) length = std::ftell(m_pFile);
  m_llFileLength = length;
  int rc = TakeLength(length);
  if (rc != IMAGE_OK) return rc;

  // Every later step trusts the whole region to be there: a file that
  // shrank or cannot be read is refused, never admitted in part.
  errno = 0;
  if (SysReadFileStart(m_pFile, m_pData, IMAGE_LOAD_LENGTH) != static_cast<std::size_t>(IMAGE_LOAD_LENGTH)) {
    m_nErrno = errno;
#ifndef ORVEX_GUARD_OFF_SHORT_READ
    DropData();
    return IMAGE_ERR_READ;
#endif
  }
  return TakeRegion();
}

int FirmwareImage::LoadBytes(const std::uint8_t* data, std::size_t size, CMyASPI32* aspi) {
  Clear(aspi);
  if (data == nullptr && size > 0) size = 0;
  int rc = TakeLength(size > 0x7FFFFFFF ? -1 : static_cast<long long>(size));
  if (rc != IMAGE_OK) return rc;
  std::memcpy(m_pData, data, IMAGE_LOAD_LENGTH);
  return TakeRegion();
}

void FirmwareImage::ComputeSum() {
  std::uint32_t sum = 0;
  if (m_pData != nullptr) {
    for (std::int32_t i = 0; i < m_nLength; ++i) sum += m_pData[i];
  }
  m_nSum = sum;
}

int FirmwareImage::MatchDrive(const char* vendor, const char* product) {
  if (vendor == nullptr || product == nullptr || m_pData == nullptr) return 1;
  if (std::strcmp(vendor, m_szVendor) != 0) return 1;
  if (std::strcmp(product, m_szProduct) != 0) return 1;
  std::uint8_t area[IDTEXT_LENGTH] = {};
  if (ReadDriveIdText(area) != 0) return 1;
  // All six bytes, a NUL among them included: a text cut at a NUL would be
  // a weaker pattern than the drive gave.
  int textLength = IDTEXT_LENGTH;
#ifdef ORVEX_GUARD_OFF_ID_TEXT_WHOLE
  textLength = static_cast<int>(std::find(area, area + IDTEXT_LENGTH, 0) - area);
#endif
  return FindPattern(m_pData, m_nLength, area, textLength) < 0 ? 1 : 0;
}

int FirmwareImage::TestUnitReady(int drive) {
  if (m_pDriveAccess == nullptr) return -1;
  SRB_ExecSCSICmd srb;
  BuildTestUnitReady(srb);
  int r = m_pDriveAccess->ExecuteOnDrive(srb, drive);
  if (r == 0) return 0;
  // The drive's own check condition (how it says "no disc"): an error the
  // host adapter reports (a timeout, a lost device) is not one.
  bool drivesAnswer = srb.SRB_HaStat == HASTAT_OK && srb.SRB_TargStat == 0x02;
#ifdef ORVEX_GUARD_OFF_DISC_CHECK_ANSWER
  drivesAnswer = true;
#endif
  return r == ASPI_CHECK_CONDITION && drivesAnswer ? TUR_NOT_READY : -1;
}

int FirmwareImage::DownloadImage(int drive, PieceHook hook, void* context) {
  if (m_pDriveAccess == nullptr) return ASPI_ERR_BAD_DRIVE;
  if (m_pData == nullptr || m_nLength <= 0) return IMAGE_ERR_OPEN;
  const std::int32_t pieces = m_nLength / IMAGE_PIECE_LENGTH;
  const std::int32_t rest = m_nLength % IMAGE_PIECE_LENGTH;
  const int total = pieces + (rest != 0 ? 1 : 0);
  SRB_ExecSCSICmd srb;
  for (std::int32_t k = 0; k < pieces; ++k) {
    const DWORD offset = static_cast<DWORD>(k) * IMAGE_PIECE_LENGTH;
    BuildWriteBufferPiece(srb, m_pData + offset, offset, IMAGE_PIECE_LENGTH);
    int r = m_pDriveAccess->ExecuteOnDrive(srb, drive);
    if (r != 0) return r;
    if (hook != nullptr && !hook(context, k + 1, total) && k + 1 < total) return IMAGE_ERR_STOPPED;
  }
  if (rest == 0) return 0;
  // The short last piece goes out at an even length: an odd one carries a
  // 00h pad byte, which lives in a piece buffer of its own rather than past
  // the end of the image.
  std::uint8_t last[IMAGE_PIECE_LENGTH] = {};
  const DWORD offset = static_cast<DWORD>(pieces) * IMAGE_PIECE_LENGTH;
  std::memcpy(last, m_pData + offset, static_cast<std::size_t>(rest));
  const DWORD sent = static_cast<DWORD>(rest + (rest & 1));
  BuildWriteBufferPiece(srb, last, offset, sent);
  int r = m_pDriveAccess->ExecuteOnDrive(srb, drive);
  if (r == 0 && hook != nullptr) hook(context, total, total);
  return r;
}

int FirmwareImage::VerifyTransferChecksum(int drive) {
  if (m_pDriveAccess == nullptr) return ASPI_ERR_BAD_DRIVE;
  BYTE answer[CHECKSUM_ANSWER_LENGTH] = {};
  SRB_ExecSCSICmd srb;
  BuildReadTransferChecksum(srb, answer, static_cast<DWORD>(m_nLength));
  int r = m_pDriveAccess->ReadOnDrive(srb, drive, CHECKSUM_ANSWER_LENGTH);
  if (r != 0) return r;
  return GetBE32(answer) == m_nSum ? 0 : -1;
}

std::uint32_t FirmwareImage::ReadZoneChecksum(int drive) {
  // A failed read hands back its result in place of the checksum.
  std::uint32_t value = 0;
  ReadZoneChecksumChecked(*this, drive, &value);
  return value;
}

int FirmwareImage::CommitFirmware() {
  if (m_pDriveAccess == nullptr) return ASPI_ERR_BAD_DRIVE;
  BYTE data[COMMIT_DATA_LENGTH] = {};
  SRB_ExecSCSICmd srb;
  BuildCommitFirmware(srb, data, static_cast<DWORD>(m_nLength));
  return m_pDriveAccess->ExecuteOnDrive(srb, m_nDriveIndex);
}

int FirmwareImage::CommitWriteStrategy() {
  if (m_pDriveAccess == nullptr) return ASPI_ERR_BAD_DRIVE;
  BYTE data[COMMIT_DATA_LENGTH] = {};
  SRB_ExecSCSICmd srb;
  BuildCommitWriteStrategy(srb, data);
  return m_pDriveAccess->ExecuteOnDrive(srb, m_nDriveIndex);
}

int FirmwareImage::ReadDriveIdText(std::uint8_t* area) {
  if (m_pDriveAccess == nullptr) return ASPI_ERR_BAD_DRIVE;
  BYTE answer[IDTEXT_ANSWER_LENGTH] = {};
  SRB_ExecSCSICmd srb;
  BuildReadDriveIdText(srb, answer);
  int r = m_pDriveAccess->ReadOnDrive(srb, m_nDriveIndex, IDTEXT_OFFSET + IDTEXT_LENGTH);
  if (r != 0) return r;
  // An empty text is found in every image: a drive that gives none cannot
  // be matched.
#ifndef ORVEX_GUARD_OFF_ID_TEXT_EMPTY
  static const std::uint8_t kNone[IDTEXT_LENGTH] = {};
  if (std::memcmp(answer + IDTEXT_OFFSET, kNone, IDTEXT_LENGTH) == 0) return m_pDriveAccess->m_nLastResult = ASPI_ERR_SHORT_ANSWER;
#endif
  std::memcpy(area, answer + IDTEXT_OFFSET, IDTEXT_LENGTH);
  return 0;
}
