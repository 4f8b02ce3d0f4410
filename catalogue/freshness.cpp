#include "catalogue/freshness.h"

#include "catalogue/manifest.h"

Freshness manifest_freshness(const Manifest& manifest, uint64_t installedSequence, int64_t now) {
    if (manifest.sequence < installedSequence) return Freshness::Older;
    if (manifest.expires && *manifest.expires < now) return Freshness::Expired;
    return Freshness::Current;
}
