#include "engine/signed_manifest.h"

#include <string>

#include <windows.h>

#include "catalogue/freshness.h"
#include "catalogue/manifest.h"
#include "transport/http.h"
#include "transport/signature.h"

namespace {

// The system's UTC clock in seconds since 1970: FILETIME counts 100 ns from 1601.
int64_t utc_now() {
    constexpr int64_t kTicksPerSecond = 10000000;
    constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    return static_cast<int64_t>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
}

} // namespace

ManifestFetch fetch_signed_manifest(const HttpSession& net, TransferControl& control,
                                    uint64_t installedSequence, Manifest& out) {
    std::string text;
    std::string signature;
    if (!http_get(net, L"/plannix/app/manifest.json", text, control, kMaxManifestBytes) ||
        !http_get(net, L"/plannix/app/manifest.sig", signature, control, kMaxSignatureBytes))
        return ManifestFetch::Unreachable;
    if (!verify_manifest_signature(text, signature) || !parse_manifest(text, out))
        return ManifestFetch::Rejected;
    switch (manifest_freshness(out, installedSequence, utc_now())) {
    case Freshness::Older:
        return ManifestFetch::Older;
    case Freshness::Expired:
        return ManifestFetch::Expired;
    case Freshness::Current:
        break;
    }
    return ManifestFetch::Accepted;
}
