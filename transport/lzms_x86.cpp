// Reversing LZMS's x86 translation. The encoder only translates where it has recently seen two
// references to the same target (a sign of real machine code), and it decides that from the
// untranslated bytes; the decoder replays the same decisions from the bytes it restores.
#include "transport/lzms_x86.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define LZMS_X86_SSE2 1
#endif

namespace {

// Translation stays on for this many bytes after the last likely instruction (half for calls,
// which are more often false positives).
constexpr int32_t kMaxDistance = 1023;
// Two references to the same (16-bit) target within this many bytes mark likely code.
constexpr int32_t kSameTargetWindow = 65535;

uint32_t load32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
void store32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

#ifdef LZMS_X86_SSE2
// Bit k set when p[k] is an opcode byte that may start a translated instruction. Reads 16 bytes.
inline unsigned opcode_mask(const uint8_t* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // 0x48 and 0x4C differ in bit 2 only, 0xE8 and 0xE9 in bit 0 only.
    const __m128i rex = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xFB))),
                                       _mm_set1_epi8(0x48));
    const __m128i call = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xFE))),
                                        _mm_set1_epi8(static_cast<char>(0xE8)));
    const __m128i hit =
        _mm_or_si128(_mm_or_si128(rex, call),
                     _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xF0))),
                                  _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xFF)))));
    return static_cast<unsigned>(_mm_movemask_epi8(hit));
}
#else
// Opcode bytes that may start a translated instruction (0xE9, jmp, is recognised but skipped).
struct OpcodeTable {
    bool is[256] = {};
    constexpr OpcodeTable() {
        constexpr uint8_t kOpcodes[] = {0x48, 0x4C, 0xE8, 0xE9, 0xF0, 0xFF};
        for (uint8_t b : kOpcodes)
            is[b] = true;
    }
};
constexpr OpcodeTable kIsOpcode;
#endif

// Looks at one candidate opcode at `pos` (below tail) and undoes its translation if there is
// one; returns where scanning resumes.
inline size_t undo_one(uint8_t* data, size_t pos, int32_t& lastCode, int32_t* lastUse) {
    const uint8_t* p = data + pos;
    unsigned opLen = 0;
    int32_t maxDistance = kMaxDistance;
    switch (p[0]) {
    case 0xFF: // call [rip + disp32]
        if (p[1] == 0x15) opLen = 2;
        break;
    case 0xF0: // lock add [rip + disp32], imm8
        if (p[1] == 0x83 && p[2] == 0x05) opLen = 3;
        break;
    case 0x48:
    case 0x4C: // REX.W lea / mov with a ModR/M byte whose r/m field says RIP-relative
        if ((p[2] & 0x07) == 0x05 &&
            (p[1] == 0x8D || (p[1] == 0x8B && !(p[0] & 0x04) && !(p[2] & 0xF0))))
            opLen = 3;
        break;
    case 0xE9: // jmp rel32: never translated, its operand is skipped
        return pos + 5;
    case 0xE8: // call rel32
        opLen = 1;
        maxDistance = kMaxDistance / 2;
        break;
    default:
        break;
    }
    if (opLen == 0) return pos + 1;
    const int32_t at = static_cast<int32_t>(pos);
    uint8_t* operand = data + pos + opLen;
    if (at - lastCode <= maxDistance) store32(operand, load32(operand) - static_cast<uint32_t>(at));
    const uint16_t target = static_cast<uint16_t>(at + (operand[0] | operand[1] << 8));
    const int32_t operandEnd = at + static_cast<int32_t>(opLen) + 3;
    if (operandEnd - lastUse[target] <= kSameTargetWindow) lastCode = operandEnd;
    lastUse[target] = operandEnd;
    return pos + opLen + 4;
}

} // namespace

void lzms_x86_undo(uint8_t* data, size_t size, int32_t* lastUse) {
    if (size <= 17) return;
    for (size_t k = 0; k < kLzmsX86TargetSlots; ++k)
        lastUse[k] = -kSameTargetWindow - 1;
    int32_t lastCode = -kMaxDistance - 1;
    // Instructions may start from byte 1 up to 17 bytes before the end.
    const size_t tail = size - 16;
    size_t pos = 1;
#ifdef LZMS_X86_SSE2
    // Candidates come from one 16-byte load at a time; each is handled in turn, and the block is
    // reloaded only when handling one moves past it. Bytes a translation rewrites lie before the
    // next scan position, so the mask never describes rewritten bytes that are still ahead.
    while (pos < tail) {
        unsigned mask = opcode_mask(data + pos);
        size_t next = pos + 16;
        while (mask != 0) {
            const size_t at = pos + static_cast<unsigned>(__builtin_ctz(mask));
            if (at >= tail) return;
            next = undo_one(data, at, lastCode, lastUse);
            if (next >= pos + 16) break;
            mask &= ~0u << (next - pos);
            next = pos + 16;
        }
        pos = next;
    }
#else
    for (;;) {
        while (pos < tail && !kIsOpcode.is[data[pos]])
            ++pos;
        if (pos >= tail) break;
        pos = undo_one(data, pos, lastCode, lastUse);
    }
#endif
}
