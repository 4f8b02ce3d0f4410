#pragma once
// Makes binary patches in the format of transport/patch.h (publisher side: a suffix array of the
// old content from libdivsufsort, the two streams compressed by the blob writer).
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/release/blob_writer.h"

// The patch that turns `old` into `neu`, or empty when the format cannot hold one for this pair
// (old content of 2 GiB or more, or control entries denser than the applier accepts).
// Throws std::runtime_error when compression cannot be set up.
std::string make_patch(const uint8_t* old, size_t oldSize, const uint8_t* neu, size_t newSize,
                       int level = kDefaultLzmsLevel);
