// Our raw LZMS decoder against wimlib's on arbitrary chunks: both fail, or both succeed with the
// same bytes.
//
// Input: 3-byte output size, then the chunk.
//
// Chunks under 3 bytes are left out on purpose: they have fewer than two offset slots, so their
// offset codes have no symbol or a single one (codeword 0). wimlib (1.13) dies of a bus error
// building such codes, and in its sources the one-symbol code is never turned into a table, so
// there is nothing stable to compare with. We treat the unassigned codeword as invalid input;
// lzms_decode covers these sizes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <wimlib.h>

#include "transport/lzms_decoder.h"

namespace {

constexpr uint32_t kMaxSize = 1u << 18;

wimlib_decompressor* reference() {
    static wimlib_decompressor* d = [] {
        wimlib_decompressor* made = nullptr;
        if (wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_LZMS, kMaxSize, &made) != 0)
            std::abort();
        return made;
    }();
    return d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint32_t want = (data[0] | data[1] << 8 | uint32_t{data[2]} << 16) % (kMaxSize + 1);
    data += 3;
    size -= 3;
    if (want < 3) return 0;
    // Separate copies of the input: wimlib gets its own, so neither can disturb the other.
    const std::vector<uint8_t> theirsIn(data, data + size);
    std::vector<uint8_t> ours(want + 1, 0), theirs(want + 1, 0);
    const bool oursOk = lzms_decode_chunk(data, size, ours.data(), want);
    const bool theirsOk =
        wimlib_decompress(theirsIn.data(), theirsIn.size(), theirs.data(), want, reference()) == 0;
    if (oursOk != theirsOk) std::abort();
    if (oursOk && std::memcmp(ours.data(), theirs.data(), want) != 0) std::abort();
    return 0;
}
