#include "ui/paint.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "base/state.h"
#include "ui/control_ids.h"
#include "ui/draw.h"
#include "ui/pages.h"
#include "ui/theme.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

constexpr int kBytesPerPixel = 4; // 32-bit premultiplied ARGB
// White is its own premultiplied form, so the page can be cleared by storing it.
static_assert(theme::kWhite == 0xFFFFFFFFu, "the clear stores the background as is");

// Kept from one frame to the next, window thread only. None of it depends on the records: the
// buffer is cleared to white and every element is drawn again in each frame, so a frame has
// the pixels it would have if all of it were made afresh.
struct Kept {
    std::vector<uint32_t> pixels; // the client size's pixels, reallocated when it changes
    PageAssets assets;            // fonts and logo of assets.scale
    bool painted = false;         // `last` holds the last painted frame's snapshot
    PageState last;
    FrameSnapshot frame; // what the last painted frame shows, for screen readers
};
Kept kept;

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

// The white buffer of `count` pixels; false when there is no memory for it.
bool clear_pixels(size_t count) {
    try {
        if (kept.pixels.size() != count) {
            kept.pixels.clear();
            kept.pixels.shrink_to_fit(); // the old size's memory goes before the new is taken
            kept.pixels.resize(count);
        }
    } catch (const std::bad_alloc&) {
        kept.pixels.clear();
        return false;
    }
    std::fill(kept.pixels.begin(), kept.pixels.end(), theme::kWhite);
    return true;
}

} // namespace

void paint_window(HDC dc, const RECT& client) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    g_hitRects.clear();
    kept.painted = false;
    kept.frame = FrameSnapshot{};
    if (width <= 0 || height <= 0) return; // minimised: nothing to show, nothing to click

    // Everything is drawn off-screen and copied in one operation, so nothing flickers.
    // The off-screen PARGB bitmap is made over pixels the program owns, cleared by storing white
    // and copied to the window with SetDIBitsToDevice, instead of GdipGraphicsClear and
    // GdipDrawImageI: Wine's GDI+ does both one GetPixel/SetPixel call per pixel, which cost
    // about two thirds of a frame (12-17 ms at scale 1, 50-70 ms at scale 2). The pixels are the
    // same.
    // Client sizes stay within GDI's 16-bit coordinates, so the stride below fits an INT.
    if (!clear_pixels(size_t(width) * size_t(height))) return; // the next paint tries again
    const PageState page = read_page_state(width, height);
    if (kept.assets.scale != page.scale) kept.assets = make_page_assets(page.scale);
    BitmapOwner bitmap;
    if (GdipCreateBitmapFromScan0(width, height, width * kBytesPerPixel, PixelFormat32bppPARGB,
                                  reinterpret_cast<BYTE*>(kept.pixels.data()), bitmap.put()) != Ok)
        return;
    std::vector<FrameElement> elements;
    {
        GraphicsOwner graphics;
        if (GdipGetImageGraphicsContext(bitmap.get(), graphics.put()) != Ok) return;
        set_rendering_options(graphics.get());
        Surface s;
        s.graphics = graphics.get();
        s.scale = page.scale;
        s.hoverId = page.hoverId;
        s.pressedId = page.pressedId;
        s.pixels = kept.pixels.data();
        s.width = width;
        s.height = height;
        s.elements = &elements;
        draw_page(s, kept.assets, page);
        if (page.focusRing) {
            for (const FrameElement& e : elements)
                if (e.id != kNoControl && e.id == page.focusId)
                    draw_focus_ring(s, {e.x / page.scale, e.y / page.scale, e.w / page.scale,
                                        e.h / page.scale});
        }
    } // the graphics object is gone: every drawing call has reached the pixels

    const BITMAPINFO layout = frame_layout(width, height);
    SetDIBitsToDevice(dc, client.left, client.top, static_cast<DWORD>(width),
                      static_cast<DWORD>(height), 0, 0, 0, static_cast<UINT>(height),
                      kept.pixels.data(), &layout, DIB_RGB_COLORS);
    kept.last = page;
    kept.painted = true;
    for (FrameElement& e : elements)
        e.canAct = e.id != kNoControl && control_can_act(e.id, page.state);
    sort_reading_order(elements);
    kept.frame = {.painted = true,
                  .mode = page.mode,
                  .state = page.state,
                  .page = page_kind(page),
                  .focusId = page.focusId,
                  .focusOrder = page_focus_order(page),
                  .elements = std::move(elements)};
}

const FrameSnapshot& last_frame() {
    return kept.frame;
}

bool frame_would_change(const RECT& client) {
    return !kept.painted ||
           !(read_page_state(client.right - client.left, client.bottom - client.top) == kept.last);
}

void release_frame_resources() {
    kept = Kept{};
}
