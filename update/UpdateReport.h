// What the update engine tells its front end, and what it asks of it. The
// dialog turns these into status texts, boxes, the timer and the bar; the
// command line into lines, a bar on a terminal, or JSON.
#pragma once

#include <string>

// The steps of an update, in order.
enum UpdateStage : int {
  STAGE_CHECK = 0,     // image, model and version rules; nothing written
  STAGE_PREPARE = 1,   // hold, confirmation, the drive checked again, and for a write strategy the zone sum before
  STAGE_DISC = 2,      // disc check and eject
  STAGE_TRANSFER = 3,  // WRITE BUFFER pieces
  STAGE_VERIFY = 4,    // the drive's transfer checksum
  STAGE_COMMIT = 5,    // the drive commits what it received
  STAGE_ZONE = 6       // the firmware-zone check after a write strategy
};

enum NoticeKind : int {
  NOTICE_INFO = 0,     // information icon
  NOTICE_WARNING = 1,  // exclamation icon
  NOTICE_ERROR = 2     // error icon
};

enum UpdateQuestion : int {
  QUESTION_CONFIRM = 0  // "Are you sure?" before anything is written
};

class CUpdateReport {
 public:
  virtual ~CUpdateReport() = default;
  // A step begins.
  virtual void OnStage(UpdateStage stage) {}
  // A step ended: after a failure (before its box) or, for the commit,
  // either way.
  virtual void OnStageEnd(UpdateStage stage, bool ok) {}
  // The image loaded; `identity` is its identity text. Before the model
  // and version rules, so that a refusal shows which image it refused.
  virtual void OnImage(const std::string& identity) {}
  // A status text of the string table.
  virtual void OnStatus(unsigned statusId) = 0;
  // A message for the user: a text of the string table (textId) or a
  // literal one (text, when textId is 0).
  virtual void OnNotice(NoticeKind kind, unsigned textId, const char* text) = 0;
  // A question; only true goes on.
  virtual bool Ask(UpdateQuestion question) = 0;
  // Pieces done of the transfer.
  virtual void OnProgress(UpdateStage stage, int done, int total) {}
  // Asked between pieces: true stops the transfer after the current one.
  virtual bool StopRequested() { return false; }
  // A detail for those who asked for every one (orvex-cli -v): something
  // the update goes on without.
  virtual void OnTrace(const std::string& line) {}
  // The hold: from just before the first WRITE BUFFER piece to the end of
  // the commit and its zone check, or to the failure that ends the update.
  // A drive that loses power in it can be left unusable, so the front end
  // keeps the system from sleeping, shutting down or ending the session
  // meanwhile. Every begin is followed by one end, before the outcome's
  // notice; a refused or declined update never begins one.
  virtual void OnHold(bool begin) {}
};
