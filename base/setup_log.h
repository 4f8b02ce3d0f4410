#pragma once
// The setup log: "plannix-setup.log" in the user's temporary folder, one line per event.
#include <string>

// Appends one line (UTF-8, CR LF); failures are silent and never change a run's outcome.
void append_log(const std::wstring& line);

// The log's full path, or empty when the temporary folder cannot be determined.
std::wstring setup_log_path();
