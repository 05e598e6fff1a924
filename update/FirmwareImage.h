// A firmware image in memory, its admission checks against a drive, and the
// drive commands an update sends on its behalf.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/File.h"

class CMyASPI32;

// Image file and loaded region sizes.
enum : int {
  IMAGE_FILE_LENGTH = 0x200000,     // 2,097,152 bytes
  IMAGE_LOAD_LENGTH = 0x1A0000,     // 1,703,936 bytes read, summed and sent
  IMAGE_SEARCH_START = 0x140000,    // identity and identification text live above
  IMAGE_PIECE_LENGTH = 8192,        // one WRITE BUFFER piece
  IMAGE_IDENTITY_LENGTH = 28        // vendor 8, product 16, revision 4
};

// Results of Load.
enum : int {
  IMAGE_OK = 0,
  IMAGE_ERR_OPEN = 1,       // the file cannot be opened
  IMAGE_ERR_LENGTH = 2,     // its length is not 2,097,152 (or unknown)
  IMAGE_ERR_MEMORY = 3,     // no buffer
  IMAGE_ERR_READ = 4,       // fewer bytes than the loaded region could be read
  IMAGE_ERR_IDENTITY = 5,   // no identity signature with room for its block
  IMAGE_ERR_STOPPED = 6,    // the transfer was stopped between two pieces
  IMAGE_ERR_NOT_FILE = 7    // not a regular file (m_nFileKind says what)
};

// Told after every piece sent (pieces done, pieces in all); false stops the
// transfer before the next one.
typedef bool (*PieceHook)(void* context, int done, int total);

class FirmwareImage {
 public:
  FirmwareImage() = default;
  virtual ~FirmwareImage();
  FirmwareImage(const FirmwareImage&) = delete;
  FirmwareImage& operator=(const FirmwareImage&) = delete;

  // Loads the image file at `path`; `aspi` is the drive access the image's
  // commands go through. Returns one of the IMAGE_* codes; after a short
  // read no part of the file is kept.
  int Load(const char* path, CMyASPI32* aspi);
  // The same from an image file's bytes in memory (`size` of them, the whole
  // file); nothing of `data` is kept. No file is opened.
  int LoadBytes(const std::uint8_t* data, std::size_t size, CMyASPI32* aspi);
  void SetDriveIndex(int index) { m_nDriveIndex = index; }
  // 0 when the image fits the drive (vendor, product, identification
  // text found in the image), 1 when it does not.
  int MatchDrive(const char* vendor, const char* product);
  // The byte sum of the loaded region into m_nSum.
  void ComputeSum();

  // Drive commands; results are those of CMyASPI32 unless noted.
  // 0 ready, TUR_NOT_READY after the drive's check condition (target
  // status 02h, no host adapter error), -1 on any other failure.
  int TestUnitReady(int drive);
  // The loaded region in 8192-byte WRITE BUFFER pieces; the first failure.
  // With no image loaded nothing is sent and IMAGE_ERR_OPEN is returned.
  int DownloadImage(int drive, PieceHook hook = nullptr, void* context = nullptr);
  // 0 when the drive's transfer checksum equals m_nSum, -1 when it differs,
  // the request's result when it failed or its four bytes did not arrive.
  int VerifyTransferChecksum(int drive);
  // The drive's firmware-zone checksum, or the failed request's result.
  std::uint32_t ReadZoneChecksum(int drive);
  int CommitFirmware();
  int CommitWriteStrategy();
  // The six identification bytes into `area`; untouched on failure. All
  // six must have arrived and not all be NUL (else ASPI_ERR_SHORT_ANSWER,
  // also in the transport's m_nLastResult).
  int ReadDriveIdText(std::uint8_t* area);

  std::uint8_t* m_pData = nullptr;
  std::FILE* m_pFile = nullptr;
  std::int32_t m_nLength = 0;
  // What the last Load found at its path, and the file's length (-1 when
  // it could not be told).
  FileKind m_nFileKind = FILE_KIND_NONE;
  long long m_llFileLength = -1;
  std::uint32_t m_nSum = 0;
  char m_szRevision[5] = {};
  char m_szProduct[17] = {};
  char m_szVendor[9] = {};
  CMyASPI32* m_pDriveAccess = nullptr;
  std::int32_t m_nDriveIndex = -1;
  // The system's error number of a failed open or read (0: none given),
  // for front ends that tell the cause.
  int m_nErrno = 0;

 private:
  // Both ways of loading share these steps. A load on an object that held
  // an image refills its buffer rather than allocating another one.
  void Clear(CMyASPI32* aspi);
  void DropData();
  int TakeLength(long long fileLength);
  int TakeRegion();
};

// First offset of `pattern` in `data`, or -1. The search starts at
// IMAGE_SEARCH_START when `length` exceeds it, else at 0; only offsets where
// the whole pattern fits are tried. An empty pattern is found at the start.
int FindPattern(const std::uint8_t* data, int length, const std::uint8_t* pattern,
                int patternLength);
// Copies n bytes and appends a NUL (dest holds n + 1).
void CopyField(char* dest, const void* src, int n);
