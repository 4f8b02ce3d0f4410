// Test helper: waits for Setup's window (class "PlannixSetup"), prints what a test checks
// about it as one JSON line, and optionally asks it to close.
//   find_window.exe [--wait MS] [--close]
// A close request that meets a running worker only cancels it, so --close asks again every
// half second until the window is gone (for up to 20 s).
// Exit code 0 when the window was found, 1 when not within the wait.
#include <cstdio>
#include <string>

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include "base/handles.h"
#include "tests/windows/helpers/json_text.h"

namespace {

std::wstring process_image(DWORD pid) {
    KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return {};
    wchar_t path[1024] = {};
    DWORD size = 1024;
    return QueryFullProcessImageNameW(process.get(), 0, path, &size) ? path : L"";
}

// The command line the process was started with, read from its process parameters.
std::wstring process_command_line(DWORD pid) {
    KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) return {};
    using QueryFn = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query ||
        query(process.get(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0)
        return {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!ReadProcessMemory(process.get(), basic.PebBaseAddress, &peb, sizeof(peb), nullptr) ||
        !ReadProcessMemory(process.get(), peb.ProcessParameters, &parameters, sizeof(parameters),
                           nullptr))
        return {};
    std::wstring line(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process.get(), parameters.CommandLine.Buffer, line.data(),
                           parameters.CommandLine.Length, nullptr))
        return {};
    return line;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD waitMs = 10000;
    bool close = false;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--wait" && i + 1 < argc)
            waitMs = wcstoul(argv[++i], nullptr, 10);
        if (std::wstring(argv[i]) == L"--close") close = true;
    }
    HWND window = nullptr;
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    while (!(window = FindWindowW(L"PlannixSetup", nullptr)) && GetTickCount64() < deadline)
        Sleep(50);
    if (!window) {
        std::printf("{\"found\": false}\n");
        return 1;
    }
    // Let the window finish showing before measuring it.
    for (int i = 0; i < 100 && !IsWindowVisible(window); ++i)
        Sleep(20);
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    RECT client = {}, outer = {};
    GetClientRect(window, &client);
    GetWindowRect(window, &outer);
    POINT origin = {0, 0}; // the client area's top-left corner on the screen
    ClientToScreen(window, &origin);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    // The process first: an unattended run may end while the rest is measured.
    const std::wstring image = process_image(pid);
    const std::wstring commandLine = process_command_line(pid);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    // The class as registered, and whether the program's image holds icon group 1. (Wine
    // answers no other process's class icon.)
    const auto classIcon = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
    ICONINFO iconInfo = {};
    const bool iconUsable = classIcon && GetIconInfo(classIcon, &iconInfo);
    if (iconInfo.hbmColor) DeleteObject(iconInfo.hbmColor);
    if (iconInfo.hbmMask) DeleteObject(iconInfo.hbmMask);
    bool imageHasIcon1 = false;
    if (HMODULE data = LoadLibraryExW(image.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        imageHasIcon1 = FindResourceW(data, MAKEINTRESOURCEW(1), RT_GROUP_ICON) != nullptr;
        FreeLibrary(data);
    }
    std::printf("{\"found\": true, \"title\": %s, \"client\": [%ld, %ld], "
                "\"window\": [%ld, %ld, %ld, %ld], \"origin\": [%ld, %ld], "
                "\"work\": [%ld, %ld, %ld, %ld], "
                "\"style\": %ld, \"exstyle\": %ld, \"class_style\": %lu, \"class_extra\": %lu, "
                "\"window_extra\": %lu, \"class_background\": %s, \"class_menu\": %s, "
                "\"class_icon\": %s, \"image_icon_1\": %s, "
                "\"visible\": %s, \"image\": %s, \"cmdline\": %s}\n",
                json_string(title).c_str(), client.right - client.left, client.bottom - client.top,
                outer.left, outer.top, outer.right, outer.bottom, origin.x, origin.y,
                info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom, style,
                GetWindowLongW(window, GWL_EXSTYLE),
                static_cast<unsigned long>(GetClassLongW(window, GCL_STYLE)),
                static_cast<unsigned long>(GetClassLongW(window, GCL_CBCLSEXTRA)),
                static_cast<unsigned long>(GetClassLongW(window, GCL_CBWNDEXTRA)),
                GetClassLongPtrW(window, GCLP_HBRBACKGROUND) ? "true" : "false",
                GetClassLongPtrW(window, GCLP_MENUNAME) ? "true" : "false",
                iconUsable ? "true" : "false", imageHasIcon1 ? "true" : "false",
                IsWindowVisible(window) ? "true" : "false", json_string(image).c_str(),
                json_string(commandLine).c_str());
    std::fflush(stdout);
    if (close) {
        for (int i = 0; i < 800 && IsWindow(window); ++i) {
            if (i % 20 == 0) PostMessageW(window, WM_CLOSE, 0, 0);
            Sleep(25);
        }
    }
    return 0;
}
