#pragma once
// HTTPS GET to the publisher's web site (WinHTTP, synchronous, worker threads only).
#include <cstdint>
#include <limits>
#include <string>

#include "transport/transport_handles.h"

class TransferControl;

constexpr uint64_t kNoBodyLimit = std::numeric_limits<uint64_t>::max();

// One WinHTTP session and its connection to the publisher's site. A run opens one and every
// request of that run goes through it, so connections (and TLS sessions) are kept alive and
// reused; whether a closed session's connections survive differs between Windows versions.
// Requests may be made from several threads at once: each has a request handle of its own.
struct HttpSession {
    Internet session;
    Internet connection;
};

// Opens the session (automatic proxy, HTTP/2 where the system offers it) and its connection.
bool open_http_session(HttpSession& out);

// True only on status 200 with the whole body read, neither stopped nor cancelled through
// `control` (which also counts the bytes read), and at most `max_body` bytes long. With a bound,
// the transfer stops as soon as the body exceeds it, so `body` then holds at most max_body + 1
// bytes (more than max_body tells "too long" from a broken transfer); an announced length within
// the bound is reserved once, so the body never moves, and a body of unknown length grows by
// doubling but never past the bound.
bool http_get(const HttpSession& net, const std::wstring& path, std::string& body,
              TransferControl& control, uint64_t max_body = kNoBodyLimit);

// http_get for a file whose start is already in `body` (from a transfer that broke): asks for the
// rest with a Range request and appends it on a 206 answer that starts exactly there
// (`continued` is then set); a 200 answer replaces `body` with the whole. With `body` empty it is
// http_get. On false, `body` holds what arrived (with the start unless a 200 replaced it). Meant
// for files named by their hash, which never change: the caller checks the whole by its hash.
bool http_get_rest(const HttpSession& net, const std::wstring& path, std::string& body,
                   TransferControl& control, uint64_t max_body, bool& continued);
