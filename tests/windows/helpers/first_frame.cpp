// Benchmark helper: how long the real setup.exe takes from its start to a painted frame on the
// screen, seen from outside the way a person sees it.
//   first_frame.exe SETUP.exe [RUNS]
// For each run: starts SETUP.exe, watches the screen under its window until the logo's purple
// shows, then closes it. Prints the time to the window and to the painted frame per run; the
// first run in a fresh prefix also pays Wine's one-time set-up, the later ones show a warm start.
// Then, for comparison, the same helper started as a child that does one start-up step alone
// and ends: nothing, the adapter enumeration, GDI+ with the embedded fonts and a first text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

#include "base/handles.h"
#include "app/startup.h"
#include "ui/draw.h"
#include "ui/embedded_resources.h"
#include "tests/windows/helpers/clock.h"

namespace {

constexpr DWORD kPollMs = 2;
constexpr double kGiveUpMs = 20000;
constexpr int kPurplePixels = 20; // the logo's mark holds hundreds of them at every scale

struct Search {
    DWORD pid;
    HWND window;
};

HWND window_of(DWORD pid) {
    Search search = {pid, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (owner != s->pid || std::wstring(name) != L"PlannixSetup" ||
                !IsWindowVisible(window))
                return TRUE;
            s->window = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.window;
}

// Whether the screen under the window's client area shows the logo: purple pixels, which
// neither an unpainted window nor the empty screen has.
bool shows_painted_frame(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    int purple = 0;
    if (bitmap && memory) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        const auto* pixel = static_cast<const uint32_t*>(bits);
        for (size_t n = 0; n < size_t(width) * size_t(height); ++n) {
            const int r = (pixel[n] >> 16) & 0xFF, g = (pixel[n] >> 8) & 0xFF, b = pixel[n] & 0xFF;
            purple += r > g + 30 && b > g + 30;
        }
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return purple >= kPurplePixels;
}

struct Run {
    double window = -1, frame = -1;
};

// One start-up step alone, in a child process (the step's first call in a process is its cost).
int do_step(const std::wstring& step) {
    if (step == L"--dxgi") return detect_gpu_vendors().size() < 100 ? 0 : 1;
    if (step == L"--gdiplus") {
        using namespace Gdiplus;
        using namespace Gdiplus::DllExports;
        ULONG_PTR token = 0;
        GdiplusStartupInput input;
        if (GdiplusStartup(&token, &input, nullptr) != Ok) return 1;
        load_embedded_resources(GetModuleHandleW(nullptr));
        {
            const HDC screen = GetDC(nullptr);
            GraphicsOwner graphics;
            GdipCreateFromHDC(screen, graphics.put());
            Surface s;
            s.graphics = graphics.get();
            const Fonts fonts = make_fonts(1.0f);
            draw_text(s, L"Установить", fonts.button.get(), 0xFF222228, {0, 0, 1, 1}, Align::Near,
                      Align::Near);
            ReleaseDC(nullptr, screen);
        }
        free_embedded_resources();
        GdiplusShutdown(token);
    }
    return 0;
}

// Start to end of this helper doing one step.
double time_step(const wchar_t* step) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + step;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    const double start = now_ms();
    if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return -1;
    KernelHandle process(info.hProcess), thread(info.hThread);
    if (WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        return -1;
    }
    return now_ms() - start;
}

Run measure(const std::wstring& setup) {
    std::wstring commandLine = L"\"" + setup + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    Run run;
    const double start = now_ms();
    if (!CreateProcessW(setup.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return run;
    KernelHandle process(info.hProcess), thread(info.hThread);
    HWND window = nullptr;
    while (now_ms() - start < kGiveUpMs && run.frame < 0) {
        if (!window && (window = window_of(info.dwProcessId))) run.window = now_ms() - start;
        if (window && shows_painted_frame(window)) run.frame = now_ms() - start;
        if (run.frame < 0) Sleep(kPollMs);
    }
    // Close it as a person would; end it if it does not go within ten seconds.
    for (int i = 0; i < 400 && WaitForSingleObject(process.get(), 25) == WAIT_TIMEOUT; ++i)
        if (window && i % 20 == 0) PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process.get(), 1);
    return run;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && argv[1][0] == L'-') return do_step(argv[1]);
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: first_frame SETUP.exe [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 5;
    std::vector<double> warm;
    int failures = 0;
    std::printf("setup.exe from start to window / to painted frame (ms):\n");
    for (int n = 0; n < runs; ++n) {
        const Run run = measure(argv[1]);
        if (run.frame < 0) {
            std::printf("  run %d: no painted frame within %.0f ms\n", n + 1, kGiveUpMs);
            ++failures;
            continue;
        }
        std::printf("  run %d%s: %8.1f / %8.1f\n", n + 1, n == 0 ? " (first in the prefix)" : "",
                    run.window, run.frame);
        if (n > 0) warm.push_back(run.frame);
        std::fflush(stdout);
    }
    if (!warm.empty()) {
        std::sort(warm.begin(), warm.end());
        std::printf("warm start to painted frame: median %.1f ms, worst %.1f ms\n",
                    warm[warm.size() / 2], warm.back());
    }
    std::printf("start-up steps alone, each in a process of its own, start to end (ms):\n");
    const struct {
        const char* what;
        const wchar_t* step;
    } steps[] = {{"a process that does nothing", L"--nothing"},
                 {"  enumerating the graphics adapters (DXGI)", L"--dxgi"},
                 {"  GDI+, the embedded fonts and a first text", L"--gdiplus"}};
    for (const auto& step : steps) {
        std::vector<double> times;
        for (int n = 0; n < 3; ++n)
            times.push_back(time_step(step.step));
        std::sort(times.begin(), times.end());
        std::printf("  %-46s %8.1f\n", step.what, times[1]);
    }
    return failures == 0 ? 0 : 1;
}
