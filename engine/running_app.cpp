#include "engine/running_app.h"

#include <windows.h>
#include <shellapi.h>

#include "base/handles.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/state.h"
#include "base/main_window.h"

namespace {

constexpr DWORD kAppExitWaitMs = 60000;

} // namespace

void wait_for_process(uint32_t pid) {
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    // Ended, timed out or failed alike: the busy check that follows decides.
    if (process) WaitForSingleObject(process.get(), kAppExitWaitMs);
}

void finish_successful_run() {
    // After an update the application comes back by itself, started before the window learns
    // that the run is done: from then on it offers "Запустить" (a second copy) and "Закрыть"
    // (which would end Setup before the restart). After an install the window offers to start it.
    // Only a restart that worked closes the window; otherwise the Done page stays, with
    // "Запустить" for the user to try.
    bool restarted = false;
    if (g_runMode == Update && !g_autoMode) {
        const std::wstring exe = join_path(g_installDir, kAppExeName);
        restarted = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", exe.c_str(), nullptr,
                                                            g_installDir.c_str(),
                                                            SW_SHOWNORMAL)) > 32;
    }
    g_workerState.exchange(Done);
    // Without a window a null handle would post to this thread's own queue instead.
    if (restarted)
        if (const HWND window = g_mainWindow.load()) PostMessageW(window, WM_CLOSE, 0, 0);
}
