// Raw LZMS decoding. A chunk is read as 16-bit little-endian units from both ends: from the front
// a binary range decoder with adaptive probabilities chooses between literal, LZ match and delta
// match (and between explicit and repeated offsets); from the back come the adaptive Huffman
// codewords and the verbatim extra bits. Past either end the streams read as zero bits, as LZMS
// decoders have always done, so only matches that reach outside the output make input invalid.
#include "transport/lzms_decoder.h"

#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "transport/lzms_huffman.h"
#include "transport/lzms_slots.h"
#include "transport/lzms_x86.h"

namespace {

// No LZMS offset reaches further back than about 1.1 GiB, and encoders never use larger chunks.
constexpr size_t kMaxChunkSize = size_t{1} << 30;

// --- Adaptive probabilities: the chance of a 0 is the share of zeros among the last 64 bits
// decoded in the same context, clamped to 1/64..63/64.

struct Prob {
    uint64_t history; // newest bit lowest
    uint32_t zeros;   // zero bits in history
};

constexpr unsigned kMainContexts = 16, kMatchContexts = 32, kOtherContexts = 64;

struct Probs {
    Prob main[kMainContexts];
    Prob match[kMatchContexts];
    Prob lz[kOtherContexts];
    Prob delta[kOtherContexts];
    Prob lzRep[2][kOtherContexts];
    Prob deltaRep[2][kOtherContexts];
};

struct DecoderState {
    Probs probs;
    LzmsCode literal;
    LzmsCode lzOffset;
    LzmsCode length;
    LzmsCode deltaOffset;
    LzmsCode deltaPower;
    int32_t x86LastUse[kLzmsX86TargetSlots];
};

inline uint32_t load16(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}

inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) {
        uint64_t r = 0;
        for (int k = 0; k < 8; ++k)
            r = (r << 8) | ((v >> (8 * k)) & 0xFF);
        v = r;
    }
    return v;
}

// --- Forward stream: the range decoder.

struct RangeDecoder {
    uint32_t range;
    uint32_t code;
    const uint8_t* next;
    const uint8_t* end;
};

inline unsigned decode_bit(RangeDecoder& rd, Prob& p) {
    uint32_t prob = p.zeros;
    prob += prob == 0;
    prob -= prob == 64;
    if (rd.range < 0x10000) {
        rd.range <<= 16;
        rd.code <<= 16;
        if (rd.next != rd.end) {
            rd.code |= load16(rd.next);
            rd.next += 2;
        }
    }
    const uint32_t bound = (rd.range >> 6) * prob;
    unsigned bit;
    if (rd.code < bound) {
        rd.range = bound;
        bit = 0;
    } else {
        rd.range -= bound;
        rd.code -= bound;
        bit = 1;
    }
    p.zeros += static_cast<uint32_t>(p.history >> 63) - bit;
    p.history = (p.history << 1) | bit;
    return bit;
}

// Each decision class picks its probability by the last few bits decoded in that class.
inline unsigned decode_in_context(RangeDecoder& rd, Prob* probs, unsigned& ctx, unsigned mask) {
    const unsigned bit = decode_bit(rd, probs[ctx]);
    ctx = ((ctx << 1) | bit) & mask;
    return bit;
}

// --- Backward stream: Huffman codewords and extra bits, most significant bit first.

struct BitReader {
    uint64_t buf;   // next bits at the top; below `avail` only bits of later units (or zeros)
    unsigned avail; // valid bits at the top of buf
    const uint8_t* next;
    const uint8_t* begin;
};

// Leaves at least 49 bits available.
inline void refill(BitReader& br) {
    if (br.next - br.begin >= 8) {
        // The 8 bytes below `next` hold the next four units, the first of them on top.
        br.buf |= load64(br.next - 8) >> br.avail;
        const unsigned units = (64 - br.avail) >> 4;
        br.next -= 2 * units;
        br.avail += 16 * units;
    } else {
        while (br.avail <= 48) {
            if (br.next != br.begin) {
                br.next -= 2;
                br.buf |= uint64_t{load16(br.next)} << (48 - br.avail);
            }
            br.avail += 16;
        }
    }
}

inline void ensure(BitReader& br, unsigned n) {
    if (br.avail < n) refill(br);
}

inline uint32_t read_bits(BitReader& br, unsigned n) {
    const uint32_t v = static_cast<uint32_t>((br.buf >> 1) >> (63 - n));
    br.buf <<= n;
    br.avail -= n;
    return v;
}

// Needs 15 bits available. Counts the symbol and rebuilds the code when its interval is up.
inline unsigned decode_symbol(BitReader& br, LzmsCode& code) {
    const uint32_t bits15 = static_cast<uint32_t>(br.buf >> (64 - kLzmsMaxCodeLen));
    unsigned entry = code.table[bits15 >> (kLzmsMaxCodeLen - code.tableBits)];
    if ((entry & 15) == 0) {
        entry = lzms_code_slow_lookup(code, bits15);
        if (entry == 0) return kLzmsBadSymbol;
    }
    br.buf <<= entry & 15;
    br.avail -= entry & 15;
    const unsigned sym = entry >> 4;
    ++code.freqs[sym];
    if (--code.untilRebuild == 0) lzms_code_rebuild(code);
    return sym;
}

// --- Matches. Sources may overlap the bytes being written, so copies go forward in order.

inline void copy_lz(uint8_t* dst, size_t offset, size_t length, const uint8_t* end) {
    const uint8_t* src = dst - offset;
    uint8_t* const stop = dst + length;
    if (offset >= 8 && static_cast<size_t>(end - dst) >= length + 8) {
        do {
            std::memcpy(dst, src, 8);
            dst += 8;
            src += 8;
        } while (dst < stop);
    } else if (offset == 1) {
        std::memset(dst, src[0], length);
    } else {
        while (dst < stop)
            *dst++ = *src++;
    }
}

inline void copy_delta(uint8_t* dst, size_t offset, size_t span, size_t length) {
    for (size_t k = 0; k < length; ++k, ++dst)
        *dst = static_cast<uint8_t>(dst[-static_cast<ptrdiff_t>(offset)] +
                                    dst[-static_cast<ptrdiff_t>(span)] -
                                    dst[-static_cast<ptrdiff_t>(offset + span)]);
}

void init_probs(Probs& probs) {
    Prob* p = reinterpret_cast<Prob*>(&probs);
    const size_t count = sizeof(Probs) / sizeof(Prob);
    for (size_t k = 0; k < count; ++k)
        p[k] = Prob{0x55555555u, 48};
}

bool decode(DecoderState& st, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
    init_probs(st.probs);
    const unsigned offsetSlots = lzms_num_offset_slots(outSize);
    lzms_code_init(st.literal, 256, 10, 1024);
    lzms_code_init(st.lzOffset, offsetSlots, 11, 1024);
    lzms_code_init(st.length, kLzmsNumLengthSlots, 10, 512);
    lzms_code_init(st.deltaOffset, offsetSlots, 11, 1024);
    lzms_code_init(st.deltaPower, 8, 7, 512);

    RangeDecoder rd{0xFFFFFFFFu, load16(in) << 16 | load16(in + 2), in + 4, in + inSize};
    BitReader br{0, 0, in + inSize, in};

    unsigned mainCtx = 0, matchCtx = 0, lzCtx = 0, deltaCtx = 0;
    unsigned lzRepCtx[2] = {0, 0}, deltaRepCtx[2] = {0, 0};
    // Repeat queues. An offset used by a match joins the front only after the next item, so the
    // queue has a fourth slot, and an item right after a match of its own kind indexes one
    // further (the pending entry sits in slot 0).
    uint32_t lzReps[4] = {1, 2, 3, 4};
    uint64_t deltaReps[4] = {1, 2, 3, 4}; // (power << 32) | raw offset
    enum : unsigned { kLiteral, kLz, kDelta } prev = kLiteral;

    Probs& pr = st.probs;
    uint8_t* const end = out + outSize;
    uint8_t* dst = out;
    while (dst != end) {
        if (!decode_in_context(rd, pr.main, mainCtx, kMainContexts - 1)) {
            ensure(br, kLzmsMaxCodeLen);
            *dst++ = static_cast<uint8_t>(decode_symbol(br, st.literal));
            prev = kLiteral;
            continue;
        }
        const size_t pos = static_cast<size_t>(dst - out);
        if (!decode_in_context(rd, pr.match, matchCtx, kMatchContexts - 1)) {
            uint32_t offset;
            if (!decode_in_context(rd, pr.lz, lzCtx, kOtherContexts - 1)) {
                ensure(br, kLzmsMaxCodeLen + 30);
                const unsigned slot = decode_symbol(br, st.lzOffset);
                if (slot == kLzmsBadSymbol) return false;
                offset = kLzmsOffsetSlots.base[slot] + read_bits(br, kLzmsOffsetSlots.extra[slot]);
                lzReps[3] = lzReps[2];
                lzReps[2] = lzReps[1];
                lzReps[1] = lzReps[0];
            } else {
                const unsigned d = prev == kLz;
                if (!decode_in_context(rd, pr.lzRep[0], lzRepCtx[0], kOtherContexts - 1)) {
                    offset = lzReps[d];
                    lzReps[d] = lzReps[0];
                } else if (!decode_in_context(rd, pr.lzRep[1], lzRepCtx[1], kOtherContexts - 1)) {
                    offset = lzReps[1 + d];
                    lzReps[1 + d] = lzReps[1];
                    lzReps[1] = lzReps[0];
                } else {
                    offset = lzReps[2 + d];
                    lzReps[2 + d] = lzReps[2];
                    lzReps[2] = lzReps[1];
                    lzReps[1] = lzReps[0];
                }
            }
            lzReps[0] = offset;
            prev = kLz;
            ensure(br, kLzmsMaxCodeLen + 30);
            const unsigned lslot = decode_symbol(br, st.length);
            const uint32_t length =
                kLzmsLengthSlots.base[lslot] + read_bits(br, kLzmsLengthSlots.extra[lslot]);
            if (offset > pos || length > static_cast<size_t>(end - dst)) return false;
            copy_lz(dst, offset, length, end);
            dst += length;
        } else {
            uint64_t pair;
            if (!decode_in_context(rd, pr.delta, deltaCtx, kOtherContexts - 1)) {
                ensure(br, kLzmsMaxCodeLen);
                const uint64_t power = decode_symbol(br, st.deltaPower);
                ensure(br, kLzmsMaxCodeLen + 30);
                const unsigned slot = decode_symbol(br, st.deltaOffset);
                if (slot == kLzmsBadSymbol) return false;
                const uint32_t raw =
                    kLzmsOffsetSlots.base[slot] + read_bits(br, kLzmsOffsetSlots.extra[slot]);
                pair = power << 32 | raw;
                deltaReps[3] = deltaReps[2];
                deltaReps[2] = deltaReps[1];
                deltaReps[1] = deltaReps[0];
            } else {
                const unsigned d = prev == kDelta;
                if (!decode_in_context(rd, pr.deltaRep[0], deltaRepCtx[0], kOtherContexts - 1)) {
                    pair = deltaReps[d];
                    deltaReps[d] = deltaReps[0];
                } else if (!decode_in_context(rd, pr.deltaRep[1], deltaRepCtx[1],
                                              kOtherContexts - 1)) {
                    pair = deltaReps[1 + d];
                    deltaReps[1 + d] = deltaReps[1];
                    deltaReps[1] = deltaReps[0];
                } else {
                    pair = deltaReps[2 + d];
                    deltaReps[2 + d] = deltaReps[2];
                    deltaReps[2] = deltaReps[1];
                    deltaReps[1] = deltaReps[0];
                }
            }
            deltaReps[0] = pair;
            prev = kDelta;
            ensure(br, kLzmsMaxCodeLen + 30);
            const unsigned lslot = decode_symbol(br, st.length);
            const uint32_t length =
                kLzmsLengthSlots.base[lslot] + read_bits(br, kLzmsLengthSlots.extra[lslot]);
            // The source pair is `offset` back, each element `span` behind its partner.
            const unsigned power = static_cast<unsigned>(pair >> 32);
            const uint64_t span = uint64_t{1} << power;
            const uint64_t offset = (pair & 0xFFFFFFFFu) << power;
            if (offset + span > pos || length > static_cast<size_t>(end - dst)) return false;
            copy_delta(dst, static_cast<size_t>(offset), static_cast<size_t>(span), length);
            dst += length;
        }
    }
    lzms_x86_undo(out, outSize, st.x86LastUse);
    return true;
}

} // namespace

bool lzms_decode_chunk(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
    // Both streams start with whole 16-bit units, and the range decoder needs two of them.
    if (in == nullptr || inSize < 4 || inSize % 2 != 0) return false;
    if (outSize > kMaxChunkSize || (out == nullptr && outSize != 0)) return false;
    if (outSize == 0) return true;
    std::unique_ptr<DecoderState> st(new (std::nothrow) DecoderState);
    if (!st) return false;
    return decode(*st, in, inSize, out, outSize);
}
