// orvex-cli: the update from a command line, for scripts, deployment tools
// and Linux machines. The same engine and the same drive requests as the
// dialog; exit statuses in cli/ExitStatus.h.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliReport.h"
#include "cli/Console.h"
#include "cli/ExitStatus.h"
#include "cli/SystemHold.h"
#include "drive/Cdb.h"
#include "drive/ModelCodes.h"
#include "drive/MyAspi32.h"
#include "res/ResourceIds.h"
#include "res/Version.h"
#include "update/FirmwareImage.h"
#include "update/UpdateEngine.h"

#define ORVEX_VERSION_TEXT ORVEX_VERSION

namespace {

// The JSON lines' layout (docs/orvex-cli-json.md); a new number whenever a
// field changes its meaning or goes.
const int kSchema = 2;

const char kHelpFooter[] =
    "Exit status:\n"
    "   0  done\n"
    "   1  declined at the confirmation\n"
    "   2  refused before any write reached the drive (image, model, version rules,\n"
    "      no such drive, no confirmation possible without --yes, a write strategy\n"
    "      asked of a drive that needs the main firmware first)\n"
    "   3  failed before the commit: the drive keeps its firmware; a retry is safe\n"
    "   4  failed during or after the commit: the drive's state is unknown\n"
    "  64  usage\n"
    "  69  no transport (library missing, incomplete or not ready)\n"
    " 130  ended by Ctrl-C (by another signal: 128 + its number) before an update\n"
    "      began: a scan, a check, or an update before it took the drive\n"
    "With --all the status is the worst of the drives'. The JSON events: orvex-cli-json.md\n"
    "(docs/ of the sources; /usr/share/doc/orvex-cli/ of the Debian package).\n";

// %s: the interrupt's name.
const char kHeldLine[] =
    "\norvex-cli: %s is held off: the drive is committing its new firmware, and stopping now "
    "could leave it unusable.\n";

const char kCommitFailedAdvice[] =
    "The drive's state is unknown. Do not switch off the computer or the drive. Run "
    "'orvex-cli scan' to see what the drive reports, then run the same update again; if the "
    "drive no longer answers, restart the computer and try again before anything else.";

#ifdef _WIN32
const char kLibraryFile[] = "wnaspi32.dll";
const char kDefaultTransport[] = "aspi";
#else
const char kLibraryFile[] = "libwnaspi32.so";
const char kDefaultTransport[] = "sgio";
#endif

// Where an installed orvex-cli keeps its SG_IO library.
#ifndef ORVEX_PRIVATE_LIBDIR
#define ORVEX_PRIVATE_LIBDIR "/usr/local/lib/orvex"
#endif

// A variable of the environment; none in a privileged run, where the user
// who set it must not choose what the program loads or opens.
std::string Env(const char* name) {
  const char* v = PrivilegedRun() ? nullptr : std::getenv(name);
  return v != nullptr ? v : "";
}

// --help-all: every command under a heading of its own with its usage and
// options, the layout help2man makes the manual page's COMMANDS from.
class CHelpAllFormatter : public CLI::Formatter {
 public:
  std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override {
    if (mode != CLI::AppFormatMode::All) return CLI::Formatter::make_subcommands(app, mode);
    std::string out;
    for (const CLI::App* sub : app->get_subcommands({})) {
      // "Usage: orvex-cli check [OPTIONS] IMAGE" without its label.
      std::string usage = make_usage(sub, app->get_name() + " " + sub->get_name());
      usage = usage.substr(usage.find(": ") + 2);
      out += "\n" + usage.substr(0, usage.find('\n')) + ":\n  " + sub->get_description() + "\n";
      std::string options;
      for (const CLI::Option* opt : sub->get_options({}))
        if (opt != sub->get_help_ptr() && opt != sub->get_help_all_ptr())
          options += make_option(opt, opt->get_positional());
      if (!options.empty()) out += "\n" + options;
    }
    return out;
  }
};


// The simulated drive, in --help where this build has it.
#ifdef ORVEX_NO_SIM
const char kSimTransport[] = "";
const char kSimHelp[] = "";
#else
const char kSimTransport[] = ", sim:CONFIG";
const char kSimHelp[] = ", sim:CONFIG (the simulated drive)";
#endif
struct Run {
  CliOptions options;
  std::string command;
  std::string transport = kDefaultTransport;
  std::string image;
  std::string drive;
  bool writeStrategy = false;
  bool all = false;
  bool stopOnFailure = false;
  bool skipCurrent = false;
};

void Merge(nlohmann::ordered_json& into, const nlohmann::ordered_json& from) {
  for (auto& item : from.items()) into[item.key()] = item.value();
}

// The fields every result carries, null until the run gets that far, so
// that every outcome (refusals above all) reads the same.
nlohmann::ordered_json NewDetail() {
  return {{"cause", nullptr},   {"reason", nullptr},  {"drive", nullptr},
          {"current", nullptr}, {"current_id", nullptr}, {"new", nullptr},
          {"new_id", nullptr},  {"update", nullptr},     {"changed", false}, {"restart_required", false}};
}

// A failure's keyword (stable, for scripts) and its reason in words.
nlohmann::ordered_json& Because(nlohmann::ordered_json& detail, const char* cause, const std::string& reason) {
  detail["cause"] = cause;
  detail["reason"] = reason;
  return detail;
}

// A result: its line for people (stdout when done, stderr otherwise) and
// its JSON object, `event` "result" or, for one drive of --all,
// "drive_result".
int Report(CCliReport& out, const char* event, int status, const std::string& message,
           nlohmann::ordered_json detail) {
  if (!message.empty()) {
    if (status == ORVEX_EXIT_OK) out.Line(message);
    else out.Error(message);
  }
  nlohmann::ordered_json r = {{"event", event}, {"exit", status}, {"status", ExitStatusName(status)},
                              {"message", message}};
  if (status != ORVEX_EXIT_OK && detail["reason"].is_null()) Because(detail, ExitStatusName(status), message);
  Merge(r, detail);
  out.Event(r);
  return status;
}

// The run's result when it ends before any drive was chosen.
int Finish(CCliReport& out, int status, const std::string& message, const char* cause = nullptr,
           const std::string& reason = std::string()) {
  nlohmann::ordered_json detail = NewDetail();
  if (cause != nullptr) Because(detail, cause, reason.empty() ? message : reason);
  return Report(out, "result", status, message, detail);
}

std::string Join(const std::string& dir, const std::string& name) {
  return dir + PathSeparator() + name;
}

// The library a transport names; empty for the platform's own search.
// Sets *error and returns false when it cannot be had; *status is then the
// exit status (usage, or no transport).
bool ResolveTransport(const std::string& transport, std::string* library, std::string* error, int* status) {
  *status = ORVEX_EXIT_USAGE;
  const std::string::size_type colon = transport.find(':');
  const std::string kind = transport.substr(0, colon);
  const std::string arg = colon == std::string::npos ? std::string() : transport.substr(colon + 1);
  const std::string here = ProgramDir();
  if (PrivilegedRun()) {
    // The program has rights its user lacks: it loads nothing but the
    // library installed with it, and only when no one but root could have
    // put it there.
    if (kind != "sgio" || !arg.empty()) {
      *error = "--transport " + transport +
               " is refused: this run has rights its user lacks (file capabilities or set-user-ID), and "
               "loads no library the user chooses; use sgio, or run without the extra rights";
      return false;
    }
    *library = Join(ORVEX_PRIVATE_LIBDIR, kLibraryFile);
    std::string why;
    if (!OwnedByRootAlone(*library, &why)) {
      *error = "the SG_IO library " + *library + " is not used in a run with rights its user lacks: " + why;
      *status = ORVEX_EXIT_UNAVAILABLE;
      return false;
    }
    return true;
  }
  if (kind == "aspi") {
    *library = arg;
    if (colon != std::string::npos && arg.empty()) {
      *error = "--transport aspi: needs a library path after the colon";
      return false;
    }
    return true;
  }
  if (kind == "sim") {
#ifdef ORVEX_NO_SIM
    *error = "--transport sim: the simulated drive is not part of this installation (a build from the sources "
             "has it)";
    return false;
#endif
    if (arg.empty()) {
      *error = "--transport sim:CONFIG needs the simulated drive's configuration file";
      return false;
    }
    if (!FileReadable(arg)) {
      *error = "cannot read the simulated drive's configuration " + arg;
      return false;
    }
    SetEnvironment("ORVEX_SIM_CONFIG", arg.c_str());
    const std::string env = Env("ORVEX_SIM_LIBRARY");
    *library = !env.empty() ? env : Join(Join(Join(here, ".."), "sim"), kLibraryFile);
    return true;
  }
#ifndef _WIN32
  if (kind == "sgio" && arg.empty()) {
    const std::string env = Env("ORVEX_SGIO_LIBRARY");
    if (!env.empty()) {
      *library = env;
      return true;
    }
#ifdef ORVEX_INSTALL_BINDIR
    // Installed: the package's own library, from its private folder only.
    if (here == ORVEX_INSTALL_BINDIR) {
      *library = Join(ORVEX_PRIVATE_LIBDIR, kLibraryFile);
      return true;
    }
#endif
    // The build tree's, then beside the program, then where it would be
    // installed.
    for (const std::string& candidate : {Join(Join(Join(here, ".."), "spti"), kLibraryFile), Join(here, kLibraryFile),
                                         Join(ORVEX_PRIVATE_LIBDIR, kLibraryFile)}) {
      *library = candidate;
      if (FileReadable(candidate)) break;
    }
    return true;
  }
#endif
  *error = "unknown transport \"" + transport + "\" (aspi[:PATH]" + kSimTransport +
#ifndef _WIN32
           ", sgio" +
#endif
           std::string(")");
  return false;
}

void Trace(void* context, const SRB_ExecSCSICmd& srb, int result) {
  static_cast<CCliReport*>(context)->Request(srb, result);
}


// The library's own lines, joined into one reason.
std::string OneReason(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("; ") : std::string(1, c);
  return out;
}

// Loads the transport; 0, or the exit status after its line. What the
// library says while it starts (a device it cannot open, and why) goes into
// the result too, in *said.
int OpenTransport(const Run& run, CCliReport& out, CMyASPI32** aspi, std::string* said) {
  std::string library, error;
  int status = 0;
  if (!ResolveTransport(run.transport, &library, &error, &status))
    return Finish(out, status, error, status == ORVEX_EXIT_USAGE ? "usage" : "transport");
  const std::string what = library.empty() ? "wnaspi32" : library;
  BeginStderrCapture();
  *aspi = new CMyASPI32(library.empty() ? nullptr : library.c_str());
  const std::string lines = EndStderrCapture();
  *said = OneReason(lines);
  // Shown as the library wrote them, unless they are the reason of the
  // failure below, which its own line gives.
  if ((*aspi)->GetStatus() == 0 || (*aspi)->GetStatus() == ASPI_ERR_NO_LIBRARY ||
      (*aspi)->GetStatus() == ASPI_ERR_NO_ENTRY_POINT) {
    std::fputs(lines.c_str(), stderr);
    std::fflush(stderr);
  }
  if (run.options.verbose >= 3) out.Error("loaded " + what);
  (*aspi)->m_pfnTrace = &Trace;
  (*aspi)->m_pTraceContext = &out;
  switch ((*aspi)->GetStatus()) {
    case 0: return 0;
    case ASPI_ERR_NO_LIBRARY: {
      const std::string why = !library.empty() && !FileReadable(library)
                                  ? "no such file, or not readable"
                                  : "not a library this system can load";
      return Finish(out, ORVEX_EXIT_UNAVAILABLE, "cannot load the ASPI library " + what + ": " + why, "transport",
                    why);
    }
    case ASPI_ERR_NO_ENTRY_POINT:
      return Finish(out, ORVEX_EXIT_UNAVAILABLE,
                    "the library " + what + " lacks GetASPI32SupportInfo or SendASPI32Command: it is not an ASPI library",
                    "transport");
    default: {
      const std::string why = said->empty() ? "no host adapter could be used" : *said;
      return Finish(out, ORVEX_EXIT_UNAVAILABLE, "the ASPI library " + what + " is not ready: " + why, "transport",
                    why);
    }
  }
}

std::string Address(int ha, int target, int lun) {
  return std::to_string(ha) + ":" + std::to_string(target) + ":" + std::to_string(lun);
}

std::string Address(const DriveEntry& d) { return Address(d.nHaId, d.nTarget, d.nLun); }

// What answered the scan: every admitted drive, however many (the drive
// table's four rows are the dialog's), and the other devices, to name them
// when no drive is admitted.
struct Found {
  std::vector<DriveEntry> drives;
  std::vector<DriveEntry> others;
  int devices = 0;
};

struct ScanContext {
  CCliReport* out;
  CMyASPI32* aspi;
  Found* found;
  bool list;  // the scan command: a line and an event per device
};

void OnDevice(void* context, const SRB_ExecSCSICmd& srb) {
  ScanContext& c = *static_cast<ScanContext*>(context);
  ++c.found->devices;
  // The table's own admission, of the bytes that arrived.
  DriveEntry d;
  const bool admitted = CMyASPI32::ReadInquiryAnswer(srb, c.aspi->m_nLastArrived, &d) == 0;
  if (!admitted) {
    d = DriveEntry();
    CopyField(d.szVendor, srb.SRB_BufPointer + 8, 8);
    CopyField(d.szProduct, srb.SRB_BufPointer + 16, 16);
    CopyField(d.szRevision, srb.SRB_BufPointer + 32, 4);
    d.abInquiry[0] = srb.SRB_BufPointer[0];
    d.nHaId = srb.SRB_HaId;
    d.nTarget = srb.SRB_Target;
    d.nLun = srb.SRB_Lun;
  }
  (admitted ? c.found->drives : c.found->others).push_back(d);
  if (!c.list) return;
  const int type = d.abInquiry[0] & 0x1F;
  const int code = admitted ? CodeForModel(d.szProduct) : 0;
  nlohmann::ordered_json e = {{"event", "device"}, {"address", Address(d)}, {"type", type}};
  Merge(e, IdentityJson(d.szVendor, d.szProduct, d.szRevision));
  e["admitted"] = admitted;
  if (code != 0) e["model_code"] = code;
  c.out->Event(e);
  char line[160];
  std::snprintf(line, sizeof line, "%-8s type %02Xh  %s %s %s", Address(d).c_str(), type, d.szVendor, d.szProduct,
                d.szRevision);
  std::string text = line;
  if (admitted) text += code != 0 ? "  admitted, model code " + std::to_string(code) : "  admitted";
  c.out->Line(text);
}

Found ScanAll(CCliReport& out, CMyASPI32& aspi, bool list) {
  Found found;
  ScanContext context = {&out, &aspi, &found, list};
  aspi.InquireAll(&OnDevice, &context);
  out.EndQuietRun();
  return found;
}

int Scan(CCliReport& out, CMyASPI32& aspi) {
  Found found = ScanAll(out, aspi, true);
  if (found.devices == 0) out.Line("No device answered.");
  nlohmann::ordered_json detail = NewDetail();
  detail["devices"] = found.devices;
  return Report(out, "result", ORVEX_EXIT_OK, "", detail);
}

std::string Described(const DriveEntry& d) {
  return Address(d) + " (" + IdentityText(d.szVendor, d.szProduct, d.szRevision) + ")";
}

// The drives the run means; empty after the run's result (status in *status).
std::vector<DriveEntry> ChooseDrives(const Run& run, CCliReport& out, CMyASPI32& aspi, const std::string& said,
                                     int* status) {
  const Found found = ScanAll(out, aspi, false);
  // A drive asked for by its address is named, whatever else was found.
  if (found.drives.empty() && (run.drive.empty() || aspi.BusyDevices() > 0)) {
    if (aspi.BusyDevices() > 0) {
      // The library named the drive another updater holds, in its line.
      *status = Finish(out, ORVEX_EXIT_REFUSED,
                       "refused: another update is running on the drive named above: nothing was sent", "busy",
                       said.empty() ? "another update is running on the drive" : said);
    } else if (!found.others.empty()) {
      std::string names;
      for (const DriveEntry& d : found.others) names += (names.empty() ? "" : ", ") + Described(d);
      *status = Finish(out, ORVEX_EXIT_REFUSED, "no supported drive: found " + names + ", not a model this updater supports",
                       "no_supported_drive", "found " + names + ", not a model this updater supports");
    } else {
      // The library's lines above say why, when it knows.
      *status = Finish(out, ORVEX_EXIT_REFUSED, "no drive: no device answered", "no_drive",
                       said.empty() ? "no device answered" : said);
    }
    return {};
  }
  if (!run.drive.empty()) {
    int ha, target, lun;
    char rest;
    if (std::sscanf(run.drive.c_str(), "%d:%d:%d%c", &ha, &target, &lun, &rest) != 3 || ha < 0 || ha > 255 ||
        target < 0 || target > 7 || lun < 0 || lun > 7) {
      *status = Finish(out, ORVEX_EXIT_USAGE, "--drive " + run.drive + ": an address is HA:TARGET:LUN, as scan shows it",
                       "usage");
      return {};
    }
    for (const DriveEntry& d : found.drives)
      if (d.nHaId == ha && d.nTarget == target && d.nLun == lun) return {d};
    for (const DriveEntry& d : found.others)
      if (d.nHaId == ha && d.nTarget == target && d.nLun == lun) {
        const std::string why = "the device at " + Address(d) + ", " + IdentityText(d.szVendor, d.szProduct, d.szRevision) +
                                ", is not a model this updater supports";
        *status = Finish(out, ORVEX_EXIT_REFUSED, "refused: " + why + ": nothing was written to it", "no_supported_drive", why);
        return {};
      }
    *status = Finish(out, ORVEX_EXIT_REFUSED, "no admitted drive at " + run.drive + " (see orvex-cli scan)", "not_found");
    return {};
  }
  if (run.all || found.drives.size() == 1) return found.drives;
  for (const DriveEntry& d : found.drives)
    out.Line(Address(d) + "  " + IdentityText(d.szVendor, d.szProduct, d.szRevision));
  *status = Finish(out, ORVEX_EXIT_USAGE, "several drives: choose one with --drive HA:TARGET:LUN, or --all", "usage");
  return {};
}

const char* ReasonText(AdmitReason reason) {
  switch (reason) {
    case REFUSE_NO_DRIVE: return "no such drive";
    case REFUSE_MODEL: return "the image is for another model";
    case REFUSE_ID_TEXT: return "the drive's identification text is not in the image";
    case REFUSE_NO_ID_ANSWER: return "the drive did not give its identification text (no answer, a short one, or an empty text)";
    case REFUSE_NO_VERSION: return "the drive's firmware version could not be read (its INQUIRY answer gave none)";
    case REFUSE_SAME_OR_LOWER: return "the image's version is not newer than the drive's";
    case REFUSE_NO_WS_NEEDED: return "the drive's write strategy is not older than the image's";
    default: return "";
  }
}

const char* CauseName(AdmitReason reason) {
  switch (reason) {
    case REFUSE_NO_DRIVE: return "not_found";
    case REFUSE_MODEL: return "model";
    case REFUSE_ID_TEXT: return "id_text";
    case REFUSE_NO_ID_ANSWER: return "no_id_answer";
    case REFUSE_SAME_OR_LOWER: return "same_or_lower";
    case REFUSE_NO_WS_NEEDED: return "no_ws_needed";
    case REFUSE_NO_VERSION: return "no_version";
    default: return "image";
  }
}

std::string Thousands(long long n) {
  std::string digits = std::to_string(n < 0 ? -n : n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return (n < 0 ? "-" : "") + out;
}

// Why the image at `path` was not taken, from what its load found.
std::string ImageCause(const std::string& path, const FirmwareImage& image, int result) {
  // Windows opens no folder at all: ask the path.
  if (IsFolder(path)) return "it is a folder, not a file";
  const std::string error = image.m_nErrno != 0 ? std::strerror(image.m_nErrno) : "";
  switch (result) {
    case IMAGE_ERR_OPEN: return "it cannot be opened: " + (error.empty() ? std::string("no such file") : error);
    case IMAGE_ERR_LENGTH:
      return image.m_llFileLength < 0 ? "its length cannot be told; an image is 2,097,152 bytes"
                                      : "it is " + Thousands(image.m_llFileLength) + " bytes long, not 2,097,152";
    case IMAGE_ERR_NOT_FILE:
      switch (image.m_nFileKind) {
        case FILE_KIND_DIRECTORY: return "it is a folder, not a file";
        case FILE_KIND_FIFO: return "it is a named pipe (FIFO), not a file";
        case FILE_KIND_DEVICE: return "it is a device, not a file";
        case FILE_KIND_SOCKET: return "it is a socket, not a file";
        default: return "it is not a regular file";
      }
    case IMAGE_ERR_MEMORY: return "there is no memory for it";
    case IMAGE_ERR_READ: return "it could not be read whole" + (error.empty() ? std::string() : ": " + error);
    case IMAGE_ERR_IDENTITY:
      return "it carries no drive identity between offsets 140000h and 19FFFFh: it is no firmware image of this "
             "updater";
    default: return "it was not taken (" + std::to_string(result) + ")";
  }
}

// The image once, before any drive is reached: its cause when it cannot
// be loaded, and its identity for every drive's result.
int LoadImage(const Run& run, CCliReport& out, nlohmann::ordered_json* identity) {
  FirmwareImage image;
  const int rc = image.Load(run.image.c_str(), nullptr);
  if (rc != IMAGE_OK) {
    const std::string why = ImageCause(run.image, image, rc);
    return Finish(out, ORVEX_EXIT_REFUSED, "refused: the image " + run.image + ": " + why + ": nothing was sent",
                  "image", why);
  }
  *identity = IdentityJson(image.m_szVendor, image.m_szProduct, image.m_szRevision);
  nlohmann::ordered_json e = {{"event", "image"}, {"path", run.image}};
  Merge(e, *identity);
  out.Event(e);
  return 0;
}

// A request's result for a message.
std::string ResultWords(int result) {
  return result == ASPI_CHECK_CONDITION ? std::string("check condition") : "result " + std::to_string(result);
}

// What the failed step and its request say, in the command line's words.
std::string StepFailure(const CUpdateEngine& engine, const std::string& notice) {
  const int r = engine.m_nFailedResult;
  const std::string code = ResultWords(r);
  switch (engine.m_failedStage) {
    case STAGE_PREPARE: return "the drive did not report its firmware-zone checksum (" + code + ")";
    case STAGE_DISC:
      return "the drive did not answer its disc check, or did not eject its disc (" + code +
             "): take any disc out and try again";
    case STAGE_TRANSFER: return "a piece of the image did not reach the drive (" + code + ")";
    case STAGE_VERIFY:
      return r == -1 ? std::string("the drive's checksum of what it received differs from the image's")
                     : "the drive did not report its checksum of what it received (" + code + ")";
    default: return notice;
  }
}

// A drive the run could not hold: another updater has it, or its lock
// cannot be had at all, which would leave it to any other updater.
int NotHeld(CCliReport& out, const char* event, const std::string& address, int held, const std::string& note,
            nlohmann::ordered_json& detail) {
  const bool busy = held != ASPI_ERR_NO_LOCK;
  const std::string why =
      (busy ? "another update of the drive at " + address + " is running"
            : "the lock of the drive at " + address + " cannot be taken, so no other updater could be kept from it") +
      (note.empty() ? std::string() : " (" + note + ")");
  return Report(out, event, ORVEX_EXIT_REFUSED, "refused: " + why + ": nothing was sent",
                Because(detail, busy ? "busy" : "no_lock", why));
}

struct DriveOutcome {
  bool changed = false;     // written and committed
  bool otherModel = false;  // --all: the image is not for it, and it was left alone
};

// One drive, from its hold to its result: the checks inside the hold (so
// the check and the update see the same drive), the transfer, the commit.
// The drive is the only row of the table while it is worked on.
int RunDrive(const Run& run, CCliReport& out, CMyASPI32& aspi, const DriveEntry& entry,
             const nlohmann::ordered_json& imageId, const char* event, DriveOutcome* outcome) {
  const bool update = run.command == "update";
  *outcome = DriveOutcome();
  aspi.ReleaseDrive();
  aspi.m_drives[0] = entry;
  aspi.m_nDrives = 1;
  const int row = 0;
  const DriveEntry& d = aspi.m_drives[row];
  const std::string address = Address(d);
  const std::string name = address + ": ";

  // Before the engine, which ends its hold through it when it goes.
  CSystemHold hold(out, run.options.verbose > 0,
                   "Writing the firmware of drive " + address + " (" +
                       IdentityText(entry.szVendor, entry.szProduct, entry.szRevision) + "). Do not switch off the computer.");
  CUpdateEngine engine(aspi, out);
  // The drive is held before the first request of its checks, and kept
  // until its result; what the scan read before is read again inside the
  // hold, so the checks judge the drive as it is now.
  std::string note;
  const int held = aspi.HoldDrive(row, &note);
  if (!note.empty()) out.OnTrace(note);
  DriveEntry now;
  const int asked = held != 0 ? held : aspi.InquireDrive(row, &now);
  if (asked == 0) aspi.m_drives[row] = now;
  const std::string current = IdentityText(d.szVendor, d.szProduct, d.szRevision);
  nlohmann::ordered_json e = {{"event", "drive"}, {"address", address}};
  Merge(e, IdentityJson(d.szVendor, d.szProduct, d.szRevision));
  out.Event(e);
  nlohmann::ordered_json detail = NewDetail();
  detail["drive"] = address;
  detail["current"] = current;
  detail["current_id"] = IdentityJson(d.szVendor, d.szProduct, d.szRevision);
  detail["new"] = imageId.at("text");
  detail["new_id"] = imageId;
  if (held != 0) return NotHeld(out, event, address, held, note, detail);
  if (asked != 0) {
    const std::string why = "the drive changed since it was checked: once held, its INQUIRY gave no admitted drive (" +
                            ResultWords(asked) + ")";
    return Report(out, event, ORVEX_EXIT_REFUSED, "refused: the drive at " + address + " " + why.substr(10) +
                  ": nothing was sent", Because(detail, "drive_changed", why));
  }

  FirmwareImage image;
  AdmitRules rules;
  rules.writeStrategy = run.writeStrategy;
  AdmitResult admit;
  int rc = engine.Admit(image, run.image.c_str(), row, current, rules, &admit);
  const std::string have = Trimmed(d.szRevision), offered = imageId.at("revision");
  if (rc != ENGINE_OK) {
    if (admit.reason == REFUSE_IMAGE) {
      const std::string why = ImageCause(run.image, image, admit.imageResult);
      return Report(out, event, ORVEX_EXIT_REFUSED, "refused: the image " + run.image + ": " + why + ": nothing was sent",
                    Because(detail, "image", why));
    }
    const bool upToDate = admit.reason == REFUSE_SAME_OR_LOWER || admit.reason == REFUSE_NO_WS_NEEDED;
    if (upToDate && run.skipCurrent) {
      return Report(out, event, ORVEX_EXIT_OK,
                    name + "already current (" + have + "; the image has " + offered + "): nothing was sent", detail);
    }
    std::string why = ReasonText(admit.reason);
    if (admit.reason == REFUSE_NO_ID_ANSWER) why += " (" + ResultWords(engine.m_nFailedResult) + ")";
    if (upToDate) why += " (drive " + have + ", image " + offered + ")";
    if (admit.reason == REFUSE_MODEL)
      why += " (drive " + Trimmed(d.szVendor) + " " + Trimmed(d.szProduct) + ", image " +
             imageId.at("vendor").get<std::string>() + " " + imageId.at("product").get<std::string>() + ")";
    const bool otherModel = admit.reason == REFUSE_MODEL || admit.reason == REFUSE_ID_TEXT;
    if (otherModel && run.all) {
      // --all takes the drives the image fits; another model beside them
      // is left alone, with its line.
      outcome->otherModel = true;
      return Report(out, event, ORVEX_EXIT_OK, name + "left alone: " + why + ": nothing was sent", detail);
    }
    return Report(out, event, ORVEX_EXIT_REFUSED, name + "refused: " + why + ": nothing was sent",
                  Because(detail, CauseName(admit.reason), why));
  }
  if (run.writeStrategy && !admit.writeStrategy) {
    // Asked for the write strategy, the script gets it or a refusal: never
    // the main firmware in its place.
    const std::string why = "the drive's main firmware (" + have.substr(have.size() > 1 ? 1 : 0) +
                            ") is older than the image's (" + offered.substr(offered.size() > 1 ? 1 : 0) +
                            "): it needs the main firmware first";
    return Report(out, event, ORVEX_EXIT_REFUSED,
                  name + "refused: " + why +
                      "; run the same command without --write-strategy to update the main firmware: nothing was sent",
                  Because(detail, "needs_main_update", why));
  }
  const char* kind = admit.writeStrategy ? "write-strategy" : "main";
  const std::string what = admit.writeStrategy ? "the write strategy" : "the main firmware";
  detail["update"] = kind;
  if (!update) {
    out.Line(name + "an update would write " + what + ": " + current + " -> " + imageId.at("text").get<std::string>());
    return Report(out, event, ORVEX_EXIT_OK, "", detail);
  }
  out.m_strQuestion = what + " of " + address + " (" + have + " -> " + offered + ")";
  // From here an interrupt stops the update between its requests.
  EndOnInterrupt(false, run.options.json);
  if (InterruptRequested())
    return Report(out, event, ORVEX_EXIT_NOT_WRITTEN, name + "stopped by " + InterruptName() + ": nothing was written",
                  Because(detail, "interrupted", "stopped by " + InterruptName()));
  rc = engine.Prepare(image, row, admit.writeStrategy);
  if (rc == ENGINE_OK && !InterruptRequested()) rc = engine.Transfer(image, row, admit.writeStrategy);
  if (rc == ENGINE_OK && InterruptRequested()) {
    engine.m_bStopped = true;
    rc = ENGINE_NOT_WRITTEN;
  }
  if (rc != ENGINE_OK) {
    engine.EndUpdate();
    detail["stage"] = StageName(engine.m_failedStage);
    detail["aspi"] = engine.m_nFailedResult;
    if (rc == ENGINE_REFUSED && engine.m_bDriveChanged) {
      const std::string why = "the drive changed since it was checked (now " +
                              IdentityText(d.szVendor, d.szProduct, d.szRevision) + "), or did not answer";
      return Report(out, event, ORVEX_EXIT_REFUSED,
                    "refused: the drive at " + address + why.substr(9) +
                        ": nothing was written; run the update again to check it anew",
                    Because(detail, "drive_changed", why));
    }
    if (rc == ENGINE_REFUSED) return NotHeld(out, event, address, engine.m_nFailedResult, engine.m_strHoldNote, detail);
    if (rc == ENGINE_DECLINED) {
      const bool stopped = InterruptRequested();
      return Report(out, event, ORVEX_EXIT_DECLINED,
                    name + (stopped ? "stopped by " + InterruptName() + " at the confirmation: nothing was written"
                                    : std::string("declined: nothing was written")),
                    Because(detail, stopped ? "interrupted" : "declined", stopped ? "stopped by " + InterruptName()
                                                                                   : "declined at the confirmation"));
    }
    if (engine.m_bStopped)
      return Report(out, event, ORVEX_EXIT_NOT_WRITTEN,
                    name + "stopped by " + InterruptName() + " before the commit: the drive keeps its firmware",
                    Because(detail, "interrupted", "stopped by " + InterruptName()));
    const std::string why = StepFailure(engine, out.m_strLastNotice);
    return Report(out, event, ORVEX_EXIT_NOT_WRITTEN,
                  name + "failed before the commit: " + why + "; the drive keeps its firmware, and the update can be tried "
                         "again",
                  Because(detail, StageName(engine.m_failedStage), why));
  }

  HoldInterrupts(true);
  rc = engine.Commit(image, row, admit.writeStrategy);
  HoldInterrupts(false);
  if (rc != ENGINE_OK) {
    detail["stage"] = StageName(engine.m_failedStage);
    detail["aspi"] = engine.m_nFailedResult;
    const std::string why = engine.m_failedStage == STAGE_ZONE
                                ? "the firmware zone's checksum after the write strategy differs from the one before, "
                                  "or could not be read"
                                : "the drive did not complete the commit (" +
                                      ResultWords(engine.m_nFailedResult) + ")";
    return Report(out, event, ORVEX_EXIT_COMMIT_FAILED, name + why + ". " + kCommitFailedAdvice,
                  Because(detail, StageName(engine.m_failedStage), why));
  }
  outcome->changed = true;
  detail["changed"] = true;
  detail["restart_required"] = true;
  return Report(out, event, ORVEX_EXIT_OK,
                name + "updated " + what + " to " + offered +
                    ". Restart the computer before using the drive; a drive on a USB port must be installed again.",
                detail);
}

int CheckOrUpdate(const Run& run, CCliReport& out, CMyASPI32& aspi, const std::string& said) {
  nlohmann::ordered_json imageId;
  int status = LoadImage(run, out, &imageId);
  if (status != 0) return status;
  const std::vector<DriveEntry> drives = ChooseDrives(run, out, aspi, said, &status);
  if (drives.empty()) return status;
  DriveOutcome outcome;
  if (!run.all) return RunDrive(run, out, aspi, drives[0], imageId, "result", &outcome);

  // Every drive in turn, each with its own hold and result; the worst
  // status is the run's.
  int worst = ORVEX_EXIT_OK, done = 0, updated = 0, failed = 0, others = 0;
  nlohmann::ordered_json results = nlohmann::ordered_json::array();
  std::string stoppedWhy;
  for (const DriveEntry& d : drives) {
    if (!stoppedWhy.empty()) {
      results.push_back({{"drive", Address(d)}, {"exit", nullptr}, {"status", "skipped"}, {"changed", false}});
      continue;
    }
    const int s = RunDrive(run, out, aspi, d, imageId, "drive_result", &outcome);
    aspi.ReleaseDrive();
    ++done;
    updated += outcome.changed;
    others += outcome.otherModel;
    failed += s != ORVEX_EXIT_OK;
    if (s > worst) worst = s;
    results.push_back({{"drive", Address(d)}, {"exit", s},
                       {"status", outcome.otherModel ? "other_model" : ExitStatusName(s)},
                       {"changed", outcome.changed}});
    if (s != ORVEX_EXIT_OK && run.stopOnFailure) stoppedWhy = "--stop-on-failure after " + Address(d);
    if (InterruptRequested()) {
      stoppedWhy = "stopped by " + InterruptName();
      if (worst < ORVEX_EXIT_NOT_WRITTEN) worst = ORVEX_EXIT_NOT_WRITTEN;
    }
  }
  const bool update = run.command == "update";
  const int skipped = static_cast<int>(drives.size()) - done, unchanged = done - failed - updated - others;
  std::string message = std::to_string(drives.size()) + " drives: ";
  if (update) message += std::to_string(updated) + " updated, " + std::to_string(unchanged) + " already current, ";
  else message += std::to_string(unchanged) + " passed the checks, ";
  message += std::to_string(failed) + " not done";
  if (others > 0) message += ", " + std::to_string(others) + " of another model left alone";
  // No drive the image fits is no success.
  if (others == done && worst == ORVEX_EXIT_OK) worst = ORVEX_EXIT_REFUSED;
  if (skipped > 0) message += ", " + std::to_string(skipped) + " not tried (" + stoppedWhy + ")";
  nlohmann::ordered_json detail = NewDetail();
  detail["changed"] = updated > 0;
  detail["restart_required"] = updated > 0;
  detail["drives"] = results;
  if (others == done && skipped == 0)
    Because(detail, "model", "the image fits none of the " + std::to_string(drives.size()) + " drives");
  else if (worst != ORVEX_EXIT_OK)
    Because(detail, "drives", std::to_string(failed + skipped) + " of " + std::to_string(drives.size()) +
                                  " drives not done");
  // The summary is a result: standard output, whatever the status.
  out.Line(message);
  detail["message"] = message;
  return Report(out, "result", worst, "", detail);
}

}  // namespace

int main(int argc, char** argv) {
  Run run;
  CLI::App app{"orvex-cli " ORVEX_VERSION_TEXT ": firmware updater for rewritable DVD drives", "orvex-cli"};
  app.formatter(std::make_shared<CHelpAllFormatter>());
  app.footer(kHelpFooter);
  app.set_version_flag("--version", "orvex-cli " ORVEX_VERSION_TEXT);
  app.set_help_all_flag("--help-all", "Print the help of every command and exit");
  app.require_subcommand(1);
  app.fallthrough();
  app.add_flag("-v", run.options.verbose, "every request: CDB, result and sense (-vv: data too; -vvv: library)");
  app.add_flag("--json", run.options.json, "one JSON object per line on stdout; never prompts");
  CLI::Option* transport = app.add_option(
      "--transport", run.transport,
      std::string("aspi[:PATH] (an ASPI library)") + kSimHelp +
#ifndef _WIN32
          ", sgio (the drives of this machine)"
#endif
          "; default " + kDefaultTransport);
  CLI::App* scan = app.add_subcommand("scan", "list every device the transport reports");
  CLI::App* check = app.add_subcommand("check", "check an image against a drive; nothing is written");
  CLI::App* update = app.add_subcommand("update", "update a drive with an image");
  for (CLI::App* sub : {check, update}) {
    sub->add_option("IMAGE", run.image, "the firmware image (.bin, 2,097,152 bytes)")->required();
    CLI::Option* drive =
        sub->add_option("--drive", run.drive, "the drive's address HA:TARGET:LUN (needed with several drives)");
    sub->add_flag("--all", run.all, "every admitted drive, one after another, each with its own result line")
        ->excludes(drive);
    sub->add_flag("--write-strategy", run.writeStrategy,
                  "update the write strategy instead of the main firmware (refused when the drive needs the main "
                  "firmware first)");
    sub->add_flag("--skip-current", run.skipCurrent,
                  "a drive at the image's version or newer is no error: status 0, \"changed\":false, nothing sent");
  }
  update->add_flag("--yes", run.options.yes, "do not ask for confirmation (needed without a terminal, and with --json)");
  update->add_flag("--stop-on-failure", run.stopOnFailure, "with --all: try no further drive after one that failed");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return ORVEX_EXIT_OK;
  } catch (const CLI::CallForAllHelp&) {
    std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
    return ORVEX_EXIT_OK;
  } catch (const CLI::CallForVersion&) {
    std::puts("orvex-cli " ORVEX_VERSION_TEXT);
    return ORVEX_EXIT_OK;
  } catch (const CLI::ParseError& e) {
    bool json = false;
    for (int i = 1; i < argc; ++i) json = json || std::strcmp(argv[i], "--json") == 0;
    CliOptions o;
    o.json = json;
    CCliReport out(o);
    // Every JSON run starts with "start", even one whose command line is bad.
    out.Event({{"event", "start"}, {"tool", "orvex-cli"}, {"schema", kSchema}, {"version", ORVEX_VERSION_TEXT},
               {"command", nullptr}});
    std::string message = e.what();
    // A word where the command belongs is named, rather than a command
    // being asked for.
    if (!scan->parsed() && !check->parsed() && !update->parsed()) {
      for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
          if (std::strcmp(argv[i], "--transport") == 0) ++i;
          continue;
        }
        message = std::string("unknown command \"") + argv[i] + "\" (scan, check or update)";
        break;
      }
    }
    (void)transport;
    return Finish(out, ORVEX_EXIT_USAGE, message + " (orvex-cli --help shows the usage)", "usage");
  }
  run.command = scan->parsed() ? "scan" : check->parsed() ? "check" : "update";
  run.options.progressBar = !run.options.json && run.options.verbose == 0 && IsTerminal(CONSOLE_ERR);

  CCliReport out(run.options);
  out.Event({{"event", "start"}, {"tool", "orvex-cli"}, {"schema", kSchema}, {"version", ORVEX_VERSION_TEXT},
             {"command", run.command}, {"transport", run.transport}});
  InstallInterruptHandler(kHeldLine);
  EndOnInterrupt(true, run.options.json);

  // Nobody to ask and nobody said yes: refuse before anything reaches the
  // drive.
  if (run.command == "update" && !run.options.yes && run.options.json)
    return Finish(out, ORVEX_EXIT_REFUSED,
                  "--json asks no questions: nothing was sent; pass --yes to update without asking", "no_confirmation");
  if (run.command == "update" && !run.options.yes && !IsTerminal(CONSOLE_IN))
    return Finish(out, ORVEX_EXIT_REFUSED,
                  "no terminal to confirm the update on: nothing was sent; pass --yes to update without asking",
                  "no_confirmation");

  CMyASPI32* aspi = nullptr;
  std::string said;
  int status = OpenTransport(run, out, &aspi, &said);
  if (status == 0) status = run.command == "scan" ? Scan(out, *aspi) : CheckOrUpdate(run, out, *aspi, said);
  delete aspi;
  return status;
}
