#include "base/folders_on_the_way.h"

#include <windows.h>

#include "base/paths.h"
#include "base/relative_path.h"
#include "base/text.h"

bool is_plain_file(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

bool is_real_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

WayToFile way_to_file(const std::wstring& root, const std::string& relative) {
    const std::vector<std::string> parts = split_relative_path(relative);
    WayToFile way;
    if (parts.empty()) return way;
    std::wstring path = root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        path = join_path(path, wide_from_utf8(parts[i]));
        way.folders.push_back(path);
    }
    way.file = join_path(path, wide_from_utf8(parts.back()));
    return way;
}

bool make_folders_on_the_way(const std::wstring& root, const std::string& relative,
                             std::vector<std::wstring>* made) {
    for (const std::wstring& folder : way_to_file(root, relative).folders) {
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
            if (made) made->reserve(made->size() + 1); // so that a folder made is always listed
            if (CreateDirectoryW(folder.c_str(), nullptr)) {
                if (made) made->push_back(folder);
                continue;
            }
            // Another transfer of this run may have made it a moment ago.
        }
        if (!is_real_folder(folder)) return false;
    }
    return true;
}
