#include "ui/window_proc.h"

#include <utility>

#include <windowsx.h>

#include <algorithm>

#include "base/state.h"
#include "ui/accessible.h"
#include "ui/commands.h"
#include "ui/control_ids.h"
#include "ui/focus.h"
#include "ui/input.h"
#include "ui/paint.h"

namespace {

// Kept between calls, window thread only: an unattended run posts its close once, and the
// timer notices the moment a run has finished.
bool g_closeRequested = false;
WorkerState g_lastSeenState = Idle;

void invalidate(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
}

void paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    paint_window(dc, client);
    EndPaint(window, &ps);
}

// Paints now rather than at the next WM_PAINT, so that a screen reader told of the change by
// the paint's events reads the new frame.
void show_now(HWND window) {
    invalidate(window);
    UpdateWindow(window);
}

bool takes_focus(int32_t id) {
    const std::vector<int32_t>& order = last_frame().focusOrder;
    return id != kNoControl && std::find(order.begin(), order.end(), id) != order.end();
}

bool is_button(int32_t id) {
    return id == kPrimaryButton || id == kCancelButton || id == kChooseFolder;
}

void on_key(HWND window, WPARAM key, LPARAM flags) {
    constexpr LPARAM kRepeat = LPARAM(1) << 30; // the key was already down: auto-repeat
    switch (key) {
    case VK_TAB:
        g_focusRingShown = true;
        g_focusId = next_focus(last_frame().focusOrder, g_focusId, GetKeyState(VK_SHIFT) >= 0);
        show_now(window);
        return;
    case VK_SPACE:
        // A focused check box toggles, a focused button is pressed; once per press, as a
        // held key would otherwise toggle the box back and forth.
        if (!takes_focus(g_focusId) || (flags & kRepeat)) return;
        g_focusRingShown = true;
        on_command(window, g_focusId);
        show_now(window);
        return;
    case VK_RETURN:
        // A focused button is pressed; otherwise Enter is the primary button.
        on_command(window,
                   takes_focus(g_focusId) && is_button(g_focusId) ? g_focusId : kPrimaryButton);
        show_now(window);
        return;
    case VK_ESCAPE:
        if (g_workerState.load() != Running) PostMessageW(window, WM_CLOSE, 0, 0);
        return;
    }
}

void on_mouse_move(HWND window, LPARAM lParam) {
    if (hover_at(static_cast<float>(GET_X_LPARAM(lParam)),
                 static_cast<float>(GET_Y_LPARAM(lParam))))
        invalidate(window);
    SetCursor(LoadCursorW(nullptr, g_hoverId == kNoControl ? IDC_ARROW : IDC_HAND));
    // Ask for WM_MOUSELEAVE, so the hover ends when the pointer leaves the client area.
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = window;
    track.dwHoverTime = 0;
    TrackMouseEvent(&track);
}

void on_timer(HWND window) {
    const WorkerState state = g_workerState.load();
    // Remembered before anything runs: launching may pump messages and tick again inside.
    const WorkerState last = std::exchange(g_lastSeenState, state);
    if (g_autoMode && (state == Done || state == Failed)) {
        // An unattended run closes itself exactly once and never launches the application.
        if (!g_closeRequested) {
            g_closeRequested = true;
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return;
    }
    // A run that started and ended between two ticks is seen going from Idle or Failed
    // straight to Done; it has finished all the same and launches like a slower one.
    if (state == Done && last != Done && g_runMode == Install && g_launchAfterInstall.load())
        on_command(window, kPrimaryButton);
    // The regular repaint that shows the worker's progress, skipped when the frame would be
    // the one already on the screen.
    RECT client;
    GetClientRect(window, &client);
    if (frame_would_change(client)) invalidate(window);
}

void on_dpi_changed(HWND window, WPARAM wParam, LPARAM lParam) {
    g_uiScale = static_cast<float>(HIWORD(wParam)) / 96.0f;
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    invalidate(window); // the size may stay while everything in it grows
}

} // namespace

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        // The host the window was created with (ui_host), kept for the window's whole life.
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(
                              reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams));
        break;
    case WM_PAINT:
        paint(window);
        announce_changes(window, GetTickCount64());
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint covers every pixel
    case WM_SETCURSOR:
        // Inside the client area the cursor chosen at the last mouse move stays.
        if (LOWORD(lParam) == HTCLIENT) return TRUE;
        break;
    case WM_MOUSEMOVE:
        on_mouse_move(window, lParam);
        return 0;
    case WM_MOUSELEAVE:
        g_hoverId = kNoControl;
        invalidate(window);
        return 0;
    case WM_LBUTTONDOWN:
        press_hovered();
        if (takes_focus(g_hoverId)) g_focusId = g_hoverId; // a click moves the focus
        // With the capture, hover is tracked outside the window too, and a release anywhere
        // ends the press.
        SetCapture(window);
        invalidate(window);
        return 0;
    case WM_LBUTTONUP: {
        // The press ends before the capture does: releasing it sends WM_CAPTURECHANGED, which
        // must find no press left to cancel.
        const int32_t id = release_press();
        ReleaseCapture();
        if (id != kNoControl) on_command(window, id);
        invalidate(window);
        return 0;
    }
    case WM_CAPTURECHANGED:
        // The capture was taken away in the middle of a press (another window, a dialog): the
        // button's release will never come here, so the press ends now, without a click.
        if (cancel_press()) invalidate(window);
        return 0;
    case WM_KEYDOWN:
        on_key(window, wParam, lParam);
        return 0;
    case WM_CLOSE:
        // Never end the process in the middle of a run: a close request becomes a cancel.
        if (g_workerState.load() == Running) {
            g_cancelRequested.exchange(true);
            return 0;
        }
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        disconnect_accessible(window);
        KillTimer(window, kRepaintTimerId);
        PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        on_timer(window);
        announce_changes(window, GetTickCount64());
        return 0;
    case WM_GETOBJECT:
        return answer_get_object(window, wParam, lParam);
    case WM_DPICHANGED:
        on_dpi_changed(window, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void click_control(HWND window, int32_t id) {
    if (takes_focus(id)) g_focusId = id;
    on_command(window, id);
    show_now(window);
}

void focus_control(HWND window, int32_t id) {
    g_focusId = id;
    g_focusRingShown = true;
    show_now(window);
}
