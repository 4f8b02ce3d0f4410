#include "app/paths.h"

#include <windows.h>

std::wstring temp_folder() {
    wchar_t buffer[260] = {};
    const DWORD length = GetTempPathW(260, buffer);
    // A longer folder would be cut; no defined place is better than a wrong one.
    return (length > 0 && length < 260) ? std::wstring(buffer, length) : std::wstring();
}

std::wstring folder_of(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring join_path(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    const wchar_t last = folder.back();
    return (last == L'\\' || last == L'/') ? folder + name : folder + L'\\' + name;
}
