#include "removal/delete_files.h"

#include <vector>

#include "app/handles.h"
#include "app/paths.h"

namespace {

// Paths here carry no "\\?\" prefix, so they end at MAX_PATH (260) characters, and each level
// adds at least a separator and one character: no real tree goes deeper than 130 levels. The
// cap only stops a runaway on a file system that reports a folder inside itself.
constexpr int kMaxTreeDepth = 130;
static_assert(kMaxTreeDepth * 2 >= MAX_PATH, "the cap must not cut a tree that paths can reach");

struct Entry {
    std::wstring name;
    DWORD attributes;
};

// The folder's entries without "." and ".."; false when it cannot be listed.
bool list_folder(const std::wstring& folder, std::vector<Entry>& entries) {
    WIN32_FIND_DATAW data = {};
    FindHandle find(FindFirstFileW(join_path(folder, L"*").c_str(), &data));
    if (!find) return false;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") entries.push_back({name, data.dwFileAttributes});
    } while (FindNextFileW(find.get(), &data));
    return true;
}

// A junction or symbolic link goes, never what it leads to.
void delete_link(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(path.c_str());
    } else {
        DeleteFileW(path.c_str());
    }
}

void delete_contents(const std::wstring& folder, int depth) {
    // Listed first, deleted after, so the listing never sees its own deletions.
    std::vector<Entry> entries;
    if (!list_folder(folder, entries)) return;
    for (const Entry& entry : entries) {
        const std::wstring path = join_path(folder, entry.name);
        if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            delete_link(path, entry.attributes);
        } else if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth < kMaxTreeDepth) delete_contents(path, depth + 1);
            RemoveDirectoryW(path.c_str());
        } else {
            DeleteFileW(path.c_str());
        }
    }
}

} // namespace

void delete_folder_if_empty(const std::wstring& path) {
    // Listed rather than left to RemoveDirectoryW, which would take a link to a full folder.
    std::vector<Entry> entries;
    if (list_folder(path, entries) && entries.empty()) RemoveDirectoryW(path.c_str());
}

void delete_if_empty(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        delete_folder_if_empty(path);
    } else if (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0) {
        DeleteFileW(path.c_str());
    }
}

void delete_tree(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    // An empty folder, or a link, goes at once.
    if (RemoveDirectoryW(folder.c_str())) return;
    delete_contents(folder, 1);
    RemoveDirectoryW(folder.c_str());
}
