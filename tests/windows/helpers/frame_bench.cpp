// The frame benchmark: paint_window's time per frame for a set of pages at each scale, beside
// the frame as first written (the reference, measured in the same run), and where a frame's time
// goes.
//   frame_bench.exe FRAMES   median and worst frame time per page and scale, on a window
#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/draw.h"
#include "ui/pages.h"
#include "ui/embedded_resources.h"
#include "ui/gdiplus_owners.h"
#include "tests/windows/ui_pages.h"
#include "tests/windows/helpers/clock.h"
#include "tests/windows/helpers/page_program.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

LRESULT CALLBACK quiet_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcW(window, message, wParam, lParam);
}

struct Figures {
    double median, worst;
};

template <typename Body> Figures time_frames(int frames, Body body) {
    std::vector<double> times;
    for (int n = 0; n < 5; ++n)
        body(); // warm caches and the font lookup
    for (int n = 0; n < frames; ++n) {
        const double start = now_ms();
        body();
        times.push_back(now_ms() - start);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

// The frame as first written, kept as the reference the benchmark compares against: the same
// drawing into a GDI+ PARGB bitmap, copied to the window with GdipDrawImageI.
void paint_window_into_gdiplus_bitmap(HDC dc, const RECT& client) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    g_hitRects.clear();
    BitmapOwner bitmap;
    if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppPARGB, nullptr, bitmap.put()) !=
        Ok)
        return;
    GraphicsOwner graphics;
    if (GdipGetImageGraphicsContext(bitmap.get(), graphics.put()) != Ok) return;
    Surface s;
    s.graphics = graphics.get();
    s.scale = g_uiScale;
    s.hoverId = g_hoverId;
    s.pressedId = g_pressedId;
    set_rendering_options(s.graphics);
    GdipGraphicsClear(s.graphics, 0xFFFFFFFF);
    // Made for every frame, and the logo drawn from the image (no pixels of its own to copy).
    PageAssets assets;
    assets.scale = s.scale;
    assets.fonts = make_fonts(s.scale);
    draw_page(s, assets, read_page_state(width, height));
    GraphicsOwner screen;
    if (GdipCreateFromHDC(dc, screen.put()) == Ok)
        GdipDrawImageI(screen.get(), bitmap.get(), client.left, client.top);
}

// Pixels of the page drawn both ways that differ by more than `tolerance` in a channel.
int differing_pixels(const PageSetup& page, float scale, int tolerance) {
    apply_page(page, scale);
    const SIZE size = client_size_at(scale);
    MemoryCanvas now(size), before(size);
    paint_window(now.dc, now.client);
    paint_window_into_gdiplus_bitmap(before.dc, before.client);
    GdiFlush();
    int differing = 0;
    for (size_t n = 0; n < size_t(size.cx) * size_t(size.cy); ++n)
        for (int shift = 0; shift < 24; shift += 8) {
            const int a = static_cast<int>((now.bits[n] >> shift) & 0xFF);
            const int b = static_cast<int>((before.bits[n] >> shift) & 0xFF);
            if (std::abs(a - b) > tolerance) {
                ++differing;
                break;
            }
        }
    return differing;
}

// Frames painted on a real window's device context, as WM_PAINT does, beside two parts of
// each frame measured alone: the five fonts, and the same frame into a memory bitmap.
int run_bench(int frames) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = quiet_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"PlannixPaintBench";
    RegisterClassExW(&wc);
    const char* pages[] = {"install-first-idle-catalog",
                           "install-change-idle-apply",
                           "install-first-running",
                           "install-first-failed-progress",
                           "install-first-done",
                           "update-running",
                           "uninstall-idle",
                           "long-folder-path"};
    std::printf("paint_window per frame, %d frames each (ms): median / worst, and the frame as "
                "first written (GDI+ bitmap) in the same run: median / worst\n",
                frames);
    std::printf("%-30s %5s %16s %16s %8s %8s\n", "page", "scale", "now", "before", "speed-up",
                "diff px");
    double worstMedian[3] = {}, worstBefore[3] = {};
    for (const char* name : pages) {
        for (int k = 0; k < 3; ++k) {
            // Pixels whose colour differs by more than one step in a channel from the reference.
            const int differing = differing_pixels(find_page(name), kScales[k], 1);
            apply_page(find_page(name), kScales[k]);
            const SIZE size = client_size_at(kScales[k]);
            const HWND window =
                CreateWindowExW(0, wc.lpszClassName, L"bench", WS_POPUP | WS_VISIBLE, 0, 0, size.cx,
                                size.cy, nullptr, nullptr, wc.hInstance, nullptr);
            const HDC dc = GetDC(window);
            const RECT client = {0, 0, size.cx, size.cy};
            const Figures f = time_frames(frames, [&] { paint_window(dc, client); });
            const Figures b =
                time_frames(frames, [&] { paint_window_into_gdiplus_bitmap(dc, client); });
            ReleaseDC(window, dc);
            DestroyWindow(window);
            worstMedian[k] = std::max(worstMedian[k], f.median);
            worstBefore[k] = std::max(worstBefore[k], b.median);
            std::printf("%-30s %5.1f %7.2f /%7.2f %7.2f /%7.2f %7.1fx %8d\n", name,
                        static_cast<double>(kScales[k]), f.median, f.worst, b.median, b.worst,
                        b.median / f.median, differing);
            std::fflush(stdout);
        }
    }
    std::printf("%-30s", "slowest median, now / before");
    for (int k = 0; k < 3; ++k)
        std::printf("   %.1f: %.2f / %.2f", static_cast<double>(kScales[k]), worstMedian[k],
                    worstBefore[k]);
    std::printf("\n\nwhere a frame's time goes, median ms per call: before / now\n");
    std::printf("%-44s %15s %15s %15s\n", "", "scale 1.0", "scale 1.5", "scale 2.0");
    struct Part {
        const char* what;
        void (*call)(Surface&, const PageAssets&, SIZE);
    };
    const Part parts[] = {
        {"five fonts", [](Surface& s, const PageAssets&, SIZE) { make_fonts(s.scale); }},
        {"the page's content (draw_page), all of it",
         [](Surface& s, const PageAssets& a, SIZE size) {
             draw_page(s, a, read_page_state(size.cx, size.cy));
         }},
        {"fill_round_rect, a 160 x 40 button",
         [](Surface& s, const PageAssets&, SIZE) {
             fill_round_rect(s, {408, 596, 160, 40}, 8, 0xFF6B4292);
         }},
        {"stroke_round_rect, 1 pixel",
         [](Surface& s, const PageAssets&, SIZE) {
             stroke_round_rect(s, {278, 596, 120, 40}, 8, 0xFFEBECEF, 1.0f);
         }},
        {"draw_text, a two-line paragraph",
         [](Surface& s, const PageAssets& a, SIZE) {
             draw_text(s,
                       L"Планировка торгового зала и оборудование из каталога в 3D. Файлы "
                       L"скачиваются с сайта Кварталис.",
                       a.fonts.body.get(), 0xFF555558, {32, 134, 536, 44}, Align::Near,
                       Align::Near);
         }},
        {"draw_text, one short label",
         [](Surface& s, const PageAssets& a, SIZE) {
             draw_text(s, L"Отмена", a.fonts.button.get(), 0xFF222228, {278, 596, 120, 40},
                       Align::Centre, Align::Centre);
         }},
        {"draw_image, the logo",
         [](Surface& s, const PageAssets&, SIZE) {
             if (g_logoImage) draw_image(s, g_logoImage, {32, 26, 110, 44});
         }},
    };
    constexpr size_t kParts = sizeof(parts) / sizeof(parts[0]);
    double partTimes[kParts][3][2] = {};
    double makeTimes[3][2] = {}, allocTimes[3][2] = {}, clearTimes[3][2] = {}, copyTimes[3][2] = {};
    for (int k = 0; k < 3; ++k) {
        apply_page(find_page("install-first-idle-catalog"), kScales[k]);
        const SIZE size = client_size_at(kScales[k]);
        const HWND window =
            CreateWindowExW(0, wc.lpszClassName, L"bench", WS_POPUP | WS_VISIBLE, 0, 0, size.cx,
                            size.cy, nullptr, nullptr, wc.hInstance, nullptr);
        const HDC dc = GetDC(window);
        BitmapOwner bitmap;
        GdipCreateBitmapFromScan0(size.cx, size.cy, 0, PixelFormat32bppPARGB, nullptr,
                                  bitmap.put());
        std::vector<uint32_t> pixels(size_t(size.cx) * size_t(size.cy));
        BitmapOwner over;
        GdipCreateBitmapFromScan0(size.cx, size.cy, size.cx * 4, PixelFormat32bppPARGB,
                                  reinterpret_cast<BYTE*>(pixels.data()), over.put());
        for (int way = 0; way < 2; ++way) {
            GraphicsOwner graphics;
            GdipGetImageGraphicsContext(way == 0 ? bitmap.get() : over.get(), graphics.put());
            set_rendering_options(graphics.get());
            Surface s;
            s.graphics = graphics.get();
            s.scale = kScales[k];
            PageAssets assets;
            assets.scale = s.scale;
            assets.fonts = make_fonts(s.scale);
            for (size_t p = 0; p < kParts; ++p)
                partTimes[p][k][way] =
                    time_frames(frames, [&] { parts[p].call(s, assets, size); }).median;
        }
        makeTimes[k][0] = time_frames(frames, [&] {
                              BitmapOwner made;
                              GdipCreateBitmapFromScan0(size.cx, size.cy, 0, PixelFormat32bppPARGB,
                                                        nullptr, made.put());
                              GraphicsOwner graphics;
                              GdipGetImageGraphicsContext(made.get(), graphics.put());
                          }).median;
        makeTimes[k][1] =
            time_frames(frames, [&] {
                std::vector<uint32_t> made(size_t(size.cx) * size_t(size.cy));
                BitmapOwner image;
                GdipCreateBitmapFromScan0(size.cx, size.cy, size.cx * 4, PixelFormat32bppPARGB,
                                          reinterpret_cast<BYTE*>(made.data()), image.put());
                GraphicsOwner graphics;
                GdipGetImageGraphicsContext(image.get(), graphics.put());
            }).median;
        allocTimes[k][0] =
            time_frames(frames, [&] {
                std::vector<uint32_t> made(size_t(size.cx) * size_t(size.cy), 0xFFFFFFFFu);
            }).median;
        allocTimes[k][1] =
            time_frames(frames, [&] {
                BitmapOwner image;
                GdipCreateBitmapFromScan0(size.cx, size.cy, size.cx * 4, PixelFormat32bppPARGB,
                                          reinterpret_cast<BYTE*>(pixels.data()), image.put());
            }).median;
        clearTimes[k][0] = time_frames(frames, [&] {
                               GraphicsOwner graphics;
                               GdipGetImageGraphicsContext(bitmap.get(), graphics.put());
                               GdipGraphicsClear(graphics.get(), 0xFFFFFFFF);
                           }).median;
        clearTimes[k][1] = time_frames(frames, [&] {
                               std::fill(pixels.begin(), pixels.end(), 0xFFFFFFFFu);
                           }).median;
        copyTimes[k][0] = time_frames(frames, [&] {
                              GraphicsOwner screen;
                              GdipCreateFromHDC(dc, screen.put());
                              GdipDrawImageI(screen.get(), bitmap.get(), 0, 0);
                          }).median;
        copyTimes[k][1] = time_frames(frames, [&] {
                              const BITMAPINFO info = top_down_bitmap_info(size);
                              SetDIBitsToDevice(dc, 0, 0, size.cx, size.cy, 0, 0, 0, size.cy,
                                                pixels.data(), &info, DIB_RGB_COLORS);
                          }).median;
        ReleaseDC(window, dc);
        DestroyWindow(window);
    }
    const auto row = [](const char* what, const double(*times)[2]) {
        std::printf("%-44s", what);
        for (int k = 0; k < 3; ++k)
            std::printf("   %6.2f /%6.2f", times[k][0], times[k][1]);
        std::printf("\n");
    };
    row("the bitmap and its graphics object", makeTimes);
    row("white pixels / bitmap over them", allocTimes);
    row("clear (GdipGraphicsClear / storing white)", clearTimes);
    for (size_t p = 0; p < kParts; ++p)
        row(parts[p].what, partTimes[p]);
    row("copy (GdipDrawImageI / SetDIBitsToDevice)", copyTimes);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: frame_bench FRAMES\n");
        return 2;
    }
    const int frames = std::max(1, _wtoi(argv[1]));
    return with_page_resources([&] { return run_bench(frames); });
}
