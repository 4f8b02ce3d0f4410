#pragma once
// The window's pages as states of the shared records, for the gallery, the layout and pixel
// tests and the frame benchmark: each sets the records, then the real paint_window renders.
// The list itself is portable: the native tests check each page's keyboard order.
#include <cstdint>
#include <string>

#include "base/state.h"

struct PageSetup {
    const char* name;
    RunMode mode;
    WorkerState state;
    const char* installedVersion;
    const char* remoteVersion;
    bool catalogReady;
    uint64_t bytesDone, bytesTotal;
    int32_t hoverId, pressedId;
    const wchar_t* installDir; // null: the usual default folder
    int32_t focusId = -1;      // the keyboard focus
    bool focusRing = false;    // the keyboard has been used, so the focus shows
};

constexpr uint64_t kMiB = 1048576;
inline const wchar_t kDefaultDir[] =
    L"C:\\users\\tester\\AppData\\Local\\Programs\\Kvartalis\\Plannix";
inline const wchar_t kLongDir[] =
    L"D:\\Работа\\Магазины\\Проекты на две тысячи двадцать шестой год\\Сеть у дома\\"
    L"Отдел планировки торгового зала\\Программы\\Kvartalis Plannix";

// clang-format off
inline const PageSetup kPages[] = {
    // name                              mode       state    installed remote  catalog done total hover pressed dir
    {"install-first-idle",               Install,   Idle,    "",      "",      false, 0, 0, -1, -1, nullptr},
    {"install-first-idle-catalog",       Install,   Idle,    "",      "2.5.0", true,  0, 0, -1, -1, nullptr},
    {"install-first-running",            Install,   Running, "",      "2.5.0", true,  210 * kMiB, 525 * kMiB, -1, -1, nullptr},
    {"install-first-running-no-total",   Install,   Running, "",      "2.5.0", true,  0, 0, -1, -1, nullptr},
    {"install-first-running-overfull",   Install,   Running, "",      "2.5.0", true,  600 * kMiB, 525 * kMiB, -1, -1, nullptr},
    {"install-first-failed-progress",    Install,   Failed,  "",      "2.5.0", true,  210 * kMiB, 525 * kMiB, -1, -1, nullptr},
    {"install-first-failed-no-progress", Install,   Failed,  "",      "",      false, 0, 0, -1, -1, nullptr},
    {"install-first-done",               Install,   Done,    "2.5.0", "2.5.0", true,  525 * kMiB, 525 * kMiB, -1, -1, nullptr},
    {"install-change-idle-apply",        Install,   Idle,    "2.5.0", "2.5.0", true,  0, 0, -1, -1, nullptr},
    {"install-change-idle-update",       Install,   Idle,    "2.4.1", "2.5.0", true,  0, 0, -1, -1, nullptr},
    {"install-change-idle-no-catalog",   Install,   Idle,    "2.4.1", "",      false, 0, 0, -1, -1, nullptr},
    {"install-change-failed",            Install,   Failed,  "2.4.1", "2.5.0", true,  0, 0, -1, -1, nullptr},
    {"update-idle",                      Update,    Idle,    "2.4.1", "",      false, 0, 0, -1, -1, nullptr},
    {"update-running",                   Update,    Running, "2.4.1", "",      false, 3 * kMiB, 12 * kMiB, -1, -1, nullptr},
    {"update-failed-progress",           Update,    Failed,  "2.4.1", "",      false, 3 * kMiB, 12 * kMiB, -1, -1, nullptr},
    {"update-failed-no-progress",        Update,    Failed,  "2.4.1", "",      false, 0, 0, -1, -1, nullptr},
    {"update-done",                      Update,    Done,    "2.5.0", "",      false, 12 * kMiB, 12 * kMiB, -1, -1, nullptr},
    {"uninstall-idle",                   Uninstall, Idle,    "2.5.0", "",      false, 0, 0, -1, -1, nullptr},
    {"uninstall-running",                Uninstall, Running, "2.5.0", "",      false, 0, 0, -1, -1, nullptr},
    {"uninstall-failed",                 Uninstall, Failed,  "2.5.0", "",      false, 0, 0, -1, -1, nullptr},
    {"uninstall-done",                   Uninstall, Done,    "2.5.0", "",      false, 0, 0, -1, -1, nullptr},
    {"hover-primary",                    Install,   Idle,    "",      "",      true,  0, 0,  1, -1, nullptr},
    {"pressed-primary-mouse-away",       Install,   Idle,    "",      "",      true,  0, 0, -1,  1, nullptr},
    {"hover-secondary-choose-folder",    Install,   Idle,    "",      "",      true,  0, 0,  3, -1, nullptr},
    {"hover-unchecked-row-and-box",      Install,   Idle,    "",      "",      true,  0, 0, 104, -1, nullptr},
    {"hover-danger",                     Uninstall, Idle,    "2.5.0", "",      false, 0, 0,  1, -1, nullptr},
    {"pressed-danger",                   Uninstall, Idle,    "2.5.0", "",      false, 0, 0,  1,  1, nullptr},
    {"long-folder-path",                 Install,   Idle,    "",      "",      true,  0, 0, -1, -1, kLongDir},
    {"focus-primary-button",             Install,   Idle,    "",      "",      true,  0, 0, -1, -1, nullptr, 1, true},
    {"focus-checked-box",                Install,   Idle,    "",      "",      true,  0, 0, -1, -1, nullptr, 4, true},
    {"focus-unchecked-row",              Install,   Idle,    "",      "",      true,  0, 0, -1, -1, nullptr, 102, true},
    {"focus-cancel-running",             Install,   Running, "",      "2.5.0", true,  210 * kMiB, 525 * kMiB, -1, -1, nullptr, 2, true},
};
// clang-format on

inline const PageSetup& find_page(const std::string& name) {
    for (const PageSetup& page : kPages)
        if (name == page.name) return page;
    return kPages[0];
}

#ifdef _WIN32
#include <algorithm>
#include <mutex>
#include <vector>

#include <windows.h>

#include "app/window_host.h"
#include "ui/focus.h"
#include "ui/paint.h"

// Sets every record a page reads: the page's own values over one fixed machine (an NVIDIA card,
// sizes from a few hundred megabytes down to one below 1 MiB and one of 0 bytes).
inline void apply_page(const PageSetup& page, float scale) {
    g_runMode = page.mode;
    g_workerState.store(page.state);
    set_installed_version(page.installedVersion);
    {
        std::lock_guard<std::mutex> lock(g_stateLock);
        g_remoteVersion = page.remoteVersion;
        g_statusText = page.mode == Uninstall ? L"Удаляются файлы программы…"
                                              : L"Скачивается nvngx_dlss.dll (3 из 41)";
        g_errorText = L"Не удалось скачать файл nvngx_dlss.dll: сервер не ответил. Проверьте "
                      L"подключение к интернету и нажмите «Повторить».";
    }
    g_installDir = page.installDir ? page.installDir : kDefaultDir;
    g_bytesDone.store(page.bytesDone);
    g_bytesTotal.store(page.bytesTotal);
    const bool selected[5] = {true, true, false, false, false};
    const uint64_t sizes[5] = {812 * kMiB + 123456, 420 * kMiB, 300000, 0, 95 * kMiB};
    for (int n = 0; n < 5; ++n) {
        g_componentSelected[n] = selected[n];
        g_componentDownloadSize[n] = sizes[n];
    }
    g_gpuVendorIds = {0x10DE};
    g_catalogReady.store(page.catalogReady);
    g_desktopShortcut.store(true);
    g_launchAfterInstall.store(false);
    g_removeUserData.store(page.state == Failed);
    g_hoverId = page.hoverId;
    g_pressedId = page.pressedId;
    g_focusId = page.focusId;
    g_focusRingShown = page.focusRing;
    g_uiScale = scale;
}

// One painted frame read back from a 32-bit bitmap: 0xAARRGGBB per pixel, rows top down.
struct Rendered {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    std::vector<HitRect> hitRects;
    FrameSnapshot frame; // what a screen reader reads of it

    uint32_t rgb(int x, int y) const {
        return pixels[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFF;
    }
};

// The client size Setup's window gets for the current records at `scale` (integer part).
inline SIZE client_size_at(float scale) {
    const SIZE logical = logical_client_size();
    return {static_cast<LONG>(scale * static_cast<float>(logical.cx)),
            static_cast<LONG>(static_cast<float>(logical.cy) * scale)};
}

// The header of a top-down 32-bit bitmap of `size` (rows from the top, no palette).
inline BITMAPINFO top_down_bitmap_info(SIZE size) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A memory device context over a top-down 32-bit DIB section of the window's client size.
struct MemoryCanvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* bits = nullptr;
    RECT client = {};

    explicit MemoryCanvas(SIZE size) {
        client = {0, 0, size.cx, size.cy};
        const BITMAPINFO info = top_down_bitmap_info(size);
        void* data = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &data, nullptr, 0);
        bits = static_cast<uint32_t*>(data);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
    }
    ~MemoryCanvas() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;
};

// Paints the records as they stand at `scale`.
inline Rendered render_records(float scale) {
    const SIZE size = client_size_at(scale);
    MemoryCanvas canvas(size);
    Rendered out;
    if (!canvas.bits) return out;
    // A colour the frame never leaves behind, so an unpainted area shows.
    std::fill(canvas.bits, canvas.bits + size_t(size.cx) * size_t(size.cy), 0xFF00FF00u);
    paint_window(canvas.dc, canvas.client);
    GdiFlush();
    out.width = size.cx;
    out.height = size.cy;
    out.pixels.assign(canvas.bits, canvas.bits + size_t(size.cx) * size_t(size.cy));
    out.hitRects = g_hitRects;
    out.frame = last_frame();
    return out;
}

inline Rendered render_page(const PageSetup& page, float scale) {
    apply_page(page, scale);
    return render_records(scale);
}
#endif
