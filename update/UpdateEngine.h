// The update engine: admission of an image for a drive, the disc check, the
// transfer, the transfer checksum, the commit and the zone check. It knows
// no dialog and no console: it reports through CUpdateReport, and its front
// end owns the image, the drive access and everything the user sees.
#pragma once

#include <cstdint>
#include <string>

#include "update/UpdateReport.h"

class CMyASPI32;
class FirmwareImage;

// Results of the engine's steps; the command line's exit statuses are the
// same numbers.
enum EngineResult : int {
  ENGINE_OK = 0,
  ENGINE_DECLINED = 1,       // the confirmation was declined
  ENGINE_REFUSED = 2,        // refused before any write reached the drive
  ENGINE_NOT_WRITTEN = 3,    // failed before the commit: the drive keeps its firmware
  ENGINE_COMMIT_FAILED = 4   // failed during or after the commit: the drive's state is unknown
};

// What the admission found.
enum AdmitReason : int {
  ADMIT_MAIN = 0,              // a newer main firmware
  ADMIT_WRITE_STRATEGY,        // a newer write strategy
  ADMIT_MAIN_INSTEAD,          // a write strategy was asked, the main firmware is older
  ADMIT_SAME_OR_LOWER,         // same or lower, admitted because the rules allow it
  REFUSE_IMAGE,                // the file is not an image (length, read, identity)
  REFUSE_NO_DRIVE,             // no such drive row
  REFUSE_MODEL,                // vendor or product differ
  REFUSE_ID_TEXT,              // the drive's identification text is not in the image
  REFUSE_NO_ID_ANSWER,         // the drive did not give its identification text
  REFUSE_SAME_OR_LOWER,        // the image is not newer
  REFUSE_NO_WS_NEEDED,         // the drive's write strategy is not older
  REFUSE_NO_VERSION            // the drive's revision did not arrive or is blank
};

// Policy from the front end (the dialog reads it from its configuration).
struct AdmitRules {
  bool writeStrategy = false;     // a write-strategy update is asked
  bool allowSameOrLower = false;  // same or lower versions pass (after their box)
};

struct AdmitResult {
  AdmitReason reason = REFUSE_IMAGE;
  int imageResult = 0;          // IMAGE_* of the load
  bool writeStrategy = false;   // the kind of update decided
  std::string incoming;         // the image's identity text
};

// A revision a version rule can rank: four characters, not all blank.
bool RevisionReadable(const char* revision);

// "%s %s %s" of vendor, product and revision.
std::string IdentityText(const char* vendor, const char* product, const char* revision);

class CUpdateEngine {
 public:
  CUpdateEngine(CMyASPI32& aspi, CUpdateReport& report) : m_aspi(aspi), m_report(report) {}
  // A front end that stops between the steps still ends the hold.
  ~CUpdateEngine() { EndUpdate(); }
  CUpdateEngine(const CUpdateEngine&) = delete;
  CUpdateEngine& operator=(const CUpdateEngine&) = delete;

  // Loads the image at `path` and checks it against drive row `row`, whose
  // identity text is `current`. Only the identification text query reaches
  // the drive.
  int Admit(FirmwareImage& image, const char* path, int row, const std::string& current,
            const AdmitRules& rules, AdmitResult* result);
  // Holds the drive for this update alone (refused, with nothing sent,
  // when another updater has it), then the confirmation, the check of the
  // drive again inside the hold (refused, with nothing written, when it no
  // longer is what drive row `row` says, the row the image was admitted
  // for), the zone sum before a write strategy, the disc check and eject.
  int Prepare(FirmwareImage& image, int row, bool writeStrategy);
  // The pieces and, for the main firmware, the transfer checksum.
  int Transfer(FirmwareImage& image, int row, bool writeStrategy);
  // The commit and, for a write strategy, the zone check. The drive is let
  // go at its end, whatever the outcome.
  int Commit(FirmwareImage& image, int row, bool writeStrategy);
  // Ends an update that stops between the steps above: ends the hold and
  // lets the drive go. Every failure of a step does so itself, and so does
  // the engine's end.
  void EndUpdate();
  // Ends the hold now if it is on (a front end that goes no further after
  // a successful transfer); the steps end it themselves otherwise.
  void EndHold();
  bool Holding() const { return m_bHolding; }

  // Where the last failure happened, and the failed request's result.
  UpdateStage m_failedStage = STAGE_CHECK;
  int m_nFailedResult = 0;
  // The transfer stopped because the front end asked.
  bool m_bStopped = false;
  // Prepare refused: the drive, checked again inside the hold, changed or
  // did not answer. Its row then holds what it said, when it answered.
  bool m_bDriveChanged = false;
  // What the hold of the drive said, when it could not be had in full (a
  // lock file that another user holds, a missing lock folder).
  std::string m_strHoldNote;
  std::uint32_t m_dwZoneSumBefore = 0;
  std::uint32_t m_dwZoneSumAfter = 0;

 private:
  int Fail(UpdateStage stage, int result, int engineResult);
  void BeginHold();
  // INQUIRY and the identification text of drive row `row` again; 0 when
  // the drive is still the one the row describes and the image's rules
  // admitted.
  int Recheck(FirmwareImage& image, int row);
  CMyASPI32& m_aspi;
  CUpdateReport& m_report;
  bool m_bHolding = false;
};
