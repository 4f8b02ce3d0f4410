// Our LZMS readers over arbitrary bytes: never a crash, a hang or an access outside the buffers,
// and a successful decode fills exactly the size asked for.
//
// Input: one mode byte, then
//   mode & 3 == 0: blob, unpacked to the size its header announces (when small enough); one
//                  whose header the header reader refuses must never decode;
//   mode & 3 == 1: 3-byte size, then a blob (sizes disagreeing with the header must fail);
//   otherwise:     3-byte size, then a raw chunk.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "transport/lzms_container.h"
#include "transport/lzms_decoder.h"

namespace {

constexpr uint32_t kMaxSize = 1u << 18; // keeps every run short

uint32_t le24(const uint8_t* p) {
    return p[0] | p[1] << 8 | uint32_t{p[2]} << 16;
}

// Writes a canary byte after the output, to see writes past the end even without ASan.
bool check_decode(bool ok, const std::vector<uint8_t>& out, size_t size) {
    if (out[size] != 0xA5) std::abort();
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if ((mode & 3) == 0) {
        LzmsContainerHeader header;
        const bool readable = lzms_container_read_header(data, size, header);
        if (!readable || header.total > kMaxSize) {
            // Refused on the header alone, before any output is written.
            uint8_t one = 0x5A;
            if (lzms_container_decode(data, size, &one, 1) || one != 0x5A) std::abort();
            return 0;
        }
        const size_t total = static_cast<size_t>(header.total);
        std::vector<uint8_t> out(total + 1, 0xA5);
        check_decode(lzms_container_decode(data, size, out.data(), total), out, total);
        return 0;
    }
    if (size < 3) return 0;
    const uint32_t want = le24(data) % (kMaxSize + 1);
    data += 3;
    size -= 3;
    std::vector<uint8_t> out(want + 1, 0);
    out[want] = 0xA5;
    if ((mode & 3) == 1)
        check_decode(lzms_container_decode(data, size, out.data(), want), out, want);
    else
        check_decode(lzms_decode_chunk(data, size, out.data(), want), out, want);
    return 0;
}
