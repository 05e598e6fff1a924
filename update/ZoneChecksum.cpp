#include "update/ZoneChecksum.h"

#include "drive/Cdb.h"
#include "drive/MyAspi32.h"
#include "update/FirmwareImage.h"

int ReadZoneChecksumChecked(FirmwareImage& image, int drive, std::uint32_t* value) {
  SRB_ExecSCSICmd srb;
  BYTE answer[CHECKSUM_ANSWER_LENGTH] = {0, 0, 0, 0};
  BuildReadZoneChecksum(srb, answer);
  int rc = image.m_pDriveAccess ? image.m_pDriveAccess->ReadOnDrive(srb, drive, CHECKSUM_ANSWER_LENGTH)
                                : ASPI_ERR_BAD_DRIVE;
  *value = rc == 0 ? GetBE32(answer) : static_cast<std::uint32_t>(rc);
  return rc;
}
