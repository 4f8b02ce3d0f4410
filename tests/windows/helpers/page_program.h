#pragma once
// What the page gallery and the frame benchmark share: the scales they render at, and the
// frame of a helper program that paints Setup's pages (GDI+ started and the embedded fonts and
// logo loaded around its work).
#include "ui/embedded_resources.h"

inline const float kScales[] = {1.0f, 1.5f, 2.0f};

// `work()`'s exit code, between GDI+'s start and shutdown with the resources loaded; 2 when
// GDI+ does not start.
template <typename Work> int with_page_resources(Work work) {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 2;
    load_embedded_resources(GetModuleHandleW(nullptr));
    const int result = work();
    free_embedded_resources();
    Gdiplus::GdiplusShutdown(token);
    return result;
}
