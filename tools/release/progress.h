#pragma once
// One updating line of progress for a long run on a terminal: "packing 12/300 files, 45.2 of
// 200.0 MB, 80.1 MB/s", redrawn in place by a thread of its own and erased at the end. When
// standard output is not a terminal it does nothing, so logs and pipes get only the summary.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

class Progress {
  public:
    // `out` is drawn on only when it is a terminal.
    Progress(std::string label, size_t totalItems, uint64_t totalBytes, std::FILE* out = stdout);
    ~Progress(); // draws the final count, erases the line and joins the drawing thread
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // One item done, `bytes` long. Any thread.
    void add(uint64_t bytes);

  private:
    void draw();
    void run();

    const std::string label_;
    const size_t totalItems_;
    const uint64_t totalBytes_;
    std::FILE* const out_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    // Written by the workers, read by the drawing thread.
    std::atomic<size_t> items_{0};
    std::atomic<uint64_t> bytes_{0};
    // stop_ under mutex_: the drawing thread waits on it between redraws.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};
