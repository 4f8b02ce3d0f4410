#include "engine/file_replace.h"

#include <algorithm>

#include <windows.h>

#include "base/folders_on_the_way.h"
#include "base/held_files.h"
#include "base/link_safe_delete.h"
#include "base/whole_file.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/state.h"
#include "base/text.h"
#include "catalogue/file_names.h"
#include "catalogue/manifest.h"
#include "transport/hash.h"

namespace {

// True when a file (not a folder, not a link) stands where one of the folders above `relative`
// must be: a file of the old release that the swap sets aside first.
bool file_in_the_way(const std::string& relative) {
    for (const std::wstring& folder : way_to_file(g_installDir, relative).folders) {
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return false;
        if (!(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) return true;
    }
    return false;
}

} // namespace

std::wstring local_file_path(const std::string& relativePath) {
    return join_path(g_installDir, wide_from_utf8(relativePath));
}

std::string staged_relative_path(const ManifestFile& file) {
    const std::string suffix = utf8_from_wide(kStagedSuffix);
    if (!file_in_the_way(file.path)) return file.path + suffix;
    // One name per file, however its path is spelled.
    const std::string key = file_name_key(file.path);
    return utf8_from_wide(kSwapFolderName) + "/" + sha256_hex(key.data(), key.size()) + suffix;
}

std::wstring staged_file_path(const ManifestFile& file) {
    return local_file_path(staged_relative_path(file));
}

std::wstring stage_file(const ManifestFile& file, const uint8_t* data, size_t size,
                        std::vector<std::wstring>& madeFolders) {
    const std::wstring local = local_file_path(file.path);
    const std::string stagedName = staged_relative_path(file);
    if (!make_folders_on_the_way(g_installDir, stagedName, &madeFolders))
        return msg_cannot_write(local);
    const std::wstring staged = local_file_path(stagedName);
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
    delete_file(staged_file_path(file));
}

void remove_made_folders(std::vector<std::wstring> madeFolders) {
    // A folder is longer than every folder above it.
    std::sort(madeFolders.begin(), madeFolders.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& folder : madeFolders)
        RemoveDirectoryW(folder.c_str());
}
