#include "cli/CliReport.h"

#include <cctype>
#include <cstring>
#include <iostream>

#include "cli/Console.h"
#include "cli/SystemHold.h"
#include "res/ResourceIds.h"

namespace {

struct StringRow {
  unsigned id;
  const char* text;
};
const StringRow kStrings[] = {
#define ORVEX_STRING(id, text) {id, text},
#include "res/Strings.def"
#undef ORVEX_STRING
};

const char* ResultText(int result) {
  switch (result) {
    case 0: return "good";
    case ASPI_CHECK_CONDITION: return "check condition";
    case ASPI_ERR_TIMEOUT: return "timeout";
    case ASPI_ERR_NO_DEVICE: return "no device";
    case ASPI_ERR_ABORTED: return "aborted";
    case ASPI_ERR_INVALID_SRB: return "invalid request";
    case ASPI_ERR_BUFFER_TOO_BIG: return "buffer too big";
    case ASPI_ERR_BAD_DRIVE: return "no such drive";
    case ASPI_ERR_SHORT_ANSWER: return "answer short";
    default: return "failed";
  }
}

std::string Hex(const BYTE* p, int n) {
  std::string s;
  char b[4];
  for (int i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
    s += b;
  }
  return s;
}

// Texts of the string table carry CR LF for the dialog's edit control.
std::string OneLine(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    out += c == '\n' ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

const char* StageName(UpdateStage stage) {
  switch (stage) {
    case STAGE_CHECK: return "check";
    case STAGE_PREPARE: return "prepare";
    case STAGE_DISC: return "disc";
    case STAGE_TRANSFER: return "transfer";
    case STAGE_VERIFY: return "verify";
    case STAGE_COMMIT: return "commit";
    case STAGE_ZONE: return "zone";
  }
  return "unknown";
}

std::string Trimmed(const char* field) {
  std::string text = field != nullptr ? field : "";
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

nlohmann::ordered_json IdentityJson(const char* vendor, const char* product, const char* revision) {
  return {{"vendor", Trimmed(vendor)}, {"product", Trimmed(product)}, {"revision", Trimmed(revision)},
          {"text", std::string(vendor) + " " + product + " " + revision}};
}

std::string StringText(unsigned id) {
  for (const StringRow& row : kStrings)
    if (row.id == id) return row.text;
  return std::string();
}

void CCliReport::Event(nlohmann::ordered_json event) {
  if (!m_options.json) return;
  std::fputs((event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void CCliReport::Line(const std::string& text) {
  EndBar();
  std::FILE* f = m_options.json ? stderr : stdout;
  std::fputs((text + "\n").c_str(), f);
  std::fflush(f);
}

void CCliReport::Progress(const std::string& text) {
  if (m_options.json) return;
  EndBar();
  std::fputs((text + "\n").c_str(), stderr);
  std::fflush(stderr);
}

void CCliReport::Error(const std::string& text) {
  EndBar();
  std::fputs(("orvex-cli: " + text + "\n").c_str(), stderr);
  std::fflush(stderr);
}

void CCliReport::EndBar() {
  if (m_nBarPercent < 0) return;
  std::fputs("\n", stderr);
  m_nBarPercent = -1;
}

void CCliReport::OnStage(UpdateStage stage) {
  Event({{"event", "stage"}, {"stage", StageName(stage)}});
  m_nLastStatus = 0;
  // The command line's own words: the status texts are the dialog's.
  switch (stage) {
    case STAGE_DISC: Progress("Checking the drive for a disc."); break;
    case STAGE_TRANSFER: Progress("Sending the image to the drive."); break;
    case STAGE_VERIFY: Progress("Comparing the drive's checksum of what it received with the image's."); break;
    case STAGE_COMMIT: Progress("Committing: do not switch off the computer or the drive until this ends."); break;
    case STAGE_ZONE: Progress("Checking the drive's firmware zone."); break;
    default: break;
  }
}

void CCliReport::OnStageEnd(UpdateStage stage, bool ok) {
  Event({{"event", "stage_end"}, {"stage", StageName(stage)}, {"ok", ok}});
}

void CCliReport::OnStatus(unsigned statusId) {
  // The engine shows some texts twice around a box; one event each here.
  if (statusId == m_nLastStatus) return;
  m_nLastStatus = statusId;
  Event({{"event", "status"}, {"id", statusId}, {"text", OneLine(StringText(statusId))}});
}

void CCliReport::OnNotice(NoticeKind kind, unsigned textId, const char* text) {
  std::string t = textId != 0 ? OneLine(StringText(textId)) : std::string(text ? text : "");
  m_strLastNotice = t;
  const char* k = kind == NOTICE_ERROR ? "error" : kind == NOTICE_WARNING ? "warning" : "info";
  // For people the result line gives the cause in the command line's words.
  Event({{"event", "notice"}, {"kind", k}, {"text", t}});
}

bool CCliReport::Ask(UpdateQuestion question) {
  if (m_options.yes) return true;
  // Without --yes only a person at a terminal can answer; the caller has
  // refused already when there is none.
  if (m_options.json || !IsTerminal(CONSOLE_IN)) return false;
  EndBar();
  std::fputs(("Update " + m_strQuestion + "? Type yes to update it, anything else declines: ").c_str(), stderr);
  std::fflush(stderr);
  std::string answer;
  if (!ReadAnswer(&answer)) return false;
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return answer == "yes";
}

void CCliReport::OnProgress(UpdateStage stage, int done, int total) {
  if (total <= 0) return;
  const int percent = done * 100 / total;
  if (m_options.json) {
    // Every piece would be 208 lines: whole percents are enough.
    if (percent != m_nBarPercent || done == total)
      Event({{"event", "progress"}, {"stage", StageName(stage)}, {"done", done}, {"total", total}});
    m_nBarPercent = percent;
    if (done == total) m_nBarPercent = -1;
    return;
  }
  if (!m_options.progressBar) {
    if (done == total) Progress("Transfer: " + std::to_string(done) + " of " + std::to_string(total) + " pieces sent");
    return;
  }
  if (percent == m_nBarPercent) return;
  m_nBarPercent = percent;
  const int width = 40, filled = percent * width / 100;
  std::string bar = "\rTransfer  [" + std::string(static_cast<size_t>(filled), '#') +
                    std::string(static_cast<size_t>(width - filled), '-') + "] ";
  char tail[32];
  std::snprintf(tail, sizeof tail, "%3d%%  %d/%d", percent, done, total);
  std::fputs((bar + tail).c_str(), stderr);
  std::fflush(stderr);
  if (done == total) EndBar();
}

bool CCliReport::StopRequested() { return InterruptRequested(); }

void CCliReport::OnTrace(const std::string& line) {
  if (m_options.verbose <= 0) return;
  if (m_options.json) Event({{"event", "trace"}, {"message", line}});
  else Error(line);
}

void CCliReport::OnHold(bool begin) {
  if (m_pHold != nullptr) {
    if (begin) m_pHold->Begin();
    else m_pHold->End();
  }
  // "held" says whether the system is held off, not only that the span began.
  nlohmann::ordered_json e = {{"event", "hold"}, {"span", begin ? "begin" : "end"},
                              {"held", begin && m_pHold != nullptr && m_pHold->SystemHeld()}};
  if (begin) e["missing"] = m_pHold != nullptr ? m_pHold->Missing() : std::string("no system hold");
  if (begin && e["missing"] == "") e.erase("missing");
  Event(e);
}

void CCliReport::EndQuietRun() {
  if (m_nQuietCount == 0) return;
  const int last = m_nQuietFirst + m_nQuietCount - 1;
  const std::string line = "#" + std::to_string(m_nQuietFirst) + (m_nQuietCount > 1 ? "-#" + std::to_string(last) : "") +
                           " INQUIRY at " + std::to_string(m_nQuietCount) +
                           (m_nQuietCount == 1 ? " address" : " addresses") + " -> no device (" +
                           std::to_string(ASPI_ERR_NO_DEVICE) + ")";
  m_nQuietCount = 0;
  Error(line);
}

void CCliReport::Request(const SRB_ExecSCSICmd& srb, int result) {
  ++m_nRequests;
  if (m_options.verbose <= 0) return;
  char addr[32];
  std::snprintf(addr, sizeof addr, "%d:%d:%d", srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
  const int cdbLen = srb.SRB_CDBLen <= 16 ? srb.SRB_CDBLen : 16;
  const char* dir = (srb.SRB_Flags & SRB_DIR_OUT) ? "out" : (srb.SRB_Flags & SRB_DIR_IN) ? "in" : "none";
  if (m_options.json) {
    nlohmann::ordered_json e = {{"event", "request"}, {"n", m_nRequests}, {"address", addr},
                                {"cdb", Hex(srb.CDBByte, cdbLen)}, {"direction", dir},
                                {"length", srb.SRB_BufLen}, {"result", result},
                                {"status", ResultText(result)}};
    if (result == ASPI_CHECK_CONDITION)
      e["sense"] = {srb.SenseArea[2] & 0x0F, srb.SenseArea[12], srb.SenseArea[13]};
    Event(e);
  }
  // An empty address says nothing on its own: one line for a run of them.
  if (result == ASPI_ERR_NO_DEVICE && srb.CDBByte[0] == 0x12) {
    if (m_nQuietCount++ == 0) m_nQuietFirst = m_nRequests;
    return;
  }
  EndQuietRun();
  std::string line = "#" + std::to_string(m_nRequests) + " [" + addr + "] " + Hex(srb.CDBByte, cdbLen) + " " +
                     dir + " " + std::to_string(srb.SRB_BufLen) + " -> " + ResultText(result);
  if (result == ASPI_CHECK_CONDITION) {
    char sense[32];
    std::snprintf(sense, sizeof sense, " %02X/%02X/%02X", srb.SenseArea[2] & 0x0F, srb.SenseArea[12],
                  srb.SenseArea[13]);
    line += sense;
  } else if (result != 0) {
    line += " (" + std::to_string(result) + ")";
  }
  if (m_options.verbose > 1 && srb.SRB_BufPointer != nullptr && srb.SRB_BufLen > 0)
    line += "\n    data: " + Hex(srb.SRB_BufPointer, srb.SRB_BufLen < 64 ? static_cast<int>(srb.SRB_BufLen) : 64);
  Error(line);
}
