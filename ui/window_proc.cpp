#include "ui/window_proc.h"

#include "app/state.h"
#include "app/window_host.h"
#include "ui/paint.h"

namespace {

void paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    paint_window(dc, client);
    EndPaint(window, &ps);
}

} // namespace

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint covers every pixel
    case WM_TIMER:
        if (wParam == kRepaintTimerId) {
            const WorkerState state = g_workerState.load();
            // An unattended run closes itself once its worker has finished.
            if (g_autoMode && (state == Done || state == Failed))
                PostMessageW(window, WM_CLOSE, 0, 0);
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_CLOSE:
        // Never end the process in the middle of a run: a close request becomes a cancel.
        if (g_workerState.load() == Running) {
            g_cancelRequested.exchange(true);
            return 0;
        }
        DestroyWindow(window);
        return 0;
    case WM_DPICHANGED: {
        g_uiScale = static_cast<float>(LOWORD(wParam)) / 96.0f;
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_DESTROY:
        KillTimer(window, kRepaintTimerId);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
