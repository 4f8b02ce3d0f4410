#pragma once
// Test data for the LZMS tests: real files (Wine's x86-64 DLLs, source text), seeded random
// bytes, and raw chunks made by wimlib, the reference LZMS implementation.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <wimlib.h>

namespace lzms_test {

using Bytes = std::vector<uint8_t>;

inline const char* kWineDllDir = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";

inline Bytes read_file(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// Whole files from `dir` whose names end in one of `suffixes`, in name order, until `limit`.
inline Bytes concat_files(const std::filesystem::path& dir,
                          const std::vector<std::string>& suffixes, size_t limit, bool recursive) {
    std::vector<std::filesystem::path> paths;
    std::error_code ec;
    auto consider = [&](const std::filesystem::directory_entry& e) {
        if (!e.is_regular_file(ec)) return;
        const std::string name = e.path().filename().string();
        for (const std::string& s : suffixes)
            if (name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0)
                paths.push_back(e.path());
    };
    if (recursive) {
        for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            consider(*it);
    } else {
        for (auto it = std::filesystem::directory_iterator(dir, ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
            consider(*it);
    }
    std::sort(paths.begin(), paths.end());
    Bytes out;
    for (const auto& p : paths) {
        if (out.size() >= limit) break;
        Bytes b = read_file(p);
        out.insert(out.end(), b.begin(), b.end());
    }
    if (out.size() > limit) out.resize(limit);
    return out;
}

// Real x86-64 PE code: the first DLLs of Wine's, up to `limit` bytes (empty without Wine).
inline Bytes wine_dlls(size_t limit) {
    return concat_files(kWineDllDir, {".dll"}, limit, false);
}

// Real text: this repository's sources (not its build folders), then system C headers.
inline Bytes source_text(size_t limit) {
    const std::vector<std::string> suffixes = {".cpp", ".h", ".md", ".cmake", ".txt", ".sh"};
    Bytes out;
    const std::filesystem::path root = PLANNIX_SOURCE_DIR;
    for (const char* dir :
         {"app", "catalogue", "transport", "engine", "removal", "ui", "tools", "tests", "cmake"}) {
        if (out.size() >= limit) break;
        const Bytes part = concat_files(root / dir, suffixes, limit - out.size(), true);
        out.insert(out.end(), part.begin(), part.end());
    }
    if (out.size() < limit) {
        const Bytes part = concat_files("/usr/include", {".h"}, limit - out.size(), false);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

inline Bytes random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

// One raw LZMS chunk made by wimlib (with room to expand), or empty when wimlib makes none.
inline Bytes wimlib_chunk(const Bytes& data, unsigned level) {
    wimlib_compressor* c = nullptr;
    if (data.empty() ||
        wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_LZMS, data.size(), level, &c) != 0)
        return {};
    Bytes out(data.size() * 2 + 1024);
    const size_t n = wimlib_compress(data.data(), data.size(), out.data(), out.size(), c);
    wimlib_free_compressor(c);
    out.resize(n);
    return out;
}

} // namespace lzms_test
