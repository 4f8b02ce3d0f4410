#include "engine/resume_cache.h"

#include <functional>
#include <unordered_set>

#include <windows.h>

#include "app/files.h"
#include "app/handles.h"
#include "app/names.h"
#include "app/paths.h"
#include "app/text.h"
#include "catalogue/manifest.h"

namespace {

constexpr const wchar_t* kBlobSuffix = L".lzms";

bool is_link(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Deletes a link itself, whether it stands for a folder (junction, directory link) or a file.
void delete_link(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(path.c_str());
    } else {
        DeleteFileW(path.c_str());
    }
}

// Deletes each entry of `folder` for which `keep` says no: files and links themselves; a real
// folder inside is never entered (only Setup writes here, and it writes files).
void delete_entries(const std::wstring& folder, const std::function<bool(const std::wstring&)>& keep) {
    WIN32_FIND_DATAW found;
    FindHandle find(FindFirstFileW(join_path(folder, L"*").c_str(), &found));
    if (!find) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || keep(name)) continue;
        const std::wstring path = join_path(folder, name);
        const DWORD attributes = found.dwFileAttributes;
        if (is_link(attributes) || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            delete_link(path, attributes);
    } while (FindNextFileW(find.get(), &found));
}

} // namespace

std::wstring resume_cache_folder() {
    const std::wstring temp = temp_folder();
    return temp.empty() ? std::wstring() : join_path(temp, kResumeCacheName);
}

std::wstring resume_cache_path(const ManifestFile& file) {
    const std::wstring folder = resume_cache_folder();
    if (folder.empty()) return {};
    // Only a real folder: a link that could not be deleted is neither read nor written through.
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        is_link(attributes))
        return {};
    return join_path(folder, wide_from_utf8(file.sha256) + kBlobSuffix);
}

void prepare_resume_cache(const Manifest& manifest) {
    const std::wstring folder = resume_cache_folder();
    if (folder.empty()) return;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    // Written into through a link, the blobs would land wherever it leads.
    if (is_link(attributes) || (attributes != INVALID_FILE_ATTRIBUTES &&
                                !(attributes & FILE_ATTRIBUTE_DIRECTORY)))
        delete_link(folder, attributes);
    CreateDirectoryW(folder.c_str(), nullptr);
    if (is_link(GetFileAttributesW(folder.c_str()))) return; // not deleted: left alone, unused
    std::unordered_set<std::wstring> named;
    for (const ManifestFile& file : manifest.files)
        named.insert(wide_from_utf8(file.sha256) + kBlobSuffix);
    delete_entries(folder, [&](const std::wstring& name) { return named.count(name) != 0; });
}

void keep_in_resume_cache(const ManifestFile& file, const std::string& blob) {
    const std::wstring path = resume_cache_path(file);
    if (path.empty()) return;
    // Not flushed: a copy cut short by a power loss fails its hash check and is fetched again.
    write_file(path, blob.data(), blob.size());
}

void delete_resume_cache() {
    const std::wstring folder = resume_cache_folder();
    if (folder.empty()) return;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (is_link(attributes) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        delete_link(folder, attributes);
        return;
    }
    delete_entries(folder, [](const std::wstring&) { return false; });
    RemoveDirectoryW(folder.c_str());
}
