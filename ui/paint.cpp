#include "ui/paint.h"

#include "app/state.h"
#include "ui/draw.h"
#include "ui/pages.h"
#include "ui/theme.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

void paint_window(HDC dc, const RECT& client) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    g_hitRects.clear();
    if (width <= 0 || height <= 0) return; // minimised: nothing to show, nothing to click

    // Everything is drawn off-screen and copied in one operation, so nothing flickers.
    BitmapOwner bitmap;
    if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppPARGB, nullptr,
                                  bitmap.put()) != Ok)
        return;
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
    s.record(GdipGraphicsClear(s.graphics, theme::kWhite));

    const Fonts fonts = make_fonts(s.scale);
    const PageState page = read_page_state(static_cast<float>(width) / s.scale,
                                           static_cast<float>(height) / s.scale);
    draw_page(s, fonts, page);

    GraphicsOwner screen;
    if (GdipCreateFromHDC(dc, screen.put()) == Ok)
        GdipDrawImageI(screen.get(), bitmap.get(), client.left, client.top);
}
