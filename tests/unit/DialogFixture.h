// A main dialog on the headless platform, reaching a simulated drive through
// the real simulated ASPI library, in a working directory of its own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/UpdaterDlg.h"
#include "platform/headless/Inspect.h"
#include "platform/headless/InspectDrive.h"
#include "update/FirmwareImage.h"

struct Drive {
  int ha = 0, target = 0, lun = 0;
  std::string vendor = "KORVELIN";
  std::string product = "DVDRRW MQT-R41A ";
  std::string revision = "1.00";
  std::string idText = "ID5678";
  bool disc = false;
  std::string extra;  // more device lines (faults, zone-sum, ...)
};

class DialogFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::Reset();
    headless::ResetSysInfo();
    CMyASPI32::s_nRequestLimitMs = 2000;
    char tmpl[] = "/tmp/orvex-dlg-XXXXXX";
    dir_ = mkdtemp(tmpl);
    char cwd[4096];
    oldCwd_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
    EXPECT_EQ(chdir(dir_.c_str()), 0);
    headless::SetLibraryDir(ORVEX_SIM_DIR);
    setenv("ORVEX_SIM_CONFIG", (dir_ + "/sim.cfg").c_str(), 1);
    // The drives' locks between processes: this test's own.
    setenv("ORVEX_LOCK_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    headless::JoinWorkers();
    dialogs_.clear();
    headless::Reset();
    headless::SetLibraryDir("");
    CMyASPI32::s_nRequestLimitMs = 60000;
    unsetenv("ORVEX_SIM_CONFIG");
    unsetenv("ORVEX_LOCK_DIR");
    EXPECT_EQ(chdir(oldCwd_.c_str()), 0);
    std::string cmd = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }

  static std::string Quote(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
      if (c == '\0') q += "\\0";
      else if (c == '"' || c == '\\') q += std::string("\\") + c;
      else q += c;
    }
    return q + "\"";
  }

  void UseDrives(const std::vector<Drive>& drives, int adapters = 1, const std::string& busExtra = "") {
    std::ostringstream cfg;
    cfg << "adapters " << adapters << "\n";
    cfg << "log " << dir_ << "/sim.log\n";
    cfg << "flash " << dir_ << "/flash.txt\n";
    cfg << busExtra << "\n";
    for (const Drive& d : drives) {
      cfg << "device " << d.ha << " " << d.target << " " << d.lun << "\n";
      cfg << "vendor " << Quote(d.vendor) << "\nproduct " << Quote(d.product) << "\nrevision "
          << Quote(d.revision) << "\nidtext " << Quote(d.idText) << "\ndisc " << (d.disc ? "yes" : "no")
          << "\n" << d.extra << "\n";
    }
    std::ofstream(dir_ + "/sim.cfg") << cfg.str();
  }
  void NoLibrary() { headless::SetLibraryDir(dir_ + "/nolib"); unsetenv("ORVEX_SIM_CONFIG"); }
  void WriteIni(const std::string& text) { std::ofstream(dir_ + "/Orvex.INI") << text; }

  // A 2 MiB image with the identity block at 0x150000 and the
  // identification text at 0x160000.
  std::string MakeImage(const std::string& name, const std::string& revision,
                        const std::string& product = "DVDRRW MQT-R41A ",
                        const std::string& idText = "ID5678", const std::string& vendor = "KORVELIN") {
    std::vector<unsigned char> img(IMAGE_FILE_LENGTH);
    for (size_t i = 0; i < img.size(); ++i) img[i] = static_cast<unsigned char>((i * 7 + 3) & 0xFF);
    std::string block = vendor + product + revision;
    std::copy(block.begin(), block.end(), img.begin() + 0x150000);
    std::copy(idText.begin(), idText.end(), img.begin() + 0x160000);
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(img.data()),
                                                static_cast<std::streamsize>(img.size()));
    return path;
  }

  CUpdaterDlg* OpenDialog() {
    dialogs_.push_back(std::make_unique<CUpdaterDlg>());
    headless::OpenDialog(*dialogs_.back());
    return dialogs_.back().get();
  }

  // The simulated drive's request log, one line per request block.
  std::vector<std::string> SimLog() const {
    std::vector<std::string> lines;
    std::ifstream in(dir_ + "/sim.log");
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
  }
  // Requests whose CDB starts with `cdbHex` ("3B 06", blanks ignored).
  size_t CountLog(const std::string& cdbHex) const {
    std::string needle = "cdb=";
    for (char c : cdbHex)
      if (c != ' ') needle += c;
    size_t n = 0;
    for (const std::string& l : SimLog())
      if (l.find(needle) != std::string::npos) ++n;
    return n;
  }

  std::string dir_;
  std::string oldCwd_;
  std::vector<std::unique_ptr<CUpdaterDlg>> dialogs_;
};
