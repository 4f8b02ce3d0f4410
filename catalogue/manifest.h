#pragma once
// The accepted release: what the signed manifest.json lists.
#include <cstdint>
#include <string>
#include <vector>

struct ManifestFile {
    std::string path;    // relative to the install folder, "/" separators, as in the document
    std::string sha256;  // content hash, 64 lower-case hex characters
    std::string csha256; // blob hash, 64 lower-case hex characters
    uint64_t size = 0;   // installed (uncompressed) size
    uint64_t csize = 0;  // blob size
};

struct Manifest {
    std::string version;
    std::string date;
    std::string exe = "plannix.exe";
    std::vector<ManifestFile> files;
};

// True only when `text` is an acceptable manifest; on false `out` is to be discarded.
bool parse_manifest(const std::string& text, Manifest& out);

// The path rules alone (also used by the publisher's tool to refuse bad names early).
bool is_acceptable_manifest_path(const std::string& path);
