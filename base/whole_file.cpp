#include "base/whole_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#ifdef _WIN32
#include "base/handles.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Reads and writes go in pieces of at most this much: the Windows calls take 32-bit counts.
constexpr size_t kMaxIo = size_t{1} << 30;
static_assert(kMaxIo <= 0xFFFFFFFFu);

// An open file for reading and its size; the reads of both readers go through it.
class Reader {
  public:
    explicit Reader(const fs::path& path) {
#ifdef _WIN32
        // Shared every way: reading must never stand in the way of a move or of another reader.
        file_.reset(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        ok_ = file_ && GetFileSizeEx(file_.get(), &size) && size.QuadPart >= 0;
        size_ = ok_ ? static_cast<uint64_t>(size.QuadPart) : 0;
#else
        // Here a folder opens like a file and reads as empty; Windows refuses to open one.
        std::error_code ec;
        ok_ = fs::is_regular_file(path, ec);
        if (ok_) in_.open(path, std::ios::binary);
        size_ = ok_ ? fs::file_size(path, ec) : 0;
        ok_ = ok_ && in_ && !ec;
#endif
    }
    bool ok() const { return ok_; }
    uint64_t size() const { return size_; }

    // Up to `count` bytes (at most kMaxIo); 0 at the end of the file or on an error.
    size_t read(char* into, size_t count) {
#ifdef _WIN32
        DWORD got = 0;
        ok_ = ok_ && ReadFile(file_.get(), into, static_cast<DWORD>(count), &got, nullptr);
        return ok_ ? got : 0;
#else
        in_.read(into, static_cast<std::streamsize>(count));
        ok_ = ok_ && !in_.bad();
        return ok_ ? static_cast<size_t>(in_.gcount()) : 0;
#endif
    }

  private:
#ifdef _WIN32
    FileHandle file_;
#else
    std::ifstream in_;
#endif
    bool ok_ = false;
    uint64_t size_ = 0;
};

} // namespace

bool read_whole_file(const fs::path& path, std::string& out) {
    Reader in(path);
    if (!in.ok() || in.size() > out.max_size()) return false;
    // One buffer of the file's size, filled in place: no growth, no copy.
    out.clear();
    out.resize(static_cast<size_t>(in.size()));
    size_t done = 0;
    while (done < out.size()) {
        const size_t got = in.read(out.data() + done, std::min(out.size() - done, kMaxIo));
        if (got == 0) break; // it shrank since its size was read, or the read failed
        done += got;
    }
    out.resize(done);
    return in.ok();
}

bool read_in_pieces(const fs::path& path, const std::function<void(const char*, size_t)>& take) {
    Reader in(path);
    std::vector<char> piece(size_t{1} << 20);
    while (in.ok()) {
        const size_t got = in.read(piece.data(), piece.size());
        if (got == 0) break;
        take(piece.data(), got);
    }
    return in.ok();
}

namespace {

bool write_bytes(const fs::path& path, const void* data, size_t size, bool flush,
                 bool mustBeNew = false) {
    const char* bytes = static_cast<const char*>(data);
#ifdef _WIN32
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                mustBeNew ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < size) {
        DWORD chunk = static_cast<DWORD>(std::min(size - done, kMaxIo));
        DWORD written = 0;
        ok = WriteFile(file.get(), bytes + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    // Flushed data has reached the disk; what closing could still report is already known.
    return ok && (!flush || FlushFileBuffers(file.get()));
#else
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | (mustBeNew ? O_EXCL : O_TRUNC) | O_CLOEXEC,
                    0644);
    if (fd < 0) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < size) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && (!flush || ::fsync(fd) == 0);
    if (::close(fd) != 0) ok = false;
    return ok;
#endif
}

} // namespace

// Flushed before returning, so that the move that follows never puts a half-written file in
// place, even across a power cut.
bool write_file_flushed(const fs::path& path, const std::string& data) {
    return write_file_flushed(path, data.data(), data.size());
}

bool write_file_flushed(const fs::path& path, const void* data, size_t size) {
    return write_bytes(path, data, size, true);
}

bool write_file(const fs::path& path, const void* data, size_t size) {
    return write_bytes(path, data, size, false);
}

bool write_new_file(const fs::path& path, const void* data, size_t size) {
    return write_bytes(path, data, size, false, true);
}

bool move_replacing(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
    return MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}
