// The patch maker against the applier over arbitrary pairs: every patch the maker writes must
// apply and give back exactly the new content.
//
// Input: 2-byte old size n (little-endian, cut to what is there), n bytes of old content, then
// the new content.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/release/patch_maker.h"
#include "transport/patch.h"

namespace {

// The fastest LZMS level: the streams' compression is not what is under test here.
constexpr int kLevel = 1;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t oldSize = data[0] | size_t{data[1]} << 8;
    data += 2;
    size -= 2;
    if (oldSize > size) oldSize = size;
    const uint8_t* neu = data + oldSize;
    const size_t newSize = size - oldSize;
    const std::string patch = make_patch(data, oldSize, neu, newSize, kLevel);
    if (patch.empty()) return 0; // control denser than the format allows: no patch offered
    std::vector<uint8_t> out;
    if (!apply_patch(data, oldSize, reinterpret_cast<const uint8_t*>(patch.data()), patch.size(),
                     newSize, out))
        std::abort();
    if (out.size() != newSize || (newSize != 0 && std::memcmp(out.data(), neu, newSize) != 0))
        std::abort();
    return 0;
}
