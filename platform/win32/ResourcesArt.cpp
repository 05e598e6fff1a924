// Icons and bitmaps from the program's own resources.
#include "platform/Resources.h"
#include "platform/win32/Win32.h"

IconHandle LoadIconRes(int id, int cx, int cy) {
  if (cx < 0 || cy < 0) {
    cx = GetSystemMetrics(SM_CXICON);
    cy = GetSystemMetrics(SM_CYICON);
  }
  // Not shared: every icon loaded here is destroyed by its owner.
  HANDLE h = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR);
  return reinterpret_cast<IconHandle>(h);
}

void DestroyIconRes(IconHandle icon) {
  if (icon != nullptr) DestroyIcon(reinterpret_cast<HICON>(icon));
}

bool GetIconSize(IconHandle icon, int* cx, int* cy) {
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(reinterpret_cast<HICON>(icon), &info)) return false;
  // GetIconInfo hands out copies of the icon's bitmaps.
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (cx) *cx = static_cast<int>(info.xHotspot) * 2;
  if (cy) *cy = static_cast<int>(info.yHotspot) * 2;
  return true;
}

PlatBitmap* LoadBitmapRes(int id) {
  HANDLE h = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
  return reinterpret_cast<PlatBitmap*>(h);
}

void DeleteBitmapRes(PlatBitmap* bmp) {
  if (bmp != nullptr) DeleteObject(reinterpret_cast<HBITMAP>(bmp));
}

bool GetBitmapSize(PlatBitmap* bmp, int* cx, int* cy) {
  BITMAP bm{};
  if (bmp == nullptr || GetObjectA(reinterpret_cast<HBITMAP>(bmp), sizeof bm, &bm) == 0) return false;
  if (cx) *cx = bm.bmWidth;
  if (cy) *cy = bm.bmHeight;
  return true;
}
