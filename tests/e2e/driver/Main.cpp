// OrvexDriver: drives the running Orvex.exe from outside, in the same Wine
// prefix, by a small script. One transcript line per command; the first
// failed expectation ends the run with exit status 1 (2 for a script error).
//
//   OrvexDriver.exe [--vars FILE] [--record FILE] [--timeout MS] [SCRIPT | -]
//
// --vars:   commands that measure something (screen_rect, syscolor, units)
//           append NAME=VALUE lines here for the calling shell to source.
// --record: every message box seen is appended here (handle, icon, caption,
//           text), once, so a case can check the boxes of several runs in order.
// The commands are listed in tests/e2e/README.md.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Probe.h"
#include "Script.h"

namespace drv {
namespace {

struct Failure {
  std::string why;
  int status;  // 1 failed expectation, 2 script error
};

[[noreturn]] void Fail(const std::string& why) { throw Failure{why, 1}; }
[[noreturn]] void Usage(const std::string& why) { throw Failure{why, 2}; }

class Driver {
 public:
  std::string varsPath, recordPath;
  int defaultTimeout = 10000;

  void LoadRecord() {
    if (recordPath.empty()) return;
    std::ifstream in(recordPath, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      unsigned long h = std::strtoul(line.c_str(), nullptr, 16);
      if (h) seen_.insert(reinterpret_cast<HWND>(h));
      ++boxCount_;
    }
  }

  // Runs one command; returns the detail for the transcript.
  std::string Run(const std::vector<std::string>& w) {
    ScanBoxes();
    const std::string& c = w[0];
    if (c == "window") return CmdWindow(w);
    if (c == "wait_visible") return CmdWaitVisible(w);
    if (c == "activate") return CmdActivate(w);
    if (c == "text") return Quote(TextOf(Arg(w, 1)));
    if (c == "expect_text" || c == "expect_contains" || c == "expect_not_contains") return CmdExpectText(w);
    if (c == "wait_text" || c == "wait_contains") return CmdWaitText(w);
    if (c == "expect_enabled" || c == "expect_disabled" || c == "wait_enabled" || c == "wait_disabled")
      return CmdEnabled(w);
    if (c == "expect_visible" || c == "expect_hidden") return CmdVisible(w);
    if (c == "expect_focus") return CmdFocus(w);
    if (c == "units") return CmdUnits(w);
    if (c == "rect") return CmdRect(w);
    if (c == "expect_rect") return CmdExpectRect(w);
    if (c == "screen_rect") return CmdScreenRect(w);
    if (c == "syscolor") return CmdSysColor(w);
    if (c == "click") return CmdClick(w);
    if (c == "select") return CmdSelect(w);
    if (c == "expect_rows") return CmdRows(w);
    if (c == "expect_row") return CmdRow(w);
    if (c == "expect_selected") return CmdSelected(w);
    if (c == "send" || c == "send_item") return CmdSend(w);
    if (c == "expect_answer") return CmdExpectAnswer(w);
    if (c == "post" || c == "post_item") return CmdPost(w);
    if (c == "settext") return CmdSetText(w);
    if (c == "note") return CmdNote(w);
    if (c == "wait_box") return CmdWaitBox(w);
    if (c == "expect_icon") return CmdExpectIcon(w);
    if (c == "answer") return CmdAnswer(w);
    if (c == "expect_no_box") return CmdNoBox(w);
    if (c == "boxes") return CmdBoxes();
    if (c == "gone") return CmdGone(w);
    if (c == "no_window") return CmdNoWindow(w);
    if (c == "process_gone") return CmdProcessGone(w);
    if (c == "dump") return CmdDump();
    Usage("unknown command " + c);
  }

  void DumpState() {
    std::printf("  state: window %p pid %lu\n", (void*)win_, (unsigned long)pid_);
    for (const TopWindow& t : TopWindowsOf(pid_)) {
      std::printf("  top-level %p %s %s %s", (void*)t.hwnd, t.visible ? "visible" : "hidden", t.cls.c_str(),
                  Quote(t.caption).c_str());
      if (IsMessageBox(t.hwnd)) std::printf(" box text %s", Quote(MessageBoxText(t.hwnd)).c_str());
      std::printf("\n");
    }
  }

 private:
  HWND win_ = nullptr;
  DWORD pid_ = 0;
  HANDLE process_ = nullptr;
  HWND box_ = nullptr;
  double baseX_ = 0, baseY_ = 0;
  std::set<HWND> seen_;
  int boxCount_ = 0;
  std::vector<std::string> boxLog_;

  // ---- arguments

  static const std::string& Arg(const std::vector<std::string>& w, size_t i) {
    if (i >= w.size()) Usage(w[0] + ": missing argument " + std::to_string(i));
    return w[i];
  }
  static long Int(const std::vector<std::string>& w, size_t i) {
    long v = 0;
    if (!ParseInt(Arg(w, i), &v)) Usage(w[0] + ": not a number: " + w[i]);
    return v;
  }
  static long IntOr(const std::vector<std::string>& w, size_t i, long dflt) {
    return i < w.size() ? Int(w, i) : dflt;
  }
  static void MaxArgs(const std::vector<std::string>& w, size_t n) {
    if (w.size() > n + 1) Usage(w[0] + ": too many arguments");
  }

  // ---- windows

  HWND Window() {
    if (!win_) Usage("no window: use `window CAPTION` first");
    if (!IsWindow(win_)) Fail("the window is gone");
    return win_;
  }
  // Id 0 names the window itself.
  HWND Item(const std::string& idWord) {
    long id = 0;
    if (!ParseInt(idWord, &id)) Usage("not a control id: " + idWord);
    HWND w = Window();
    if (id == 0) return w;
    HWND item = GetDlgItem(w, (int)id);
    if (!item) Fail("no control " + idWord);
    return item;
  }
  std::string TextOf(const std::string& idWord) {
    std::string t;
    if (!ReadText(Item(idWord), &t)) Fail("control " + idWord + " did not answer WM_GETTEXT (thread busy?)");
    return t;
  }
  int Timeout(const std::vector<std::string>& w, size_t i) { return (int)IntOr(w, i, defaultTimeout); }

  // Polls `cond` every 20 ms until it holds or `ms` pass; message boxes are
  // recorded on the way. The short pause is the polling cadence, not the
  // waiting strategy: every wait ends on its condition or its bound.
  bool PollUntil(int ms, const std::function<bool()>& cond) {
    DWORD start = GetTickCount();
    for (;;) {
      ScanBoxes();
      if (cond()) return true;
      if ((int)(GetTickCount() - start) >= ms) return false;
      Sleep(20);
    }
  }

  void ScanBoxes() {
    for (const TopWindow& t : TopWindowsOf(pid_)) {
      if (!t.visible || seen_.count(t.hwnd) || !IsMessageBox(t.hwnd)) continue;
      seen_.insert(t.hwnd);
      std::string icon = MessageBoxIcon(t.hwnd), text = MessageBoxText(t.hwnd);
      char line[64];
      std::snprintf(line, sizeof line, "%lx\t", (unsigned long)(ULONG_PTR)t.hwnd);
      std::string rec = std::string(line) + icon + "\t" + t.caption + "\t" + Quote(text);
      boxLog_.push_back(rec);
      ++boxCount_;
      std::printf("  box #%d seen: caption %s icon %s text %s\n", boxCount_, Quote(t.caption).c_str(),
                  icon.c_str(), Quote(text).c_str());
      if (!recordPath.empty()) {
        FILE* f = std::fopen(recordPath.c_str(), "ab");
        if (f) {
          std::fprintf(f, "%s\n", rec.c_str());
          std::fclose(f);
        }
      }
    }
  }

  void Var(const std::string& name, const std::string& value) {
    for (char ch : name) {
      if (!(isalnum((unsigned char)ch) || ch == '_')) Usage("bad variable name " + name);
    }
    if (varsPath.empty()) return;
    FILE* f = std::fopen(varsPath.c_str(), "ab");
    if (!f) Fail("cannot write " + varsPath);
    std::fprintf(f, "%s=%s\n", name.c_str(), value.c_str());
    std::fclose(f);
  }

  // ---- commands

  std::string CmdWindow(const std::vector<std::string>& w) {
    MaxArgs(w, 2);
    const std::string& caption = Arg(w, 1);
    HWND found = nullptr;
    DWORD pid = 0;
    bool ok = PollUntil(Timeout(w, 2), [&] {
      for (const TopWindow& t : TopWindows()) {
        if (t.caption == caption && (t.cls == "#32770" || found == nullptr)) {
          found = t.hwnd;
          pid = t.pid;
          if (t.cls == "#32770") return true;
        }
      }
      return found != nullptr;
    });
    if (!ok) Fail("no window captioned " + Quote(caption));
    if (pid != pid_) {
      if (process_) CloseHandle(process_);
      process_ = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    }
    win_ = found;
    pid_ = pid;
    baseX_ = baseY_ = 0;
    char buf[160];
    std::snprintf(buf, sizeof buf, "hwnd %p pid %lu class %s %s", (void*)found, (unsigned long)pid,
                  ClassOf(found).c_str(), IsWindowVisible(found) ? "visible" : "hidden");
    return buf;
  }

  std::string CmdWaitVisible(const std::vector<std::string>& w) {
    MaxArgs(w, 1);
    HWND h = Window();
    if (!PollUntil(Timeout(w, 1), [&] { return IsWindowVisible(h) != FALSE; })) Fail("window stays hidden");
    return "visible";
  }

  std::string CmdActivate(const std::vector<std::string>& w) {
    MaxArgs(w, 1);
    HWND h = Window();
    bool ok = PollUntil(Timeout(w, 1), [&] {
      if (GetForegroundWindow() == h) return true;
      SetForegroundWindow(h);
      return GetForegroundWindow() == h;
    });
    if (!ok) Fail("cannot make the window the foreground window");
    return "foreground";
  }

  std::string CmdExpectText(const std::vector<std::string>& w) {
    MaxArgs(w, 2);
    const std::string& want = Arg(w, 2);
    std::string got = TextOf(Arg(w, 1));
    bool ok = w[0] == "expect_text" ? got == want
              : w[0] == "expect_contains" ? got.find(want) != std::string::npos
                                          : got.find(want) == std::string::npos;
    if (!ok) Fail("text is " + Quote(got));
    return Quote(got);
  }

  std::string CmdWaitText(const std::vector<std::string>& w) {
    MaxArgs(w, 3);
    HWND item = Item(Arg(w, 1));
    const std::string& want = Arg(w, 2);
    bool exact = w[0] == "wait_text";
    std::string got;
    bool ok = PollUntil(Timeout(w, 3), [&] {
      if (!IsWindow(item) || !ReadText(item, &got, 200)) return false;
      return exact ? got == want : got.find(want) != std::string::npos;
    });
    if (!ok) Fail("text stays " + Quote(got));
    return Quote(got);
  }

  std::string CmdEnabled(const std::vector<std::string>& w) {
    bool wait = w[0].compare(0, 5, "wait_") == 0;
    MaxArgs(w, wait ? 2 : 1);
    HWND item = Item(Arg(w, 1));
    bool want = w[0].find("enabled") != std::string::npos;
    bool ok = wait ? PollUntil(Timeout(w, 2), [&] { return (IsWindowEnabled(item) != FALSE) == want; })
                   : (IsWindowEnabled(item) != FALSE) == want;
    if (!ok) Fail(want ? "control is disabled" : "control is enabled");
    return want ? "enabled" : "disabled";
  }

  std::string CmdVisible(const std::vector<std::string>& w) {
    MaxArgs(w, 1);
    bool want = w[0] == "expect_visible";
    bool vis = IsWindowVisible(Item(Arg(w, 1))) != FALSE;
    if (vis != want) Fail(vis ? "control is visible" : "control is hidden");
    return vis ? "visible" : "hidden";
  }

  std::string CmdFocus(const std::vector<std::string>& w) {
    MaxArgs(w, 2);
    HWND item = Item(Arg(w, 1));
    DWORD tid = GetWindowThreadProcessId(Window(), nullptr);
    HWND focus = nullptr;
    bool ok = PollUntil(Timeout(w, 2), [&] {
      GUITHREADINFO gi = {};
      gi.cbSize = sizeof gi;
      if (!GetGUIThreadInfo(tid, &gi)) return false;
      focus = gi.hwndFocus;
      return focus == item;
    });
    if (!ok) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "focus is on %p (id %d)", (void*)focus, focus ? GetDlgCtrlID(focus) : 0);
      Fail(buf);
    }
    return "focused";
  }

  // Dialog base units by measurement: a dialog's client area is exactly its
  // template size mapped with MulDiv(cx, baseX, 4) and MulDiv(cy, baseY, 8),
  // and the base units are whole numbers (the font's average character
  // width and its height), so the one integer that reproduces the client
  // size is the base unit. MapDialogRect cannot be asked from another process.
  std::string CmdUnits(const std::vector<std::string>& w) {
    MaxArgs(w, 3);
    long cx = Int(w, 1), cy = Int(w, 2);
    if (cx < 4 || cy < 8) Usage("units: template size too small");
    RECT rc;
    GetClientRect(Window(), &rc);
    int pw = rc.right, ph = rc.bottom;
    int bx = 0, by = 0;
    for (int b = 1; b <= 200 && !bx; ++b) {
      if (MulDiv(cx, b, 4) == pw) bx = b;
    }
    for (int b = 1; b <= 400 && !by; ++b) {
      if (MulDiv(cy, b, 8) == ph) by = b;
    }
    char buf[160];
    if (!bx || !by) {
      std::snprintf(buf, sizeof buf, "client %dx%d is not %ldx%ld dialog units of any whole base unit", pw, ph, cx,
                    cy);
      Fail(buf);
    }
    baseX_ = bx;
    baseY_ = by;
    Var("UNITS_X", std::to_string(bx));
    Var("UNITS_Y", std::to_string(by));
    std::snprintf(buf, sizeof buf, "base units %d x %d (client %d x %d pixels)", bx, by, pw, ph);
    return buf;
  }

  RECT ClientRectOf(HWND item) {
    RECT rc;
    GetWindowRect(item, &rc);
    MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
  }

  std::string DescribeRect(HWND item) {
    RECT rc = ClientRectOf(item);
    char buf[200];
    int n = std::snprintf(buf, sizeof buf, "pixels %ld,%ld %ldx%ld", rc.left, rc.top, rc.right - rc.left,
                          rc.bottom - rc.top);
    if (baseX_ > 0) {
      std::snprintf(buf + n, sizeof buf - n, "; dialog units %.1f,%.1f %.1fx%.1f", rc.left * 4 / baseX_,
                    rc.top * 8 / baseY_, (rc.right - rc.left) * 4 / baseX_, (rc.bottom - rc.top) * 8 / baseY_);
    }
    return buf;
  }

  std::string CmdRect(const std::vector<std::string>& w) {
    MaxArgs(w, 1);
    return DescribeRect(Item(Arg(w, 1)));
  }

  // expect_rect ID X Y W H [TOL]: in dialog units, "-" skips a value.
  std::string CmdExpectRect(const std::vector<std::string>& w) {
    MaxArgs(w, 6);
    if (baseX_ <= 0) Usage("expect_rect: measure the base units with `units CX CY` first");
    HWND item = Item(Arg(w, 1));
    double tol = w.size() > 6 ? std::atof(w[6].c_str()) : 1.0;
    RECT rc = ClientRectOf(item);
    double got[4] = {rc.left * 4 / baseX_, rc.top * 8 / baseY_, (rc.right - rc.left) * 4 / baseX_,
                     (rc.bottom - rc.top) * 8 / baseY_};
    const char* names[4] = {"x", "y", "width", "height"};
    std::string detail = DescribeRect(item);
    for (int i = 0; i < 4; ++i) {
      const std::string& a = Arg(w, 2 + i);
      if (a == "-") continue;
      long want = 0;
      if (!ParseInt(a, &want)) Usage("expect_rect: not a number: " + a);
      if (std::fabs(got[i] - want) > tol) Fail(std::string(names[i]) + " differs: " + detail);
    }
    return detail;
  }

  // screen_rect ID NAME: NAME_L, NAME_T, NAME_R, NAME_B, NAME_W, NAME_H in
  // screen pixels (equal to root-window pixels of the X display).
  std::string CmdScreenRect(const std::vector<std::string>& w) {
    MaxArgs(w, 2);
    HWND item = Item(Arg(w, 1));
    const std::string& name = Arg(w, 2);
    RECT rc;
    GetWindowRect(item, &rc);
    Var(name + "_L", std::to_string(rc.left));
    Var(name + "_T", std::to_string(rc.top));
    Var(name + "_R", std::to_string(rc.right));
    Var(name + "_B", std::to_string(rc.bottom));
    Var(name + "_W", std::to_string(rc.right - rc.left));
    Var(name + "_H", std::to_string(rc.bottom - rc.top));
    // The client area's origin too, for controls drawn inside a border.
    POINT p = {0, 0};
    ClientToScreen(item, &p);
    Var(name + "_CX", std::to_string(p.x));
    Var(name + "_CY", std::to_string(p.y));
    char buf[120];
    std::snprintf(buf, sizeof buf, "screen %ld,%ld-%ld,%ld client origin %ld,%ld", rc.left, rc.top, rc.right,
                  rc.bottom, p.x, p.y);
    return buf;
  }

  // syscolor INDEX NAME: NAME=RRGGBB, the system colour the target sees too.
  std::string CmdSysColor(const std::vector<std::string>& w) {
    MaxArgs(w, 2);
    DWORD c = GetSysColor((int)Int(w, 1));
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    Var(Arg(w, 2), hex);
    return hex;
  }

  std::string CmdClick(const std::vector<std::string>& w) {
    MaxArgs(w, 2);
    HWND item = Item(Arg(w, 1));
    if (!IsWindowEnabled(item)) Fail("control is disabled");
    return SendSettled(item, BM_CLICK, 0, 0, pid_, (int)IntOr(w, 2, 3000)).detail;
  }

  std::string CmdSelect(const std::vector<std::string>& w) {
    MaxArgs(w, 3);
    HWND item = Item(Arg(w, 1));
    long row = Int(w, 2);
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(item, CB_SETCURSEL, row, 0, SMTO_NORMAL, 2000, &r)) Fail("CB_SETCURSEL not answered");
    if ((LRESULT)r != row) Fail("CB_SETCURSEL returned " + std::to_string((long)(LRESULT)r));
    WPARAM wp = MAKEWPARAM(GetDlgCtrlID(item), CBN_SELCHANGE);
    return SendSettled(Window(), WM_COMMAND, wp, (LPARAM)item, pid_, (int)IntOr(w, 3, 3000)).detail;
  }

  long ComboCall(HWND item, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(item, msg, wp, lp, SMTO_NORMAL, 2000, &r)) Fail("combo box did not answer");
    return (long)(LRESULT)r;
  }

  std::string CmdRows(const std::vector<std::string>& w) {
    MaxArgs(w, 2);
    long n = ComboCall(Item(Arg(w, 1)), CB_GETCOUNT, 0, 0), want = Int(w, 2);
    if (n != want) Fail(std::to_string(n) + " rows");
    return std::to_string(n) + " rows";
  }

  std::string CmdRow(const std::vector<std::string>& w) {
    MaxArgs(w, 3);
    HWND item = Item(Arg(w, 1));
    long i = Int(w, 2);
    long len = ComboCall(item, CB_GETLBTEXTLEN, i, 0);
    if (len < 0) Fail("no row " + std::to_string(i));
    // Wine 8 fills the buffer of a cross-process CB_GETLBTEXT with wide
    // characters even when sent as ANSI, so ask in wide characters and
    // convert; the buffer has room to spare either way.
    std::vector<wchar_t> wide(len * 2 + 16, L'\0');
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(item, CB_GETLBTEXT, i, (LPARAM)wide.data(), SMTO_NORMAL, 2000, &r))
      Fail("combo box did not answer");
    std::vector<char> buf(wide.size() * 2 + 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, buf.data(), (int)buf.size() - 1, nullptr, nullptr);
    std::string got(buf.data());
    if (got != Arg(w, 3)) Fail("row is " + Quote(got));
    return Quote(got);
  }

  std::string CmdSelected(const std::vector<std::string>& w) {
    MaxArgs(w, 2);
    long sel = ComboCall(Item(Arg(w, 1)), CB_GETCURSEL, 0, 0);
    if (sel != Int(w, 2)) Fail("selected row is " + std::to_string(sel));
    return "row " + std::to_string(sel);
  }

  // send MSG [WPARAM [LPARAM [SETTLE_MS]]] to the window;
  // send_item ID MSG [WPARAM [LPARAM [SETTLE_MS]]] to a control.
  std::string CmdSend(const std::vector<std::string>& w) {
    size_t at = w[0] == "send_item" ? 2 : 1;
    MaxArgs(w, at + 3);
    HWND target = at == 2 ? Item(Arg(w, 1)) : Window();
    return SendSettled(target, (UINT)Int(w, at), (WPARAM)IntOr(w, at + 1, 0), (LPARAM)IntOr(w, at + 2, 0), pid_,
                       (int)IntOr(w, at + 3, 3000))
        .detail;
  }

  // expect_answer MSG W L WANT [MS]: sent as Windows asks at a logoff, a
  // shutdown or a suspend (SendMessageTimeout, SMTO_ABORTIFHUNG, 5 s by
  // default); WANT is the answer, or `none` for no answer in time.
  std::string CmdExpectAnswer(const std::vector<std::string>& w) {
    MaxArgs(w, 5);
    const std::string& want = Arg(w, 4);
    DWORD_PTR r = 0;
    DWORD start = GetTickCount();
    SetLastError(0);
    BOOL ok = SendMessageTimeoutA(Window(), (UINT)Int(w, 1), (WPARAM)Int(w, 2), (LPARAM)Int(w, 3),
                                  SMTO_NORMAL | SMTO_ABORTIFHUNG, (UINT)IntOr(w, 5, 5000), &r) != 0;
    char got[96];
    if (ok)
      std::snprintf(got, sizeof got, "answered %ld after %lu ms", (long)(LRESULT)r, (unsigned long)(GetTickCount() - start));
    else
      std::snprintf(got, sizeof got, "no answer after %lu ms (error %lu)", (unsigned long)(GetTickCount() - start),
                    (unsigned long)GetLastError());
    if (want == "none") {
      if (ok) Fail(std::string("want no answer, ") + got);
    } else {
      if (!ok) Fail(std::string("want ") + want + ", " + got);
      if ((long)(LRESULT)r != Int(w, 4)) Fail(std::string("want ") + want + ", " + got);
    }
    return got;
  }

  std::string CmdPost(const std::vector<std::string>& w) {
    size_t at = w[0] == "post_item" ? 2 : 1;
    MaxArgs(w, at + 2);
    HWND target = at == 2 ? Item(Arg(w, 1)) : Window();
    if (!PostMessageA(target, (UINT)Int(w, at), (WPARAM)IntOr(w, at + 1, 0), (LPARAM)IntOr(w, at + 2, 0)))
      Fail("PostMessage failed");
    return "posted";
  }

  // settext ID TEXT [MS]: WM_SETTEXT to a control (0: the window), for
  // example the file-name edit of a file dialog. Wine marshals the text of
  // a cross-process WM_SETTEXT; the bound keeps a busy target from hanging
  // the driver.
  std::string CmdSetText(const std::vector<std::string>& w) {
    MaxArgs(w, 3);
    HWND item = Item(Arg(w, 1));
    const std::string& text = Arg(w, 2);
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                             Timeout(w, 3), &r))
      Fail("WM_SETTEXT not answered");
    if (!r) Fail("WM_SETTEXT refused");
    std::string got;
    if (!ReadText(item, &got) || got != text) Fail("text reads back as " + Quote(got));
    return Quote(got);
  }

  std::string CmdNote(const std::vector<std::string>& w) {
    std::string s;
    for (size_t i = 1; i < w.size(); ++i) s += (i > 1 ? " " : "") + w[i];
    std::printf("NOTE: %s\n", s.c_str());
    return "";
  }

  HWND FindBox(const std::string& caption, const std::string* text) {
    for (const TopWindow& t : TopWindowsOf(pid_)) {
      if (!t.visible || !IsMessageBox(t.hwnd)) continue;
      if (caption != "*" && t.caption != caption) continue;
      if (text && MessageBoxText(t.hwnd) != *text) continue;
      return t.hwnd;
    }
    return nullptr;
  }

  // wait_box TEXT [CAPTION] [MS]: CAPTION "Orvex" unless given; "*" any.
  std::string CmdWaitBox(const std::vector<std::string>& w) {
    MaxArgs(w, 3);
    const std::string& text = Arg(w, 1);
    std::string caption = "Orvex";
    size_t at = 2;
    long dummy;
    if (w.size() > 2 && !ParseInt(w[2], &dummy)) caption = w[at++];
    HWND box = nullptr;
    if (!PollUntil(Timeout(w, at), [&] { return (box = FindBox(caption, &text)) != nullptr; })) {
      HWND other = FindBox("*", nullptr);
      Fail("no box " + Quote(text) +
           (other ? "; showing instead " + Quote(MessageBoxText(other)) : std::string("; no box at all")));
    }
    box_ = box;
    ScanBoxes();  // record it before the transcript line that names it
    return "icon " + MessageBoxIcon(box);
  }

  HWND Box() {
    if (!box_ || !IsWindow(box_)) Usage("no box: use `wait_box TEXT` first");
    return box_;
  }

  std::string CmdExpectIcon(const std::vector<std::string>& w) {
    MaxArgs(w, 1);
    std::string got = MessageBoxIcon(Box());
    if (got != Arg(w, 1)) Fail("icon is " + got);
    return got;
  }

  // answer ok|cancel|ID [MS]: presses the box's button and waits for the box
  // to go.
  std::string CmdAnswer(const std::vector<std::string>& w) {
    MaxArgs(w, 2);
    HWND box = Box();
    const std::string& a = Arg(w, 1);
    long id = a == "ok" ? IDOK : a == "cancel" ? IDCANCEL : a == "yes" ? IDYES : a == "no" ? IDNO : 0;
    if (!id && !ParseInt(a, &id)) Usage("answer: ok, cancel, yes, no or a button id");
    HWND btn = GetDlgItem(box, (int)id);
    if (!btn) Fail("the box has no button " + a);
    SendSettled(btn, BM_CLICK, 0, 0, pid_, 200);
    if (!PollUntil(Timeout(w, 2), [&] { return !IsWindow(box) || !IsWindowVisible(box); }))
      Fail("the box stays after " + a);
    box_ = nullptr;
    return "closed";
  }

  std::string CmdNoBox(const std::vector<std::string>& w) {
    MaxArgs(w, 0);
    HWND other = FindBox("*", nullptr);
    if (other) Fail("a box is showing: " + Quote(MessageBoxText(other)));
    return "none";
  }

  std::string CmdBoxes() {
    for (const std::string& b : boxLog_) std::printf("  %s\n", b.c_str());
    return std::to_string(boxLog_.size()) + " seen in this run, " + std::to_string(boxCount_) + " recorded";
  }

  std::string CmdGone(const std::vector<std::string>& w) {
    MaxArgs(w, 1);
    if (!win_) Usage("no window: use `window CAPTION` first");
    HWND h = win_;
    if (!PollUntil(Timeout(w, 1), [&] { return !IsWindow(h); })) Fail("the window is still there");
    return "gone";
  }

  std::string CmdNoWindow(const std::vector<std::string>& w) {
    MaxArgs(w, 2);
    const std::string& caption = Arg(w, 1);
    bool ok = PollUntil(Timeout(w, 2), [&] {
      for (const TopWindow& t : TopWindows()) {
        if (t.caption == caption) return false;
      }
      return true;
    });
    if (!ok) Fail("a window captioned " + Quote(caption) + " is still there");
    return "none";
  }

  std::string CmdProcessGone(const std::vector<std::string>& w) {
    MaxArgs(w, 1);
    if (!process_) Usage("no process: use `window CAPTION` first");
    if (WaitForSingleObject(process_, Timeout(w, 1)) != WAIT_OBJECT_0) Fail("the process is still running");
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return "ended, exit code " + std::to_string(code);
  }

  std::string CmdDump() {
    HWND h = Window();
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      std::string t;
      ReadText(c, &t, 500);
      LONG style = GetWindowLongA(c, GWL_STYLE);
      std::printf("  id %d %s style %08lx %s %s %s\n", GetDlgCtrlID(c), ClassOf(c).c_str(), (unsigned long)style,
                  IsWindowEnabled(c) ? "enabled" : "disabled", DescribeRect(c).c_str(), Quote(t).c_str());
    }
    return "";
  }
};

std::string Strip(std::string s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
  size_t i = s.find_first_not_of(" \t");
  return i == std::string::npos ? "" : s.substr(i);
}

int Main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  setvbuf(stdout, nullptr, _IONBF, 0);
  Driver d;
  std::string script = "-";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "--vars" || a == "--record" || a == "--timeout") && i + 1 < argc) {
      std::string v = argv[++i];
      if (a == "--vars") d.varsPath = v;
      if (a == "--record") d.recordPath = v;
      if (a == "--timeout") d.defaultTimeout = std::atoi(v.c_str());
    } else if (a.size() > 1 && a[0] == '-' ) {
      std::fprintf(stderr, "usage: OrvexDriver [--vars FILE] [--record FILE] [--timeout MS] [SCRIPT|-]\n");
      return 2;
    } else {
      script = a;
    }
  }
  std::ifstream file;
  if (script != "-") {
    file.open(script, std::ios::binary);
    if (!file) {
      std::printf("FAIL cannot open %s\n", script.c_str());
      return 2;
    }
  }
  std::istream& in = script == "-" ? std::cin : file;
  d.LoadRecord();
  std::string raw;
  int number = 0, done = 0;
  while (std::getline(in, raw)) {
    ++number;
    std::string text = Strip(raw);
    if (text.empty() || text[0] == '#') continue;
    std::vector<std::string> words;
    std::string err;
    try {
      if (!SplitWords(text, &words, &err)) Usage(err);
      std::string detail = d.Run(words);
      std::printf("ok   %3d %s%s%s\n", number, text.c_str(), detail.empty() ? "" : "  => ", detail.c_str());
      ++done;
    } catch (const Failure& f) {
      std::printf("FAIL %3d %s  => %s\n", number, text.c_str(), f.why.c_str());
      d.DumpState();
      return f.status;
    }
  }
  std::printf("driver: %d commands ok\n", done);
  return 0;
}

}  // namespace
}  // namespace drv

int main(int argc, char** argv) { return drv::Main(argc, argv); }
