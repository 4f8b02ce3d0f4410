#pragma once
// The fonts and the logo carried inside setup.exe, turned into GDI+ objects once at start-up
// (after GdiplusStartup, before the window exists) and freed after the message loop, before
// GdiplusShutdown. Window thread only.
#include <windows.h>
#include <objidl.h> // IStream and PROPID, which gdiplus.h needs and lean windows.h omits
#include <gdiplus.h>

// Null when it could not be made; drawing then falls back to installed fonts.
extern Gdiplus::GpFontCollection* g_privateFonts;
// Null when the logo could not be found or decoded; the page then draws no logo.
extern Gdiplus::GpBitmap* g_logoImage;

void load_embedded_resources(HINSTANCE instance);
// Also frees what frames keep that was made from them (ui/paint.h).
void free_embedded_resources();
