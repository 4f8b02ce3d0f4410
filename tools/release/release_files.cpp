#include "tools/release/release_files.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "base/whole_file.h"
#include "catalogue/manifest.h"

namespace fs = std::filesystem;

namespace {

// Each LZMS compressor for a 64 MiB chunk needs a lot of memory; a few threads are enough.
constexpr unsigned kMaxThreads = 4;

// PLANNIX_RELEASE_THREADS overrides the count (to measure one core, or use a bigger machine).
unsigned thread_count(size_t jobs) {
    unsigned wanted = std::min(std::max(1u, std::thread::hardware_concurrency()), kMaxThreads);
    if (const char* env = std::getenv("PLANNIX_RELEASE_THREADS")) {
        const long n = std::strtol(env, nullptr, 10);
        if (n > 0 && n <= 64) wanted = static_cast<unsigned>(n);
    }
    return static_cast<unsigned>(std::max<size_t>(1, std::min<size_t>(wanted, jobs)));
}

} // namespace

fs::path release_app_dir(const fs::path& releaseDir) {
    return releaseDir / "plannix" / "app";
}

fs::path blob_path(const fs::path& appDir, const std::string& sha256) {
    return appDir / "blobs" / (sha256 + ".lzms");
}

fs::path patch_path(const fs::path& appDir, const std::string& sha256) {
    return appDir / kPatchFolder / (sha256 + kPatchSuffix);
}

bool write_replacing(const fs::path& path, const std::string& data) {
    fs::path temp = path;
    temp += ".tmp";
    if (write_file_flushed(temp, data) && move_replacing(temp, path)) return true;
    std::error_code ec;
    fs::remove(temp, ec);
    return false;
}

void run_parallel(size_t count, const std::function<void(size_t)>& job) {
    const unsigned threads = thread_count(count);
    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i = next++; i < count; i = next++)
            job(i);
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool)
        t.join();
}

bool is_valid_utf8(const std::string& s) {
    static const uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    for (size_t i = 0; i < s.size();) {
        const unsigned char lead = static_cast<unsigned char>(s[i]);
        size_t extra = 0;
        uint32_t cp = lead;
        if (lead >= 0xF0 && lead < 0xF8) {
            extra = 3;
            cp = lead & 0x07;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if (lead >= 0xC0 && lead < 0xE0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if (lead >= 0x80) {
            return false;
        }
        if (i + extra >= s.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}
