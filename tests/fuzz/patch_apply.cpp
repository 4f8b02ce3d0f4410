// The patch applier over arbitrary bytes: never a crash, a hang or an access outside the
// buffers, and a success gives exactly the size asked for.
//
// Input: 2-byte old size n (little-endian, cut to what is there), n bytes of old content, then
// the patch. The new size asked for is the one in the patch's header when it is small enough,
// else a size from the input's length, so most runs reach the streams.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "transport/patch.h"

namespace {

constexpr uint64_t kMaxNewSize = 1u << 18; // keeps every run short

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t oldSize = data[0] | size_t{data[1]} << 8;
    data += 2;
    size -= 2;
    if (oldSize > size) oldSize = size;
    const uint8_t* old = data;
    const uint8_t* patch = data + oldSize;
    const size_t patchSize = size - oldSize;

    uint64_t newSize = size * 3;
    if (patchSize >= kPatchHeaderSize) {
        uint64_t announced = 0;
        for (int k = 7; k >= 0; --k)
            announced = (announced << 8) | patch[16 + k];
        if (announced <= kMaxNewSize) newSize = announced;
    }
    std::vector<uint8_t> out;
    const bool ok = apply_patch(old, oldSize, patch, patchSize, newSize, out);
    if (ok && out.size() != newSize) std::abort();
    if (!ok && !out.empty()) std::abort();
    return 0;
}
