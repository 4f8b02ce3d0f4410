#pragma once
// Files of the publisher's tool: replace-by-rename writes, the layout of a release folder as
// Setup fetches it, and the largest file Setup takes. Whole files are read with base/whole_file.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

// The site path "/plannix/app/" under a release folder.
std::filesystem::path release_app_dir(const std::filesystem::path& releaseDir);
// blobs/<sha256>.lzms under the app folder.
std::filesystem::path blob_path(const std::filesystem::path& appDir, const std::string& sha256);

// patches/<sha256>.lzpatch under the app folder (the name Setup asks the server for).
std::filesystem::path patch_path(const std::filesystem::path& appDir, const std::string& sha256);

// Setup hashes each file and each blob in one call whose length is a 32-bit count.
constexpr uint64_t kMaxFileSize = (uint64_t{1} << 32) - 1;

// Writes and flushes beside the target, then renames over it, so a reader (a web server among
// them) never sees half a file, even after a power cut.
bool write_replacing(const std::filesystem::path& path, const std::string& data);

// Runs job(0..count-1) on a few threads; each index runs exactly once. The first exception
// of any job is thrown again here after every thread has ended.
void run_parallel(size_t count, const std::function<void(size_t)>& job);

// Well-formed UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool is_valid_utf8(const std::string& s);
