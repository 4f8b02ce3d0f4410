#include "base/link_safe_delete.h"

#include <vector>

#include <windows.h>

#include "base/folders_on_the_way.h"
#include "base/handles.h"
#include "base/held_files.h"
#include "base/paths.h"

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

void delete_contents(const std::wstring& folder, int depth);

// One listed entry: a link itself, a folder with what it holds, a file.
void delete_entry(const std::wstring& path, DWORD attributes, int depth) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        delete_link(path, attributes);
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (depth < kMaxTreeDepth) delete_contents(path, depth + 1);
        RemoveDirectoryW(path.c_str());
    } else {
        delete_file(path);
    }
}

void delete_contents(const std::wstring& folder, int depth) {
    // Listed first, deleted after, so the listing never sees its own deletions.
    std::vector<Entry> entries;
    if (!list_folder(folder, entries)) return;
    for (const Entry& entry : entries)
        delete_entry(join_path(folder, entry.name), entry.attributes, depth);
}

} // namespace

bool is_link(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

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

bool delete_tree(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // A link to a folder is never listed: Wine lists (and RemoveDirectoryW fails on) a Unix
    // link as the folder it leads to.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(folder.c_str());
    } else if (!RemoveDirectoryW(folder.c_str())) { // an empty folder goes at once
        delete_contents(folder, 1);
        RemoveDirectoryW(folder.c_str());
    }
    return GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

void delete_entries_except(const std::wstring& folder,
                           const std::unordered_set<std::wstring>& keep) {
    std::vector<Entry> entries;
    if (!list_folder(folder, entries)) return;
    for (const Entry& entry : entries)
        if (!keep.count(entry.name))
            delete_entry(join_path(folder, entry.name), entry.attributes, 1);
}

void delete_if_link(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        delete_link(path, attributes);
}

bool has_link_on_the_way(const std::wstring& root, const std::string& relative) {
    for (const std::wstring& folder : way_to_file(root, relative).folders)
        if (is_link(folder)) return true;
    return false;
}

bool delete_recorded_file(const std::wstring& root, const std::string& relative) {
    const WayToFile way = way_to_file(root, relative);
    if (way.file.empty()) return true;
    // Through a link the name would reach outside the root.
    for (const std::wstring& folder : way.folders)
        if (!is_real_folder(folder)) return true;
    const DWORD attributes = GetFileAttributesW(way.file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Already gone: the folders it leaves may still be pruned.
    } else if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
        return true; // not a file of ours any more
    } else if (!delete_file(way.file)) {
        return false;
    }
    // Only an empty folder can be removed, so the climb stops at the first one still in use.
    for (auto folder = way.folders.rbegin(); folder != way.folders.rend(); ++folder)
        if (!RemoveDirectoryW(folder->c_str())) break;
    return true;
}
