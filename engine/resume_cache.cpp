#include "engine/resume_cache.h"

#include <unordered_set>

#include <windows.h>

#include "app/file_ops.h"
#include "app/files.h"
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
    delete_entries_except(folder, named);
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
