#pragma once
// The accepted release: what the signed manifest.json lists.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/packs.h"

// A binary patch that makes a file's content from one older content.
struct ManifestPatch {
    std::string from;   // content hash of the old file it applies to, 64 lower-case hex
    std::string sha256; // hash of the patch blob, 64 lower-case hex
    uint64_t size = 0;  // patch blob bytes
};

// A file entry holds at most this many patches (one from each of the last few releases).
constexpr size_t kMaxPatchesPerFile = 16;

struct ManifestFile {
    std::string path;    // relative to the install folder, "/" separators, as in the document
    std::string sha256;  // content hash, 64 lower-case hex characters
    std::string csha256; // blob hash, 64 lower-case hex characters
    uint64_t size = 0;   // installed (uncompressed) size
    uint64_t csize = 0;  // blob size
    std::vector<ManifestPatch> patches; // "patches": none in releases made without them
};

struct Manifest {
    std::string version;
    std::string date;
    std::string exe = "plannix.exe";
    std::vector<ManifestFile> files;
    uint64_t sequence = 0;          // "sequence": raised by one with every publication
    std::optional<int64_t> expires; // "expires", seconds since 1970 UTC; none: never
    std::vector<ManifestPack> packs; // "packs": none in releases made without them
};

// True only when `text` is an acceptable manifest; on false `out` is to be discarded.
bool parse_manifest(const std::string& text, Manifest& out);

// The patch to fetch for a file whose installed content hashes to `installedSha256` (hashed
// from the file itself, never taken from a record): the one from that content, and only when
// it is smaller than the whole blob. Null when the whole blob is to be fetched.
const ManifestPatch* usable_patch(const ManifestFile& file, const std::string& installedSha256);

// Patch blobs lie in their own folder beside "blobs", named by their hash.
constexpr char kPatchFolder[] = "patches";
constexpr char kPatchSuffix[] = ".lzpatch";
// The server path of a patch blob: "/plannix/app/patches/" + sha256 + ".lzpatch".
std::wstring patch_server_path(const ManifestPatch& patch);

// 64 lower-case hex characters: how the manifest writes every SHA-256.
bool is_lower_hex_digest(const std::string& text);
