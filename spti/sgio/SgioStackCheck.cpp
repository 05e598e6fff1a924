// The whole native road to a drive, run by sgio/native-case.sh under the
// rig: CMyASPI32 loads libwnaspi32.so by its bare name, scans (INQUIRY),
// sends one WRITE BUFFER piece and asks the drive for the byte sum of what
// it received (READ BUFFER). Prints what it found, one "key=value" a line.
//
//   sgio-stack-check scan     construction status and drives found
//   sgio-stack-check piece    as scan, then the piece and the drive's sum
#include <cstdio>
#include <cstring>
#include <vector>

#include "drive/Cdb.h"
#include "drive/MyAspi32.h"

int main(int argc, char** argv) {
  const bool piece = argc > 1 && std::strcmp(argv[1], "piece") == 0;
  CMyASPI32 aspi;
  std::printf("status=%d\n", aspi.GetStatus());
  if (aspi.GetStatus() != 0) return 0;
  const int scan = aspi.ScanDrives();
  std::printf("scan=%d drives=%d\n", scan, aspi.m_nDrives);
  for (int i = 0; i < aspi.m_nDrives; ++i)
    std::printf("drive=%d:%d:%d \"%s\" \"%s\" \"%s\"\n", aspi.m_drives[i].nHaId,
                aspi.m_drives[i].nTarget, aspi.m_drives[i].nLun, aspi.m_drives[i].szVendor,
                aspi.m_drives[i].szProduct, aspi.m_drives[i].szRevision);
  if (!piece || aspi.m_nDrives == 0) return 0;

  const DWORD kLength = 8192;
  std::vector<BYTE> data(kLength);
  DWORD sum = 0;
  for (DWORD i = 0; i < kLength; ++i) {
    data[i] = static_cast<BYTE>(i * 7 + 3);
    sum += data[i];
  }
  SRB_ExecSCSICmd srb;
  BuildWriteBufferPiece(srb, data.data(), 0, kLength);
  std::printf("write=%d sent-sum=%08X\n", aspi.ExecuteOnDrive(srb, 0), sum);
  BYTE answer[CHECKSUM_ANSWER_LENGTH] = {};
  BuildReadTransferChecksum(srb, answer, kLength);
  const int read = aspi.ExecuteOnDrive(srb, 0);
  std::printf("read=%d drive-sum=%08X\n", read, GetBE32(answer));
  return 0;
}
