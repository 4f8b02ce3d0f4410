#pragma once
// What the transfers of one run share: where to look for the caller's cancel, where to count
// the bytes read, and, to be stopped together, a stop flag and the request handles in flight. A
// stop closes every request in flight, which ends its blocking WinHTTP call at once (the documented
// way to end a synchronous request), so a failure or a cancel never waits for the rest of a slow
// transfer.
//
// Handle rule: a request is opened and registered under the control's lock, and closed exactly
// once: by stop() under that lock while registered, else by its owner after unregistering it.
// No request of the run is opened after a stop, so a value closed by a stop is not handed out
// again to the run's own requests while its owner may still name it; the owner's later calls
// on it simply fail. (Wine 8 does not wake a call blocked on a silent connection when its
// handle is closed; there the stop takes effect when the next bytes arrive.)
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include <winhttp.h>

class TransferControl {
  public:
    // `cancel`: the caller's flag that ends the transfers once set, or null for none;
    // `progress`: where each chunk read is added, or null for transfers that are not progress.
    // Both belong to the caller and outlive the control.
    explicit TransferControl(const std::atomic<bool>* cancel = nullptr,
                             std::atomic<uint64_t>* progress = nullptr)
        : cancel_(cancel), progress_(progress) {}
    TransferControl(const TransferControl&) = delete;
    TransferControl& operator=(const TransferControl&) = delete;

    // Ends every request in flight and refuses new ones; any thread, any number of times.
    void stop();
    // True after stop(); the caller's cancel alone does not count.
    bool stopped() const { return stopped_.load(); }
    // True after stop() or once the caller's cancel is set: a transfer then ends.
    bool stopped_or_cancelled() const { return stopped() || (cancel_ && cancel_->load()); }
    // Counts `bytes` read, when the control counts progress.
    void count(uint64_t bytes) const {
        if (progress_) progress_->fetch_add(bytes);
    }

    // A GET request for `path` on `connection`, registered; null when stopped or not opened.
    HINTERNET open_request(HINTERNET connection, const std::wstring& path);
    // Unregisters and closes a request of open_request, unless a stop has closed it already.
    void close_request(HINTERNET request);

  private:
    const std::atomic<bool>* const cancel_;
    std::atomic<uint64_t>* const progress_;
    std::mutex lock_;
    std::atomic<bool> stopped_{false};
    std::vector<HINTERNET> inFlight_; // guarded by lock_
};
