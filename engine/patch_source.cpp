#include "engine/patch_source.h"

#include <filesystem>

#include "base/whole_file.h"
#include "catalogue/manifest.h"
#include "engine/file_replace.h"
#include "transport/hash.h"
#include "transport/http.h"
#include "transport/patch.h"

namespace fs = std::filesystem;

namespace {

bool is_installed_file(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The installed file's bytes; false when it is not a regular file or cannot be read.
bool read_installed(const ManifestFile& file, std::string& bytes) {
    try {
        const fs::path path(local_file_path(file.path));
        return is_installed_file(path) && read_whole_file(path, bytes);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

const ManifestPatch* choose_patch(const ManifestFile& file, uint64_t& oldSize) {
    if (file.patches.empty()) return nullptr;
    // Hashed piece by piece: the plan holds no installed file in memory.
    Sha256Stream hash;
    uint64_t size = 0;
    try {
        const fs::path path(local_file_path(file.path));
        if (!is_installed_file(path) || !read_in_pieces(path, [&](const char* piece, size_t n) {
                hash.add(piece, n);
                size += n;
            }))
            return nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
    oldSize = size;
    return usable_patch(file, hash.finish_hex());
}

bool obtain_by_patch(const HttpSession& net, const ManifestFile& file, const ManifestPatch& patch,
                     TransferControl& control, std::vector<uint8_t>& content) {
    try {
        std::string blob;
        if (!http_get(net, patch_server_path(patch), blob, control, patch.size) ||
            sha256_hex(blob.data(), blob.size()) != patch.sha256)
            return false;
        // Read only now, once: not held through the transfer; a change since the plan shows in
        // the result's hash.
        std::string old;
        if (!read_installed(file, old)) return false;
        return apply_patch(reinterpret_cast<const uint8_t*>(old.data()), old.size(),
                           reinterpret_cast<const uint8_t*>(blob.data()), blob.size(), file.size,
                           content) &&
               content.size() == file.size &&
               sha256_hex(content.data(), content.size()) == file.sha256;
    } catch (const std::exception&) {
        return false; // memory for the old file, the patch and the result: the blob may still do
    }
}
