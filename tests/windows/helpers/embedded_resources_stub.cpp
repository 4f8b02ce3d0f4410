// Stands in for the embedded fonts and logo in test programs until they are part of the build:
// pages then draw without the logo and with the fallback fonts.
#include "ui/gdiplus_owners.h"
#include "ui/embedded_resources.h"

Gdiplus::GpFontCollection* g_privateFonts = nullptr;
Gdiplus::GpBitmap* g_logoImage = nullptr;

void load_embedded_resources(HINSTANCE) {}
void free_embedded_resources() {}
