// Every request of an update, failed in every way a drive or its ASPI layer
// can fail it. Whatever fails, nothing is committed from a broken transfer,
// the user is told, and the dialog can still be closed or the update started
// again. The drive's flash file shows what a real drive would keep.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

#include "platform/Resources.h"
#include "tests/unit/DialogFixture.h"

namespace {

using headless::BoxTexts;
using Strings = std::vector<std::string>;

enum class Update { Main, Strategy };

// How one request fails.
enum class Failure {
  Check,          // the drive answers with a check condition
  Timeout,        // the request never completes
  NoDevice,       // SRB_Status 82h
  Aborted,        // SRB_Status 02h
  Invalid,        // SRB_Status E0h
  Status80,       // SRB_Status values no result is defined for
  Status81,
  SignalPending,  // the event is set, the request stays pending
  BadSum,         // a checksum answer one off the right value
  ChangesZone,    // a write-strategy commit that changes the firmware zone
  Empty,          // good status, no data
  Half,           // good status, half the data
  Count
};

const char* const kFailureNames[] = {"Check",    "Timeout",  "NoDevice",      "Aborted", "Invalid",
                                     "Status80", "Status81", "SignalPending", "BadSum",  "ChangesZone",
                                     "Empty",    "Half"};
const char* Name(Failure f) { return kFailureNames[static_cast<int>(f)]; }
// An answer that seems short is looked at a second time.
bool Short(Failure f) { return f == Failure::Empty || f == Failure::Half; }

// One request of an update, named as the simulated drive counts it: its
// command kind and occurrence from 1 (0: every one of that kind).
struct Step {
  std::string kind;
  int n;
};

// The requests of a fault-free update, in order.
const int kPieces = IMAGE_LOAD_LENGTH / IMAGE_PIECE_LENGTH;  // 208

std::vector<Step> Sequence(Update u, bool disc) {
  // The drive checked again once it is held: the scan's INQUIRY and the
  // identification read of Open were the first.
  std::vector<Step> s = {{"inquiry", 2}, {"idtext", 2}};
  if (u == Update::Strategy) s.push_back({"readzone", 1});
  for (int i = 1; i <= (disc ? 3 : 1); ++i) s.push_back({"tur", i});
  if (disc) s.push_back({"startstop", 1});
  for (int i = 1; i <= kPieces; ++i) s.push_back({"write", i});
  if (u == Update::Main) s.push_back({"readsum", 1});
  s.push_back({u == Update::Main ? "commit" : "commit-ws", 1});
  if (u == Update::Strategy) s.push_back({"readzone", 2});
  return s;
}

// The drive's command kind of a logged CDB (32 hex digits).
std::string KindOf(const std::string& cdb) {
  auto starts = [&](const char* p) { return cdb.compare(0, std::strlen(p), p) == 0; };
  if (starts("00")) return "tur";
  if (starts("12")) return "inquiry";
  if (starts("1B")) return "startstop";
  if (starts("3B06")) return "write";
  if (starts("3B07")) return cdb.compare(18, 2, "02") == 0 ? "commit-ws" : "commit";
  if (starts("3C0403")) return "readsum";
  if (starts("3C0406")) return "readzone";
  if (starts("F0")) return "idtext";
  return "other";
}

// One parametrised test: one request of one kind of update, failed in
// every way that applies to it.
struct Target {
  Update update;
  bool disc;
  bool unattended;
  Step step;
  // The drive stops answering at this request, for good.
  bool vanish = false;
  // The library completes requests on a thread of its own and signals the
  // completion event, instead of before it returns.
  bool async = false;
};

void PrintTo(const Target& t, std::ostream* os) {
  *os << (t.update == Update::Main ? "main" : "write strategy") << (t.disc ? ", disc" : ", no disc")
      << (t.unattended ? ", unattended" : "") << ", " << t.step.kind << " #" << t.step.n
      << (t.vanish ? ", drive gone from there" : "") << (t.async ? ", completed later" : "");
}

std::vector<Failure> FailuresFor(const Target& t) {
  if (t.vanish) return {Failure::NoDevice};
  std::vector<Failure> f = {Failure::Check,    Failure::Timeout,  Failure::NoDevice,
                            Failure::Aborted,  Failure::Invalid,  Failure::Status80,
                            Failure::Status81, Failure::SignalPending};
  // With completions on another thread a healthy request waits too, so the
  // request limit stays long there and the timeout is left to the rest.
  if (t.async) f.erase(f.begin() + 1);
  if ((t.step.kind == "readsum" || t.step.kind == "readzone") && t.step.n != 0) f.push_back(Failure::BadSum);
  if (t.step.kind == "readsum" || t.step.kind == "readzone") {
    f.push_back(Failure::Empty);
    f.push_back(Failure::Half);
  }
  if (t.step.kind == "commit-ws") f.push_back(Failure::ChangesZone);
  return f;
}

// What the update ends in.
enum class Outcome {
  Rechecked, Completed, EjectFailed, DiscUnanswered, TransferFailed, ChecksumFailed, CommitFailed, ZoneRefused, ZoneChanged
};

Outcome Expected(const Target& t, Failure f) {
  const std::string& k = t.step.kind;
  if (f == Failure::ChangesZone) return Outcome::ZoneChanged;
  if (k == "inquiry" || k == "idtext") return Outcome::Rechecked;
  // A check condition means "no disc": the update goes on without an
  // eject. A request that did not complete ends it before the first piece.
  if (k == "tur") return f == Failure::Check ? Outcome::Completed : Outcome::DiscUnanswered;
  if (k == "startstop") return Outcome::EjectFailed;
  if (k == "write") return Outcome::TransferFailed;
  if (k == "readsum") return Outcome::ChecksumFailed;
  if (k == "commit" || k == "commit-ws") return Outcome::CommitFailed;
  // The firmware zone: a wrong value reads as a changed zone; a failed first
  // read refuses the update before anything is sent.
  if (t.step.n == 2 || f == Failure::BadSum) return Outcome::ZoneChanged;
  return Outcome::ZoneRefused;
}

// After these the user may press Update again at once, so one dialog takes
// every failure of the request in turn.
bool LeavesUpdateEnabled(const Target& t, Outcome o) {
  return o == Outcome::TransferFailed || o == Outcome::ChecksumFailed || o == Outcome::ZoneRefused ||
         ((o == Outcome::EjectFailed || o == Outcome::DiscUnanswered) && !t.unattended);
}

std::string Action(const Step& s, Failure f) {
  switch (f) {
    case Failure::Check: return s.kind == "readzone" ? "check 03 11 00" : "check 04 44 00";
    case Failure::Timeout: return "timeout";
    case Failure::NoDevice: return "nodevice";
    case Failure::Aborted: return "aborted";
    case Failure::Invalid: return "invalid";
    case Failure::Status80: return "status 80";
    case Failure::Status81: return "status 81";
    case Failure::SignalPending: return "signal-pending";
    case Failure::BadSum: return "badsum";
    case Failure::Empty: return "empty";
    case Failure::Half: return "half";
    default: return "";
  }
}

std::vector<Target> Targets() {
  std::vector<Target> targets;
  for (Update u : {Update::Main, Update::Strategy}) {
    for (bool disc : {false, true}) {
      std::vector<Step> steps = Sequence(u, disc);
      // Both firmware-zone reads failing alike.
      if (u == Update::Strategy) steps.push_back({"readzone", 0});
      for (bool unattended : {false, true}) {
        for (const Step& s : steps) {
          // Every piece is swept without a disc in interactive mode; with a
          // disc, and in unattended mode, the first and the last stand for
          // them.
          const bool edge = s.n == 1 || s.n == kPieces;
          if (s.kind == "write" && (disc || unattended) && !edge) continue;
          targets.push_back({u, disc, unattended, s});
          // A drive that goes away for good at this request.
          if (s.n != 0 && (s.kind != "write" || edge)) targets.push_back({u, disc, unattended, s, true});
        }
      }
    }
    // The same failures through the event a late completion sets, on both
    // threads: a piece and the checks on the dialog's, the commit and the
    // check after it on the worker's.
    for (const Step& s : Sequence(u, false)) {
      if (s.kind == "tur" || (s.kind == "write" && s.n != 1)) continue;
      Target t{u, false, false, s};
      t.async = true;
      targets.push_back(t);
    }
  }
  return targets;
}

std::string TargetName(const ::testing::TestParamInfo<Target>& info) {
  const Target& t = info.param;
  std::string kind;
  for (char ch : t.step.kind)
    if (ch != '-') kind += ch;
  return std::string(t.update == Update::Main ? "Main" : "Strategy") + (t.disc ? "_Disc" : "_NoDisc") +
         (t.unattended ? "_Auto_" : "_") + kind + "_" + (t.step.n == 0 ? "All" : std::to_string(t.step.n)) +
         (t.vanish ? "_DriveGone" : "") + (t.async ? "_Async" : "");
}

unsigned ExpectedType(const std::string& box) {
  if (box == "Are you sure?" || box == "Restart computer?") return MB_OKCANCEL | MB_ICONQUESTION;
  if (box == "FW Zone Checksum is OK" || box == "FW Zone Checksum is Not Correct !!" ||
      box == "Update was Completed!")
    return MB_OK | MB_ICONASTERISK;
  if (box == "Model mismatched !") return MB_OK | MB_ICONEXCLAMATION;
  return MB_OK | MB_ICONHAND;
}

size_t Count(const Strings& kinds, const std::string& kind) {
  return static_cast<size_t>(std::count(kinds.begin(), kinds.end(), kind));
}

int FailureParts() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

class FaultSweepTest : public DialogFixture, public ::testing::WithParamInterface<Target> {
 protected:
  void SetUp() override {
    DialogFixture::SetUp();
    // Timed-out requests end after this instead of a minute. The simulated
    // drive completes every other request before it returns, so no healthy
    // request ever waits.
    CMyASPI32::s_nRequestLimitMs = 20;
  }

  static const char* DriveRevision(Update u) { return u == Update::Main ? "1.00" : "1300"; }
  static const char* ImageRevision(Update u) { return u == Update::Main ? "1.10" : "2200"; }

  // A fresh dialog, with the image admitted, for a drive with `faults`.
  CUpdaterDlg* Admit(const Target& t, const std::string& faults) {
    Drive d;
    d.disc = t.disc;
    d.revision = DriveRevision(t.update);
    d.extra = faults;
    // A new drive: no flash written by an earlier dialog of this test.
    std::remove((dir_ + "/flash.txt").c_str());
    UseDrives({d}, 1, t.async ? "completion async" : "");
    if (t.async) CMyASPI32::s_nRequestLimitMs = 20000;
    const std::string name = std::string(ImageRevision(t.update)) + ".bin";
    image_ = Image(name, ImageRevision(t.update), d.product);
    std::string ini;
    if (t.update == Update::Strategy) ini += "[VARO]\nWriteStretage=1\n";
    if (t.unattended) ini += "[MODE]\nAuto=1\n[MODEL]\nAutoDetect=16\n[FILE]\nFile Name=" + name + "\n";
    WriteIni(ini);
    CUpdaterDlg* dlg = OpenDialog();
    if (!t.unattended) {
      headless::ScriptFileDialog(image_);
      headless::Click(*dlg, IDC_OPEN);
    }
    EXPECT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
    return dlg;
  }

  // The image as `name` in the test's folder: made once per revision and
  // linked in afterwards, since writing 2 MiB for every case would cost more
  // than the case itself.
  std::string Image(const std::string& name, const std::string& revision, const std::string& product) {
    const std::string path = dir_ + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return path;
    auto it = made_.find(revision + product);
    if (it != made_.end() && link(it->second.c_str(), path.c_str()) == 0) return path;
    MakeImage(name, revision, product);
    std::string keep = SuiteDir() + "/" + std::to_string(made_.size()) + ".bin";
    EXPECT_EQ(link(path.c_str(), keep.c_str()), 0) << keep;
    made_[revision + product] = keep;
    return path;
  }
  static std::string SuiteDir() {
    if (suiteDir_.empty()) {
      char tmpl[] = "/tmp/orvex-sweep-XXXXXX";
      suiteDir_ = mkdtemp(tmpl);
    }
    return suiteDir_;
  }
  static void TearDownTestSuite() {
    PrintTally();
    if (suiteDir_.empty()) return;
    std::string cmd = "rm -rf '" + suiteDir_ + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    suiteDir_.clear();
    made_.clear();
  }

  // Kinds of the requests logged from line `from` on.
  Strings KindsFrom(size_t from) const {
    Strings kinds;
    Strings log = SimLog();
    for (size_t i = from; i < log.size(); ++i) {
      size_t at = log[i].find("cdb=");
      kinds.push_back(at == std::string::npos ? "?" : KindOf(log[i].substr(at + 4, 32)));
    }
    return kinds;
  }
  std::string Flash() const {
    std::ifstream in(dir_ + "/flash.txt");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool FlashWritten() const {
    struct stat st;
    return stat((dir_ + "/flash.txt").c_str(), &st) == 0;
  }
  bool FlashHasRevision(const std::string& revision) const {
    return Flash().find("revision \"" + revision + "\"") != std::string::npos;
  }

  void RunChain(const Target& t, const std::vector<Failure>& chain);
  void CheckAttempt(const Target& t, Failure f, CUpdaterDlg* dlg, size_t logStart);
  void StartAgainAndFinish(const Target& t, CUpdaterDlg* dlg, bool zoneChanged);

  // Faults held (index 0) and injected (index 1), by update, request and failure.
  static void Tally(const Target& t, Failure f, bool held) {
    std::string request = t.step.kind == "write" ? "write (pieces)"
                          : t.step.n == 0        ? t.step.kind + " (every)"
                                                 : t.step.kind + " #" + std::to_string(t.step.n);
    if (t.step.kind == "tur") request += t.disc ? " (disc)" : " (no disc)";
    if (t.vanish) request += " drive gone";
    if (t.async) request += " async";
    auto& cell = tally_[std::string(t.update == Update::Main ? "main     " : "strategy ") + request][int(f)];
    cell[0] += held;
    cell[1] += 1;
  }
  static void PrintTally() {
    if (tally_.empty()) return;
    std::printf("faults held/injected:\n");
    for (const auto& row : tally_) {
      std::printf("  %-36s", row.first.c_str());
      for (const auto& cell : row.second)
        std::printf(" %s %d/%d", Name(static_cast<Failure>(cell.first)), cell.second[0], cell.second[1]);
      std::printf("\n");
    }
    tally_.clear();
  }

  std::string image_;
  static std::string suiteDir_;
  static std::map<std::string, std::string> made_;
  static std::map<std::string, std::map<int, std::array<int, 2>>> tally_;
};

std::string FaultSweepTest::suiteDir_;
std::map<std::string, std::string> FaultSweepTest::made_;
std::map<std::string, std::map<int, std::array<int, 2>>> FaultSweepTest::tally_;

// One dialog; the update is started once for each failure of `chain`, the
// j-th attempt failing at the target request of that attempt.
void FaultSweepTest::RunChain(const Target& t, const std::vector<Failure>& chain) {
  std::string faults;
  if (chain[0] == Failure::ChangesZone) {
    faults = "strategy-commit changes-zone\n";
  } else if (t.vanish) {
    // Every request the drive gets from this one on fails: the scan's
    // INQUIRY and the identification read come before the update.
    std::vector<Step> seq = Sequence(t.update, t.disc);
    int position = 0;
    for (size_t i = 0; i < seq.size(); ++i)
      if (seq[i].kind == t.step.kind && seq[i].n == t.step.n) position = static_cast<int>(i) + 1;
    faults = "fault any " + std::to_string(2 + position) + "+ " + Action(t.step, chain[0]) + "\n";
  } else {
    // An attempt that fails at the n-th request of a kind has sent n of
    // them, so the j-th attempt fails at the (j * n)-th.
    for (size_t j = 0; j < chain.size(); ++j) {
      std::string occurrence = t.step.n == 0 ? "*" : std::to_string((j + 1) * t.step.n);
      faults += "fault " + t.step.kind + " " + occurrence + " " + Action(t.step, chain[j]) + "\n";
    }
  }
  CUpdaterDlg* dlg = Admit(t, faults);
  ASSERT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
  for (Failure f : chain) {
    SCOPED_TRACE(Name(f));
    headless::Reset();
    ASSERT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
    const size_t start = SimLog().size();
    const int parts = FailureParts();
    headless::Click(*dlg, IDC_UPDATE);
    ASSERT_TRUE(headless::JoinWorkers(20000));
    CheckAttempt(t, f, dlg, start);
    Tally(t, f, FailureParts() == parts);
  }
  // A drive that went away, or whose zone never reads, cannot finish. The
  // pieces are alike here: the first, a middle and the last one stand for
  // them.
  const bool samplePiece = t.step.kind != "write" || t.step.n == 1 || t.step.n == kPieces / 2 || t.step.n == kPieces;
  if (!t.vanish && t.step.n != 0 && samplePiece) StartAgainAndFinish(t, dlg, Expected(t, chain.back()) == Outcome::ZoneChanged);
}

void FaultSweepTest::CheckAttempt(const Target& t, Failure f, CUpdaterDlg* dlg, size_t logStart) {
  const Outcome outcome = Expected(t, f);
  const Strings kinds = KindsFrom(logStart);
  const Strings boxes = BoxTexts();
  const std::string status = headless::Text(*dlg, IDC_STATUS);
  const bool ended = headless::Ended(*dlg);
  const bool update = headless::Enabled(*dlg, IDC_UPDATE);
  const bool cancel = headless::Enabled(*dlg, IDCANCEL);
  const bool open = headless::Enabled(*dlg, IDC_OPEN);
  const bool list = headless::Enabled(*dlg, IDC_DRIVE);
  const bool strategy = t.update == Update::Strategy;
  const char* commitKind = strategy ? "commit-ws" : "commit";

  // ---- what holds whatever failed ----
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes[0], "Are you sure?");
  for (const auto& b : headless::Boxes()) EXPECT_EQ(b.type, ExpectedType(b.text)) << b.text;
  EXPECT_TRUE(ended || cancel || update) << "no way to close the dialog or start again";
  EXPECT_FALSE(headless::TimerActive(*dlg, UPDATE_TIMER_ID));
  EXPECT_LE(Count(kinds, commitKind), 1u);
  EXPECT_EQ(Count(kinds, strategy ? "commit" : "commit-ws"), 0u);
  // A commit only ever follows a whole transfer, and for the main firmware
  // the checksum read that confirmed it.
  const size_t commitAt = static_cast<size_t>(std::find(kinds.begin(), kinds.end(), commitKind) - kinds.begin());
  if (commitAt < kinds.size()) {
    EXPECT_EQ(Count(Strings(kinds.begin(), kinds.begin() + static_cast<long>(commitAt)), "write"), size_t(kPieces))
        << "commit after an incomplete transfer";
    if (!strategy) {
      EXPECT_TRUE(commitAt > 0 && kinds[commitAt - 1] == "readsum") << "commit without a checked transfer";
    }
  }
  // The system was held exactly when a piece went out, and is let go.
  const Strings hold = headless::HoldCalls();
  EXPECT_EQ(hold.size(), Count(kinds, "write") > 0 ? 4u : 0u);
  if (hold.size() == 4) {
    EXPECT_EQ(hold.front(), "SetThreadExecutionState(ES_CONTINUOUS|ES_SYSTEM_REQUIRED)");
    EXPECT_EQ(hold.back(), "SetThreadExecutionState(ES_CONTINUOUS)");
  }
  EXPECT_FALSE(dlg->m_bSystemHeld);
  const bool zoneOk = std::find(boxes.begin(), boxes.end(), "FW Zone Checksum is OK") != boxes.end();
  EXPECT_EQ(zoneOk, strategy && outcome == Outcome::Completed) << "a zone that was not read back unchanged";

  // ---- what the failure itself shows ----
  auto expectAllEnabled = [&] {
    EXPECT_TRUE(update);
    EXPECT_TRUE(cancel);
    EXPECT_TRUE(open);
    EXPECT_TRUE(list);
  };
  auto expectNothingSaved = [&] {
    EXPECT_EQ(headless::WorkersStarted(), 0);
    EXPECT_FALSE(FlashWritten()) << Flash();
    EXPECT_EQ(Count(kinds, commitKind), 0u);
    EXPECT_EQ(dlg->m_progress.m_nPos, 0);
    EXPECT_EQ(dlg->m_nRunResult, t.unattended ? RUN_FAILED : RUN_STARTED);
  };
  const Strings recheck = {"inquiry", "idtext"};
  auto after = [&](Strings rest) {
    rest.insert(rest.begin(), recheck.begin(), recheck.end());
    return rest;
  };
  switch (outcome) {
    case Outcome::Rechecked:
      EXPECT_EQ(boxes, (Strings{"Are you sure?", LoadStringRes(IDS_DRIVE_CHANGED)}));
      EXPECT_EQ(status, LoadStringRes(IDS_DRIVE_CHANGED));
      // Nothing after the request that failed; Open checks the image anew.
      EXPECT_EQ(kinds, Strings(recheck.begin(), recheck.begin() + (t.step.kind == "inquiry" ? 1 : 2)));
      EXPECT_TRUE(headless::TimerLog().empty());
      expectNothingSaved();
      EXPECT_FALSE(update);
      EXPECT_TRUE(cancel);
      EXPECT_EQ(open, !t.unattended);
      break;
    case Outcome::Completed: {
      Strings expected = {"Are you sure?"};
      if (strategy) expected.push_back("FW Zone Checksum is OK");
      expected.push_back("Update was Completed!");
      if (t.unattended) expected.push_back("Restart computer?");
      EXPECT_EQ(boxes, expected);
      // Asked until the first answer that is not "ready"; never ejected.
      EXPECT_EQ(Count(kinds, "tur"), size_t(t.step.n));
      EXPECT_EQ(Count(kinds, "startstop"), 0u);
      EXPECT_EQ(Count(kinds, "write"), size_t(kPieces));
      EXPECT_EQ(Count(kinds, commitKind), 1u);
      EXPECT_TRUE(FlashHasRevision(strategy ? DriveRevision(t.update) : ImageRevision(t.update))) << Flash();
      EXPECT_EQ(dlg->m_progress.m_nPos, 1000);
      if (t.unattended) {
        EXPECT_TRUE(ended);
        EXPECT_EQ(dlg->m_nRunResult, RUN_OK);
      } else {
        EXPECT_EQ(headless::Text(*dlg, IDCANCEL), "Close");
        EXPECT_TRUE(cancel);
        EXPECT_FALSE(update || open || list);
        EXPECT_EQ(status,
                  "Please reboot your PC before using your dirve.\r\nIf you updated the drive through a USB port, "
                  "you must re-install it.");
      }
      break;
    }
    case Outcome::EjectFailed:
      EXPECT_EQ(boxes, (Strings{"Are you sure?", "Disc remove fail !"}));
      EXPECT_EQ(status, "Please try again at first step, after remove any disc in your drive.");
      EXPECT_EQ(kinds, strategy ? after({"readzone", "tur", "tur", "tur", "startstop"})
                                : after({"tur", "tur", "tur", "startstop"}));
      expectNothingSaved();
      if (t.unattended) {
        EXPECT_TRUE(cancel);
        EXPECT_FALSE(update || open || list);
      } else {
        expectAllEnabled();
      }
      break;
    case Outcome::DiscUnanswered:
      EXPECT_EQ(boxes, (Strings{"Are you sure?", "Disc remove fail !"}));
      EXPECT_EQ(status, "Please try again at first step, after remove any disc in your drive.");
      ASSERT_FALSE(kinds.empty());
      EXPECT_EQ(kinds.back(), "tur");
      EXPECT_EQ(Count(kinds, "tur"), size_t(t.step.n));
      expectNothingSaved();
      if (t.unattended) {
        EXPECT_TRUE(cancel);
      } else {
        expectAllEnabled();
      }
      break;
    case Outcome::TransferFailed:
      EXPECT_EQ(boxes, (Strings{"Are you sure?", "ATAPI ERROR02"}));
      EXPECT_EQ(status, "0xF2");
      // The failed piece is the last request: nothing is sent after it.
      ASSERT_FALSE(kinds.empty());
      EXPECT_EQ(kinds.back(), "write");
      EXPECT_EQ(Count(kinds, "write"), size_t(t.step.kind == "write" ? t.step.n : 1));
      expectNothingSaved();
      expectAllEnabled();
      break;
    case Outcome::ChecksumFailed:
      EXPECT_EQ(boxes, (Strings{"Are you sure?", "Checksum Fail"}));
      EXPECT_EQ(status, "Check Sum Fail, Please check again.");
      ASSERT_FALSE(kinds.empty());
      EXPECT_EQ(kinds.back(), "readsum");
      EXPECT_EQ(Count(kinds, "write"), size_t(kPieces));
      expectNothingSaved();
      expectAllEnabled();
      break;
    case Outcome::ZoneRefused:
      EXPECT_EQ(boxes, (Strings{"Are you sure?", "ATAPI ERROR02"}));
      EXPECT_EQ(status, "0xF2");
      EXPECT_EQ(kinds, after(Strings(Short(f) ? 2 : 1, "readzone")));
      EXPECT_TRUE(headless::TimerLog().empty());
      expectNothingSaved();
      EXPECT_TRUE(update);
      EXPECT_TRUE(cancel);
      EXPECT_EQ(open, !t.unattended);
      break;
    case Outcome::CommitFailed:
    case Outcome::ZoneChanged: {
      const bool zone = outcome == Outcome::ZoneChanged;
      ASSERT_GE(boxes.size(), 2u);
      EXPECT_EQ(boxes[1], zone ? "FW Zone Checksum is Not Correct !!" : "Update was Fail");
      EXPECT_EQ(Count(kinds, "write"), size_t(kPieces));
      EXPECT_EQ(Count(kinds, commitKind), 1u);
      EXPECT_EQ(headless::WorkersStarted(), 1);
      if (zone) {
        EXPECT_EQ(Count(kinds, "readzone"), Short(f) ? 3u : 2u);
        EXPECT_EQ(dlg->m_nZoneFailMark, ZONE_FAIL_MARK);
        EXPECT_EQ(dlg->m_bWriteStrategy, 0);
      } else {
        // The drive keeps the firmware it had.
        EXPECT_FALSE(FlashWritten()) << Flash();
        EXPECT_EQ(Count(kinds, "readzone"), strategy ? 1u : 0u);
        EXPECT_EQ(dlg->m_progress.m_nPos, 0);
      }
      // The start-up ran again.
      EXPECT_EQ(headless::Text(*dlg, IDCANCEL), "Cancel");
      EXPECT_TRUE(cancel);
      EXPECT_EQ(dlg->m_cbDrive.GetCount(), 1);
      if (t.unattended) {
        // It opened the configured image again; a drive that went away
        // fails that image's model check.
        if (t.vanish) {
          EXPECT_EQ(boxes, (Strings{"Are you sure?", boxes[1], "Model mismatched !"}));
          EXPECT_FALSE(update);
          EXPECT_EQ(dlg->m_nRunResult, RUN_FAILED);
        } else {
          EXPECT_EQ(boxes.size(), 2u);
          EXPECT_TRUE(update);
          EXPECT_EQ(dlg->m_nRunResult, RUN_OK);
        }
      } else {
        EXPECT_EQ(boxes.size(), 2u);
        EXPECT_EQ(status, "Choose a downloaded file using the [Open] button.");
        EXPECT_TRUE(open);
        EXPECT_TRUE(list);
        EXPECT_FALSE(update);
      }
      break;
    }
  }
}

// Starts again the way the dialog allows, on a drive that now answers, and
// expects the update to finish: no failure left the drive or the dialog
// unable to go on.
void FaultSweepTest::StartAgainAndFinish(const Target& t, CUpdaterDlg* dlg, bool zoneChanged) {
  headless::Reset();
  if (headless::Ended(*dlg)) return;
  if (!headless::Enabled(*dlg, IDC_UPDATE)) {
    // After a completed update, or a failed eject in unattended mode, the
    // only way on is Cancel (checked with the failure).
    if (!headless::Enabled(*dlg, IDC_OPEN)) return;
    headless::ScriptFileDialog(image_);
    headless::Click(*dlg, IDC_OPEN);
    ASSERT_TRUE(headless::Enabled(*dlg, IDC_UPDATE)) << headless::Text(*dlg, IDC_STATUS);
  }
  headless::Click(*dlg, IDC_UPDATE);
  ASSERT_TRUE(headless::JoinWorkers(20000));
  Strings boxes = BoxTexts();
  EXPECT_NE(std::find(boxes.begin(), boxes.end(), "Update was Completed!"), boxes.end())
      << ::testing::PrintToString(boxes);
  // After a changed zone every update is a main firmware update.
  const bool main = t.update == Update::Main || zoneChanged;
  EXPECT_TRUE(FlashHasRevision(main ? ImageRevision(t.update) : DriveRevision(t.update))) << Flash();
}

TEST_P(FaultSweepTest, StopsBeforeHarmAndLeavesAWayOn) {
  const Target& t = GetParam();
  std::vector<Failure> failures = FailuresFor(t);
  // Each failure meets a fresh dialog first at some request.
  std::rotate(failures.begin(), failures.begin() + (t.step.n % static_cast<int>(failures.size())), failures.end());
  size_t i = 0;
  while (i < failures.size()) {
    std::vector<Failure> chain = {failures[i++]};
    // A short answer's second look shifts the counts a chain relies on.
    if (!t.vanish && t.step.n != 0 && !Short(chain[0]) && LeavesUpdateEnabled(t, Expected(t, chain[0]))) {
      while (i < failures.size() && !Short(failures[i]) && LeavesUpdateEnabled(t, Expected(t, failures[i])))
        chain.push_back(failures[i++]);
    }
    RunChain(t, chain);
    if (HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryRequest, FaultSweepTest, ::testing::ValuesIn(Targets()), TargetName);

// The sweep covers every request only if a fault-free update sends exactly
// the requests it walks through.
class FaultSweepCoverageTest : public FaultSweepTest {};

TEST_F(FaultSweepCoverageTest, AFaultFreeUpdateSendsExactlyTheSweptRequests) {
  for (Update u : {Update::Main, Update::Strategy}) {
    for (bool disc : {false, true}) {
      SCOPED_TRACE(std::string(u == Update::Main ? "main" : "strategy") + (disc ? ", disc" : ", no disc"));
      CUpdaterDlg* dlg = Admit(Target{u, disc, false, {"none", 0}}, "");
      headless::Reset();
      size_t start = SimLog().size();
      headless::Click(*dlg, IDC_UPDATE);
      ASSERT_TRUE(headless::JoinWorkers(20000));
      Strings expected;
      for (const Step& s : Sequence(u, disc)) expected.push_back(s.kind);
      EXPECT_EQ(KindsFrom(start), expected);
      EXPECT_EQ(BoxTexts().back(), "Update was Completed!");
    }
  }
}

}  // namespace
