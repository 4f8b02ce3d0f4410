// The page gallery and the frame benchmark: sets the shared records to each page and renders
// the real paint_window.
//   ui_gallery.exe OUTDIR          every page at scales 1, 1.5 and 2 as OUTDIR\<page>@<scale>.png
//   ui_gallery.exe --bench FRAMES  median and worst frame time per page and scale, on a window
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "ui/draw.h"
#include "ui/embedded_resources.h"
#include "app/text.h"
#include "tests/windows/ui_pages.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

const float kScales[] = {1.0f, 1.5f, 2.0f};
const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

std::wstring scale_name(float scale) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%.1f", static_cast<double>(scale));
    return text;
}

bool save_png(const Rendered& frame, const std::wstring& path) {
    BitmapOwner bitmap;
    if (GdipCreateBitmapFromScan0(frame.width, frame.height, frame.width * 4, PixelFormat32bppRGB,
                                  reinterpret_cast<BYTE*>(const_cast<uint32_t*>(frame.pixels.data())),
                                  bitmap.put()) != Ok)
        return false;
    return GdipSaveImageToFile(bitmap.get(), path.c_str(), &kPngEncoder, nullptr) == Ok;
}

int make_gallery(const std::wstring& folder) {
    int failures = 0;
    for (const PageSetup& page : kPages) {
        for (const float scale : kScales) {
            const Rendered frame = render_page(page, scale);
            const std::wstring path =
                folder + L"\\" + wide_from_utf8(page.name) + L"@" + scale_name(scale) + L".png";
            if (frame.pixels.empty() || !save_png(frame, path)) {
                std::fwprintf(stderr, L"could not write %ls\n", path.c_str());
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}

LRESULT CALLBACK quiet_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcW(window, message, wParam, lParam);
}

double now_ms() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

struct Figures {
    double median, worst;
};

template <typename Body> Figures time_frames(int frames, Body body) {
    std::vector<double> times;
    for (int n = 0; n < 5; ++n) body(); // warm caches and the font lookup
    for (int n = 0; n < frames; ++n) {
        const double start = now_ms();
        body();
        times.push_back(now_ms() - start);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
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
    const char* pages[] = {"install-first-idle-catalog", "install-change-idle-apply",
                           "install-first-running", "install-first-failed-progress",
                           "install-first-done", "update-running", "uninstall-idle",
                           "long-folder-path"};
    std::printf("paint_window per frame, %d frames each (ms): median / worst\n", frames);
    std::printf("%-32s %18s %18s %18s\n", "page", "scale 1.0", "scale 1.5", "scale 2.0");
    double worstMedian[3] = {};
    for (const char* name : pages) {
        std::printf("%-32s", name);
        for (int k = 0; k < 3; ++k) {
            apply_page(find_page(name), kScales[k]);
            const SIZE size = client_size_at(kScales[k]);
            const HWND window = CreateWindowExW(0, wc.lpszClassName, L"bench", WS_POPUP | WS_VISIBLE, 0,
                                                0, size.cx, size.cy, nullptr, nullptr,
                                                wc.hInstance, nullptr);
            const HDC dc = GetDC(window);
            const RECT client = {0, 0, size.cx, size.cy};
            const Figures f = time_frames(frames, [&] { paint_window(dc, client); });
            ReleaseDC(window, dc);
            DestroyWindow(window);
            worstMedian[k] = std::max(worstMedian[k], f.median);
            std::printf("   %6.2f / %6.2f  ", f.median, f.worst);
        }
        std::printf("\n");
    }
    std::printf("%-32s", "slowest median");
    for (const double m : worstMedian) std::printf("   %6.2f           ", m);
    std::printf("\n\nparts of a frame (install-first-idle-catalog), median ms:\n");
    for (const float scale : kScales) {
        apply_page(find_page("install-first-idle-catalog"), scale);
        const Figures fonts = time_frames(frames, [&] { make_fonts(scale); });
        MemoryCanvas canvas(client_size_at(scale));
        const Figures memory =
            time_frames(frames, [&] { paint_window(canvas.dc, canvas.client); });
        std::printf("scale %.1f: five fonts %.2f, whole frame into a memory bitmap %.2f\n",
                    static_cast<double>(scale), fonts.median, memory.median);
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    ULONG_PTR token = 0;
    GdiplusStartupInput input;
    if (GdiplusStartup(&token, &input, nullptr) != Ok) return 2;
    load_embedded_resources(GetModuleHandleW(nullptr));
    int result = 2;
    if (argc == 3 && std::wstring(argv[1]) == L"--bench")
        result = run_bench(std::max(1, _wtoi(argv[2])));
    else if (argc == 2)
        result = make_gallery(argv[1]);
    else
        std::fwprintf(stderr, L"usage: ui_gallery OUTDIR | --bench FRAMES\n");
    free_embedded_resources();
    GdiplusShutdown(token);
    return result;
}
