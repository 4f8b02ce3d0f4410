#include "app/worker.h"

#include <atomic>
#include <thread>

#include <windows.h>
#include <objbase.h>

#include "base/state.h"
#include "engine/version_check.h"
#include "catalogue/install_record.h"
#include "engine/install_pipeline.h"
#include "removal/uninstall.h"

namespace {

// Bumped before a run is marked Running, so whoever sees the new Running also sees the new
// number: an old thread that reads a number other than its own knows it is no longer the run.
std::atomic<uint64_t> g_workerRun{0};

} // namespace

uint64_t begin_worker_run() {
    const uint64_t run = g_workerRun.fetch_add(1) + 1;
    g_workerState.exchange(Running);
    return run;
}

void start_worker() {
    // Only the window thread starts workers, so the check and the exchange cannot race with
    // another start; the state itself is shared with the worker.
    if (g_workerState.load() == Running) return;
    std::thread(worker_main, begin_worker_run()).detach();
}

void run_worker_body(void (*body)(), uint64_t run, const wchar_t* message) {
    try {
        body();
    } catch (...) {
        // Nothing may escape the thread; a run that threw before ending is ended below.
    }
    // A body ends its run by setting Done or calling set_error, and only the window can start
    // the next run after that. So the run is still ours, and unended, exactly when the state
    // is Running and no newer run has been numbered; read the state first (see g_workerRun).
    const bool stillRunning = g_workerState.load() == Running;
    const bool stillOurs = g_workerRun.load() == run;
    if (stillRunning && stillOurs) set_error(message);
}

void worker_main(uint64_t run) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (g_runMode == Uninstall) {
        run_worker_body(uninstall_worker, run, L"Внутренняя ошибка удаления.");
    } else {
        run_worker_body(install_worker, run, L"Внутренняя ошибка установки.");
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

void start_version_check() {
    // Read here, on the window thread: the check itself reads no shared field.
    const uint64_t installedSequence = read_installed_sequence(g_installDir);
    std::thread([installedSequence] {
        try {
            version_check_main(installedSequence);
        } catch (...) {
            // Informative only: a failure of the check publishes nothing, as any other does.
        }
    }).detach();
}
