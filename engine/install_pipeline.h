#pragma once
// The install and update run, on the worker thread.
void install_worker();
