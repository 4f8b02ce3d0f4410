#include "catalogue/packs.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "base/byte_counts.h"
#include "catalogue/manifest.h"

namespace {

static_assert(kMaxPackSize <= SIZE_MAX, "a pack is held whole in memory");
static_assert(kMaxPackBlobSize < (uint64_t{1} << 32), "a pack's blob is hashed in one call");

// Counts and indexes here are whole numbers: a float or a negative number is a broken manifest.
bool read_count(const nlohmann::json& value, uint64_t& out) {
    if (value.is_number_unsigned()) {
        out = value.get<uint64_t>();
        return true;
    }
    if (value.is_number_integer() && value.get<int64_t>() >= 0) {
        out = static_cast<uint64_t>(value.get<int64_t>());
        return true;
    }
    return false;
}

bool read_hash(const nlohmann::json& value, std::string& out) {
    if (!value.is_string()) return false;
    out = value.get<std::string>();
    return is_lower_hex_digest(out);
}

bool read_pack(const nlohmann::json& item, const std::vector<ManifestFile>& files,
               std::vector<bool>& taken, ManifestPack& pack) {
    if (!item.is_object()) return false;
    if (!read_hash(item.at("sha256"), pack.sha256) || !read_hash(item.at("csha256"), pack.csha256))
        return false;
    if (!read_count(item.at("size"), pack.size) || !read_count(item.at("csize"), pack.csize))
        return false;
    if (pack.size == 0 || pack.size > kMaxPackSize) return false;
    if (pack.csize == 0 || pack.csize > kMaxPackBlobSize) return false;
    const nlohmann::json& members = item.at("files");
    // Each index is taken once, so no pack can list more members than there are files.
    if (!members.is_array() || members.empty() || members.size() > files.size()) return false;
    uint64_t total = 0;
    for (const nlohmann::json& member : members) {
        uint64_t index = 0;
        if (!read_count(member, index) || index >= files.size() || taken[index]) return false;
        taken[index] = true;
        // Compared before adding, so the sum never passes kMaxPackSize and cannot wrap.
        if (files[index].size > pack.size - total) return false;
        total += files[index].size;
        pack.files.push_back(static_cast<size_t>(index));
    }
    return total == pack.size;
}

} // namespace

bool read_packs(const nlohmann::json& root, const std::vector<ManifestFile>& files,
                std::vector<ManifestPack>& packs) {
    packs.clear();
    const auto found = root.find("packs");
    if (found == root.end()) return true;
    if (!found->is_array() || found->size() > files.size()) return false;
    std::vector<bool> taken(files.size(), false);
    for (const nlohmann::json& item : *found) {
        ManifestPack pack;
        if (!read_pack(item, files, taken, pack)) return false;
        packs.push_back(std::move(pack));
    }
    return true;
}

std::wstring pack_server_path(const ManifestPack& pack) {
    // The hash is checked hex when the manifest is read, so widening each byte is exact.
    const std::string path =
        std::string("/plannix/app/") + kPackFolder + "/" + pack.sha256 + ".lzms";
    return std::wstring(path.begin(), path.end());
}

std::vector<bool> packs_worth_fetching(const std::vector<ManifestFile>& files,
                                       const std::vector<ManifestPack>& packs,
                                       const std::vector<uint64_t>& cost) {
    // A content that several files of the list want is fetched once: counted at its dearest.
    std::unordered_map<std::string, uint64_t> needed;
    for (size_t i = 0; i < files.size() && i < cost.size(); ++i)
        if (cost[i] > 0) needed[files[i].sha256] = std::max(needed[files[i].sha256], cost[i]);
    std::vector<bool> fetch(packs.size(), false);
    for (size_t p = 0; p < packs.size(); ++p) {
        std::set<std::string> counted;
        uint64_t covered = 0;
        for (size_t index : packs[p].files) {
            const auto found = needed.find(files[index].sha256);
            if (found == needed.end() || !counted.insert(found->first).second) continue;
            covered = saturating_add(covered, found->second);
        }
        // At least half, rounded up: 2 * covered >= csize without the doubling's overflow.
        fetch[p] = covered >= packs[p].csize - packs[p].csize / 2;
    }
    return fetch;
}

bool split_pack(const std::vector<ManifestFile>& files, const ManifestPack& pack,
                size_t decodedSize, std::vector<PackMember>& members) {
    members.clear();
    if (decodedSize != pack.size) return false;
    size_t offset = 0;
    for (size_t index : pack.files) {
        // Sizes were checked to add up when the manifest was read; checked again against the
        // decoded bytes so that a pack made by hand can never be read past its end.
        const uint64_t size = files.at(index).size;
        if (size > decodedSize - offset) return false;
        members.push_back({index, offset, static_cast<size_t>(size)});
        offset += static_cast<size_t>(size);
    }
    return offset == decodedSize;
}
