#pragma once
// A signature proves that the publisher signed a manifest once, not that it is the release on
// offer now: a server can replay an older signed manifest (a downgrade) or keep serving one
// for ever (a freeze). Each manifest carries a sequence that only grows and may carry an
// expiry; these rules decide whether a signed manifest is still one to act on.
#include <cstdint>

struct Manifest;

enum class Freshness {
    Current, // as new as the installed release or newer, and not expired
    Older,   // a lower sequence than the installed release's
    Expired, // its expiry lies before `now`
};

// `installedSequence` is the sequence of the installed release (0 when there is none, or its
// record predates sequences); `now` is the system's UTC clock in seconds since 1970. An equal
// sequence is current: a repair, or a change of components.
Freshness manifest_freshness(const Manifest& manifest, uint64_t installedSequence, int64_t now);
