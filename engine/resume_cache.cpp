#include "engine/resume_cache.h"

#include <atomic>
#include <filesystem>
#include <unordered_set>

#include <windows.h>

#include "base/folders_on_the_way.h"
#include "base/link_safe_delete.h"
#include "base/whole_file.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/text.h"
#include "catalogue/manifest.h"

namespace {

constexpr const wchar_t* kBlobSuffix = L".lzms";
constexpr const wchar_t* kPartialSuffix = L".part";

// Deletes what stands under an entry's name unless it is a plain file: a link as a link, a
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

} // namespace

std::wstring resume_cache_folder() {
    const std::wstring temp = temp_folder();
    return temp.empty() ? std::wstring() : join_path(temp, kResumeCacheName);
}

namespace {

// cache folder / (sha256 + suffix); empty when there is no usable cache folder.
std::wstring cache_entry_path(const std::string& sha256, const wchar_t* suffix) {
    const std::wstring folder = resume_cache_folder();
    // A link that could not be deleted is neither read nor written through.
    if (folder.empty() || !is_real_folder(folder)) return {};
    return join_path(folder, wide_from_utf8(sha256) + suffix);
}

std::wstring partial_path(const std::string& sha256) {
    return cache_entry_path(sha256, kPartialSuffix);
}

// Writes `bytes` under `path`: under a name of its own that nothing had, then moved over the
// entry's name, so whatever stood there (a link too) is replaced, never written through.
void write_entry(const std::wstring& path, const std::string& bytes) {
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
    if (write_new_file(part, bytes.data(), bytes.size()) && !move_replacing(part, path))
        DeleteFileW(part.c_str());
}

} // namespace

std::wstring resume_cache_path(const std::string& sha256) {
    return cache_entry_path(sha256, kBlobSuffix);
}

std::wstring resume_cache_path(const ManifestFile& file) {
    return resume_cache_path(file.sha256);
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
    const auto name = [&](const std::string& sha256) {
        named.insert(wide_from_utf8(sha256) + kBlobSuffix);
        named.insert(wide_from_utf8(sha256) + kPartialSuffix);
    };
    for (const ManifestFile& file : manifest.files)
        name(file.sha256);
    for (const ManifestPack& pack : manifest.packs)
        name(pack.sha256);
    delete_entries_except(folder, named);
    for (const std::wstring& name : named)
        delete_unless_plain_file(join_path(folder, name));
}

void keep_in_resume_cache(const std::string& sha256, const std::string& blob) {
    write_entry(resume_cache_path(sha256), blob);
}

std::string partial_transfer(const std::string& sha256, uint64_t csize) {
    const std::wstring path = partial_path(sha256);
    std::string start;
    // Read only from a plain file: through a link it would be whatever the link leads to.
    if (path.empty() || !is_plain_file(path)) return start;
    try {
        std::error_code ec;
        const std::filesystem::path file(path);
        // Checked before reading, so a file planted under the name costs no memory.
        const uintmax_t size = std::filesystem::file_size(file, ec);
        if (ec || size >= csize || !read_whole_file(file, start)) start.clear();
    } catch (const std::exception&) {
        start.clear();
    }
    return start.size() < csize ? start : std::string();
}

void keep_partial_transfer(const std::string& sha256, const std::string& start) {
    if (!start.empty()) write_entry(partial_path(sha256), start);
}

void drop_partial_transfer(const std::string& sha256) {
    const std::wstring path = partial_path(sha256);
    // Deletes a link itself, never what it leads to.
    if (!path.empty()) DeleteFileW(path.c_str());
}

void delete_resume_cache() {
    const std::wstring folder = resume_cache_folder();
    if (!folder.empty()) delete_tree(folder);
}
