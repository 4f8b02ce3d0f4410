#include "ui/paint.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "app/state.h"
#include "ui/draw.h"
#include "ui/pages.h"
#include "ui/theme.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

constexpr int kBytesPerPixel = 4; // 32-bit premultiplied ARGB
// White is its own premultiplied form, so the page can be cleared by storing it.
static_assert(theme::kWhite == 0xFFFFFFFFu, "the clear stores the background as is");

// How the frame's pixels are described to GDI: top-down 32-bit rows, the same layout as the
// GDI+ bitmap that draws into them.
BITMAPINFO frame_layout(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // negative: top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 8 * kBytesPerPixel;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

} // namespace

void paint_window(HDC dc, const RECT& client) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    g_hitRects.clear();
    if (width <= 0 || height <= 0) return; // minimised: nothing to show, nothing to click

    // Everything is drawn off-screen and copied in one operation, so nothing flickers.
    // The off-screen PARGB bitmap is made over pixels this frame owns, cleared by storing white
    // and copied to the window with SetDIBitsToDevice, instead of GdipGraphicsClear and
    // GdipDrawImageI: Wine's GDI+ does both one GetPixel/SetPixel call per pixel, which cost
    // about two thirds of a frame (12-17 ms at scale 1, 50-70 ms at scale 2). The pixels are the
    // same.
    // Client sizes stay within GDI's 16-bit coordinates, so the stride below fits an INT.
    const size_t count = size_t(width) * size_t(height);
    const std::unique_ptr<uint32_t[]> pixels(new (std::nothrow) uint32_t[count]);
    if (!pixels) return; // no memory for this frame: the next paint tries again
    std::fill(pixels.get(), pixels.get() + count, theme::kWhite);
    BitmapOwner bitmap;
    if (GdipCreateBitmapFromScan0(width, height, width * kBytesPerPixel, PixelFormat32bppPARGB,
                                  reinterpret_cast<BYTE*>(pixels.get()), bitmap.put()) != Ok)
        return;
    {
        GraphicsOwner graphics;
        if (GdipGetImageGraphicsContext(bitmap.get(), graphics.put()) != Ok) return;

        Surface s;
        s.graphics = graphics.get();
        s.scale = g_uiScale;
        s.hoverId = g_hoverId;
        s.pressedId = g_pressedId;
        s.record(GdipSetSmoothingMode(s.graphics, SmoothingModeAntiAlias));
        s.record(GdipSetTextRenderingHint(s.graphics, TextRenderingHintClearTypeGridFit));
        s.record(GdipSetInterpolationMode(s.graphics, InterpolationModeHighQualityBicubic));
        s.record(GdipSetPixelOffsetMode(s.graphics, PixelOffsetModeHalf));

        const Fonts fonts = make_fonts(s.scale);
        const PageState page = read_page_state(static_cast<float>(width) / s.scale,
                                               static_cast<float>(height) / s.scale);
        draw_page(s, fonts, page);
    } // the graphics object is gone: every drawing call has reached the pixels

    const BITMAPINFO layout = frame_layout(width, height);
    SetDIBitsToDevice(dc, client.left, client.top, static_cast<DWORD>(width),
                      static_cast<DWORD>(height), 0, 0, 0, static_cast<UINT>(height), pixels.get(),
                      &layout, DIB_RGB_COLORS);
}
