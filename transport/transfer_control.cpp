#include "transport/transfer_control.h"

#include <algorithm>

void TransferControl::stop() {
    std::lock_guard<std::mutex> hold(lock_);
    stopped_.store(true);
    for (HINTERNET request : inFlight_)
        WinHttpCloseHandle(request);
    inFlight_.clear();
}

HINTERNET TransferControl::open_request(HINTERNET connection, const std::wstring& path) {
    std::lock_guard<std::mutex> hold(lock_);
    if (stopped_.load()) return nullptr;
    // Reserved first: a registration that threw would leave a handle nobody could stop.
    inFlight_.reserve(inFlight_.size() + 1);
    HINTERNET request =
        WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    if (request) inFlight_.push_back(request);
    return request;
}

void TransferControl::close_request(HINTERNET request) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        const auto it = std::find(inFlight_.begin(), inFlight_.end(), request);
        if (it == inFlight_.end()) return; // a stop closed it
        inFlight_.erase(it);
    }
    WinHttpCloseHandle(request);
}
