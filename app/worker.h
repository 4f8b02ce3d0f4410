#pragma once
// The background threads: one worker at a time, and the version check.

// Starts the worker (install/update, or removal in Uninstall mode) unless one is running.
void start_worker();
// The worker thread's body.
void worker_main();
// Starts the version check thread once; Install mode only.
void start_version_check();
