#include "app/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include "app/handles.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

bool read_whole_file(const fs::path& path, std::string& out) {
#ifndef _WIN32
    // Here a folder opens like a file and reads as empty; Windows refuses to open one.
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
#endif
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

namespace {

bool write_bytes(const fs::path& path, const void* data, size_t size, bool flush) {
    const char* bytes = static_cast<const char*>(data);
#ifdef _WIN32
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < size) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        DWORD written = 0;
        ok = WriteFile(file.get(), bytes + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    // Flushed data has reached the disk; what closing could still report is already known.
    return ok && (!flush || FlushFileBuffers(file.get()));
#else
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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

bool move_replacing(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
    return MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}
