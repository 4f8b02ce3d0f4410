#pragma once
// Whole files of the Windows tests that work on the prefix's files, read and written through
// Setup's own file functions, and the lines of Setup's log.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

#include "base/setup_log.h"
#include "base/text.h"
#include "base/whole_file.h"

// The file's bytes, or empty when it cannot be read.
inline std::string read(const std::wstring& path) {
    std::string bytes;
    read_whole_file(path, bytes);
    return bytes;
}

// Writes the file, making its folder first.
inline void write(const std::wstring& path, const std::string& bytes) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    ASSERT_TRUE(write_file_flushed(path, bytes)) << utf8_from_wide(path);
}

inline bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The size of a plain file (not a link), read without opening it; -1 for anything else.
inline int64_t plain_file_size(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return -1;
    return (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The log's lines, without their CR LF.
inline std::vector<std::string> log_lines() {
    std::vector<std::string> lines;
    const std::string log = read(setup_log_path());
    for (size_t at = 0; at < log.size();) {
        const size_t end = log.find("\r\n", at);
        lines.push_back(log.substr(at, end - at));
        at = end == std::string::npos ? log.size() : end + 2;
    }
    return lines;
}

inline std::string last_log_line() {
    const std::vector<std::string> lines = log_lines();
    return lines.empty() ? std::string() : lines.back();
}
