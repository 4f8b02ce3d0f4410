#include "engine/running_app.h"

#include <windows.h>
#include <shellapi.h>

#include "app/handles.h"
#include "app/names.h"
#include "app/paths.h"
#include "app/state.h"
#include "app/window_host.h"

namespace {

constexpr DWORD kAppExitWaitMs = 60000;

} // namespace

void wait_for_process(uint32_t pid) {
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    // Ended, timed out or failed alike: the busy check that follows decides.
    if (process) WaitForSingleObject(process.get(), kAppExitWaitMs);
}

bool is_file_busy(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return false;
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

void restart_app_and_close() {
    const std::wstring exe = join_path(g_installDir, kAppExeName);
    ShellExecuteW(nullptr, L"open", exe.c_str(), nullptr, g_installDir.c_str(), SW_SHOWNORMAL);
    // Without a window a null handle would post to this thread's own queue instead.
    if (const HWND window = g_mainWindow.load()) PostMessageW(window, WM_CLOSE, 0, 0);
}
