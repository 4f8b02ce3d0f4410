#pragma once
// The removal run, on the worker thread.
void uninstall_worker();
