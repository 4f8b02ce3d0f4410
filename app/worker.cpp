#include "app/worker.h"

#include <thread>

#include <windows.h>
#include <objbase.h>

#include "app/state.h"
#include "app/version_check.h"
#include "engine/install_pipeline.h"
#include "removal/uninstall.h"

void start_worker() {
    // Only the window thread starts workers, so the check and the exchange cannot race with
    // another start; the state itself is shared with the worker.
    if (g_workerState.load() == Running) return;
    g_workerState.exchange(Running);
    std::thread(worker_main).detach();
}

void worker_main() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (g_runMode == Uninstall) {
        uninstall_worker();
    } else {
        install_worker();
    }
    // A worker always ends Done or Failed; one that returned without either is a fault of
    // ours, and the window must not wait on it for ever.
    if (g_workerState.load() == Running) set_error(L"Внутренняя ошибка установки.");
    if (SUCCEEDED(com)) CoUninitialize();
}

void start_version_check() {
    std::thread(version_check_main).detach();
}
