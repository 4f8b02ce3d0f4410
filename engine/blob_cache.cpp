#include "engine/blob_cache.h"

#include <filesystem>
#include <new>

#include "app/file_ops.h"
#include "app/files.h"
#include "app/names.h"
#include "app/paths.h"
#include "app/state.h"
#include "app/text.h"
#include "catalogue/manifest.h"
#include "transport/hash.h"
#include "transport/http.h"
#include "transport/lzms.h"

namespace fs = std::filesystem;

namespace {

std::wstring cache_folder() {
    return join_path(g_installDir, kCacheFolderName);
}

// A cached blob that matches csha256, counted as received; empty when there is none usable.
// Only ever read: a mismatching file is left where it is.
std::string cached_blob(const ManifestFile& file) {
    std::string blob;
    try {
        const fs::path path(cached_blob_path(file));
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) return {};
        // A blob longer than the manifest announces cannot match; it is not even loaded.
        const uintmax_t size = fs::file_size(path, ec);
        if (ec || size > file.csize) return {};
        if (!read_whole_file(path, blob)) return {};
    } catch (const std::exception&) {
        return {};
    }
    if (sha256_hex(blob.data(), blob.size()) != file.csha256) return {};
    add_bytes_done(blob.size());
    return blob;
}

} // namespace

std::wstring cached_blob_path(const ManifestFile& file) {
    return join_path(cache_folder(), wide_from_utf8(file.sha256) + L".lzms");
}

bool obtain_blob(const ManifestFile& file, std::vector<uint8_t>& content) {
    const std::wstring path = wide_from_utf8(file.path);
    const std::wstring corrupted = L"Файл " + path + L" повреждён при загрузке — повторите.";
    try {
        std::string blob = cached_blob(file);
        if (blob.empty()) {
            // The body may not outgrow the signed size: a longer one cannot match csha256.
            if (!http_get(L"/plannix/app/blobs/" + wide_from_utf8(file.sha256) + L".lzms", blob,
                          true, file.csize)) {
                if (g_cancelRequested.load()) {
                    set_error(L"Установка отменена.");
                } else if (blob.size() > file.csize) {
                    set_error(corrupted);
                } else {
                    set_error(L"Не скачан " + path + L" — проверьте интернет и повторите.");
                }
                return false;
            }
        }
        if (sha256_hex(blob.data(), blob.size()) != file.csha256 ||
            !lzms_decompress(blob, file.size, content) ||
            sha256_hex(content.data(), content.size()) != file.sha256) {
            set_error(corrupted);
            return false;
        }
        return true;
    } catch (const std::exception&) {
        // Out of memory for a large file among them: the content cannot be checked.
        set_error(corrupted);
        return false;
    }
}

void delete_blob_cache() {
    // A link of that name goes itself; what it leads to is the user's.
    try {
        delete_tree(cache_folder());
    } catch (const std::exception&) {
    }
}
