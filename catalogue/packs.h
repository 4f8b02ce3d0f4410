#pragma once
// Packs: the distinct contents of many files concatenated and compressed as one LZMS blob, so a
// first installation fetches a few solid streams instead of a blob per file. Listed under the
// manifest's optional "packs" key; a Setup that predates them ignores the key.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

struct ManifestFile;

struct ManifestPack {
    std::string sha256;  // hash of the uncompressed pack, 64 lower-case hex; names it on the server
    std::string csha256; // hash of the pack's blob
    uint64_t size = 0;   // uncompressed bytes: the members' sizes added up
    uint64_t csize = 0;  // blob bytes
    std::vector<size_t> files; // indexes into the manifest's files, in the order of their bytes
};

// A pack is one LZMS chunk, so it is decoded as one window held whole in memory: 64 MiB is the
// chunk the Compression API writes, and two packs decoded at once stay inside the memory goal.
constexpr uint64_t kMaxPackSize = uint64_t{64} << 20;
// Its blob is at most the container's header and one chunk length above that (a stored chunk).
constexpr uint64_t kMaxPackBlobSize = kMaxPackSize + 24 + 4;

// Reads the root's "packs" (absent: none). False when any pack is malformed: a hash that is not
// lower-case hex, no members, an index out of range or named twice (in any pack), member sizes
// that do not add up to "size", or a size beyond the bounds above.
bool read_packs(const nlohmann::json& root, const std::vector<ManifestFile>& files,
                std::vector<ManifestPack>& packs);

// "packs" beside "blobs", named like blobs: sha256 + ".lzms".
constexpr char kPackFolder[] = "packs";
// "/plannix/app/packs/" + sha256 + ".lzms".
std::wstring pack_server_path(const ManifestPack& pack);

// Which packs to fetch for a to-do list. `cost[i]` is what the manifest's file i would cost on
// its own (its patch where one will be used, else its blob's "csize"), 0 when it is not on the
// list. A pack is worth it when the distinct contents it holds that the list needs would cost at
// least half of its "csize" on their own: a pack never replaces small patches.
std::vector<bool> packs_worth_fetching(const std::vector<ManifestFile>& files,
                                       const std::vector<ManifestPack>& packs,
                                       const std::vector<uint64_t>& cost);

// Where each member lies in the decoded pack.
struct PackMember {
    size_t file = 0; // index into the manifest's files
    size_t offset = 0;
    size_t size = 0;
};

// The members of `pack` in `decoded`; false when `decoded` is not exactly the pack's size.
// The members' own hashes are the caller's to check.
bool split_pack(const std::vector<ManifestFile>& files, const ManifestPack& pack,
                size_t decodedSize, std::vector<PackMember>& members);
