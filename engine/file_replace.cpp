#include "engine/file_replace.h"

#include <algorithm>

#include <windows.h>

#include "app/file_ops.h"
#include "app/files.h"
#include "app/messages.h"
#include "app/names.h"
#include "app/paths.h"
#include "app/state.h"
#include "app/text.h"
#include "catalogue/manifest.h"

namespace {

// Makes each missing folder between the install folder and `relative`'s file, one level at a
// time, so that each existing one can be checked to be a real folder: through a link or a
// junction the file would land outside the install folder, where nothing ever removes it.
bool make_folders_on_the_way(const std::wstring& relative, std::vector<std::wstring>& made) {
    std::wstring folder = g_installDir;
    size_t start = 0;
    for (;;) {
        const size_t slash = relative.find_first_of(L"/\\", start);
        if (slash == std::wstring::npos) return true;
        folder = join_path(folder, relative.substr(start, slash - start));
        start = slash + 1;
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (CreateDirectoryW(folder.c_str(), nullptr)) {
                made.push_back(folder);
                continue;
            }
            // Another transfer of this run may have made it a moment ago.
            attributes = GetFileAttributesW(folder.c_str());
        }
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
    }
}

} // namespace

std::wstring local_file_path(const std::string& relativePath) {
    return join_path(g_installDir, wide_from_utf8(relativePath));
}

std::wstring staged_file_path(const ManifestFile& file) {
    return local_file_path(file.path) + kStagedSuffix;
}

std::wstring stage_file(const ManifestFile& file, const uint8_t* data, size_t size,
                        std::vector<std::wstring>& madeFolders) {
    const std::wstring local = local_file_path(file.path);
    const std::wstring staged = local + kStagedSuffix;
    if (!make_folders_on_the_way(wide_from_utf8(file.path), madeFolders))
        return msg_cannot_write(local);
    // A folder of that name (not one the record listed: those went before the fetch) is not ours
    // to replace.
    const DWORD target = GetFileAttributesW(local.c_str());
    if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY))
        return msg_cannot_write(local);
    // A link left under the staged name would be written through; the link itself goes.
    delete_if_link(staged);
    // A staged file left by an earlier run is overwritten.
    if (!write_file_flushed(staged, data, size)) {
        // A file cut short by a full disk is no use to anyone.
        DeleteFileW(staged.c_str());
        return msg_cannot_write(local);
    }
    return {};
}

void discard_staged(const ManifestFile& file) {
    DeleteFileW(staged_file_path(file).c_str());
}

void remove_made_folders(std::vector<std::wstring> madeFolders) {
    // A folder is longer than every folder above it.
    std::sort(madeFolders.begin(), madeFolders.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& folder : madeFolders)
        RemoveDirectoryW(folder.c_str());
}

std::wstring move_staged(const ManifestFile& file) {
    const std::wstring local = local_file_path(file.path);
    const std::wstring staged = local + kStagedSuffix;
    if (move_replacing(staged, local)) return {};
    DeleteFileW(staged.c_str());
    return msg_file_busy(local);
}
