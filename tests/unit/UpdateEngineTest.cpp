// The update engine with a front end that records what it is told, in
// order: the reports of a main and a write-strategy update, each refusal,
// and a failure at every request (the fault sweep's sequences, through the
// engine alone).
#include <algorithm>
#include <functional>

#include "tests/unit/DialogFixture.h"
#include "update/UpdateEngine.h"

namespace {

using Strings = std::vector<std::string>;

class CRecordingReport : public CUpdateReport {
 public:
  void OnStage(UpdateStage stage) override { events.push_back("stage " + std::to_string(stage)); }
  void OnStageEnd(UpdateStage stage, bool ok) override {
    events.push_back("end " + std::to_string(stage) + (ok ? " ok" : " failed"));
  }
  void OnStatus(unsigned id) override { events.push_back("status " + std::to_string(id)); }
  void OnNotice(NoticeKind kind, unsigned id, const char* text) override {
    events.push_back("notice " + std::to_string(kind) + " " + (id ? std::to_string(id) : std::string(text)));
  }
  bool Ask(UpdateQuestion) override {
    events.push_back("ask");
    return answer;
  }
  void OnProgress(UpdateStage, int done, int total) override { lastDone = done, lastTotal = total; }
  void OnHold(bool begin) override {
    events.push_back(begin ? "hold on" : "hold off");
    if (lastRequest) holdAfter.push_back(lastRequest());
  }
  Strings events;
  bool answer = true;
  int lastDone = 0, lastTotal = 0;
  // The drive's last request (CDB's first two bytes) at each begin and end.
  std::function<std::string()> lastRequest;
  Strings holdAfter;
};

class UpdateEngineTest : public DialogFixture {
 protected:
  // One drive (revision `driveRev`, `extra` device lines), the image of
  // revision `imageRev` admitted or refused by the engine.
  int Admit(const std::string& driveRev, const std::string& imageRev, bool writeStrategy,
            const std::string& extra = "", const std::string& product = "DVDRRW MQT-R41A ") {
    Drive d;
    d.revision = driveRev;
    d.extra = extra;
    // A new drive: no flash written by an earlier update of this test.
    std::remove((dir_ + "/flash.txt").c_str());
    std::remove((dir_ + "/sim.log").c_str());
    UseDrives({d});
    // The engine lets its drive go as it ends: before the drive access goes.
    engine_.reset();
    aspi_.reset(new CMyASPI32);
    aspi_->ScanDrives();
    report_ = CRecordingReport();
    report_.lastRequest = [this] { return Kinds().empty() ? std::string() : Kinds().back(); };
    engine_.reset(new CUpdateEngine(*aspi_, report_));
    const std::string path = MakeImage("fw.bin", imageRev, product);
    const DriveEntry& e = aspi_->m_drives[0];
    AdmitRules rules;
    rules.writeStrategy = writeStrategy;
    return engine_->Admit(image_, path.c_str(), 0, IdentityText(e.szVendor, e.szProduct, e.szRevision), rules,
                          &admit_);
  }
  int Run(bool writeStrategy) {
    int rc = engine_->Prepare(image_, 0, writeStrategy);
    if (rc == ENGINE_OK) rc = engine_->Transfer(image_, 0, writeStrategy);
    if (rc == ENGINE_OK) rc = engine_->Commit(image_, 0, writeStrategy);
    return rc;
  }
  Strings Kinds() const {
    Strings k;
    for (const std::string& l : SimLog()) k.push_back(l.substr(l.find("cdb=") + 4, 4));
    return k;
  }

  std::unique_ptr<CMyASPI32> aspi_;
  std::unique_ptr<CUpdateEngine> engine_;
  CRecordingReport report_;
  FirmwareImage image_;
  AdmitResult admit_;
};

TEST_F(UpdateEngineTest, MainUpdateReportsEveryStepInOrder) {
  ASSERT_EQ(Admit("1.00", "1.10", false), ENGINE_OK);
  ASSERT_EQ(Run(false), ENGINE_OK);
  const Strings want = {"stage 0", "status " + std::to_string(IDS_CLICK_UPDATE), "stage 1", "ask",
                        "status " + std::to_string(IDS_PLEASE_WAIT), "stage 2",
                        "status " + std::to_string(IDS_PLEASE_WAIT), "stage 3",
                        "status " + std::to_string(IDS_DOWNLOADING), "hold on", "stage 4",
                        "status " + std::to_string(IDS_CHECK_TRANSFER_SUM),
                        "status " + std::to_string(IDS_WRITING_FIRMWARE), "stage 5", "hold off", "end 5 ok"};
  EXPECT_EQ(report_.events, want);
  // From just before the first piece to just after the commit.
  EXPECT_EQ(report_.holdAfter, (Strings{"0000", "3B07"}));
  EXPECT_EQ(report_.lastDone, 208);
  EXPECT_EQ(report_.lastTotal, 208);
  // After the scan's INQUIRY: identification; inside the hold INQUIRY and
  // identification again, three unit tests, 208 pieces, the transfer
  // checksum, the commit.
  Strings kinds = Kinds();
  kinds.erase(kinds.begin(), std::find(kinds.begin(), kinds.end(), "F012"));
  ASSERT_EQ(kinds.size(), 1u + 2 + 1 + 208 + 1 + 1);
  EXPECT_EQ(Strings(kinds.begin(), kinds.begin() + 4), (Strings{"F012", "1200", "F012", "0000"}));
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "3B06"), 208);
  EXPECT_EQ(kinds[kinds.size() - 2], "3C04");
  EXPECT_EQ(kinds.back(), "3B07");
}

TEST_F(UpdateEngineTest, WriteStrategyUpdateIsJudgedByTheZoneBeforeAndAfter) {
  ASSERT_EQ(Admit("1300", "2300", true), ENGINE_OK);
  EXPECT_TRUE(admit_.writeStrategy);
  ASSERT_EQ(Run(true), ENGINE_OK);
  const Strings want = {"stage 0", "status " + std::to_string(IDS_WS_STARTED), "stage 1", "ask",
                        "status " + std::to_string(IDS_PLEASE_WAIT), "stage 2",
                        "status " + std::to_string(IDS_PLEASE_WAIT), "stage 3",
                        "status " + std::to_string(IDS_DOWNLOADING), "hold on",
                        "status " + std::to_string(IDS_WRITING_WS), "stage 5", "end 5 ok", "stage 6",
                        "status " + std::to_string(IDS_CHECKING_ZONE), "hold off",
                        "notice 0 FW Zone Checksum is OK", "status " + std::to_string(IDS_ZONE_OK)};
  EXPECT_EQ(report_.events, want);
  // The zone read after the commit is still held.
  EXPECT_EQ(report_.holdAfter, (Strings{"0000", "3C04"}));
  EXPECT_EQ(engine_->m_dwZoneSumBefore, engine_->m_dwZoneSumAfter);
}

TEST_F(UpdateEngineTest, EachRefusalSendsNoWriteAndSaysWhy) {
  struct Case {
    std::string drive, image, product;
    bool ws;
    AdmitReason reason;
    std::string notice;
  } cases[] = {
      {"1.10", "1.10", "DVDRRW MQT-R41A ", false, REFUSE_SAME_OR_LOWER, "notice 1 Lower or Same Firmware Version!"},
      {"1.00", "1.10", "DVDRRW MQT-R52A ", false, REFUSE_MODEL, "notice 1 Model mismatched !"},
      {"2300", "2300", "DVDRRW MQT-R41A ", true, REFUSE_NO_WS_NEEDED, "notice 2 NO NEED WS UPDATE"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Admit(c.drive, c.image, c.ws, "", c.product), ENGINE_REFUSED) << c.notice;
    EXPECT_EQ(admit_.reason, c.reason) << c.notice;
    EXPECT_NE(std::find(report_.events.begin(), report_.events.end(), c.notice), report_.events.end()) << c.notice;
    EXPECT_EQ(CountLog("3B"), 0u);
  }
  // The drive that does not give its identification text is told apart
  // from one whose text is not in the image.
  EXPECT_EQ(Admit("1.00", "1.10", false, "fault idtext * check 05 24 00"), ENGINE_REFUSED);
  EXPECT_EQ(admit_.reason, REFUSE_NO_ID_ANSWER);
  // Declined: nothing reaches the drive after the question.
  ASSERT_EQ(Admit("1.00", "1.10", false), ENGINE_OK);
  const size_t before = SimLog().size();
  report_.answer = false;
  EXPECT_EQ(engine_->Prepare(image_, 0, false), ENGINE_DECLINED);
  EXPECT_EQ(SimLog().size(), before);
  EXPECT_TRUE(report_.holdAfter.empty()) << "a refused or declined update is never held";
}

// Answers with good status that did not carry their value: nothing is
// written after them, and the failure has its own notice.
TEST_F(UpdateEngineTest, AnAnswerThatDidNotArriveIsNoAnswer) {
  CMyASPI32::s_nRequestLimitMs = 20;  // for the unit test that never completes
  struct Case {
    bool ws;
    std::string fault;
    int rc;
    std::string notice;
  } cases[] = {
      {false, "fault readsum 1 empty", ENGINE_NOT_WRITTEN, "notice 2 Checksum Fail"},
      {false, "fault readsum 1 half", ENGINE_NOT_WRITTEN, "notice 2 Checksum Fail"},
      {true, "fault readzone 1 empty", ENGINE_NOT_WRITTEN, "notice 2 ATAPI ERROR02"},
      {true, "fault readzone 2 empty", ENGINE_COMMIT_FAILED, "notice 0 FW Zone Checksum is Not Correct !!"},
      {true, "fault readzone 2+ half", ENGINE_COMMIT_FAILED, "notice 0 FW Zone Checksum is Not Correct !!"},
      {false, "fault tur 1 timeout", ENGINE_NOT_WRITTEN, "notice 2 Disc remove fail !"},
      {false, "fault tur 2 nodevice\ndisc yes", ENGINE_NOT_WRITTEN, "notice 2 Disc remove fail !"},
      // An error status without the drive's check condition (a pass-through's timeout).
      {false, "fault tur 1 status 04", ENGINE_NOT_WRITTEN, "notice 2 Disc remove fail !"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Admit(c.ws ? "1300" : "1.00", c.ws ? "2300" : "1.10", c.ws, c.fault + "\n"), ENGINE_OK) << c.fault;
    EXPECT_EQ(Run(c.ws), c.rc) << c.fault;
    const Strings& ev = report_.events;
    EXPECT_NE(std::find(ev.begin(), ev.end(), c.notice), ev.end()) << c.fault;
    EXPECT_EQ(std::find(ev.begin(), ev.end(), "notice 0 FW Zone Checksum is OK"), ev.end()) << c.fault;
    if (c.rc == ENGINE_NOT_WRITTEN) {
      EXPECT_EQ(CountLog("3B07"), 0u) << c.fault;
    }
    if (c.fault.find("tur") != std::string::npos || c.fault.find("readzone 1") != std::string::npos) {
      EXPECT_EQ(CountLog("3B"), 0u) << c.fault;
    }
  }
  // A check condition is how a drive says it has no disc: the update goes on.
  ASSERT_EQ(Admit("1.00", "1.10", false, "fault tur 1 check 02 3A 00\n"), ENGINE_OK);
  EXPECT_EQ(Run(false), ENGINE_OK);
}

// What the drive says of itself before any write: an identification text
// that is empty or short, a revision that did not come or is blank.
TEST_F(UpdateEngineTest, AnIdentityThatDidNotArriveIsRefused) {
  struct Case {
    std::string extra;
    AdmitReason reason;
  } cases[] = {
      {"idtext \"\"\n", REFUSE_NO_ID_ANSWER},
      {"fault idtext 1 short 8\n", REFUSE_NO_ID_ANSWER},
      {"fault idtext 1 empty\n", REFUSE_NO_ID_ANSWER},
      {"inquiry-length 32\n", REFUSE_NO_VERSION},
      {"inquiry-length 35\n", REFUSE_NO_VERSION},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Admit("1.20", "1.10", false, c.extra), ENGINE_REFUSED) << c.extra;
    EXPECT_EQ(admit_.reason, c.reason) << c.extra;
  }
  EXPECT_EQ(Admit("    ", "1.10", false), ENGINE_REFUSED);
  EXPECT_EQ(admit_.reason, REFUSE_NO_VERSION);
  EXPECT_NE(std::find(report_.events.begin(), report_.events.end(),
                      "notice 2 " + std::to_string(IDS_VERSION_UNREADABLE)),
            report_.events.end());
}

// A front end that goes no further after the transfer (Ctrl-C, a worker
// that cannot start) or is torn down there still ends the hold; a commit
// through an engine that did not transfer is held too.
TEST_F(UpdateEngineTest, TheHoldEndsWhereverTheFrontEndStops) {
  ASSERT_EQ(Admit("1.00", "1.10", false), ENGINE_OK);
  ASSERT_EQ(engine_->Prepare(image_, 0, false), ENGINE_OK);
  ASSERT_EQ(engine_->Transfer(image_, 0, false), ENGINE_OK);
  EXPECT_TRUE(engine_->Holding());
  engine_->EndHold();
  engine_->EndHold();
  EXPECT_EQ(report_.events.back(), "hold off");
  EXPECT_EQ(std::count(report_.events.begin(), report_.events.end(), "hold off"), 1);

  ASSERT_EQ(engine_->Transfer(image_, 0, false), ENGINE_OK);
  engine_.reset();
  EXPECT_EQ(report_.events.back(), "hold off");

  engine_.reset(new CUpdateEngine(*aspi_, report_));
  report_.events.clear();
  ASSERT_EQ(engine_->Commit(image_, 0, false), ENGINE_OK);
  EXPECT_EQ(report_.events, (Strings{"stage 5", "hold on", "hold off", "end 5 ok"}));
  EXPECT_FALSE(engine_->Holding());
}

// Every request of a main and a write-strategy update failed with a check
// condition: the engine's result and step, and never a commit after a
// failure before it.
TEST_F(UpdateEngineTest, AFailureAtEachRequestEndsInItsResult) {
  for (bool ws : {false, true}) {
    std::vector<std::pair<std::string, int>> steps;
    if (ws) steps.push_back({"readzone", 1});
    steps.push_back({"tur", 1});
    for (int piece : {1, 100, 208}) steps.push_back({"write", piece});
    if (!ws) steps.push_back({"readsum", 1});
    steps.push_back({ws ? "commit-ws" : "commit", 1});
    if (ws) steps.push_back({"readzone", 2});
    for (const auto& s : steps) {
      const std::string what = std::string(ws ? "strategy " : "main ") + s.first + " #" + std::to_string(s.second);
      const std::string sense = s.first == "readzone" ? "check 03 11 00" : "check 04 44 00";
      ASSERT_EQ(Admit(ws ? "1300" : "1.00", ws ? "2300" : "1.10", ws,
                      "fault " + s.first + " " + std::to_string(s.second) + " " + sense),
                ENGINE_OK) << what;
      const int rc = Run(ws);
      const bool afterCommit = s.first.rfind("commit", 0) == 0 || (s.first == "readzone" && s.second == 2);
      const bool tur = s.first == "tur";  // not ready means no disc: the update goes on
      EXPECT_EQ(rc, tur ? ENGINE_OK : afterCommit ? ENGINE_COMMIT_FAILED : ENGINE_NOT_WRITTEN) << what;
      if (!tur && !afterCommit) {
        EXPECT_EQ(CountLog("3B07"), 0u) << what;
      }
      // Held exactly when a piece was sent, and released before the
      // outcome's notice, whatever failed.
      const Strings& ev = report_.events;
      const auto on = std::find(ev.begin(), ev.end(), "hold on");
      const auto off = std::find(ev.begin(), ev.end(), "hold off");
      EXPECT_EQ(on != ev.end(), CountLog("3B06") > 0) << what;
      EXPECT_EQ(std::count(ev.begin(), ev.end(), "hold on"), std::count(ev.begin(), ev.end(), "hold off")) << what;
      EXPECT_FALSE(engine_->Holding()) << what;
      if (on != ev.end()) {
        EXPECT_LT(on, off) << what;
        EXPECT_EQ(std::find_if(on, off, [](const std::string& e) { return e.rfind("notice", 0) == 0; }), off)
            << what << ": a notice while held";
      }
    }
  }
}

// The drive is checked again once held: an update checked against 1.00
// while another updater wrote 1.20 is refused before its first write, and
// so is one whose drive does not answer the second check.
TEST_F(UpdateEngineTest, ADriveThatChangedBetweenCheckAndHoldIsNotWritten) {
  ASSERT_EQ(Admit("1.00", "1.10", false), ENGINE_OK);
  {
    // The other updater, from its own scan to its commit.
    CMyASPI32 other;
    ASSERT_EQ(other.ScanDrives(), 0);
    CRecordingReport otherReport;
    CUpdateEngine otherEngine(other, otherReport);
    FirmwareImage newer;
    const std::string path = MakeImage("newer.bin", "1.20", "DVDRRW MQT-R41A ");
    ASSERT_EQ(otherEngine.Admit(newer, path.c_str(), 0, "KORVELIN DVDRRW MQT-R41A  1.00", AdmitRules(), nullptr),
              ENGINE_OK);
    ASSERT_EQ(otherEngine.Prepare(newer, 0, false), ENGINE_OK);
    ASSERT_EQ(otherEngine.Transfer(newer, 0, false), ENGINE_OK);
    ASSERT_EQ(otherEngine.Commit(newer, 0, false), ENGINE_OK);
  }
  const size_t pieces = CountLog("3B06");
  EXPECT_EQ(Run(false), ENGINE_REFUSED);
  EXPECT_TRUE(engine_->m_bDriveChanged);
  EXPECT_EQ(report_.events.back(), "notice 2 " + std::to_string(IDS_DRIVE_CHANGED));
  EXPECT_EQ(CountLog("3B06"), pieces);
  EXPECT_EQ(CountLog("3B07"), 1u);
  // The row says what the drive said: the next admission sees 1.20.
  EXPECT_STREQ(aspi_->m_drives[0].szRevision, "1.20");
  EXPECT_FALSE(aspi_->HoldsDrive());

  for (const char* fault : {"fault inquiry 2 check 02 04 00", "fault idtext 2 timeout"}) {
    CMyASPI32::s_nRequestLimitMs = 50;
    ASSERT_EQ(Admit("1.00", "1.10", false, fault), ENGINE_OK) << fault;
    EXPECT_EQ(Run(false), ENGINE_REFUSED) << fault;
    EXPECT_TRUE(engine_->m_bDriveChanged) << fault;
    EXPECT_EQ(CountLog("3B"), 0u) << fault;
    EXPECT_STREQ(aspi_->m_drives[0].szRevision, "1.00") << fault;
  }
}

}  // namespace
