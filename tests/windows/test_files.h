#pragma once
// Data files of the Windows tests, made on the Linux side and read through Wine's Z: drive.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

// The Windows path of a file under the folder that the environment variable names.
inline std::string test_file_path(const char* variable, const std::string& relative) {
    const char* dir = std::getenv(variable);
    if (!dir || !*dir) return {};
    return std::string("Z:") + dir + (relative.empty() ? "" : "/" + relative);
}

inline bool read_test_file(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}
