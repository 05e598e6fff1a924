#include "Probe.h"

#include <algorithm>
#include <cstdio>

namespace drv {

namespace {

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM lp) {
  auto* out = reinterpret_cast<std::vector<TopWindow>*>(lp);
  TopWindow w;
  w.hwnd = hwnd;
  GetWindowThreadProcessId(hwnd, &w.pid);
  w.visible = IsWindowVisible(hwnd) != FALSE;
  char buf[512] = "";
  // For a top-level window of another process GetWindowTextA reads the
  // caption the system keeps, without sending anything to the owner.
  GetWindowTextA(hwnd, buf, sizeof buf);
  w.caption = buf;
  w.cls = ClassOf(hwnd);
  out->push_back(w);
  return TRUE;
}

const int kMsgBoxTextId = 0xFFFF;
const int kMsgBoxIconId = 0x440;

struct IconKind {
  const char* name;
  LPCSTR id;
};
const IconKind kIcons[] = {
    {"hand", (LPCSTR)IDI_HAND},
    {"question", (LPCSTR)IDI_QUESTION},
    {"exclamation", (LPCSTR)IDI_EXCLAMATION},
    {"asterisk", (LPCSTR)IDI_ASTERISK},
};

// 32-bit top-down DIB section of w x h, filled with `fill`.
HBITMAP MakeDib(HDC dc, int w, int h, DWORD** bits) {
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* p = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
  *bits = static_cast<DWORD*>(p);
  return bmp;
}

// An icon handle is only usable in the process that loaded it, so when the
// handles differ the box's icon is recognised by its pixels: the screen
// under the icon static is compared with each standard icon drawn here, on
// the pixels where that icon is opaque (same colour drawn over black and
// over white).
std::string IconByPixels(HWND iconStatic) {
  RECT rc;
  if (!GetWindowRect(iconStatic, &rc)) return "unknown";
  int w = std::min<int>(rc.right - rc.left, 64), h = std::min<int>(rc.bottom - rc.top, 64);
  if (w <= 0 || h <= 0) return "unknown";
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  DWORD* shot = nullptr;
  HBITMAP shotBmp = MakeDib(screen, w, h, &shot);
  HGDIOBJ old = SelectObject(mem, shotBmp);
  BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
  SelectObject(mem, old);

  std::string best = "unknown";
  int bestScore = -1;
  for (const IconKind& k : kIcons) {
    HICON icon = LoadIconA(nullptr, k.id);
    DWORD *onBlack = nullptr, *onWhite = nullptr;
    HBITMAP b1 = MakeDib(screen, w, h, &onBlack), b2 = MakeDib(screen, w, h, &onWhite);
    std::fill(onWhite, onWhite + w * h, 0x00FFFFFFu);
    SelectObject(mem, b1);
    DrawIconEx(mem, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    SelectObject(mem, b2);
    DrawIconEx(mem, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    SelectObject(mem, old);
    int opaque = 0, same = 0;
    for (int i = 0; i < w * h; ++i) {
      DWORD a = onBlack[i] & 0xFFFFFF, b = onWhite[i] & 0xFFFFFF;
      if (a != b) continue;
      ++opaque;
      if ((shot[i] & 0xFFFFFF) == a) ++same;
    }
    DeleteObject(b1);
    DeleteObject(b2);
    // Demand a near-perfect match so a box without a standard icon is not
    // taken for the closest one.
    if (opaque > 0 && same * 100 >= opaque * 98 && same > bestScore) {
      bestScore = same;
      best = k.name;
    }
  }
  DeleteObject(shotBmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return best;
}

struct SendJob {
  HWND hwnd;
  UINT msg;
  WPARAM wp;
  LPARAM lp;
  DWORD_PTR result = 0;
  BOOL ok = FALSE;
};

DWORD WINAPI SendThread(LPVOID p) {
  auto* job = static_cast<SendJob*>(p);
  // Long bound: a handler may legitimately block for minutes (a transfer).
  job->ok = SendMessageTimeoutA(job->hwnd, job->msg, job->wp, job->lp, SMTO_NORMAL, 10 * 60 * 1000,
                                &job->result) != 0;
  return 0;
}

}  // namespace

std::vector<TopWindow> TopWindows() {
  std::vector<TopWindow> out;
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&out));
  return out;
}

std::vector<TopWindow> TopWindowsOf(DWORD pid) {
  std::vector<TopWindow> all = TopWindows(), out;
  for (const TopWindow& w : all) {
    if (pid == 0 || w.pid == pid) out.push_back(w);
  }
  return out;
}

std::string ClassOf(HWND hwnd) {
  char buf[256] = "";
  GetClassNameA(hwnd, buf, sizeof buf);
  return buf;
}

bool ReadText(HWND hwnd, std::string* text, int timeout_ms) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeout_ms, &len)) return false;
  // Room to spare: a wrong length from the other side must not overrun.
  std::vector<char> buf(len * 2 + 16, '\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_NORMAL,
                           timeout_ms, &got)) {
    return false;
  }
  text->assign(buf.data(), std::min<size_t>(got, len + 1));
  return true;
}

bool IsMessageBox(HWND hwnd) {
  if (ClassOf(hwnd) != "#32770") return false;
  HWND text = GetDlgItem(hwnd, kMsgBoxTextId);
  return text != nullptr && ClassOf(text) == "Static";
}

std::string MessageBoxText(HWND box) {
  std::string text;
  HWND st = GetDlgItem(box, kMsgBoxTextId);
  if (!st || !ReadText(st, &text)) return "";
  return text;
}

std::string MessageBoxIcon(HWND box) {
  HWND st = GetDlgItem(box, kMsgBoxIconId);
  if (!st || !IsWindowVisible(st)) return "none";
  DWORD_PTR icon = 0;
  if (!SendMessageTimeoutA(st, STM_GETICON, 0, 0, SMTO_NORMAL, 2000, &icon)) return "unknown";
  if (!icon) return "none";
  for (const IconKind& k : kIcons) {
    if (reinterpret_cast<HICON>(icon) == LoadIconA(nullptr, k.id)) return k.name;
  }
  return IconByPixels(st);
}

SendOutcome SendSettled(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, DWORD pid, int settle_ms) {
  SendOutcome out;
  std::vector<TopWindow> before = TopWindowsOf(pid);
  // The job is leaked on purpose when the send is still pending at exit.
  auto* job = new SendJob{hwnd, msg, wp, lp};
  HANDLE th = CreateThread(nullptr, 0, SendThread, job, 0, nullptr);
  if (!th) {
    out.detail = "cannot start the sending thread";
    return out;
  }
  DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(th, 20) == WAIT_OBJECT_0) {
      CloseHandle(th);
      out.returned = job->ok != FALSE;
      out.result = static_cast<LRESULT>(job->result);
      char buf[64];
      std::snprintf(buf, sizeof buf, job->ok ? "returned %ld" : "send failed (%ld)",
                    job->ok ? (long)job->result : (long)GetLastError());
      out.detail = buf;
      delete job;
      return out;
    }
    for (const TopWindow& w : TopWindowsOf(pid)) {
      if (!w.visible) continue;
      bool known = std::any_of(before.begin(), before.end(),
                               [&](const TopWindow& b) { return b.hwnd == w.hwnd && b.visible; });
      if (!known) {
        out.detail = "pending: window \"" + w.caption + "\" (" + w.cls + ") appeared";
        CloseHandle(th);
        return out;
      }
    }
    if ((int)(GetTickCount() - start) >= settle_ms) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "pending after %d ms", settle_ms);
      out.detail = buf;
      CloseHandle(th);
      return out;
    }
  }
}

}  // namespace drv
