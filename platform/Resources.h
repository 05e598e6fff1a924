// The program's own resources: string table, icons, bitmaps.
#pragma once

#include <string>

#include "platform/Types.h"

// Loads string `id` into `buf` (at most cap-1 characters and a NUL);
// returns the length, 0 when the string does not exist.
int LoadStringRes(unsigned id, char* buf, int cap);
std::string LoadStringRes(unsigned id);

// Icon resource `id`; size 0,0 takes the resource's own (first) size,
// -1,-1 the system's standard icon size. Null when it cannot be loaded.
IconHandle LoadIconRes(int id, int cx = 0, int cy = 0);
void DestroyIconRes(IconHandle icon);
// Icon size from its hot spot (twice the hot spot); false when the icon's
// information cannot be read.
bool GetIconSize(IconHandle icon, int* cx, int* cy);

PlatBitmap* LoadBitmapRes(int id);
void DeleteBitmapRes(PlatBitmap* bmp);
bool GetBitmapSize(PlatBitmap* bmp, int* cx, int* cy);
