#pragma once
// The installed application as a running process: waiting for it to end, telling whether its
// executable is still in use, starting it again after an update.
#include <cstdint>
#include <string>

// Waits up to 60 s for the process to end; whatever the outcome, returns.
void wait_for_process(uint32_t pid);

// True when the file exists but another process holds it so it cannot be opened for writing.
bool is_file_busy(const std::wstring& path);

// Starts the application from the install folder and asks the window to close itself.
void restart_app_and_close();
