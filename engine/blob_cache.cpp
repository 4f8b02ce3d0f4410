#include "engine/blob_cache.h"

#include <filesystem>
#include <new>

#include "base/link_safe_delete.h"
#include "base/whole_file.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/state.h"
#include "base/text.h"
#include "catalogue/manifest.h"
#include "engine/resume_cache.h"
#include "transport/hash.h"
#include "transport/http.h"
#include "transport/lzms.h"
#include "transport/transfer_control.h"

namespace fs = std::filesystem;

namespace {

std::wstring cache_folder() {
    return join_path(g_installDir, kCacheFolderName);
}

} // namespace

std::string cached_blob(const std::wstring& path, uint64_t csize, const std::string& csha256) {
    if (path.empty()) return {};
    std::string blob;
    try {
        std::error_code ec;
        if (!fs::is_regular_file(fs::path(path), ec)) return {};
        // A blob longer than the manifest announces cannot match; it is not even loaded.
        const uintmax_t size = fs::file_size(fs::path(path), ec);
        if (ec || size > csize) return {};
        if (!read_whole_file(fs::path(path), blob)) return {};
    } catch (const std::exception&) {
        return {};
    }
    if (sha256_hex(blob.data(), blob.size()) != csha256) return {};
    add_bytes_done(blob.size());
    return blob;
}

namespace {

// install folder / "update-cache" / (sha256 + ".lzms").
std::wstring cached_blob_path(const ManifestFile& file) {
    return join_path(cache_folder(), wide_from_utf8(file.sha256) + L".lzms");
}

} // namespace

Download download_resumable(const HttpSession& net, const std::wstring& serverPath,
                            const std::string& sha256, uint64_t csize, const std::string& csha256,
                            TransferControl& control, std::string& blob) {
    blob = partial_transfer(sha256, csize);
    const uint64_t start = blob.size();
    bool resumed = false;
    bool whole = http_get_rest(net, serverPath, blob, control, csize, resumed);
    // What arrived before counts as received, as a cached blob does, once the server continues it.
    if (resumed) add_bytes_done(start);
    if (whole && resumed && sha256_hex(blob.data(), blob.size()) != csha256) {
        drop_partial_transfer(sha256); // a bad start: never continued again
        whole = http_get(net, serverPath, blob, control, csize);
    }
    if (!whole) {
        if (blob.size() > csize) return Download::TooLong;
        keep_partial_transfer(sha256, blob);
        return Download::Broken;
    }
    drop_partial_transfer(sha256);
    return sha256_hex(blob.data(), blob.size()) == csha256 ? Download::Good : Download::Wrong;
}

std::wstring obtain_blob(const HttpSession& net, const ManifestFile& file,
                         TransferControl& control, std::vector<uint8_t>& content) {
    const std::wstring path = wide_from_utf8(file.path);
    try {
        // The publisher's cache first, then what an interrupted run left, then the server.
        std::string blob = cached_blob(cached_blob_path(file), file.csize, file.csha256);
        if (blob.empty()) blob = cached_blob(resume_cache_path(file), file.csize, file.csha256);
        const bool downloaded = blob.empty();
        if (downloaded) {
            // The body may not outgrow the signed size: a longer one cannot match csha256.
            const Download got = download_resumable(
                net, L"/plannix/app/blobs/" + wide_from_utf8(file.sha256) + L".lzms", file.sha256,
                file.csize, file.csha256, control, blob);
            if (got == Download::Broken)
                return control.stopped_or_cancelled() ? kMsgCancelled : msg_not_fetched(path);
            if (got != Download::Good) return msg_damaged(path);
        }
        // The content is judged by its hash, not by which decoder made it: when the system's
        // refuses the blob or gives other bytes, our own decodes it again.
        if (sha256_hex(blob.data(), blob.size()) != file.csha256 ||
            !lzms_decompress_checked(blob, file.size, file.sha256, content))
            return msg_damaged(path);
        // Only once it has proved good: the cache must never hand a later run a bad blob.
        if (downloaded) keep_in_resume_cache(file.sha256, blob);
        return {};
    } catch (const std::exception&) {
        // Out of memory for a large file among them: the content cannot be checked.
        return msg_damaged(path);
    }
}

void delete_blob_cache() {
    // A link of that name goes itself; what it leads to is the user's.
    try {
        delete_tree(cache_folder());
    } catch (const std::exception&) {
    }
}
