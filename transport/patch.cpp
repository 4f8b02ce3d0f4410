// Applies a binary patch. Every size in the patch is checked against the sizes the caller knows
// (old size, new size, patch size) before it is used; anything inconsistent is bad data.
#include "transport/patch.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "transport/lzms_container.h"

namespace {

static_assert(kPatchHeaderSize == sizeof kPatchMagic + 4 * 8, "magic and four 64-bit sizes");

uint64_t load_le64(const uint8_t* p) {
    uint64_t v = 0;
    for (unsigned k = 8; k > 0; --k)
        v = (v << 8) | p[k - 1];
    return v;
}

// A LEB128 varint from [at, end): false when it runs past the end or beyond 64 bits.
bool read_varint(const uint8_t*& at, const uint8_t* end, uint64_t& value) {
    value = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        if (at == end) return false;
        const uint8_t byte = *at++;
        // The tenth byte holds bit 63 alone: anything above it would be lost.
        if (shift == 63 && byte > 1) return false;
        value |= uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) return true;
    }
    return false;
}

// Walks the control entries over the unpacked data already in `out`, adding the old bytes to
// the copied spans.
bool run_control(const uint8_t* control, size_t controlSize, const uint8_t* old, size_t oldSize,
                 uint8_t* out, size_t newSize) {
    const uint8_t* at = control;
    const uint8_t* const end = control + controlSize;
    size_t written = 0;
    uint64_t oldPos = 0; // may leave [0, oldSize] between entries; checked before each copy
    while (at != end) {
        uint64_t copy = 0, insert = 0, seek = 0;
        if (!read_varint(at, end, copy) || !read_varint(at, end, insert) ||
            !read_varint(at, end, seek))
            return false;
        // Both spans fit in what is left of the output: written <= newSize throughout, so the
        // subtraction cannot wrap, and neither can written + copy + insert afterwards.
        if (copy > newSize - written || insert > newSize - written - copy) return false;
        if (copy != 0) {
            if (oldPos > oldSize || copy > oldSize - oldPos) return false;
            const uint8_t* src = old + oldPos;
            uint8_t* dst = out + written;
            for (size_t k = 0; k < copy; ++k)
                dst[k] = static_cast<uint8_t>(dst[k] + src[k]);
            oldPos += copy;
        }
        written += static_cast<size_t>(copy + insert);
        oldPos += seek; // wraps as two's complement: a negative seek moves back
    }
    return written == newSize;
}

bool apply(const uint8_t* old, size_t oldSize, const uint8_t* patch, size_t patchSize,
           uint64_t newSize, std::vector<uint8_t>& out) {
    if (patch == nullptr || patchSize < kPatchHeaderSize) return false;
    if (std::memcmp(patch, kPatchMagic, sizeof kPatchMagic) != 0) return false;
    if (old == nullptr && oldSize != 0) return false;
    const uint64_t patchOld = load_le64(patch + 8);
    const uint64_t patchNew = load_le64(patch + 16);
    const uint64_t controlSize = load_le64(patch + 24);
    const uint64_t controlBlob = load_le64(patch + 32);
    if (patchOld != oldSize || patchNew != newSize) return false;
    // newSize has to be addressable: it is the output buffer's size.
    if (newSize > std::numeric_limits<size_t>::max()) return false;
    // The control stream's unpacked size is the only allocation the patch chooses: bounded by
    // the new size (which the caller knows), never by the patch's say-so.
    if (controlSize > newSize / kMaxPatchControlShare + kPatchControlSlack) return false;
    // The control blob lies inside the patch, and the data blob takes the rest.
    if (controlBlob > patchSize - kPatchHeaderSize) return false;
    const uint8_t* controlAt = patch + kPatchHeaderSize;
    const uint8_t* dataAt = controlAt + controlBlob;
    const size_t dataBlob = patchSize - kPatchHeaderSize - static_cast<size_t>(controlBlob);

    std::vector<uint8_t> control(static_cast<size_t>(controlSize));
    if (!lzms_container_decode(controlAt, static_cast<size_t>(controlBlob), control.data(),
                               controlSize))
        return false;
    out.assign(static_cast<size_t>(newSize), 0);
    if (!lzms_container_decode(dataAt, dataBlob, out.data(), newSize)) return false;
    return run_control(control.data(), control.size(), old, oldSize, out.data(),
                       static_cast<size_t>(newSize));
}

} // namespace

bool apply_patch(const uint8_t* old, size_t oldSize, const uint8_t* patch, size_t patchSize,
                 uint64_t newSize, std::vector<uint8_t>& out) {
    try {
        if (apply(old, oldSize, patch, patchSize, newSize, out)) return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    out.clear();
    return false;
}
