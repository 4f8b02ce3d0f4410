#include "catalogue/manifest.h"

#include <new>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "catalogue/file_names.h"
#include "catalogue/utc_time.h"

namespace {

// 2^64 as a double: the first value that no longer fits an unsigned 64-bit count.
constexpr double kTwoPow64 = 18446744073709551616.0;

// A byte count from any JSON number. Floats are truncated towards zero; a negative count, or
// one beyond 64 bits, can only be a broken manifest and must not wrap into a plausible size.
bool read_byte_count(const nlohmann::json& value, uint64_t& out) {
    if (value.is_number_unsigned()) {
        out = value.get<uint64_t>();
        return true;
    }
    if (value.is_number_integer()) {
        int64_t n = value.get<int64_t>();
        if (n < 0) return false;
        out = static_cast<uint64_t>(n);
        return true;
    }
    if (value.is_number_float()) {
        double d = value.get<double>();
        if (!(d >= 0.0 && d < kTwoPow64)) return false; // also refuses NaN and infinity
        out = static_cast<uint64_t>(d);
        return true;
    }
    return false;
}

// Setup hashes a patch blob in one call with a 32-bit size.
constexpr uint64_t kMaxPatchSize = (uint64_t{1} << 32) - 1;

// The optional "patches" array. Stricter than the older keys: these hashes name files on the
// server and select which installed content a patch is trusted to apply to.
bool read_patches(const nlohmann::json& entry, std::vector<ManifestPatch>& patches) {
    const auto found = entry.find("patches");
    if (found == entry.end()) return true;
    if (!found->is_array() || found->size() > kMaxPatchesPerFile) return false;
    for (const nlohmann::json& item : *found) {
        if (!item.is_object()) return false;
        ManifestPatch patch;
        const nlohmann::json& from = item.at("from");
        const nlohmann::json& sha = item.at("sha256");
        if (!from.is_string() || !sha.is_string()) return false;
        patch.from = from.get<std::string>();
        patch.sha256 = sha.get<std::string>();
        if (!is_lower_hex_digest(patch.from) || !is_lower_hex_digest(patch.sha256)) return false;
        if (!read_byte_count(item.at("size"), patch.size)) return false;
        if (patch.size == 0 || patch.size > kMaxPatchSize) return false;
        // One patch per old content: two would leave Setup to guess which one to trust.
        for (const ManifestPatch& other : patches)
            if (other.from == patch.from) return false;
        patches.push_back(std::move(patch));
    }
    return true;
}

// "sequence": absent is 0. Only a JSON integer of 0 to 2^64-1 is one; a negative, fractional or
// larger number (which the JSON library reads as a float) rejects the manifest.
bool read_sequence(const nlohmann::json& doc, uint64_t& sequence) {
    sequence = 0;
    const auto found = doc.find("sequence");
    if (found == doc.end()) return true;
    if (!found->is_number_unsigned()) return false;
    sequence = found->get<uint64_t>();
    return true;
}

// "expires": absent is never; any other form than the one UTC time rejects the manifest.
bool read_expiry(const nlohmann::json& doc, std::optional<int64_t>& expires) {
    expires.reset();
    const auto found = doc.find("expires");
    if (found == doc.end()) return true;
    int64_t seconds = 0;
    if (!found->is_string() || !parse_utc_time(found->get_ref<const std::string&>(), seconds))
        return false;
    expires = seconds;
    return true;
}

bool read_file_entry(const nlohmann::json& entry, ManifestFile& file) {
    if (!entry.is_object()) return false;
    const nlohmann::json& path = entry.at("path");
    if (!path.is_string()) return false;
    file.path = path.get<std::string>();
    if (!read_byte_count(entry.at("size"), file.size)) return false;
    const nlohmann::json& sha = entry.at("sha256");
    if (!sha.is_string()) return false;
    file.sha256 = sha.get<std::string>();
    if (!read_byte_count(entry.at("csize"), file.csize)) return false;
    const nlohmann::json& csha = entry.at("csha256");
    if (!csha.is_string()) return false;
    file.csha256 = csha.get<std::string>();
    return read_patches(entry, file.patches);
}

} // namespace

const ManifestPatch* usable_patch(const ManifestFile& file, const std::string& installedSha256) {
    for (const ManifestPatch& patch : file.patches)
        if (patch.from == installedSha256) return patch.size < file.csize ? &patch : nullptr;
    return nullptr;
}

bool is_lower_hex_digest(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::wstring patch_server_path(const ManifestPatch& patch) {
    // The hash is checked hex when the manifest is read, so widening each byte is exact.
    const std::string path =
        std::string("/plannix/app/") + kPatchFolder + "/" + patch.sha256 + kPatchSuffix;
    return std::wstring(path.begin(), path.end());
}

bool parse_manifest(const std::string& text, Manifest& out) {
    try {
        const nlohmann::json doc = nlohmann::json::parse(text);
        // value() throws on a root that is not an object and on a present key of another type.
        if (doc.value("app", std::string()) != "plannix") return false;
        out.version = doc.value("version", std::string());
        out.date = doc.value("date", std::string());
        out.exe = doc.value("exe", std::string("plannix.exe"));
        if (!read_sequence(doc, out.sequence) || !read_expiry(doc, out.expires)) return false;
        out.files.clear();

        const nlohmann::json& files = doc.at("files");
        if (!files.is_array()) return false;
        // Two entries naming one file would be written over each other, and the update after
        // would delete the survivor as the other's obsolete name.
        std::unordered_set<std::string> names;
        for (const nlohmann::json& entry : files) {
            ManifestFile file;
            if (!read_file_entry(entry, file)) return false;
            if (!is_acceptable_manifest_path(file.path) || !windows_can_hold(file.path))
                return false;
            if (!names.insert(file_name_key(file.path)).second) return false;
            out.files.push_back(std::move(file));
        }
        if (!read_packs(doc, out.files, out.packs)) return false;
        return !out.version.empty() && !out.files.empty();
    } catch (const nlohmann::json::exception&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
