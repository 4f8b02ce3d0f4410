#pragma once
// Background check of the version on offer and the download size of each component.
#include <cstdint>

// `installedSequence` is the sequence of the installation the window opened on, read by the
// starter: a manifest older than it, or expired, publishes nothing.
void version_check_main(uint64_t installedSequence);
