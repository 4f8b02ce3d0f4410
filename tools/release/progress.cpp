#include "tools/release/progress.h"

#include <chrono>
#include <exception>

#include <unistd.h>

namespace {

// Often enough to look alive, rarely enough to cost nothing.
constexpr std::chrono::milliseconds kRedraw{250};

double megabytes(uint64_t bytes) {
    return static_cast<double>(bytes) / 1e6;
}

} // namespace

Progress::Progress(std::string label, size_t totalItems, uint64_t totalBytes, std::FILE* out)
    : label_(std::move(label)), totalItems_(totalItems), totalBytes_(totalBytes), out_(out) {
    if (::isatty(::fileno(out_))) thread_ = std::thread(&Progress::run, this);
}

Progress::~Progress() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Progress::add(uint64_t bytes) {
    bytes_ += bytes;
    ++items_;
}

void Progress::draw() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const uint64_t bytes = bytes_.load();
    std::fprintf(out_, "\r\033[K%s %zu/%zu files, %.1f of %.1f MB, %.1f MB/s", label_.c_str(),
                 items_.load(), totalItems_, megabytes(bytes), megabytes(totalBytes_),
                 seconds > 0 ? megabytes(bytes) / seconds : 0.0);
    std::fflush(out_);
}

void Progress::run() {
    try {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            draw();
            wake_.wait_for(lock, kRedraw, [this] { return stop_; });
        }
        // The last state, then the line is cleared for whatever the command prints next.
        draw();
        std::fprintf(out_, "\r\033[K");
        std::fflush(out_);
    } catch (const std::exception&) {
        // A progress line that cannot be drawn is no reason to stop the work.
    }
}
