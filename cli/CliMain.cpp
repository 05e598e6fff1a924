// orvex-cli: the update from a command line, for scripts, deployment tools
// and Linux machines. The same engine and the same drive requests as the
// dialog; exit statuses in cli/ExitStatus.h.
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

const char kHelpFooter[] =
    "Exit status:\n"
    "   0  done\n"
    "   1  declined at the confirmation\n"
    "   2  refused before any write reached the drive (image, model, version rules,\n"
    "      no such drive, no confirmation possible without --yes)\n"
    "   3  failed before the commit: the drive keeps its firmware; a retry is safe\n"
    "   4  failed during or after the commit: the drive's state is unknown\n"
    "  64  usage\n"
    "  69  no transport (library missing, incomplete or not ready)\n"
    " 130  ended by Ctrl-C (by another signal: 128 + its number) before an update\n"
    "      began: a scan, a check, or an update before it took the drive\n";

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

struct Run {
  CliOptions options;
  std::string command;
  std::string transport = kDefaultTransport;
  std::string image;
  std::string drive;
  bool writeStrategy = false;
};

// The result line (and JSON object) every run ends with.
int Finish(CCliReport& out, int status, const std::string& message, nlohmann::ordered_json extra = {}) {
  if (!message.empty()) {
    if (status == ORVEX_EXIT_OK) out.Line(message);
    else out.Error(message);
  }
  nlohmann::ordered_json r = {{"event", "result"}, {"exit", status}, {"status", ExitStatusName(status)}};
  if (!message.empty()) r["message"] = message;
  for (auto& item : extra.items()) r[item.key()] = item.value();
  if (!r.contains("restart_required")) r["restart_required"] = false;
  out.Event(r);
  return status;
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
  *error = "unknown transport \"" + transport + "\" (aspi[:PATH], sim:CONFIG" +
#ifndef _WIN32
           ", sgio" +
#endif
           std::string(")");
  return false;
}

void Trace(void* context, const SRB_ExecSCSICmd& srb, int result) {
  static_cast<CCliReport*>(context)->Request(srb, result);
}

// Loads the transport; 0, or the exit status after its line.
int OpenTransport(const Run& run, CCliReport& out, CMyASPI32** aspi) {
  std::string library, error;
  int status = 0;
  if (!ResolveTransport(run.transport, &library, &error, &status)) return Finish(out, status, error);
  const char* what = library.empty() ? "wnaspi32" : library.c_str();
  *aspi = new CMyASPI32(library.empty() ? nullptr : library.c_str());
  if (run.options.verbose >= 3) out.Error(std::string("loaded ") + what);
  (*aspi)->m_pfnTrace = &Trace;
  (*aspi)->m_pTraceContext = &out;
  switch ((*aspi)->GetStatus()) {
    case 0: return 0;
    case ASPI_ERR_NO_LIBRARY:
      return Finish(out, ORVEX_EXIT_UNAVAILABLE, std::string("cannot load the ASPI library ") + what);
    case ASPI_ERR_NO_ENTRY_POINT:
      return Finish(out, ORVEX_EXIT_UNAVAILABLE,
                    std::string("the library ") + what +
                        " lacks GetASPI32SupportInfo or SendASPI32Command: it is not an ASPI library");
    default:
      return Finish(out, ORVEX_EXIT_UNAVAILABLE,
                    std::string("the ASPI library ") + what +
                        " is not ready (no host adapter could be used); see the lines above");
  }
}

std::string Address(int ha, int target, int lun) {
  return std::to_string(ha) + ":" + std::to_string(target) + ":" + std::to_string(lun);
}

struct ScanContext {
  CCliReport* out;
  int found;
};

void ListDevice(void* context, const SRB_ExecSCSICmd& srb) {
  ScanContext& c = *static_cast<ScanContext*>(context);
  const BYTE* answer = srb.SRB_BufPointer;
  ++c.found;
  char vendor[9], product[17], revision[5];
  CopyField(vendor, answer + 8, 8);
  CopyField(product, answer + 16, 16);
  CopyField(revision, answer + 32, 4);
  const int type = answer[0] & 0x1F;
  const bool admitted = IsAdmittedVendor(vendor);
  const int code = admitted ? CodeForModel(product) : 0;
  const std::string address = Address(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
  nlohmann::ordered_json e = {{"event", "device"}, {"address", address}, {"type", type}, {"vendor", vendor},
                              {"product", product}, {"revision", revision}, {"admitted", admitted}};
  if (code != 0) e["model_code"] = code;
  c.out->Event(e);
  char line[160];
  std::snprintf(line, sizeof line, "%-8s type %02Xh  %s %s %s", address.c_str(), type, vendor, product, revision);
  std::string text = line;
  if (admitted) text += code != 0 ? "  admitted, model code " + std::to_string(code) : "  admitted";
  c.out->Line(text);
}

int Scan(Run& run, CCliReport& out, CMyASPI32& aspi) {
  ScanContext context = {&out, 0};
  aspi.InquireAll(&ListDevice, &context);
  if (context.found == 0) out.Line("No device answered.");
  return Finish(out, ORVEX_EXIT_OK, "", {{"devices", context.found}});
}

struct FindContext {
  int ha, target, lun;
  std::string identity;
};

void FindDevice(void* context, const SRB_ExecSCSICmd& srb) {
  FindContext& c = *static_cast<FindContext*>(context);
  if (srb.SRB_HaId != c.ha || srb.SRB_Target != c.target || srb.SRB_Lun != c.lun) return;
  char vendor[9], product[17], revision[5];
  CopyField(vendor, srb.SRB_BufPointer + 8, 8);
  CopyField(product, srb.SRB_BufPointer + 16, 16);
  CopyField(revision, srb.SRB_BufPointer + 32, 4);
  c.identity = IdentityText(vendor, product, revision);
}

// The drive row the run means; -1 after its line (status in *status).
int ChooseDrive(const Run& run, CCliReport& out, CMyASPI32& aspi, int* status) {
  if (aspi.m_nDrives == 0 && (run.drive.empty() || aspi.BusyDevices() > 0)) {
    // The library named the drive another updater holds, in its line.
    *status = aspi.BusyDevices() > 0
                  ? Finish(out, ORVEX_EXIT_REFUSED, "refused: another update is running on the drive named above: nothing was sent")
                  : Finish(out, ORVEX_EXIT_REFUSED, "There is not any drive");
    return -1;
  }
  if (!run.drive.empty()) {
    int ha, target, lun;
    char rest;
    if (std::sscanf(run.drive.c_str(), "%d:%d:%d%c", &ha, &target, &lun, &rest) != 3 || ha < 0 ||
        ha > 255 || target < 0 || target > 7 || lun < 0 || lun > 7) {
      *status = Finish(out, ORVEX_EXIT_USAGE, "--drive " + run.drive + ": an address is HA:TARGET:LUN, as scan shows it");
      return -1;
    }
    for (int i = 0; i < aspi.m_nDrives; ++i) {
      const DriveEntry& d = aspi.m_drives[i];
      if (d.nHaId == ha && d.nTarget == target && d.nLun == lun) return i;
    }
    // A device that answers there is named: it is another maker's drive,
    // or one this updater has no firmware for.
    FindContext found = {ha, target, lun, ""};
    aspi.InquireAll(&FindDevice, &found);
    *status = found.identity.empty()
                  ? Finish(out, ORVEX_EXIT_REFUSED, "no admitted drive at " + run.drive + " (see orvex-cli scan)")
                  : Finish(out, ORVEX_EXIT_REFUSED, "refused: the device at " + run.drive + ", " + found.identity +
                                                        ", is not a model this updater supports: nothing was written to it");
    return -1;
  }
  if (aspi.m_nDrives == 1) return 0;
  for (int i = 0; i < aspi.m_nDrives; ++i) {
    const DriveEntry& d = aspi.m_drives[i];
    out.Line(Address(d.nHaId, d.nTarget, d.nLun) + "  " + IdentityText(d.szVendor, d.szProduct, d.szRevision));
  }
  *status = Finish(out, ORVEX_EXIT_USAGE, "several drives: choose one with --drive HA:TARGET:LUN");
  return -1;
}

const char* ReasonText(AdmitReason reason) {
  switch (reason) {
    case REFUSE_IMAGE: return "the file is not a firmware image of this updater";
    case REFUSE_NO_DRIVE: return "no such drive";
    case REFUSE_MODEL: return "the image is for another model";
    case REFUSE_ID_TEXT: return "the drive's identification text is not in the image";
    case REFUSE_NO_ID_ANSWER: return "the drive did not give its identification text (no answer, a short one, or an empty text)";
    case REFUSE_SAME_OR_LOWER: return "the image's version is not newer than the drive's";
    case REFUSE_NO_WS_NEEDED: return "the drive's write strategy is not older than the image's";
    case REFUSE_NO_VERSION: return "the drive's firmware version could not be read (its INQUIRY answer gave none)";
    default: return "";
  }
}

std::string ImageResultText(const FirmwareImage& image, int result) {
  switch (result) {
    case IMAGE_ERR_OPEN: return "it cannot be opened";
    case IMAGE_ERR_LENGTH:
      return image.m_llFileLength < 0 ? "its length cannot be told; an image is 2,097,152 bytes"
                                      : "its length is " + std::to_string(image.m_llFileLength) +
                                            " bytes, not 2,097,152";
    case IMAGE_ERR_MEMORY: return "no memory for it";
    case IMAGE_ERR_READ: return "it could not be read whole";
    case IMAGE_ERR_IDENTITY: return "it carries no drive identity";
    case IMAGE_ERR_NOT_FILE:
      switch (image.m_nFileKind) {
        case FILE_KIND_DIRECTORY: return "it is a folder, not a file";
        case FILE_KIND_FIFO: return "it is a named pipe (FIFO), not a file";
        case FILE_KIND_DEVICE: return "it is a device, not a file";
        case FILE_KIND_SOCKET: return "it is a socket, not a file";
        default: return "it is not a regular file";
      }
    default: return "";
  }
}

int CheckOrUpdate(Run& run, CCliReport& out, CMyASPI32& aspi) {
  const bool update = run.command == "update";
  int status = 0;
  int scan = aspi.ScanDrives();
  if (scan != 0 && scan != ASPI_ERR_NO_DRIVE && aspi.m_nDrives == 0)
    return Finish(out, ORVEX_EXIT_UNAVAILABLE, "the drive scan failed (" + std::to_string(scan) + ")");
  const int row = ChooseDrive(run, out, aspi, &status);
  if (row < 0) return status;
  const DriveEntry& d = aspi.m_drives[row];
  const std::string address = Address(d.nHaId, d.nTarget, d.nLun);
  const std::string current = IdentityText(d.szVendor, d.szProduct, d.szRevision);
  out.Event({{"event", "drive"}, {"row", row}, {"address", address}, {"vendor", d.szVendor},
             {"product", d.szProduct}, {"revision", d.szRevision}});

  // Before the engine, which ends its hold through it when it goes.
  CSystemHold hold(out, run.options.verbose > 0,
                   "Writing the firmware of drive " + address + " (" + current + "). Do not switch off the computer.");
  CUpdateEngine engine(aspi, out);
  FirmwareImage image;
  AdmitRules rules;
  rules.writeStrategy = run.writeStrategy;
  AdmitResult admit;
  nlohmann::ordered_json detail = {{"drive", address}, {"current", current}};
  int rc = engine.Admit(image, run.image.c_str(), row, current, rules, &admit);
  if (!admit.incoming.empty()) detail["new"] = admit.incoming;
  if (rc != ENGINE_OK) {
    std::string why = ReasonText(admit.reason);
    if (admit.reason == REFUSE_IMAGE) why += ": " + ImageResultText(image, admit.imageResult);
    detail["reason"] = why;
    return Finish(out, ORVEX_EXIT_REFUSED, "refused: " + why, detail);
  }
  const char* kind = admit.writeStrategy ? "write-strategy" : "main";
  detail["update"] = kind;
  if (!update) {
    out.Line(std::string("An update would write the ") + (admit.writeStrategy ? "write strategy" : "main firmware") +
             " of " + address + ":");
    out.Line("  current: " + current);
    out.Line("  new:     " + admit.incoming);
    return Finish(out, ORVEX_EXIT_OK, "", detail);
  }
  // From here an interrupt stops the update between its requests.
  EndOnInterrupt(false, run.options.json);
  if (InterruptRequested())
    return Finish(out, ORVEX_EXIT_NOT_WRITTEN, "stopped by " + InterruptName() + ": nothing was written", detail);
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
    if (rc == ENGINE_REFUSED && engine.m_bDriveChanged)
      return Finish(out, ORVEX_EXIT_REFUSED,
                    "refused: the drive at " + address + " changed since it was checked (now " +
                        IdentityText(d.szVendor, d.szProduct, d.szRevision) + "), or did not answer: nothing was written; "
                        "run the update again to check it anew", detail);
    if (rc == ENGINE_REFUSED)
      return Finish(out, ORVEX_EXIT_REFUSED,
                    "refused: another update of the drive at " + address + " is running" +
                        (engine.m_strHoldNote.empty() ? std::string() : " (" + engine.m_strHoldNote + ")") +
                        ": nothing was sent",
                    detail);
    if (rc == ENGINE_DECLINED)
      return Finish(out, ORVEX_EXIT_DECLINED,
                    InterruptRequested() ? "stopped by " + InterruptName() + " at the confirmation: nothing was written"
                                         : std::string("declined: nothing was written"),
                    detail);
    if (engine.m_bStopped)
      return Finish(out, ORVEX_EXIT_NOT_WRITTEN,
                    "stopped by " + InterruptName() + " before the commit: the drive keeps its firmware", detail);
    return Finish(out, ORVEX_EXIT_NOT_WRITTEN,
                  "failed before the commit (" + out.m_strLastNotice + "): the drive keeps its firmware; "
                  "the update can be tried again",
                  detail);
  }

  HoldInterrupts(true);
  rc = engine.Commit(image, row, admit.writeStrategy);
  HoldInterrupts(false);
  if (rc != ENGINE_OK) {
    detail["stage"] = StageName(engine.m_failedStage);
    detail["aspi"] = engine.m_nFailedResult;
    return Finish(out, ORVEX_EXIT_COMMIT_FAILED, out.m_strLastNotice + ". " + kCommitFailedAdvice, detail);
  }
  detail["restart_required"] = true;
  return Finish(out, ORVEX_EXIT_OK,
                "Update was Completed! " + StringText(IDS_PLEASE_REBOOT).substr(0, StringText(IDS_PLEASE_REBOOT).find('\r')),
                detail);
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
  app.add_option("--transport", run.transport,
                 std::string("aspi[:PATH] (an ASPI library), sim:CONFIG (the simulated drive)") +
#ifndef _WIN32
                     ", sgio (the drives of this machine)"
#endif
                     "; default " + kDefaultTransport);
  CLI::App* scan = app.add_subcommand("scan", "list every device the transport reports");
  CLI::App* check = app.add_subcommand("check", "check an image against a drive; nothing is written");
  CLI::App* update = app.add_subcommand("update", "update a drive with an image");
  for (CLI::App* sub : {check, update}) {
    sub->add_option("IMAGE", run.image, "the firmware image (.bin, 2,097,152 bytes)")->required();
    sub->add_option("--drive", run.drive, "the drive's address HA:TARGET:LUN (needed with several drives)");
    sub->add_flag("--write-strategy", run.writeStrategy, "update the write strategy instead of the main firmware");
  }
  update->add_flag("--yes", run.options.yes, "do not ask for confirmation (needed without a terminal)");

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
    out.Event({{"event", "start"}, {"tool", "orvex-cli"}, {"schema", 1}, {"version", ORVEX_VERSION_TEXT},
               {"command", nullptr}});
    return Finish(out, ORVEX_EXIT_USAGE, std::string(e.what()) + " (orvex-cli --help shows the usage)");
  }
  run.command = scan->parsed() ? "scan" : check->parsed() ? "check" : "update";
  run.options.progressBar = !run.options.json && run.options.verbose == 0 && IsTerminal(CONSOLE_ERR);

  CCliReport out(run.options);
  out.Event({{"event", "start"}, {"tool", "orvex-cli"}, {"schema", 1}, {"version", ORVEX_VERSION_TEXT},
             {"command", run.command}, {"transport", run.transport}});
  InstallInterruptHandler(kHeldLine);
  EndOnInterrupt(true, run.options.json);

  // Nobody to ask and nobody said yes: refuse before anything reaches the
  // drive.
  if (run.command == "update" && !run.options.yes && (run.options.json || !IsTerminal(CONSOLE_IN)))
    return Finish(out, ORVEX_EXIT_REFUSED,
                  "no terminal to confirm the update on: nothing was sent; pass --yes to update without asking");
  if (run.command != "scan" && !FileReadable(run.image))
    return Finish(out, ORVEX_EXIT_REFUSED, "cannot read the image " + run.image + ": nothing was sent");

  CMyASPI32* aspi = nullptr;
  int status = OpenTransport(run, out, &aspi);
  if (status == 0) status = run.command == "scan" ? Scan(run, out, *aspi) : CheckOrUpdate(run, out, *aspi);
  delete aspi;
  return status;
}
