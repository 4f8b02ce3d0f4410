#include "engine/resume_cache.h"

#include <unordered_set>

#include <windows.h>

#include "app/file_ops.h"
#include "app/files.h"
#include "app/handles.h"
#include "app/names.h"
#include "app/paths.h"
#include "app/text.h"
#include "catalogue/manifest.h"

namespace {

constexpr const wchar_t* kBlobSuffix = L".lzms";

bool is_real_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Deletes each entry of `folder` that is not a blob of `named`: files and links themselves,
// folders without following any link inside.
void delete_unnamed(const std::wstring& folder, const std::unordered_set<std::wstring>& named) {
    WIN32_FIND_DATAW found;
    FindHandle find(FindFirstFileW(join_path(folder, L"*").c_str(), &found));
    if (!find) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || named.count(name)) continue;
        const std::wstring path = join_path(folder, name);
        const DWORD attributes = found.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            delete_tree(path);
        } else {
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(find.get(), &found));
}

} // namespace

std::wstring resume_cache_folder() {
    const std::wstring temp = temp_folder();
    return temp.empty() ? std::wstring() : join_path(temp, kResumeCacheName);
}

std::wstring resume_cache_path(const ManifestFile& file) {
    const std::wstring folder = resume_cache_folder();
    // A link that could not be deleted is neither read nor written through.
    if (folder.empty() || !is_real_folder(folder)) return {};
    return join_path(folder, wide_from_utf8(file.sha256) + kBlobSuffix);
}

void prepare_resume_cache(const Manifest& manifest) {
    const std::wstring folder = resume_cache_folder();
    if (folder.empty()) return;
    // Written into through a link, the blobs would land wherever it leads.
    if (is_link(folder)) delete_tree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    // A link that could not be deleted, or a file of that name: left alone, and no cache is used.
    if (!is_real_folder(folder)) return;
    std::unordered_set<std::wstring> named;
    for (const ManifestFile& file : manifest.files)
        named.insert(wide_from_utf8(file.sha256) + kBlobSuffix);
    delete_unnamed(folder, named);
}

void keep_in_resume_cache(const ManifestFile& file, const std::string& blob) {
    const std::wstring path = resume_cache_path(file);
    if (path.empty()) return;
    // Not flushed: a copy cut short by a power loss fails its hash check and is fetched again.
    write_file(path, blob.data(), blob.size());
}

void delete_resume_cache() {
    const std::wstring folder = resume_cache_folder();
    if (!folder.empty()) delete_tree(folder);
}
