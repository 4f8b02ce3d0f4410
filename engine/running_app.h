#pragma once
// The installed application as a running process: waiting for it to end, starting it again
// after an update.
#include <cstdint>
#include <string>

// Waits up to 60 s for the process to end; whatever the outcome, returns.
void wait_for_process(uint32_t pid);

// Ends a successful run: sets Done; in Update mode without "/auto" first starts the application
// from the install folder, and after Done asks the window to close itself when it started.
void finish_successful_run();
