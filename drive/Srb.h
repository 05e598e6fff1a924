// The drive table row and the result values of drive requests, over the
// published ASPI interface.
#pragma once

#include "aspi/wnaspi32.h"

// One row of the drive table, filled from one INQUIRY answer.
struct DriveEntry {
  BYTE abInquiry[8];
  char szVendor[9];
  char szProduct[17];
  char szRevision[5];
  int nHaId;
  int nTarget;
  int nLun;
};

// ---- results of drive requests: 0 is success ----
// The drive answered with a check condition; the sense is kept by CMyASPI32.
constexpr int ASPI_CHECK_CONDITION = static_cast<int>(0xAA55AA55u);

enum : int {
  ASPI_ERR_NO_LIBRARY = 10058,        // the ASPI library cannot be loaded
  ASPI_ERR_NO_ENTRY_POINT = 10063,    // an entry point is missing from it
  ASPI_ERR_NOT_READY = 10068,         // support information not SS_COMP
  ASPI_ERR_NO_EVENT = 10128,          // no completion event; nothing sent
  ASPI_ERR_TIMEOUT = 10147,           // no completion within the limit
  ASPI_ERR_WAIT_FAILED = 10158,       // waiting for the event failed
  ASPI_ERR_STILL_PENDING = 10174,     // event signalled, request still pending
  ASPI_ERR_NO_DEVICE = 10177,         // SS_NO_DEVICE
  ASPI_ERR_ABORTED = 10180,           // SS_ABORTED
  ASPI_ERR_ABORT_FAILED = 10183,      // SS_ABORT_FAIL
  ASPI_ERR_INVALID_SRB = 10194,       // SS_INVALID_SRB
  ASPI_ERR_BUFFER_TOO_BIG = 10197,    // SS_BUFFER_TO_BIG
  ASPI_ERR_BUFFER_ALIGN = 10200,      // SS_BUFFER_ALIGN
  ASPI_ERR_ILLEGAL_MODE = 10203,      // SS_ILLEGAL_MODE
  ASPI_ERR_UNKNOWN_STATUS = 10209,    // any SRB_Status not listed above
  ASPI_ERR_SCAN_REFUSED = 10235,      // ScanDrives on an object that is not ready
  ASPI_ERR_NO_DRIVE = 10261,          // the scan admitted no drive
  ASPI_ERR_TABLE_FULL = 10315,        // the table already holds four rows
  ASPI_ERR_VENDOR = 10323,            // vendor identification not admitted
  ASPI_ERR_BAD_DRIVE = 10331,         // drive row not in use; nothing sent
  ASPI_ERR_DRIVE_BUSY = 10340,        // another updater holds the drive; nothing sent
  ASPI_ERR_SHORT_ANSWER = 10352,      // good status, but the bytes read did not all arrive
  ASPI_ERR_NO_LOCK = 10364            // the drive's lock cannot be had at all; nothing sent
};

// TEST UNIT READY: the drive answered with a check condition (no disc or
// not ready). Any other failure of that command is -1.
constexpr int TUR_NOT_READY = 0x78787878;
