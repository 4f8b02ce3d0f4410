#include "engine/patch_source.h"

#include <filesystem>

#include "app/files.h"
#include "catalogue/manifest.h"
#include "engine/file_replace.h"
#include "transport/hash.h"
#include "transport/http.h"
#include "transport/patch.h"

namespace fs = std::filesystem;

namespace {

// The installed file's bytes; false when it is not a regular file or cannot be read.
bool read_installed(const ManifestFile& file, std::string& bytes) {
    try {
        const fs::path path(local_file_path(file.path));
        std::error_code ec;
        return fs::is_regular_file(path, ec) && read_whole_file(path, bytes);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

const ManifestPatch* choose_patch(const ManifestFile& file, uint64_t& oldSize) {
    if (file.patches.empty()) return nullptr;
    std::string old;
    if (!read_installed(file, old)) return nullptr;
    oldSize = old.size();
    return usable_patch(file, sha256_hex(old.data(), old.size()));
}

bool obtain_by_patch(const HttpSession& net, const ManifestFile& file, const ManifestPatch& patch,
                     std::vector<uint8_t>& content) {
    try {
        // Read again: the file may have changed since the plan, which the result's hash shows.
        std::string old;
        if (!read_installed(file, old)) return false;
        std::string blob;
        if (!http_get(net, patch_server_path(patch), blob, true, patch.size) ||
            sha256_hex(blob.data(), blob.size()) != patch.sha256)
            return false;
        return apply_patch(reinterpret_cast<const uint8_t*>(old.data()), old.size(),
                           reinterpret_cast<const uint8_t*>(blob.data()), blob.size(), file.size,
                           content) &&
               content.size() == file.size &&
               sha256_hex(content.data(), content.size()) == file.sha256;
    } catch (const std::exception&) {
        return false; // memory for the old file, the patch and the result: the blob may still do
    }
}
