#pragma once
// The one HTTPS GET to the publisher's web site (WinHTTP, synchronous, worker threads only).
#include <string>

// True only on status 200 with the whole body read, not cancelled.
bool http_get(const std::wstring& path, std::string& body, bool count_progress);
