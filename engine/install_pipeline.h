#pragma once
// The install and update run, on the worker thread (COM initialised by the thread's entry).
// It reports only through the shared state: it ends Done, or Failed through set_error with one
// message; no exception leaves it.
void install_worker();
