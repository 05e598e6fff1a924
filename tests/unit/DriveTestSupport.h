// Shared pieces of the drive-access, command and image tests: a scratch
// folder, a simulated-drive session with its request log, image files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "drive/MyAspi32.h"
#include "platform/headless/InspectDrive.h"
#include "tools/ImageGen.h"

namespace drivetest {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "orvex-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    char* made = mkdtemp(buf.data());
    EXPECT_NE(made, nullptr);
    m_path = made ? made : "";
  }
  ~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) fs::remove_all(m_path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name = "") const {
    return name.empty() ? m_path : m_path + "/" + name;
  }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }

 private:
  std::string m_path;
};

// One parsed line of the simulated drive's request log.
struct LoggedRequest {
  int ha = -1, target = -1, lun = -1;
  int cmd = -1, flags = -1;
  unsigned bufLen = 0;
  int senseLen = -1, cdbLen = -1;
  std::vector<std::uint8_t> cdb;  // all 16 bytes
  std::string dataSum;            // 8 hex digits, "-" without data out
  std::string head;               // up to 16 data bytes in hex
};

inline std::vector<std::uint8_t> Hex(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// Fixture base: the real simulated library through the product's loader,
// configured by a file in a scratch folder, logging every request.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::SetLibraryDir(ORVEX_SIM_DIR);
    headless::ResetSysInfo();
    m_eventsBefore = headless::OpenEventCount();
  }
  void TearDown() override {
    unsetenv("ORVEX_SIM_CONFIG");
    unsetenv("ORVEX_LOCK_DIR");
    headless::SetLibraryDir("");
    headless::ResetSysInfo();
    CMyASPI32::s_nRequestLimitMs = 60000;
  }

  // Writes the configuration (with the log and flash files of this test
  // put in front) and points the library at it.
  void Configure(const std::string& body) {
    std::string text = "log " + m_dir.Path("requests.log") + "\nflash " + m_dir.Path("flash.state") +
                       "\n" + body;
    m_dir.Write("sim.cfg", text);
    setenv("ORVEX_SIM_CONFIG", m_dir.Path("sim.cfg").c_str(), 1);
    setenv("ORVEX_LOCK_DIR", m_dir.Path().c_str(), 1);
  }

  std::vector<LoggedRequest> Log() const {
    std::vector<LoggedRequest> out;
    std::ifstream in(m_dir.Path("requests.log"));
    std::string line;
    while (std::getline(in, line)) {
      LoggedRequest r;
      std::istringstream words(line);
      std::string w;
      while (words >> w) {
        auto eq = w.find('=');
        std::string k = w.substr(0, eq), v = w.substr(eq + 1);
        if (k == "ha") r.ha = std::stoi(v);
        else if (k == "target") r.target = std::stoi(v);
        else if (k == "lun") r.lun = std::stoi(v);
        else if (k == "cmd") r.cmd = std::stoi(v, nullptr, 16);
        else if (k == "flags") r.flags = std::stoi(v, nullptr, 16);
        else if (k == "buflen") r.bufLen = static_cast<unsigned>(std::stoul(v));
        else if (k == "senselen") r.senseLen = std::stoi(v);
        else if (k == "cdblen") r.cdbLen = std::stoi(v);
        else if (k == "cdb") r.cdb = Hex(v);
        else if (k == "datasum") r.dataSum = v;
        else if (k == "head") r.head = v;
      }
      out.push_back(r);
    }
    return out;
  }

  void ClearLog() const { std::ofstream(m_dir.Path("requests.log"), std::ios::trunc); }

  // Every completion event this test created has been closed again, but
  // the one a live transport keeps for its next request.
  void ExpectEventsClosed(const CMyASPI32* live = nullptr) const {
    EXPECT_EQ(headless::OpenEventCount(), m_eventsBefore + (live != nullptr ? live->KeptEvents() : 0));
    if (live != nullptr) {
      EXPECT_LE(live->KeptEvents(), 1);
    }
  }

  TempDir m_dir;
  int m_eventsBefore = 0;
};

// A drive section of a configuration.
inline std::string Drive(int ha, int target, int lun, const std::string& extra = "",
                         const std::string& vendor = "KORVELIN",
                         const std::string& product = "DVDRRW M1", const std::string& rev = "1.00") {
  std::ostringstream s;
  s << "device " << ha << " " << target << " " << lun << "\n"
    << "vendor \"" << vendor << "\"\nproduct \"" << product << "\"\nrevision \"" << rev << "\"\n"
    << extra;
  return s.str();
}

inline std::vector<std::uint8_t> Cdb(std::initializer_list<int> bytes) {
  std::vector<std::uint8_t> v(16, 0);
  std::size_t i = 0;
  for (int b : bytes) v[i++] = static_cast<std::uint8_t>(b);
  return v;
}

}  // namespace drivetest
