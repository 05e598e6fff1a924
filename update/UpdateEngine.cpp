// The update engine. The order of drive requests, the texts and the
// refusals are the dialog's: the dialog is one front end of it.
#include "update/UpdateEngine.h"

#include <cstdio>
#include <cstring>

#include "drive/MyAspi32.h"
#include "res/ResourceIds.h"
#include "update/FirmwareImage.h"
#include "update/ZoneChecksum.h"

namespace {

// Byte-wise comparison of at most n characters, bytes unsigned, stopping at
// a NUL that ends both texts (strncmp semantics).
int CompareTexts(const std::string& a, const std::string& b, size_t n) {
  return std::strncmp(a.c_str(), b.c_str(), n);
}

// The part of `text` from `pos`, at most `n` characters; empty past its end.
std::string Part(const std::string& text, size_t pos, size_t n) {
  return pos < text.size() ? text.substr(pos, n) : std::string();
}

bool OnPiece(void* context, int done, int total) {
  CUpdateReport* report = static_cast<CUpdateReport*>(context);
  report->OnProgress(STAGE_TRANSFER, done, total);
  return !report->StopRequested();
}

}  // namespace

bool RevisionReadable(const char* revision) {
  if (std::strlen(revision) != 4) return false;
  return std::strspn(revision, " ") != 4;
}

std::string IdentityText(const char* vendor, const char* product, const char* revision) {
  char ident[64];
  std::snprintf(ident, sizeof ident, "%s %s %s", vendor, product, revision);
  return ident;
}

int CUpdateEngine::Fail(UpdateStage stage, int result, int engineResult) {
  // A failed step ends the update: no other updater waits on this one.
  if (stage != STAGE_CHECK) EndUpdate();
  m_failedStage = stage;
  m_nFailedResult = result;
  return engineResult;
}

void CUpdateEngine::BeginHold() {
  if (m_bHolding) return;
  m_bHolding = true;
  m_report.OnHold(true);
}

void CUpdateEngine::EndHold() {
  if (!m_bHolding) return;
  m_bHolding = false;
  m_report.OnHold(false);
}

int CUpdateEngine::Admit(FirmwareImage& image, const char* path, int row, const std::string& current,
                         const AdmitRules& rules, AdmitResult* result) {
  AdmitResult local;
  AdmitResult& out = result != nullptr ? *result : local;
  out = AdmitResult();
  m_report.OnStage(STAGE_CHECK);

  out.imageResult = image.Load(path, &m_aspi);
  if (out.imageResult != IMAGE_OK) {
    m_report.OnNotice(NOTICE_ERROR, IDS_FILE_NOT_CORRECT, nullptr);
    out.reason = REFUSE_IMAGE;
    return Fail(STAGE_CHECK, out.imageResult, ENGINE_REFUSED);
  }
  out.incoming = IdentityText(image.m_szVendor, image.m_szProduct, image.m_szRevision);
  m_report.OnImage(out.incoming);

  image.SetDriveIndex(row);
  // No drive row means no drive to check against: refuse without sending
  // anything.
  const bool validRow = row >= 0 && row < m_aspi.m_nDrives && row < MAX_DRIVES;
  if (!validRow) {
    out.reason = REFUSE_NO_DRIVE;
  } else {
    const DriveEntry& d = m_aspi.m_drives[row];
    if (std::strcmp(d.szVendor, image.m_szVendor) != 0 || std::strcmp(d.szProduct, image.m_szProduct) != 0) {
      out.reason = REFUSE_MODEL;
    } else if ((m_aspi.m_nLastResult = 0, image.MatchDrive(d.szVendor, d.szProduct)) != 0) {
      // Told apart for the front ends that can say more than the dialog.
      out.reason = m_aspi.m_nLastResult != 0 ? REFUSE_NO_ID_ANSWER : REFUSE_ID_TEXT;
    } else {
      out.reason = ADMIT_MAIN;
    }
  }
  if (out.reason != ADMIT_MAIN) {
    m_report.OnNotice(NOTICE_WARNING, 0, "Model mismatched !");
    return Fail(STAGE_CHECK, m_aspi.m_nLastResult, ENGINE_REFUSED);
  }

  // Every version rule ranks the drive's revision: one that did not come
  // would rank below any image.
#ifndef ORVEX_GUARD_OFF_REVISION_READ
  if (!RevisionReadable(m_aspi.m_drives[row].szRevision)) {
    m_report.OnNotice(NOTICE_ERROR, IDS_VERSION_UNREADABLE, nullptr);
    m_report.OnStatus(IDS_VERSION_UNREADABLE);
    out.reason = REFUSE_NO_VERSION;
    return Fail(STAGE_CHECK, 0, ENGINE_REFUSED);
  }
#endif

  const std::string& incoming = out.incoming;
  if (rules.writeStrategy) {
    if (CompareTexts(Part(current, 27, 3), Part(incoming, 27, 3), 3) < 0) {
      m_report.OnNotice(NOTICE_INFO, 0, "Need to Main Firmware Update");
      m_report.OnStatus(IDS_NEED_MAIN_UPDATE);
      out.reason = ADMIT_MAIN_INSTEAD;
      out.writeStrategy = false;
      return ENGINE_OK;
    }
    if (CompareTexts(Part(current, 26, 1), Part(incoming, 26, 1), 1) < 0) {
      m_report.OnStatus(IDS_WS_STARTED);
      out.reason = ADMIT_WRITE_STRATEGY;
      out.writeStrategy = true;
      return ENGINE_OK;
    }
    m_report.OnNotice(NOTICE_ERROR, 0, "NO NEED WS UPDATE");
    m_report.OnStatus(IDS_WS_NOT_AVAILABLE);
    out.reason = REFUSE_NO_WS_NEEDED;
    return Fail(STAGE_CHECK, 0, ENGINE_REFUSED);
  }
  if (CompareTexts(current, incoming, 31) < 0) {
    m_report.OnStatus(IDS_CLICK_UPDATE);
    out.reason = ADMIT_MAIN;
    return ENGINE_OK;
  }
  m_report.OnStatus(IDS_LOWER_OR_SAME);
  m_report.OnNotice(NOTICE_WARNING, 0, "Lower or Same Firmware Version!");
  if (rules.allowSameOrLower) {
    m_report.OnStatus(IDS_CLICK_UPDATE);
    out.reason = ADMIT_SAME_OR_LOWER;
    return ENGINE_OK;
  }
  m_report.OnStatus(IDS_LOWER_OR_SAME);
  out.reason = REFUSE_SAME_OR_LOWER;
  return Fail(STAGE_CHECK, 0, ENGINE_REFUSED);
}

void CUpdateEngine::EndUpdate() {
  EndHold();
  m_aspi.ReleaseDrive();
}

int CUpdateEngine::Recheck(FirmwareImage& image, int row) {
  if (row < 0 || row >= m_aspi.m_nDrives || row >= MAX_DRIVES) return ASPI_ERR_BAD_DRIVE;
  DriveEntry& checked = m_aspi.m_drives[row];
  DriveEntry now = {};
  int rc = m_aspi.InquireDrive(row, &now);
  if (rc != 0) return rc;
  if (std::strcmp(now.szVendor, checked.szVendor) != 0 || std::strcmp(now.szProduct, checked.szProduct) != 0 ||
      std::strcmp(now.szRevision, checked.szRevision) != 0) {
    // Another update, or another program, changed the drive since its
    // check: the next check is made against what it says now.
    checked = now;
    return -1;
  }
  // Vendor and product still match the image's, as admitted; the
  // identification text is read and looked for as the admission did.
  m_aspi.m_nLastResult = 0;
  image.SetDriveIndex(row);
  if (image.MatchDrive(now.szVendor, now.szProduct) != 0) return m_aspi.m_nLastResult != 0 ? m_aspi.m_nLastResult : -1;
  return 0;
}

int CUpdateEngine::Prepare(FirmwareImage& image, int row, bool writeStrategy) {
  m_bStopped = false;
  m_bDriveChanged = false;
  m_report.OnStage(STAGE_PREPARE);
  // Before anything reaches the drive, and before the question: a second
  // updater's pieces would overwrite this one's in the drive's buffer.
  const int held = m_aspi.HoldDrive(row, &m_strHoldNote);
  if (!m_strHoldNote.empty()) m_report.OnTrace(m_strHoldNote);
#ifndef ORVEX_GUARD_OFF_DRIVE_HOLD
  if (held != 0) {
    m_report.OnNotice(NOTICE_ERROR, IDS_DRIVE_BUSY, nullptr);
    return Fail(STAGE_PREPARE, held, ENGINE_REFUSED);
  }
#endif
  if (!m_report.Ask(QUESTION_CONFIRM)) return Fail(STAGE_PREPARE, 0, ENGINE_DECLINED);

  // The admission was made before the drive was held, maybe long before
  // (the dialog's Open): another updater may have written the drive since.
  // Checked again after the question, the check is the last thing before
  // the first write, and a declined update sends nothing at all.
#ifndef ORVEX_GUARD_OFF_RECHECK
  const int recheck = Recheck(image, row);
  if (recheck != 0) {
    m_bDriveChanged = true;
    m_report.OnNotice(NOTICE_ERROR, IDS_DRIVE_CHANGED, nullptr);
    return Fail(STAGE_PREPARE, recheck, ENGINE_REFUSED);
  }
#endif

  m_report.OnStatus(IDS_PLEASE_WAIT);
  if (writeStrategy) {
    std::uint32_t before = 0;
    int rc = ReadZoneChecksumChecked(image, row, &before);
    m_dwZoneSumBefore = before;
    if (rc != 0) {
      // Without a firmware-zone checksum to compare with, the update could
      // never be judged afterwards: nothing is sent.
      m_report.OnNotice(NOTICE_ERROR, 0, "ATAPI ERROR02");
      m_report.OnStatus(IDS_TRANSFER_FAILED);
      return Fail(STAGE_PREPARE, rc, ENGINE_NOT_WRITTEN);
    }
  }

  m_report.OnStage(STAGE_DISC);
  m_report.OnStatus(IDS_PLEASE_WAIT);
  // Three answers of "ready" mean a disc is loaded; a check condition means
  // none. A request that did not complete is no answer: a drive that has
  // just failed to answer is not given its firmware.
  int tur = 0;
  for (int i = 0; i < 3 && tur == 0; ++i) tur = image.TestUnitReady(row);
#ifdef ORVEX_GUARD_OFF_DISC_CHECK_FAILED
  if (tur != 0) tur = TUR_NOT_READY;
#endif
  if (tur != TUR_NOT_READY) {
    int rc = tur == 0 ? m_aspi.StartStopUnit(row, 0x02) : m_aspi.m_nLastResult != 0 ? m_aspi.m_nLastResult : tur;
    if (rc != 0) {
      m_report.OnStageEnd(STAGE_DISC, false);
      m_report.OnNotice(NOTICE_ERROR, 0, "Disc remove fail !");
      m_report.OnStatus(IDS_REMOVE_DISC);
      return Fail(STAGE_DISC, rc, ENGINE_NOT_WRITTEN);
    }
  }
  return ENGINE_OK;
}

int CUpdateEngine::Transfer(FirmwareImage& image, int row, bool writeStrategy) {
  m_report.OnStage(STAGE_TRANSFER);
  m_report.OnStatus(IDS_DOWNLOADING);
  image.SetDriveIndex(row);

  BeginHold();
  int rc = image.DownloadImage(row, &OnPiece, &m_report);
  if (rc != 0) {
    EndHold();
    m_bStopped = rc == IMAGE_ERR_STOPPED;
    m_report.OnStageEnd(STAGE_TRANSFER, false);
    // A stop the front end asked for is its own to tell.
    if (!m_bStopped) {
      m_report.OnNotice(NOTICE_ERROR, 0, "ATAPI ERROR02");
      m_report.OnStatus(IDS_TRANSFER_FAILED);
    }
    return Fail(STAGE_TRANSFER, rc, ENGINE_NOT_WRITTEN);
  }

  if (!writeStrategy) {
    m_report.OnStage(STAGE_VERIFY);
    m_report.OnStatus(IDS_CHECK_TRANSFER_SUM);
    rc = image.VerifyTransferChecksum(row);
    if (rc != 0) {
      EndHold();
      m_report.OnStatus(IDS_CHECKSUM_FAIL);
      m_report.OnStageEnd(STAGE_VERIFY, false);
      m_report.OnNotice(NOTICE_ERROR, 0, "Checksum Fail");
      return Fail(STAGE_VERIFY, rc, ENGINE_NOT_WRITTEN);
    }
  }
  m_report.OnStatus(writeStrategy ? IDS_WRITING_WS : IDS_WRITING_FIRMWARE);
  return ENGINE_OK;
}

int CUpdateEngine::Commit(FirmwareImage& image, int row, bool writeStrategy) {
  m_report.OnStage(STAGE_COMMIT);
  // Held already when the transfer ran through this engine.
  BeginHold();
  int rc = writeStrategy ? image.CommitWriteStrategy() : image.CommitFirmware();
  if (rc != 0 || !writeStrategy) EndHold();
  m_report.OnStageEnd(STAGE_COMMIT, rc == 0);
  if (rc != 0) {
    m_report.OnNotice(NOTICE_ERROR, 0, "Update was Fail");
    return Fail(STAGE_COMMIT, rc, ENGINE_COMMIT_FAILED);
  }
  if (!writeStrategy) {
    EndUpdate();
    return ENGINE_OK;
  }

  m_report.OnStage(STAGE_ZONE);
  m_report.OnStatus(IDS_CHECKING_ZONE);
  std::uint32_t after = 0;
  rc = ReadZoneChecksumChecked(image, row, &after);
  EndHold();
  m_dwZoneSumAfter = after;
  bool unchanged = m_dwZoneSumAfter == m_dwZoneSumBefore;
#ifndef ORVEX_GUARD_OFF_ZONE_READ_FAILED
  // A failed read is never taken for an unchanged zone, even when its
  // result code happens to equal the checksum read before.
  if (rc != 0) unchanged = false;
#endif
  if (unchanged) {
    EndUpdate();
    m_report.OnNotice(NOTICE_INFO, 0, "FW Zone Checksum is OK");
    m_report.OnStatus(IDS_ZONE_OK);
    return ENGINE_OK;
  }
  m_report.OnNotice(NOTICE_INFO, 0, "FW Zone Checksum is Not Correct !!");
  return Fail(STAGE_ZONE, rc, ENGINE_COMMIT_FAILED);
}
