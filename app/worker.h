#pragma once
// The background threads: one worker at a time, and the version check.
#include <cstdint>

// Starts the worker (install/update, or removal in Uninstall mode) unless one is running.
void start_worker();
// The worker thread's body for run number `run` (each start_worker makes a new one).
void worker_main(uint64_t run);
// One run of a worker body with the safety net around it: a body that throws, or returns
// without having ended its run (Done or set_error), ends it as Failed with `message`, unless
// another run has been started meanwhile. Exposed for the tests.
void run_worker_body(void (*body)(), uint64_t run, const wchar_t* message);
// Numbers a new run and marks the worker Running; start_worker's first half, without the
// thread. Returns the run's number.
uint64_t begin_worker_run();
// Starts the version check thread once; Install mode only.
void start_version_check();
