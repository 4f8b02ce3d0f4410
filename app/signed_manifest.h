#pragma once
// The release manifest as the publisher signed it: fetched, its signature checked over the exact
// bytes received, then parsed. The version check and the install pipeline accept it the same way.
#include <cstdint>

struct HttpSession;
struct Manifest;

// Far above any real release (a manifest lists thousands of files in well under a megabyte),
// yet low enough that a hostile or broken server cannot make Setup hold gigabytes.
constexpr uint64_t kMaxManifestBytes = 64ull << 20;
// A DER-encoded ECDSA P-256 signature is at most 72 bytes, base64 or not.
constexpr uint64_t kMaxSignatureBytes = 4096;

enum class ManifestFetch {
    Accepted,    // `out` holds the signed release
    Unreachable, // the manifest or its signature did not arrive whole (or was cancelled)
    Rejected,    // the signature does not hold, or the manifest does not parse
};

// The signature is fetched only once the manifest has arrived.
ManifestFetch fetch_signed_manifest(const HttpSession& net, Manifest& out);
