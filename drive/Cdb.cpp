// CDBs of every command the updater sends.
#include "drive/Cdb.h"

#include <cstring>

namespace {
void Prepare(SRB_ExecSCSICmd& srb, BYTE flags, BYTE* buf, DWORD len, BYTE cdbLen,
             BYTE senseLen) {
  std::memset(&srb, 0, sizeof(srb));
  srb.SRB_Flags = flags;
  srb.SRB_BufPointer = buf;
  srb.SRB_BufLen = len;
  srb.SRB_CDBLen = cdbLen;
  srb.SRB_SenseLen = senseLen;
}
}  // namespace

void BuildInquiry(SRB_ExecSCSICmd& srb, BYTE* answer) {
  Prepare(srb, SRB_DIR_IN, answer, INQUIRY_LENGTH, 6, SENSE_LEN);
  srb.CDBByte[0] = 0x12;
  srb.CDBByte[4] = INQUIRY_LENGTH;
}

void BuildTestUnitReady(SRB_ExecSCSICmd& srb) {
  Prepare(srb, 0, nullptr, 0, 6, SENSE_LEN);
}

void BuildStartStopUnit(SRB_ExecSCSICmd& srb, BYTE control) {
  Prepare(srb, 0, nullptr, 0, 12, 0);
  srb.CDBByte[0] = 0x1B;
  srb.CDBByte[4] = control;
}

void BuildWriteBufferPiece(SRB_ExecSCSICmd& srb, BYTE* data, DWORD offset, DWORD length) {
  Prepare(srb, SRB_DIR_OUT, data, length, 10, SENSE_LEN);
  srb.CDBByte[0] = 0x3B;
  srb.CDBByte[1] = 0x06;
  PutBE24(&srb.CDBByte[3], offset);
  PutBE24(&srb.CDBByte[6], length);
}

void BuildReadTransferChecksum(SRB_ExecSCSICmd& srb, BYTE* answer, DWORD length) {
  Prepare(srb, SRB_DIR_IN, answer, CHECKSUM_ANSWER_LENGTH, 7, SENSE_LEN);
  srb.CDBByte[0] = 0x3C;
  srb.CDBByte[1] = 0x04;
  srb.CDBByte[2] = 0x03;
  PutBE32(&srb.CDBByte[3], length);
}

void BuildReadZoneChecksum(SRB_ExecSCSICmd& srb, BYTE* answer) {
  Prepare(srb, SRB_DIR_IN, answer, CHECKSUM_ANSWER_LENGTH, 7, SENSE_LEN);
  srb.CDBByte[0] = 0x3C;
  srb.CDBByte[1] = 0x04;
  srb.CDBByte[2] = 0x06;
  PutBE32(&srb.CDBByte[3], ZONE_CHECKSUM_SPAN);
}

void BuildCommitFirmware(SRB_ExecSCSICmd& srb, BYTE* data, DWORD length) {
  Prepare(srb, SRB_DIR_OUT, data, COMMIT_DATA_LENGTH, 10, SENSE_LEN);
  srb.CDBByte[0] = 0x3B;
  srb.CDBByte[1] = 0x07;
  srb.CDBByte[2] = 0x0A;
  PutBE24(&srb.CDBByte[3], 0x8000);
  PutBE24(&srb.CDBByte[6], length - 0x8000);
  srb.CDBByte[9] = 0x01;
}

void BuildCommitWriteStrategy(SRB_ExecSCSICmd& srb, BYTE* data) {
  Prepare(srb, SRB_DIR_OUT, data, COMMIT_DATA_LENGTH, 10, SENSE_LEN);
  srb.CDBByte[0] = 0x3B;
  srb.CDBByte[1] = 0x07;
  srb.CDBByte[9] = 0x02;
}

void BuildReadDriveIdText(SRB_ExecSCSICmd& srb, BYTE* answer) {
  Prepare(srb, SRB_DIR_IN, answer, IDTEXT_ANSWER_LENGTH, 10, SENSE_LEN);
  srb.CDBByte[0] = 0xF0;
  srb.CDBByte[1] = 0x12;
  srb.CDBByte[2] = 0x20;
  // Beyond the declared length, but part of what the drive expects.
  srb.CDBByte[10] = 0x07;
}
