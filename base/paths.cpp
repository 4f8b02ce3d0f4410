#include "base/paths.h"

#include <windows.h>

std::wstring temp_folder() {
    wchar_t buffer[260] = {};
    const DWORD length = GetTempPathW(260, buffer);
    // A longer folder would be cut; no defined place is better than a wrong one.
    return (length > 0 && length < 260) ? std::wstring(buffer, length) : std::wstring();
}

namespace {

bool is_separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

} // namespace

std::wstring folder_of(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::wstring();
    const bool driveRoot = slash == 2 && path[1] == L':';
    return path.substr(0, slash == 0 || driveRoot ? slash + 1 : slash);
}

bool is_absolute_folder(const std::wstring& path) {
    const bool driveLetter = path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') ||
                                                  (path[0] >= L'a' && path[0] <= L'z'));
    if (driveLetter && path[1] == L':' && is_separator(path[2])) return true;
    // A UNC name needs at least one character of server after the two separators.
    return path.size() >= 3 && is_separator(path[0]) && is_separator(path[1]) &&
           !is_separator(path[2]);
}

std::wstring join_path(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    const wchar_t last = folder.back();
    return (last == L'\\' || last == L'/') ? folder + name : folder + L'\\' + name;
}
