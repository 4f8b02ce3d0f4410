#pragma once
// The window's pages as states of the shared records, for the gallery, the layout and pixel
// tests and the frame benchmark: each sets the records, then the real paint_window renders.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include "app/state.h"
#include "app/window_host.h"
#include "ui/focus.h"
#include "ui/paint.h"
#include "tests/ui_page_list.h"

inline const PageSetup& find_page(const std::string& name) {
    for (const PageSetup& page : kPages)
        if (name == page.name) return page;
    return kPages[0];
}

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

// A memory device context over a top-down 32-bit DIB section of the window's client size.
struct MemoryCanvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* bits = nullptr;
    RECT client = {};

    explicit MemoryCanvas(SIZE size) {
        client = {0, 0, size.cx, size.cy};
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = size.cx;
        info.bmiHeader.biHeight = -size.cy;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
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
