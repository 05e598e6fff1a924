// Builders of every request the updater sends. Each zeroes the whole block
// and fills direction, lengths, buffer and CDB; CMyASPI32 adds the address,
// the command code and the completion event.
#pragma once

#include <cstdint>

#include "drive/Srb.h"

enum : int {
  INQUIRY_LENGTH = 50,
  CHECKSUM_ANSWER_LENGTH = 4,
  COMMIT_DATA_LENGTH = 4,
  IDTEXT_ANSWER_LENGTH = 40,
  IDTEXT_OFFSET = 3,      // the six identification bytes in the F0h answer
  IDTEXT_LENGTH = 6,
  ZONE_CHECKSUM_SPAN = 0x000F8000
};

// INQUIRY, allocation length 50, into `answer` (50 bytes).
void BuildInquiry(SRB_ExecSCSICmd& srb, BYTE* answer);
void BuildTestUnitReady(SRB_ExecSCSICmd& srb);
// START STOP UNIT; 12-byte CDB, no sense requested.
void BuildStartStopUnit(SRB_ExecSCSICmd& srb, BYTE control);
// WRITE BUFFER mode 06h: `length` bytes at `data` for image offset `offset`.
void BuildWriteBufferPiece(SRB_ExecSCSICmd& srb, BYTE* data, DWORD offset, DWORD length);
// READ BUFFER mode 04h buffer 03h: the drive's checksum of what it received.
void BuildReadTransferChecksum(SRB_ExecSCSICmd& srb, BYTE* answer, DWORD length);
// READ BUFFER mode 04h buffer 06h: the drive's firmware-zone checksum.
void BuildReadZoneChecksum(SRB_ExecSCSICmd& srb, BYTE* answer);
// WRITE BUFFER mode 07h, buffer 0Ah from 8000h: commit main firmware.
// `data` is four zero bytes.
void BuildCommitFirmware(SRB_ExecSCSICmd& srb, BYTE* data, DWORD length);
// WRITE BUFFER mode 07h, last byte 02h: commit the write strategy.
void BuildCommitWriteStrategy(SRB_ExecSCSICmd& srb, BYTE* data);
// Vendor command F0h, 40-byte answer, with 07h in CDB byte 10.
void BuildReadDriveIdText(SRB_ExecSCSICmd& srb, BYTE* answer);

// Big-endian helpers for CDBs and answers.
inline void PutBE24(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v >> 16);
  p[1] = static_cast<BYTE>(v >> 8);
  p[2] = static_cast<BYTE>(v);
}
inline void PutBE32(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v >> 24);
  PutBE24(p + 1, v);
}
inline DWORD GetBE32(const BYTE* p) {
  return (DWORD(p[0]) << 24) | (DWORD(p[1]) << 16) | (DWORD(p[2]) << 8) | DWORD(p[3]);
}
