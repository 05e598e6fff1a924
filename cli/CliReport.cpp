#include "cli/CliReport.h"

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
  if (!m_options.json && stage == STAGE_COMMIT)
    Line("Committing: do not switch off the computer or the drive until this ends.");
}

void CCliReport::OnStageEnd(UpdateStage stage, bool ok) {
  Event({{"event", "stage_end"}, {"stage", StageName(stage)}, {"ok", ok}});
}

void CCliReport::OnStatus(unsigned statusId) {
  std::string text = OneLine(StringText(statusId));
  Event({{"event", "status"}, {"id", statusId}, {"text", text}});
  if (!m_options.json) Line(text);
}

void CCliReport::OnNotice(NoticeKind kind, unsigned textId, const char* text) {
  std::string t = textId != 0 ? OneLine(StringText(textId)) : std::string(text ? text : "");
  m_strLastNotice = t;
  const char* k = kind == NOTICE_ERROR ? "error" : kind == NOTICE_WARNING ? "warning" : "info";
  Event({{"event", "notice"}, {"kind", k}, {"text", t}});
  if (!m_options.json) Line(std::string(k) + ": " + t);
}

bool CCliReport::Ask(UpdateQuestion question) {
  if (m_options.yes) return true;
  // Without --yes only a person at a terminal can answer; the caller has
  // refused already when there is none.
  if (m_options.json || !IsTerminal(CONSOLE_IN)) return false;
  EndBar();
  std::fputs((StringText(IDS_ARE_YOU_SURE) + " Type yes to update the drive: ").c_str(), stderr);
  std::fflush(stderr);
  std::string answer;
  if (!ReadAnswer(&answer)) return false;
  return answer == "yes" || answer == "y" || answer == "YES" || answer == "Y";
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
    if (done == total) Line("Transfer: " + std::to_string(done) + " of " + std::to_string(total) + " pieces sent");
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
  Event({{"event", "hold"}, {"held", begin}});
}

void CCliReport::Request(const SRB_ExecSCSICmd& srb, int result) {
  ++m_nRequests;
  if (m_options.verbose <= 0) return;
  char addr[32];
  std::snprintf(addr, sizeof addr, "%d:%d:%d", srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
  const int cdbLen = srb.SRB_CDBLen <= 16 ? srb.SRB_CDBLen : 16;
  const char* dir = (srb.SRB_Flags & SRB_DIR_OUT) ? "out" : (srb.SRB_Flags & SRB_DIR_IN) ? "in" : "none";
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
  if (m_options.json) {
    nlohmann::ordered_json e = {{"event", "request"}, {"n", m_nRequests}, {"address", addr},
                        {"cdb", Hex(srb.CDBByte, cdbLen)}, {"direction", dir},
                        {"length", srb.SRB_BufLen}, {"result", result},
                        {"status", ResultText(result)}};
    if (result == ASPI_CHECK_CONDITION)
      e["sense"] = {srb.SenseArea[2] & 0x0F, srb.SenseArea[12], srb.SenseArea[13]};
    Event(e);
  }
  if (m_options.verbose > 1 && srb.SRB_BufPointer != nullptr && srb.SRB_BufLen > 0)
    line += "\n    data: " + Hex(srb.SRB_BufPointer, srb.SRB_BufLen < 64 ? static_cast<int>(srb.SRB_BufLen) : 64);
  EndBar();
  std::fputs(("orvex-cli: " + line + "\n").c_str(), stderr);
}
