#include "tools/release/release_packs.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "base/whole_file.h"
#include "catalogue/components.h"
#include "tools/release/blob_writer.h"
#include "tools/release/release_crypto.h"
#include "tools/release/release_files.h"
#include "transport/lzms_container.h"

namespace fs = std::filesystem;

namespace {

std::string ascii_lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Extension, then file name, then the whole path: DLLs beside DLLs, texts beside texts.
std::tuple<std::string, std::string, std::string> similarity_key(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string name =
        ascii_lower(slash == std::string::npos ? path : path.substr(slash + 1));
    const size_t dot = name.rfind('.');
    return {dot == std::string::npos ? std::string() : name.substr(dot + 1), name, path};
}

bool decodes_to(const std::string& blob, const std::string& content) {
    std::string unpacked(content.size(), '\0');
    return lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                                 reinterpret_cast<uint8_t*>(unpacked.data()), unpacked.size()) &&
           unpacked == content;
}

// The pack's content from its members' sources, each checked against the hash it was packed
// with; empty `error` on success.
std::string read_members(const std::vector<PackSource>& files, const std::vector<size_t>& members,
                         std::string& error) {
    std::string content;
    for (size_t index : members) {
        std::string bytes;
        const PackSource& f = files[index];
        if (!read_whole_file(f.source, bytes) ||
            sha256_hex_of(bytes.data(), bytes.size()) != f.sha256) {
            error = f.path + ": unreadable, or changed while being packed";
            return std::string();
        }
        content += bytes;
    }
    return content;
}

// One pack's blob in place; empty on success, else why not.
std::string make_pack(const fs::path& appDir, const std::vector<PackSource>& files,
                      const std::vector<size_t>& members, ManifestPack& pack) {
    std::string error;
    const std::string content = read_members(files, members, error);
    if (!error.empty()) return error;
    pack.sha256 = sha256_hex_of(content.data(), content.size());
    pack.size = content.size();
    pack.files = members;
    const fs::path target = pack_path(appDir, pack.sha256);
    std::string blob;
    if (!read_whole_file(target, blob) || !decodes_to(blob, content)) {
        blob = lzms_compress_blob(reinterpret_cast<const uint8_t*>(content.data()), content.size());
        if (!decodes_to(blob, content))
            return "the pack does not unpack to its members with Setup's decoder";
        if (!write_replacing(target, blob)) return "cannot write " + target.string();
    }
    pack.csize = blob.size();
    pack.csha256 = sha256_hex_of(blob.data(), blob.size());
    return std::string();
}

} // namespace

std::vector<std::vector<size_t>> plan_packs(const std::vector<PackSource>& files, uint64_t limit) {
    std::vector<size_t> byComponent[kComponentCount];
    std::map<std::string, bool> seen[kComponentCount];
    for (size_t i = 0; i < files.size(); ++i) {
        const PackSource& f = files[i];
        if (f.size == 0 || f.size > limit) continue;
        const int c = classify_file(f.path);
        if (seen[c].emplace(f.sha256, true).second) byComponent[c].push_back(i);
    }
    std::vector<std::vector<size_t>> packs;
    for (std::vector<size_t>& members : byComponent) {
        std::sort(members.begin(), members.end(), [&](size_t a, size_t b) {
            return similarity_key(files[a].path) < similarity_key(files[b].path);
        });
        std::vector<size_t> current;
        uint64_t filled = 0;
        const auto close = [&] {
            if (current.size() > 1) packs.push_back(current);
            current.clear();
            filled = 0;
        };
        for (size_t index : members) {
            if (files[index].size > limit - filled) close();
            current.push_back(index);
            filled += files[index].size;
        }
        close();
    }
    return packs;
}

fs::path pack_path(const fs::path& appDir, const std::string& sha256) {
    return appDir / kPackFolder / (sha256 + ".lzms");
}

bool make_release_packs(const fs::path& appDir, const std::vector<PackSource>& files,
                        std::vector<ManifestPack>& packs) {
    const std::vector<std::vector<size_t>> plan = plan_packs(files);
    std::error_code ec;
    fs::create_directories(appDir / kPackFolder, ec);
    if (ec) {
        std::fprintf(stderr, "pack: cannot create %s\n", (appDir / kPackFolder).c_str());
        return false;
    }
    packs.assign(plan.size(), ManifestPack());
    std::vector<std::string> errors(plan.size());
    run_parallel(plan.size(), [&](size_t p) {
        try {
            errors[p] = make_pack(appDir, files, plan[p], packs[p]);
        } catch (const std::exception& e) {
            errors[p] = std::string("compression failed: ") + e.what();
        }
    });
    bool ok = true;
    for (const std::string& error : errors)
        if (!error.empty()) {
            std::fprintf(stderr, "pack: a pack: %s\n", error.c_str());
            ok = false;
        }
    return ok;
}

nlohmann::json packs_json(const std::vector<ManifestPack>& packs) {
    nlohmann::json list = nlohmann::json::array();
    for (const ManifestPack& p : packs)
        list.push_back({{"sha256", p.sha256},
                        {"size", p.size},
                        {"csha256", p.csha256},
                        {"csize", p.csize},
                        {"files", p.files}});
    return list;
}

std::string pack_problem(const fs::path& appDir, const Manifest& manifest,
                         const ManifestPack& pack) {
    std::string blob;
    if (!read_whole_file(pack_path(appDir, pack.sha256), blob)) return "missing or unreadable";
    if (blob.size() != pack.csize)
        return "has " + std::to_string(blob.size()) + " bytes, manifest says \"csize\" " +
               std::to_string(pack.csize);
    if (sha256_hex_of(blob.data(), blob.size()) != pack.csha256)
        return "does not match \"csha256\"";
    std::string content(static_cast<size_t>(pack.size), '\0');
    if (!lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                               reinterpret_cast<uint8_t*>(content.data()), content.size()))
        return "does not unpack to exactly \"size\" " + std::to_string(pack.size) + " bytes";
    if (sha256_hex_of(content.data(), content.size()) != pack.sha256)
        return "unpacked content does not match \"sha256\"";
    std::vector<PackMember> members;
    if (!split_pack(manifest.files, pack, content.size(), members))
        return "members do not add up to \"size\"";
    for (const PackMember& m : members)
        if (sha256_hex_of(content.data() + m.offset, m.size) != manifest.files[m.file].sha256)
            return "member " + manifest.files[m.file].path + " does not match its \"sha256\"";
    return std::string();
}
