// orvex-cli run as a program against the simulated drive: statuses, what
// reaches the drive, and the JSON lines read back.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/DriveTestSupport.h"
#include "tools/ImageGen.h"

#ifdef ORVEX_CLI_PATH
namespace {

using drivetest::TempDir;

struct CliRun {
  int status = -1;
  std::string out;
  std::vector<nlohmann::json> events;  // with --json
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The drives' locks between processes: this test's own.
    setenv("ORVEX_LOCK_DIR", m_dir.Path().c_str(), 1);
    WriteConfig("");
    Image("new.bin", "KORVELIN", "DVDRRW MQT-R41A ", "1.10");
  }
  void TearDown() override { unsetenv("ORVEX_LOCK_DIR"); }

  // One drive of revision 1.00 and a device of another vendor; `extra`
  // lines go after the drive's.
  void WriteConfig(const std::string& extra) {
    const std::string revision = "1.00";
    m_dir.Write("sim.cfg", "adapters 2\nlog " + m_dir.Path("sim.log") + "\nflash " + m_dir.Path("flash.txt") +
                               "\ndevice 0 1 0\nvendor \"KORVELIN\"\nproduct \"DVDRRW MQT-R41A \"\nrevision \"" +
                               revision + "\"\nidtext \"ID5678\"\n" + extra +
                               "device 1 2 0\nvendor \"OTHERCO \"\nproduct \"HARD DISK       \"\n");
  }
  // `n` drives of the same model at 0:0:0, 0:1:0...; `extra` goes after
  // drive `faulty`'s lines.
  void WriteDrives(int n, int faulty = -1, const std::string& extra = "") {
    std::string cfg = "log " + m_dir.Path("sim.log") + "\nflash " + m_dir.Path("flash.txt") + "\n";
    for (int i = 0; i < n; ++i)
      cfg += "device 0 " + std::to_string(i) + " 0\nvendor \"KORVELIN\"\nproduct \"DVDRRW MQT-R41A \"\n"
             "revision \"1.00\"\nidtext \"ID5678\"\n" + (i == faulty ? extra : "");
    m_dir.Write("sim.cfg", cfg);
  }
  // Commits the drive at 0:`target`:0 was sent.
  int CommitsTo(int target) const {
    std::ifstream f(m_dir.Path("sim.log"));
    std::string line;
    int n = 0;
    while (std::getline(f, line))
      n += line.find("target=" + std::to_string(target) + " ") != std::string::npos && line.find("cdb=3B07") != std::string::npos;
    return n;
  }
  // `args` on a terminal of `script`'s, with `input` typed at it.
  int OnTerminal(const std::string& args, const std::string& input) {
    const std::string cmd = "cd '" + m_dir.Path() + "' && printf '" + input + "' | script -qec \"'" + ORVEX_CLI_PATH +
                            "' --transport sim:sim.cfg " + args + "\" /dev/null >terminal.txt 2>&1; echo $?";
    std::FILE* p = popen(cmd.c_str(), "r");
    int status = -1;
    if (p == nullptr || std::fscanf(p, "%d", &status) != 1) status = -1;
    if (p != nullptr) pclose(p);
    return status;
  }
  std::string Terminal() const {
    std::ifstream f(m_dir.Path("terminal.txt"));
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  void Image(const std::string& name, const std::string& vendor, const std::string& product,
             const std::string& revision) {
    imagegen::ImageSpec layout;
    layout.Identity(0x150000, vendor, product, revision).Text(0x160000, "ID5678");
    ASSERT_TRUE(imagegen::Write(m_dir.Path(name), layout));
  }

  CliRun Cli(const std::string& args, const std::string& transport = "") {
    std::string cmd = std::string("cd '") + m_dir.Path() + "' && '" + ORVEX_CLI_PATH + "' --transport " +
                      (transport.empty() ? "sim:sim.cfg" : transport) + " " + args + " </dev/null 2>stderr.txt";
    CliRun r;
    std::FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    if (args.find("--json") != std::string::npos) {
      std::istringstream lines(r.out);
      std::string line;
      while (std::getline(lines, line)) r.events.push_back(nlohmann::json::parse(line));
    }
    return r;
  }
  std::string Stderr() const {
    std::ifstream f(m_dir.Path("stderr.txt"));
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  // Lines of the request log whose CDB starts with `cdbHex`.
  int Sent(const std::string& cdbHex) const {
    std::ifstream f(m_dir.Path("sim.log"));
    std::string line;
    int n = 0;
    while (std::getline(f, line)) n += line.find("cdb=" + cdbHex) != std::string::npos;
    return n;
  }
  int Writes() const { return Sent("3B"); }
  // `update --yes` with signal `sig` once the drive has logged `count`
  // requests matching `pattern`; the exit status. Each run starts from a
  // drive at 1.00 with an empty log.
  int UpdateInterruptedAfter(const std::string& pattern, int count, const std::string& sig = "INT") {
    std::remove(m_dir.Path("flash.txt").c_str());
    std::remove(m_dir.Path("sim.log").c_str());
    std::string script = std::string("cd '") + m_dir.Path() + "' && ('" + ORVEX_CLI_PATH +
                         "' --transport sim:sim.cfg update new.bin --yes >/dev/null 2>stderr.txt & pid=$!; "
                         "until [ \"$(cat sim.log 2>/dev/null | grep -c " + pattern + ")\" -ge " + std::to_string(count) +
                         " ]; do sleep 0.01; done; kill -" + sig + " $pid; wait $pid; echo $?)";
    std::FILE* p = popen(script.c_str(), "r");
    int status = -1;
    if (p == nullptr || std::fscanf(p, "%d", &status) != 1) status = -1;
    if (p != nullptr) pclose(p);
    return status;
  }
  std::string Flash() const {
    std::ifstream f(m_dir.Path("flash.txt"));
    return std::string(std::istreambuf_iterator<char>(f), {});
  }

  TempDir m_dir;
};

TEST_F(CliTest, ScanListsEveryDeviceWithItsAddressAndModelCode) {
  CliRun r = Cli("scan");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("0:1:0    type 05h  KORVELIN DVDRRW MQT-R41A  1.00  admitted, model code 16"),
            std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1:2:0    type 05h  OTHERCO  HARD DISK"), std::string::npos) << r.out;
  EXPECT_EQ(Writes(), 0);
}

// Each outcome in the command line's own words with its cause; results on
// standard output, refusals on standard error.
TEST_F(CliTest, CheckTellsEachAdmissionOutcomeWithItsCauseAndWritesNothing) {
  Image("old.bin", "KORVELIN", "DVDRRW MQT-R41A ", "1.00");
  Image("other.bin", "KORVELIN", "DVDRRW MQT-R52A ", "1.10");
  Image("ws.bin", "KORVELIN", "DVDRRW MQT-R41A ", "2.00");
  m_dir.Write("short.bin", "not an image");
  m_dir.Write("locked.bin", "");
  ::chmod(m_dir.Path("locked.bin").c_str(), 0);
  const bool root = ::geteuid() == 0;
  struct Case {
    std::string args;
    int status;
    std::string words;
  } cases[] = {
      {"check new.bin", 0, "0:1:0: an update would write the main firmware: KORVELIN DVDRRW MQT-R41A  1.00 -> "},
      {"check old.bin", 2, "refused: the image's version is not newer than the drive's (drive 1.00, image 1.00)"},
      {"check other.bin", 2, "(drive KORVELIN DVDRRW MQT-R41A, image KORVELIN DVDRRW MQT-R52A)"},
      {"check short.bin", 2, "short.bin: it is 12 bytes long, not 2,097,152: nothing was sent"},
      {"check missing.bin", 2, "missing.bin: it cannot be opened: No such file or directory"},
      {"check locked.bin", 2, root ? "it is 0 bytes long" : "it cannot be opened: Permission denied"},
      {"check .", 2, "it is a folder, not a file"},
      {"check ws.bin --write-strategy", 0, "would write the write strategy"},
      {"check old.bin --write-strategy", 2, "the drive's write strategy is not older than the image's"},
      // Never the main firmware in place of the write strategy asked for.
      {"check new.bin --write-strategy", 2,
       "older than the image's (.10): it needs the main firmware first; run the same command without "
       "--write-strategy"},
      {"update new.bin --write-strategy --yes", 2, "without --write-strategy"},
  };
  for (const Case& c : cases) {
    CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE((c.status == 0 ? r.out : Stderr()).find(c.words), std::string::npos) << c.args << ": " << r.out << Stderr();
    if (c.status != 0) {
      EXPECT_EQ(r.out, "") << c.args;
    }
    // None of the dialog's prompts.
    EXPECT_EQ((r.out + Stderr()).find("Click the"), std::string::npos) << c.args;
  }
  EXPECT_EQ(Writes(), 0);
}

TEST_F(CliTest, UpdateWithYesWritesTheDriveAndAScanShowsTheNewRevision) {
  CliRun r = Cli("update new.bin --yes");
  EXPECT_EQ(r.status, 0) << r.out << Stderr();
  EXPECT_EQ(Sent("3B06"), 208);
  EXPECT_EQ(Sent("3B07"), 1);
  EXPECT_NE(Flash().find("revision \"1.10\""), std::string::npos) << Flash();
  EXPECT_NE(Cli("scan").out.find("KORVELIN DVDRRW MQT-R41A  1.10"), std::string::npos);
}

TEST_F(CliTest, WithoutATerminalOrYesNothingIsSent) {
  CliRun r = Cli("update new.bin");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(Stderr().find("pass --yes"), std::string::npos) << Stderr();
  EXPECT_EQ(Sent(""), 0);
  // --json never prompts: it needs --yes too.
  EXPECT_EQ(Cli("--json update new.bin").status, 2);
  EXPECT_EQ(Sent(""), 0);
}

TEST_F(CliTest, FailuresBeforeAndAfterTheCommitHaveTheirStatuses) {
  WriteConfig("fault write 100 check 04 08 00\n");
  CliRun before = Cli("--json update new.bin --yes");
  EXPECT_EQ(before.status, 3);
  EXPECT_EQ(Sent("3B07"), 0) << "no commit after a failed piece";
  ASSERT_FALSE(before.events.empty());
  EXPECT_EQ(before.events.back()["stage"], "transfer");
  EXPECT_EQ(before.events.back()["exit"], 3);

  std::remove(m_dir.Path("sim.log").c_str());
  WriteConfig("fault commit 1 check 04 44 00\n");
  CliRun after = Cli("--json update new.bin --yes");
  EXPECT_EQ(after.status, 4);
  EXPECT_EQ(after.events.back()["stage"], "commit");
  EXPECT_NE(after.events.back()["message"].get<std::string>().find("Do not switch off"), std::string::npos);
}

// Every signal that ends a program stops the transfer after its piece, and
// is held off through the commit, named in its line.
TEST_F(CliTest, SignalsDuringTheTransferStopBeforeTheCommit) {
  WriteConfig("latency 5\n");
  for (const std::string sig : {"INT", "TERM", "HUP", "QUIT"}) {
    EXPECT_EQ(UpdateInterruptedAfter("cdb=3B06", 5, sig), 3) << sig;
    EXPECT_LT(Sent("3B06"), 208) << sig;
    EXPECT_EQ(Sent("3B07"), 0) << sig;
    const std::string name = sig == "INT" ? "Ctrl-C (SIGINT)" : "SIG" + sig;
    EXPECT_NE(Stderr().find("stopped by " + name + " before the commit: the drive keeps its firmware"),
              std::string::npos) << Stderr();
  }
}

// Before an update has begun, nothing needs waiting for: a scan that hangs
// on a drive ends at once, with its line and, in JSON, its result.
TEST_F(CliTest, AnInterruptEndsAScanAtOnce) {
  WriteConfig("fault inquiry * slow 20000\n");
  const std::string script = std::string("cd '") + m_dir.Path() + "' && ('" + ORVEX_CLI_PATH +
                             "' --transport sim:sim.cfg --json scan >out.txt 2>stderr.txt & pid=$!; "
                             "until grep -q cdb=12 sim.log 2>/dev/null; do sleep 0.01; done; kill -INT $pid; "
                             "wait $pid; echo $?)";
  std::FILE* p = popen(script.c_str(), "r");
  int status = -1;
  if (p == nullptr || std::fscanf(p, "%d", &status) != 1) status = -1;
  if (p != nullptr) pclose(p);
  EXPECT_EQ(status, 130);
  EXPECT_NE(Stderr().find("stopped by Ctrl-C (SIGINT): nothing was written"), std::string::npos) << Stderr();
  std::ifstream f(m_dir.Path("out.txt"));
  std::string line, last;
  while (std::getline(f, line)) last = line;
  EXPECT_EQ(nlohmann::json::parse(last)["exit"], 130) << last;
}

// A drive that takes its time over a request: Ctrl-C says at once that the
// update stops, then waits for the request.
TEST_F(CliTest, AnInterruptDuringALongRequestIsToldAtOnce) {
  WriteConfig("fault tur 1 slow 3000\n");
  const std::string script = std::string("cd '") + m_dir.Path() + "' && ('" + ORVEX_CLI_PATH +
                             "' --transport sim:sim.cfg update new.bin --yes >/dev/null 2>stderr.txt & pid=$!; "
                             "until grep -q cdb=00 sim.log 2>/dev/null; do sleep 0.01; done; kill -INT $pid; "
                             "for i in $(seq 200); do grep -q 'is waited for' stderr.txt && break; sleep 0.01; done; "
                             "if grep -q 'is waited for' stderr.txt && kill -0 $pid 2>/dev/null; then echo told; else echo late; fi; "
                             "wait $pid; echo $?)";
  std::FILE* p = popen(script.c_str(), "r");
  char when[16] = {};
  int status = -1;
  if (p == nullptr || std::fscanf(p, "%15s %d", when, &status) != 2) status = -1;
  if (p != nullptr) pclose(p);
  EXPECT_STREQ(when, "told") << Stderr();
  EXPECT_EQ(status, 3);
  EXPECT_EQ(Writes(), 0);
}

// What the image path names, and its length, are said.
TEST_F(CliTest, AnImageThatIsNoImageFileSaysWhatItIs) {
  ASSERT_EQ(mkfifo(m_dir.Path("pipe.bin").c_str(), 0600), 0);
  std::filesystem::create_directory(m_dir.Path("folder.bin"));
  m_dir.Write("short.bin", std::string(100, 'x'));
  for (const auto& c : {std::make_pair("pipe.bin", "it is a named pipe (FIFO), not a file"),
                        std::make_pair("folder.bin", "it is a folder, not a file"),
                        std::make_pair("short.bin", "it is 100 bytes long, not 2,097,152")}) {
    EXPECT_EQ(Cli(std::string("check ") + c.first).status, 2) << c.first;
    EXPECT_NE(Stderr().find(c.second), std::string::npos) << Stderr();
  }
}

TEST_F(CliTest, SignalsDuringTheCommitAreHeldOffAndTheUpdateCompletes) {
  WriteConfig("fault commit 1 slow 700\n");
  for (const std::string sig : {"INT", "TERM", "HUP", "QUIT"}) {
    EXPECT_EQ(UpdateInterruptedAfter("cdb=3B07", 1, sig), 0) << sig;
    const std::string name = sig == "INT" ? "Ctrl-C (SIGINT)" : "SIG" + sig;
    EXPECT_NE(Stderr().find(name + " is held off"), std::string::npos) << Stderr();
    EXPECT_EQ(Stderr().find(sig == "INT" ? "SIGTERM" : "Ctrl-C"), std::string::npos) << Stderr();
    EXPECT_EQ(Sent("3B07"), 1) << sig;
    EXPECT_NE(Flash().find("revision \"1.10\""), std::string::npos) << sig;
  }
}

TEST_F(CliTest, JsonLinesStartWithStartAndEndWithTheResult) {
  CliRun r = Cli("--json -v update new.bin --yes");
  ASSERT_EQ(r.status, 0);
  ASSERT_GE(r.events.size(), 3u);
  EXPECT_EQ(r.events.front()["event"], "start");
  EXPECT_EQ(r.events.back()["event"], "result");
  EXPECT_EQ(r.events.back()["exit"], 0);
  EXPECT_EQ(r.events.back()["restart_required"], true);
  int requests = 0, lastDone = 0;
  for (const auto& e : r.events) {
    if (e["event"] == "request") ++requests;
    if (e["event"] == "progress") lastDone = e["done"];
  }
  EXPECT_EQ(requests, Sent(""));
  EXPECT_EQ(lastDone, 208);
}

TEST_F(CliTest, BadInputGivesOneLineAndItsStatusAndNoWrite) {
  Image("other.bin", "KORVELIN", "DVDRRW MQT-R52A ", "1.10");
  struct Case {
    std::string args;
    int status;
    std::string transport;
  } cases[] = {
      {"update missing.bin --yes", 2, ""},
      {"update other.bin --yes", 2, ""},
      {"update new.bin --drive 3:3:0 --yes", 2, ""},
      {"update new.bin --drive 0:x:0 --yes", 64, ""},
      {"update new.bin --frobnicate", 64, ""},
      {"scan", 69, std::string("aspi:") + ORVEX_SIM_DIR + "/broken/NoSendEntry/libwnaspi32.so"},
      {"scan", 69, "aspi:/no/such/library.so"},
      {"scan", 64, "tape"},
  };
  for (const Case& c : cases) {
    CliRun r = Cli(c.args, c.transport);
    EXPECT_EQ(r.status, c.status) << c.args << " " << c.transport << ": " << Stderr();
    std::string err = Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.args << ": " << err;
    EXPECT_EQ(Writes(), 0) << c.args;
  }
}

// Two orvex-cli processes on one simulated drive: the second, started while
// the first writes, is refused at once and sends nothing but its checks;
// one run of pieces, one commit. A drive that does not answer its second
// check, inside the hold, is refused with nothing written.
TEST_F(CliTest, TwoUpdatersOfOneDriveNeverInterleave) {
  WriteConfig("latency 2\n");
  const std::string script = std::string("cd '") + m_dir.Path() + "' && cli='" + ORVEX_CLI_PATH +
                             "' && ($cli --transport sim:sim.cfg update new.bin --yes >a.txt 2>&1 & a=$!; "
                             "for i in $(seq 2000); do grep -q cdb=3B06 sim.log 2>/dev/null && break; sleep 0.01; done; "
                             "$cli --transport sim:sim.cfg update new.bin --yes >b.txt 2>&1; echo $?; wait $a; echo $?)";
  std::FILE* p = popen(script.c_str(), "r");
  ASSERT_NE(p, nullptr);
  int second = -1, first = -1;
  EXPECT_EQ(std::fscanf(p, "%d %d", &second, &first), 2);
  pclose(p);
  std::ifstream b(m_dir.Path("b.txt"));
  const std::string words((std::istreambuf_iterator<char>(b)), {});
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 2) << words;
  EXPECT_NE(words.find("another update of the drive at 0:1:0 is running"), std::string::npos) << words;
  std::ifstream log(m_dir.Path("sim.log"));
  // The writes, in the order the drive got them (the second's scan may
  // read the drive meanwhile).
  std::vector<std::string> writes;
  for (std::string line; std::getline(log, line);) {
    const std::string kind = line.substr(line.find("cdb=") + 4, 4);
    if (kind.compare(0, 2, "3B") == 0) writes.push_back(kind);
  }
  std::vector<std::string> one(208, "3B06");
  one.push_back("3B07");
  EXPECT_EQ(writes, one);

  std::remove(m_dir.Path("flash.txt").c_str());
  std::remove(m_dir.Path("sim.log").c_str());
  WriteConfig("fault inquiry 2 check 02 04 00\n");
  CliRun r = Cli("update new.bin --yes");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(Stderr().find("refused: the drive at 0:1:0 changed since it was checked"), std::string::npos) << Stderr();
  EXPECT_EQ(Writes(), 0);

  // A lock that cannot be had at all is no reason to write without it.
  WriteConfig("");
  setenv("ORVEX_LOCK_DIR", m_dir.Path("no-such-folder").c_str(), 1);
  r = Cli("update new.bin --yes");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(Stderr().find("refused: the lock of the drive at 0:1:0 cannot be taken"), std::string::npos) << Stderr();
  EXPECT_EQ(Writes(), 0);
}

TEST_F(CliTest, AnUpdateSaysEachThingOnceInItsOwnWordsAndAsksWhatItAccepts) {
  CliRun r = Cli("update new.bin --yes");
  ASSERT_EQ(r.status, 0) << Stderr();
  // Standard output holds the result alone; progress goes to standard error.
  EXPECT_EQ(r.out, "0:1:0: updated the main firmware to 1.10. Restart the computer before using the drive; a drive "
                   "on a USB port must be installed again.\n");
  const std::string err = Stderr();
  EXPECT_NE(err.find("Committing: do not switch off"), std::string::npos) << err;
  for (const char* dialog : {"Please wait", "dirve", "Click the", "error:", "warning:"})
    EXPECT_EQ(err.find(dialog), std::string::npos) << dialog << ": " << err;

  // The prompt says "yes", and only "yes" goes on.
  std::remove(m_dir.Path("flash.txt").c_str());
  std::remove(m_dir.Path("sim.log").c_str());
  EXPECT_EQ(OnTerminal("update new.bin", "y\n"), 1) << Terminal();
  EXPECT_NE(Terminal().find("the main firmware of 0:1:0 (1.00 -> 1.10)? Type yes"), std::string::npos) << Terminal();
  EXPECT_EQ(Writes(), 0);
  EXPECT_EQ(OnTerminal("update new.bin", "yes\n"), 0) << Terminal();
  EXPECT_EQ(Sent("3B07"), 1);
  // On a terminal, --json still asks nothing, and says that this is why.
  EXPECT_EQ(OnTerminal("--json update new.bin", ""), 2);
  EXPECT_NE(Terminal().find("--json asks no questions"), std::string::npos) << Terminal();

  CliRun unknown = Cli("frobnicate");
  EXPECT_EQ(unknown.status, 64);
  EXPECT_NE(Stderr().find("unknown command \"frobnicate\""), std::string::npos) << Stderr();
  // -v: one line for each run of empty addresses (3 here), not one each.
  EXPECT_EQ(Cli("-v scan").status, 0);
  const std::string trace = Stderr();
  size_t empty = 0;
  for (size_t at = trace.find("-> no device"); at != std::string::npos; at = trace.find("-> no device", at + 1)) ++empty;
  EXPECT_EQ(empty, 3u) << trace;
}

// What answered is named: another maker's device is not "no drive", and a
// library's own reason for not starting is in the result.
TEST_F(CliTest, NoSupportedDriveNoDriveAndNoTransportNameTheirCause) {
  m_dir.Write("sim.cfg", "adapters 2\ndevice 1 2 0\nvendor \"OTHERCO \"\nproduct \"HARD DISK       \"\n");
  CliRun other = Cli("--json check new.bin");
  EXPECT_EQ(other.status, 2);
  EXPECT_EQ(other.events.back()["cause"], "no_supported_drive");
  EXPECT_NE(Stderr().find("no supported drive: found 1:2:0 (OTHERCO  HARD DISK        1.00)"), std::string::npos)
      << Stderr();
  EXPECT_NE(Cli("check new.bin --drive 1:2:0").status, 0);
  EXPECT_NE(Stderr().find("not a model this updater supports"), std::string::npos) << Stderr();
  m_dir.Write("sim.cfg", "adapters 1\n");
  EXPECT_EQ(Cli("--json check new.bin").events.back()["cause"], "no_drive");
  m_dir.Write("sim.cfg", "bogus line\n");
  CliRun broken = Cli("--json scan");
  EXPECT_EQ(broken.status, 69);
  EXPECT_NE(broken.events.back()["reason"].get<std::string>().find("line 1: unknown key bogus"), std::string::npos);
}

// A duplicator tower: more drives than the dialog's four rows, each
// updated once with its own result; a re-run changes nothing.
TEST_F(CliTest, AllUpdatesEveryDriveOnceBeyondFourAndAReRunChangesNothing) {
  WriteDrives(6);
  EXPECT_EQ(Cli("check new.bin --drive 0:5:0").status, 0) << Stderr();
  CliRun first = Cli("--json update new.bin --all --yes");
  EXPECT_EQ(first.status, 0) << Stderr();
  int results = 0;
  for (const auto& e : first.events) results += e["event"] == "drive_result" && e["changed"] == true;
  EXPECT_EQ(results, 6);
  for (int t = 0; t < 6; ++t) EXPECT_EQ(CommitsTo(t), 1) << t;
  EXPECT_NE(first.events.back()["message"].get<std::string>().find("6 drives: 6 updated"), std::string::npos);

  // Already current: no error with --skip-current, one line, nothing written.
  std::remove(m_dir.Path("sim.log").c_str());
  CliRun again = Cli("update new.bin --all --yes --skip-current");
  EXPECT_EQ(again.status, 0) << Stderr();
  EXPECT_NE(again.out.find("0:5:0: already current (1.10; the image has 1.10): nothing was sent\n"), std::string::npos);
  EXPECT_NE(again.out.find("6 drives: 0 updated, 6 already current, 0 not done"), std::string::npos) << again.out;
  EXPECT_EQ(Writes(), 0);
  CliRun strict = Cli("--json update new.bin --drive 0:1:0 --yes");
  EXPECT_EQ(strict.status, 2);
  EXPECT_EQ(strict.events.back()["cause"], "same_or_lower");

  // A drive of another model beside them is left alone; none that fits is
  // a refusal.
  std::remove(m_dir.Path("flash.txt").c_str());
  std::remove(m_dir.Path("sim.log").c_str());
  WriteDrives(3, 1, "product \"DVDRRW MQT-R52A \"\n");
  CliRun mixed = Cli("update new.bin --all --yes");
  EXPECT_EQ(mixed.status, 0) << Stderr();
  EXPECT_NE(mixed.out.find("0:1:0: left alone: the image is for another model"), std::string::npos) << mixed.out;
  EXPECT_NE(mixed.out.find("2 updated, 0 already current, 0 not done, 1 of another model left alone"),
            std::string::npos) << mixed.out;
  EXPECT_EQ(CommitsTo(1), 0);
  Image("other.bin", "KORVELIN", "DVDRRW MQT-R99A ", "1.10");
  EXPECT_EQ(Cli("check other.bin --all").status, 2);

  // A failed commit: the worst status, and no further drive when asked.
  for (const bool stop : {true, false}) {
    std::remove(m_dir.Path("flash.txt").c_str());
    std::remove(m_dir.Path("sim.log").c_str());
    WriteDrives(6, 2, "fault commit 1 check 04 44 00\n");
    CliRun failed = Cli(std::string("--json update new.bin --all --yes") + (stop ? " --stop-on-failure" : ""));
    EXPECT_EQ(failed.status, 4);
    EXPECT_EQ(Sent("3B07"), stop ? 3 : 6) << stop;
    const auto& drives = failed.events.back()["drives"];
    ASSERT_EQ(drives.size(), 6u);
    EXPECT_EQ(drives[2]["exit"], 4);
    EXPECT_EQ(drives[5]["status"], stop ? "skipped" : "ok");
  }
}

// Every event the program gives is in docs/orvex-cli-json.md, with every
// field it carries; every kind there is given by one of these runs.
TEST_F(CliTest, EveryJsonEventAndFieldIsInTheDocument) {
  std::ifstream doc(std::string(ORVEX_SOURCE_DIR) + "/docs/orvex-cli-json.md");
  std::map<std::string, std::set<std::string>> documented;
  std::string line;
  while (std::getline(doc, line)) {
    if (line.rfind("{\"event\":", 0) != 0) continue;
    const nlohmann::json example = nlohmann::json::parse(line);
    for (const auto& item : example.items()) documented[example["event"]].insert(item.key());
  }
  ASSERT_FALSE(documented.empty());
  WriteDrives(2, 1, "fault commit 1 check 04 44 00\n");
  std::set<std::string> given;
  for (const std::string args : {"scan", "-v update new.bin --all --yes", "check new.bin --drive 0:0:0", "update new.bin"}) {
    for (const auto& e : Cli("--json " + args).events) {
      const std::string kind = e["event"];
      given.insert(kind);
      ASSERT_TRUE(documented.count(kind)) << kind;
      for (const auto& item : e.items()) EXPECT_TRUE(documented[kind].count(item.key())) << kind << "." << item.key();
    }
  }
  for (const auto& kind : documented) EXPECT_TRUE(given.count(kind.first)) << kind.first << " never given";
}

#ifdef ORVEX_IMAGEGEN_PATH
// The image generator's help shows how an image is laid out, and its
// example makes one that the simulated drive's defaults take.
TEST_F(CliTest, TheImageGeneratorsHelpExampleMakesAnImageTheSimulatedDriveTakes) {
  std::string help;
  std::FILE* p = popen((std::string("'") + ORVEX_IMAGEGEN_PATH + "' --help").c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) help.append(buf, n);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_NE(help.find("140000h and 19FFFFh"), std::string::npos) << help;
  std::smatch example;
  ASSERT_TRUE(std::regex_search(help, example, std::regex("\n  orvex-imagegen (new\\.bin [^\n]*)\n"))) << help;
  ASSERT_EQ(std::system(("cd '" + m_dir.Path() + "' && '" + ORVEX_IMAGEGEN_PATH + "' " + example[1].str() +
                         " >/dev/null").c_str()), 0);
  m_dir.Write("sim.cfg", "device 0 0 0\n");
  EXPECT_EQ(Cli("check new.bin").status, 0) << Stderr();
}
#endif

// orvex-cli's logind inhibitor lock, against python3-dbusmock's logind on
// a bus of the test's own, reached through DBUS_SYSTEM_BUS_ADDRESS: held
// while the drive writes (seen from outside, as logind lists it), gone when
// the update ends, however it ends.
class CliHoldTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (Sh("command -v dbus-daemon dbus-send >/dev/null && /usr/bin/python3 -c 'import dbusmock' 2>/dev/null "
           "&& echo yes") != "yes\n")
      GTEST_SKIP() << "needs dbus-daemon, dbus-send and python3-dbusmock";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + m_dir.Path("bus")).c_str(), 1);
  }
  void TearDown() override {
    for (const std::string& pid : m_pids) Sh("kill " + pid + " 2>/dev/null; wait " + pid + " 2>/dev/null");
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    CliTest::TearDown();
  }
  static std::string Sh(const std::string& cmd) {
    std::string out;
    std::FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
  }
  // Starts `cmd` in the background, its pid kept for the end.
  void Start(const std::string& cmd) {
    m_pids.push_back(Sh("cd '" + m_dir.Path() + "' && { " + cmd + " >/dev/null 2>&1 & echo $!; }"));
    if (!m_pids.back().empty() && m_pids.back().back() == '\n') m_pids.back().pop_back();
  }
  // A bus of our own, and logind on it when `logind`; waits, bounded, until
  // it answers.
  void StartBus(bool logind) {
    Start("exec dbus-daemon --session --nofork --address=unix:path=" + m_dir.Path("bus"));
    ASSERT_EQ(Sh("for i in $(seq 500); do [ -S '" + m_dir.Path("bus") + "' ] && echo up && break; sleep 0.01; done"),
              "up\n");
    if (!logind) return;
    Start("exec /usr/bin/python3 -m dbusmock --system --template logind");
    ASSERT_EQ(Sh("for i in $(seq 500); do " + ListCommand() + " >/dev/null 2>&1 && echo up && break; sleep 0.01; done"),
              "up\n");
  }
  static std::string ListCommand() {
    return "dbus-send --system --print-reply --dest=org.freedesktop.login1 /org/freedesktop/login1 "
           "org.freedesktop.login1.Manager.ListInhibitors";
  }
  std::string Inhibitors() { return Sh(ListCommand() + " 2>&1"); }
  // `update --yes` in the background; logind's inhibitors are listed once the
  // drive has logged `count` requests of `pattern` (into m_strDuring); the
  // exit status.
  int UpdateListingAfter(const std::string& pattern, int count, const std::string& flags = "--json") {
    std::string script = "cd '" + m_dir.Path() + "' && ('" + ORVEX_CLI_PATH + "' " + flags +
                         " --transport sim:sim.cfg update new.bin --yes >out.txt 2>stderr.txt & pid=$!; i=0; "
                         "until [ \"$(cat sim.log 2>/dev/null | grep -c " + pattern + ")\" -ge " + std::to_string(count) +
                         " ] || [ $i -ge 1000 ]; do sleep 0.01; i=$((i+1)); done; " + ListCommand() +
                         " >during.txt 2>&1; wait $pid; echo $?)";
    const std::string status = Sh(script);
    std::ifstream f(m_dir.Path("during.txt"));
    m_strDuring.assign(std::istreambuf_iterator<char>(f), {});
    return status.empty() ? -1 : std::stoi(status);
  }
  static bool HeldByUs(const std::string& listing) {
    return listing.find("\"sleep:shutdown:idle\"") != std::string::npos &&
           listing.find("\"orvex-cli\"") != std::string::npos && listing.find("\"block\"") != std::string::npos &&
           listing.find("drive 0:1:0 (KORVELIN DVDRRW MQT-R41A  1.00)") != std::string::npos;
  }

  std::vector<std::string> m_pids;
  std::string m_strDuring;
};

TEST_F(CliHoldTest, LogindListsTheLockWhileTheDriveWritesAndNoneAfterEveryOutcome) {
  StartBus(true);
  struct Case {
    std::string faults, pattern;
    int count, status;
  } cases[] = {
      {"fault commit 1 slow 1500\n", "cdb=3B07", 1, 0},
      {"fault write 50 slow 1500\nfault write 100 check 04 08 00\n", "cdb=3B06", 50, 3},
      {"fault write 50 slow 1500\nfault commit 1 check 04 44 00\n", "cdb=3B06", 50, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    std::remove(m_dir.Path("sim.log").c_str());
    std::remove(m_dir.Path("flash.txt").c_str());
    WriteConfig(c.faults);
    EXPECT_FALSE(HeldByUs(Inhibitors()));
    EXPECT_EQ(UpdateListingAfter(c.pattern, c.count), c.status) << Stderr();
    EXPECT_TRUE(HeldByUs(m_strDuring)) << m_strDuring;
    std::ifstream json(m_dir.Path("out.txt"));
    const std::string lines((std::istreambuf_iterator<char>(json)), {});
    const size_t held = lines.find("{\"event\":\"hold\",\"span\":\"begin\",\"held\":true}");
    const size_t released = lines.find("{\"event\":\"hold\",\"span\":\"end\",\"held\":false}");
    EXPECT_TRUE(held < released && released < lines.find("\"event\":\"result\"")) << lines;
    const std::string after = Inhibitors();
    EXPECT_EQ(after.find("orvex-cli"), std::string::npos) << after;
  }
  // Nothing is held for a check, nor for a refused update.
  Image("old.bin", "KORVELIN", "DVDRRW MQT-R41A ", "1.00");
  EXPECT_EQ(Cli("check new.bin").status, 0);
  EXPECT_EQ(Cli("--json update old.bin --yes").status, 2);
  EXPECT_EQ(Cli("--json update old.bin --yes").out.find("\"hold\""), std::string::npos);
}

TEST_F(CliHoldTest, WithoutABusOrLogindTheUpdateGoesOnWithOneLineUnderV) {
  for (bool bus : {false, true}) {
    SCOPED_TRACE(bus ? "a bus without logind" : "no bus");
    if (bus) StartBus(false);
    std::remove(m_dir.Path("flash.txt").c_str());
    CliRun quiet = Cli("update new.bin --yes");
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(Stderr().find("holds off"), std::string::npos) << Stderr();
    std::remove(m_dir.Path("flash.txt").c_str());
    CliRun verbose = Cli("-v update new.bin --yes");
    EXPECT_EQ(verbose.status, 0);
    const std::string err = Stderr();
    const std::string line = bus ? "orvex-cli: no logind on the system bus: nothing holds off a suspend or a shutdown\n"
                                 : "orvex-cli: no system bus (";
    EXPECT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(err.find("holds off"), err.rfind("holds off")) << "one line: " << err;
    // The JSON says so too, rather than that the system is held.
    std::remove(m_dir.Path("flash.txt").c_str());
    const std::string json = Cli("--json update new.bin --yes").out;
    EXPECT_NE(json.find("{\"event\":\"hold\",\"span\":\"begin\",\"held\":false,\"missing\":\"no "), std::string::npos)
        << json;
  }
}

}  // namespace
#endif
