#pragma once
// One frame of the window, drawn from the shared records into an off-screen bitmap and copied
// to `dc` in one operation; refills g_hitRects. Window thread only.
#include <windows.h>

void paint_window(HDC dc, const RECT& client);
