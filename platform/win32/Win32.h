// The one way platform/win32 sources reach <windows.h>: our headers first,
// then the system's, then the system macros that would rename our members
// are taken back.
#pragma once

#include "platform/Controls.h"
#include "platform/Dialog.h"
#include "platform/FileDialog.h"
#include "platform/Profile.h"
#include "platform/Resources.h"
#include "platform/Restart.h"
#include "platform/Thread.h"
#include "platform/Types.h"
#include "platform/Wnd.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#undef MessageBox
#undef SendMessage
#undef PostMessage
#undef GetWindowText
#undef SetWindowText
#undef DefWindowProc
#undef SetDlgItemText
#undef GetDlgItemText
#undef SendDlgItemMessage
#undef LoadBitmap
#undef DrawText
#undef DrawState
#undef GetCurrentDirectory

inline HWND ToHwnd(WndHandle h) { return reinterpret_cast<HWND>(h); }
inline WndHandle FromHwnd(HWND h) { return reinterpret_cast<WndHandle>(h); }

// Private message that runs a std::function on the window's own thread.
constexpr UINT kInvokeMessage = WM_APP + 0x100;
