#include "engine/resume_cache.h"

#include <atomic>
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

// Deletes what stands under a blob's name unless it is a plain file: a link as a link, a
// folder with what it holds.
void delete_unless_plain_file(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        delete_if_link(path);
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        delete_tree(path);
    }
}

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
    for (const std::wstring& name : named)
        delete_unless_plain_file(join_path(folder, name));
}

void keep_in_resume_cache(const ManifestFile& file, const std::string& blob) {
    const std::wstring path = resume_cache_path(file);
    if (path.empty()) return;
    // Unique within the process (several transfers keep blobs at once) and across processes.
    static std::atomic<uint64_t> counter{0};
    const std::wstring part = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(counter.fetch_add(1)) + L".part";
    // A folder under the name would refuse the move; a link to one would too, under Wine.
    delete_unless_plain_file(path);
    // Not flushed: a copy cut short by a power loss fails its hash check and is fetched again.
    // Deleted only once surely ours: a write refused at the start means something else has the
    // name, and deleting that could reach through it.
    if (write_new_file(part, blob.data(), blob.size()) && !move_replacing(part, path))
        DeleteFileW(part.c_str());
}

void delete_resume_cache() {
    const std::wstring folder = resume_cache_folder();
    if (!folder.empty()) delete_tree(folder);
}
