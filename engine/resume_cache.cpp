#include "engine/resume_cache.h"

#include <filesystem>
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
constexpr const wchar_t* kPartialSuffix = L".part";

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
}

void keep_in_resume_cache(const std::string& sha256, const std::string& blob) {
    const std::wstring path = resume_cache_path(sha256);
    if (path.empty()) return;
    // Not flushed: a copy cut short by a power loss fails its hash check and is fetched again.
    write_file(path, blob.data(), blob.size());
}

std::string partial_transfer(const std::string& sha256, uint64_t csize) {
    const std::wstring path = partial_path(sha256);
    std::string start;
    if (path.empty()) return start;
    try {
        std::error_code ec;
        const std::filesystem::path file(path);
        if (!std::filesystem::is_regular_file(file, ec)) return start;
        const uintmax_t size = std::filesystem::file_size(file, ec);
        if (ec || size >= csize || !read_whole_file(file, start)) start.clear();
    } catch (const std::exception&) {
        start.clear();
    }
    return start.size() < csize ? start : std::string();
}

void keep_partial_transfer(const std::string& sha256, const std::string& start) {
    const std::wstring path = partial_path(sha256);
    if (!path.empty() && !start.empty()) write_file(path, start.data(), start.size());
}

void drop_partial_transfer(const std::string& sha256) {
    const std::wstring path = partial_path(sha256);
    if (!path.empty()) DeleteFileW(path.c_str());
}

void delete_resume_cache() {
    const std::wstring folder = resume_cache_folder();
    if (!folder.empty()) delete_tree(folder);
}
