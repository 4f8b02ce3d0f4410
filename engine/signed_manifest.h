#pragma once
// The release manifest as the publisher signed it: fetched, its signature checked over the exact
// bytes received, parsed, and checked to be no older than the installed release and not
// expired. The version check and the install pipeline accept it the same way.
#include <cstdint>

struct HttpSession;
struct Manifest;
class TransferControl;

// Far above any real release (a manifest lists thousands of files in well under a megabyte),
// yet low enough that a hostile or broken server cannot make Setup hold gigabytes.
constexpr uint64_t kMaxManifestBytes = 64ull << 20;
// A DER-encoded ECDSA P-256 signature is at most 72 bytes, base64 or not.
constexpr uint64_t kMaxSignatureBytes = 4096;

enum class ManifestFetch {
    Accepted,    // `out` holds the signed release
    Unreachable, // the manifest or its signature did not arrive whole (or was cancelled)
    Rejected,    // the signature does not hold, or the manifest does not parse
    Older,       // signed, but of a lower sequence than the installed release
    Expired,     // signed, but its expiry has passed by the system's UTC clock
};

// The signature is fetched only once the manifest has arrived; both transfers go through
// `control`. `installedSequence` is the installed release's (read_installed_sequence).
ManifestFetch fetch_signed_manifest(const HttpSession& net, TransferControl& control,
                                    uint64_t installedSequence, Manifest& out);
