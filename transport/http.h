#pragma once
// The one HTTPS GET to the publisher's web site (WinHTTP, synchronous, worker threads only).
#include <cstdint>
#include <limits>
#include <string>

constexpr uint64_t kNoBodyLimit = std::numeric_limits<uint64_t>::max();

// True only on status 200 with the whole body read, not cancelled, and at most `max_body`
// bytes long. With a bound, the transfer stops as soon as the body exceeds it, so `body` then
// holds at most max_body + 1 bytes (more than max_body tells "too long" from a broken
// transfer); an announced length within the bound is reserved once, so the body never moves.
bool http_get(const std::wstring& path, std::string& body, bool count_progress,
              uint64_t max_body = kNoBodyLimit);
