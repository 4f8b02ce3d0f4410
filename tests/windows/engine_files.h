#pragma once
// Whole files of the engine tests, read and written through Setup's own file functions.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <windows.h>

#include "base/whole_file.h"
#include "base/text.h"

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
