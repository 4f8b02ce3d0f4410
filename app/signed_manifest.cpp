#include "app/signed_manifest.h"

#include <string>

#include "catalogue/manifest.h"
#include "transport/http.h"
#include "transport/signature.h"

ManifestFetch fetch_signed_manifest(const HttpSession& net, Manifest& out) {
    std::string text;
    std::string signature;
    if (!http_get(net, L"/plannix/app/manifest.json", text, false, kMaxManifestBytes) ||
        !http_get(net, L"/plannix/app/manifest.sig", signature, false, kMaxSignatureBytes))
        return ManifestFetch::Unreachable;
    if (!verify_manifest_signature(text, signature) || !parse_manifest(text, out))
        return ManifestFetch::Rejected;
    return ManifestFetch::Accepted;
}
