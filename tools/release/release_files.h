#pragma once
// Files of the publisher's tool: whole-file reads, replace-by-rename writes, and the layout of
// a release folder as Setup fetches it.
#include <filesystem>
#include <functional>
#include <string>

// The site path "/plannix/app/" under a release folder.
std::filesystem::path release_app_dir(const std::filesystem::path& releaseDir);
// blobs/<sha256>.lzms under the app folder.
std::filesystem::path blob_path(const std::filesystem::path& appDir, const std::string& sha256);

// patches/<sha256>.lzpatch under the app folder (the name Setup asks the server for).
std::filesystem::path patch_path(const std::filesystem::path& appDir, const std::string& sha256);

bool read_whole(const std::filesystem::path& path, std::string& out);
// Writes beside the target and renames over it, so a reader never sees half a file.
bool write_replacing(const std::filesystem::path& path, const std::string& data);

// Runs job(0..count-1) on a few threads; each index runs exactly once. The first exception
// of any job is thrown again here after every thread has ended.
void run_parallel(size_t count, const std::function<void(size_t)>& job);
