#include "app/window_host.h"

#include "base/main_window.h"
#include "base/optional_api.h"
#include "base/state.h"
#include "app/worker.h"
#include "ui/commands.h"
#include "ui/window_proc.h"

namespace {

const wchar_t kClassName[] = L"PlannixSetup";
// What the window's commands call back into the shell; the window keeps a pointer to it.
const UiHost kUiHost = {start_worker};
const DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

float monitor_scale(HMONITOR monitor) {
    UINT dpiX = 96, dpiY = 96;
    if (const auto getDpi = optional_api().getDpiForMonitor) {
        if (FAILED(getDpi(monitor, 0 /* MDT_EFFECTIVE_DPI */, &dpiX, &dpiY))) dpiX = 96;
    }
    return static_cast<float>(dpiX) / 96.0f;
}

} // namespace

SIZE logical_client_size() {
    if (g_runMode != Install) return {600, 420};
    return {600, get_installed_version().empty() ? 660 : 580};
}

void register_window_class(HINSTANCE instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
}

bool create_main_window(HINSTANCE instance) {
    register_window_class(instance);

    const HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    g_uiScale = monitor_scale(monitor);
    const SIZE logical = logical_client_size();
    RECT rect = {0, 0, static_cast<LONG>(g_uiScale * static_cast<float>(logical.cx)),
                 static_cast<LONG>(static_cast<float>(logical.cy) * g_uiScale)};

    if (g_runMode == Install) start_version_check();

    AdjustWindowRectEx(&rect, kWindowStyle, FALSE, 0);
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(monitor, &info);
    const RECT& work = info.rcWork;
    const int x = (work.left + work.right - w) / 2;
    const int y = (work.top + work.bottom - h) / 2;

    const wchar_t* title = g_runMode == Uninstall ? L"Удаление — Планикс — Кварталис"
                                                  : L"Установка — Планикс — Кварталис";
    // The creation parameter is not const in the API; the window only reads the host.
    const HWND window = CreateWindowExW(0, kClassName, title, kWindowStyle, x, y, w, h, nullptr,
                                        nullptr, instance, const_cast<UiHost*>(&kUiHost));
    if (!window) return false;
    g_mainWindow.store(window);
    ShowWindow(window, SW_SHOWNORMAL);
    SetTimer(window, kRepaintTimerId, kRepaintPeriodMs, nullptr);
    return true;
}

void run_message_loop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
