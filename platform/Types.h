// Plain types and the window-system constants the product uses.
// The values are the Win32 ones, so the same numbers travel through both
// implementations. Win32 sources include this before <windows.h>, whose
// macros of the same names then take over with identical values.
#pragma once

#include <cstdint>
#include <string>

typedef std::intptr_t LRESULT_T;
typedef std::uintptr_t WPARAM_T;
typedef std::intptr_t LPARAM_T;

typedef std::uint32_t Color;  // 0x00BBGGRR, red in the low byte
constexpr Color MakeColor(int r, int g, int b) {
  return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int ColorR(Color c) { return static_cast<int>(c & 0xFF); }
constexpr int ColorG(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int ColorB(Color c) { return static_cast<int>((c >> 16) & 0xFF); }

// Opaque handles. Each implementation decides what stands behind them.
struct PlatWindow;
struct PlatIcon;
struct PlatBitmap;
typedef PlatWindow* WndHandle;
typedef PlatIcon* IconHandle;

struct CPoint {
  int x = 0, y = 0;
};

struct CRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  CRect() = default;
  CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  void Deflate(int d) { left += d; top += d; right -= d; bottom -= d; }
  void Offset(int dx, int dy) { left += dx; right += dx; top += dy; bottom += dy; }
  bool operator==(const CRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// ---- dialog results and message-box types ----
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };
enum : unsigned {
  MB_OK = 0x00, MB_OKCANCEL = 0x01, MB_YESNOCANCEL = 0x03, MB_YESNO = 0x04,
  MB_ICONHAND = 0x10, MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30, MB_ICONWARNING = 0x30,
  MB_ICONASTERISK = 0x40, MB_ICONINFORMATION = 0x40,
  MB_ICONMASK = 0xF0, MB_TYPEMASK = 0x0F
};

// ---- messages ----
enum : unsigned {
  WM_ENABLE = 0x000A, WM_SETTEXT = 0x000C, WM_GETTEXT = 0x000D, WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010, WM_SYSCOLORCHANGE = 0x0015, WM_SETCURSOR = 0x0020,
  WM_ICONERASEBKGND = 0x0027, WM_DRAWITEM = 0x002B, WM_QUERYDRAGICON = 0x0037,
  WM_SETICON = 0x0080, WM_GETDLGCODE = 0x0087, WM_INITDIALOG = 0x0110,
  WM_COMMAND = 0x0111, WM_SYSCOMMAND = 0x0112, WM_TIMER = 0x0113,
  WM_CTLCOLORBTN = 0x0135, WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202, WM_LBUTTONDBLCLK = 0x0203, WM_KILLFOCUS = 0x0008,
  WM_SETFOCUS = 0x0007, WM_ACTIVATE = 0x0006, WM_CANCELMODE = 0x001F,
  WM_MOUSELEAVE = 0x02A3, WM_USER = 0x0400,
  WM_QUERYENDSESSION = 0x0011, WM_ENDSESSION = 0x0016, WM_POWERBROADCAST = 0x0218,
  BM_GETCHECK = 0x00F0, BM_SETCHECK = 0x00F1, BM_GETSTATE = 0x00F2,
  BM_SETSTATE = 0x00F3, BM_SETSTYLE = 0x00F4, BM_CLICK = 0x00F5,
  EM_SETSEL = 0x00B1, EM_SCROLLCARET = 0x00B7, EM_REPLACESEL = 0x00C2,
  EM_FMTLINES = 0x00C8,
  CB_ADDSTRING = 0x0143, CB_GETCOUNT = 0x0146, CB_GETCURSEL = 0x0147,
  CB_GETLBTEXT = 0x0148, CB_RESETCONTENT = 0x014B, CB_SETCURSEL = 0x014E,
  PBM_SETRANGE = 0x0401, PBM_SETPOS = 0x0402, PBM_DELTAPOS = 0x0403,
  PBM_SETSTEP = 0x0404, PBM_STEPIT = 0x0405, PBM_GETPOS = 0x0408
};
enum : int { CB_ERR = -1 };

// ---- notifications ----
enum : unsigned { BN_CLICKED = 0, BN_DOUBLECLICKED = 5, CBN_SELCHANGE = 1 };

// ---- styles ----
enum : unsigned {
  WS_OVERLAPPED = 0x00000000u, WS_POPUP = 0x80000000u, WS_CHILD = 0x40000000u,
  WS_MINIMIZE = 0x20000000u, WS_VISIBLE = 0x10000000u, WS_DISABLED = 0x08000000u,
  WS_CAPTION = 0x00C00000u, WS_BORDER = 0x00800000u, WS_VSCROLL = 0x00200000u,
  WS_SYSMENU = 0x00080000u, WS_GROUP = 0x00020000u, WS_TABSTOP = 0x00010000u,
  WS_MINIMIZEBOX = 0x00020000u,
  WS_EX_APPWINDOW = 0x00040000u,
  DS_MODALFRAME = 0x80u, DS_SETFONT = 0x40u,
  BS_PUSHBUTTON = 0x0u, BS_DEFPUSHBUTTON = 0x1u, BS_GROUPBOX = 0x7u,
  BS_OWNERDRAW = 0xBu, BS_TYPEMASK = 0x1Fu, BS_CENTER = 0x300u, BS_VCENTER = 0xC00u,
  ES_MULTILINE = 0x4u, ES_AUTOVSCROLL = 0x40u, ES_READONLY = 0x800u,
  ES_WANTRETURN = 0x1000u, ES_AUTOHSCROLL = 0x80u,
  CBS_DROPDOWNLIST = 0x3u,
  SS_LEFT = 0x0u, SS_BITMAP = 0xEu, SS_NOPREFIX = 0x80u,
  PBS_SMOOTH = 0x1u
};

// ---- dialog codes ----
enum : unsigned { DLGC_DEFPUSHBUTTON = 0x10, DLGC_UNDEFPUSHBUTTON = 0x20, DLGC_BUTTON = 0x2000 };

// ---- owner draw ----
enum : unsigned { ODS_SELECTED = 0x1, ODS_DISABLED = 0x4, ODS_FOCUS = 0x10 };

// ---- system commands ----
enum : unsigned { SC_CLOSE = 0xF060, SC_MINIMIZE = 0xF020, SC_RESTORE = 0xF120 };

// ---- power broadcasts: the question before a suspend, and the refusal ----
enum : unsigned { PBT_APMQUERYSUSPEND = 0x0000, BROADCAST_QUERY_DENY = 0x424D5144u };

// ---- restart flags ----
enum : unsigned { EWX_REBOOT = 0x2, EWX_FORCE = 0x4 };
enum : unsigned { TOKEN_ADJUST_PRIVILEGES = 0x20, TOKEN_QUERY = 0x8 };

// ---- open-file dialog options ----
enum : unsigned {
  OFN_HIDEREADONLY = 0x4, OFN_PATHMUSTEXIST = 0x800, OFN_FILEMUSTEXIST = 0x1000,
  OFN_NOCHANGEDIR = 0x8
};

// ---- drawing ----
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : unsigned {
  DT_CENTER = 0x1, DT_VCENTER = 0x4, DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20,
  DT_CALCRECT = 0x400
};
enum : unsigned { SRCCOPY = 0x00CC0020u };
enum : int {
  COLOR_BTNFACE = 15, COLOR_BTNSHADOW = 16, COLOR_BTNTEXT = 18,
  COLOR_BTNHIGHLIGHT = 20, COLOR_3DDKSHADOW = 21, COLOR_3DLIGHT = 22
};

inline unsigned LowWord(WPARAM_T v) { return static_cast<unsigned>(v & 0xFFFF); }
inline unsigned HighWord(WPARAM_T v) { return static_cast<unsigned>((v >> 16) & 0xFFFF); }
