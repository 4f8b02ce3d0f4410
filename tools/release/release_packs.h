#pragma once
// Packs on the publisher's side: which files go into which pack, writing the packs' blobs, and
// checking them as Setup will.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "catalogue/manifest.h"

// One file of the release as the pack maker sees it.
struct PackSource {
    std::string path; // relative, "/" separators
    std::string sha256;
    uint64_t size = 0;
    uint64_t csize = 0;           // of the file's own blob
    std::filesystem::path source; // where its content is read from
};

// The members of each pack, as indexes into `files`: per component, each distinct content once,
// sorted by extension then name so that similar files lie together, filled up to `limit` bytes.
// Empty files and files above the limit stay out (their blob is the only way they travel), and
// so does a lone file (a pack of one is its blob again).
std::vector<std::vector<size_t>> plan_packs(const std::vector<PackSource>& files,
                                            uint64_t limit = kMaxPackSize);

// packs/<sha256>.lzms under the app folder.
std::filesystem::path pack_path(const std::filesystem::path& appDir, const std::string& sha256);

// Makes each planned pack's blob (kept when one already holds exactly that content) and fills
// `packs` for the manifest. False after printing what failed.
bool make_release_packs(const std::filesystem::path& appDir, const std::vector<PackSource>& files,
                        std::vector<ManifestPack>& packs);

nlohmann::json packs_json(const std::vector<ManifestPack>& packs);

// Why Setup would fail this pack (and fall back to its members' blobs), or empty when it is good:
// its blob, its hashes, and every member's content against its file's "sha256".
std::string pack_problem(const std::filesystem::path& appDir, const Manifest& manifest,
                         const ManifestPack& pack);
