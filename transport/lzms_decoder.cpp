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

// The decoding loop's state must stay in registers; a helper the compiler declined to inline
// would take the address of that state and keep it in memory.
#if defined(__GNUC__)
#define LZMS_INLINE inline __attribute__((always_inline))
#define LZMS_LAMBDA_INLINE __attribute__((always_inline))
#else
#define LZMS_INLINE inline
#define LZMS_LAMBDA_INLINE
#endif

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

} // namespace

struct LzmsDecoder {
    Probs probs;
    LzmsCode literal;
    LzmsCode lzOffset;
    LzmsCode length;
    LzmsCode deltaOffset;
    LzmsCode deltaPower;
    int32_t x86LastUse[kLzmsX86TargetSlots];
};

namespace {

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

// --- Forward stream: the range decoder. Its state lives in locals of the decoding loop, which
// the helpers take by reference, so that it stays in registers.

// Probabilities of 0/64 and 64/64 are not allowed: they are used as 1/64 and 63/64.
constexpr struct ClampedProbs {
    uint8_t of[65];
    constexpr ClampedProbs() : of() {
        for (unsigned z = 0; z <= 64; ++z)
            of[z] = static_cast<uint8_t>(z == 0 ? 1 : z == 64 ? 63 : z);
    }
} kClamped;

LZMS_INLINE unsigned decode_bit(uint32_t& range, uint32_t& code, const uint8_t*& next,
                                const uint8_t* end, Prob& p) {
    const uint32_t prob = kClamped.of[p.zeros];
    if (range < 0x10000) {
        range <<= 16;
        code <<= 16;
        if (next != end) {
            code |= load16(next);
            next += 2;
        }
    }
    const uint32_t bound = (range >> 6) * prob;
    // The bit leaving the 64-bit history changes the zero count along with the new bit.
    const uint32_t oldest = static_cast<uint32_t>(p.history >> 63);
    if (code < bound) {
        range = bound;
        p.zeros += oldest;
        p.history <<= 1;
        return 0;
    }
    range -= bound;
    code -= bound;
    p.zeros += oldest - 1;
    p.history = (p.history << 1) | 1;
    return 1;
}

// --- Backward stream: Huffman codewords and extra bits, most significant bit first. `buf` holds
// the next bits at the top; below the `avail` valid ones it holds only bits of later units (or
// zeros past the start of the input).

// The bit budget. A refill adds whole 16-bit units while they fit in the 64-bit buffer, so it
// leaves at least 64 - 15 bits available; each step then asks for what it may consume before the
// next refill: a codeword alone, or a slot's codeword and its extra bits.
constexpr unsigned kBufferBits = 64, kUnitBits = 16;
constexpr unsigned kBitsAfterRefill = kBufferBits - (kUnitBits - 1);
constexpr unsigned kCodewordBits = kLzmsMaxCodeLen;
constexpr unsigned kSlotBits = kLzmsMaxCodeLen + kLzmsMaxExtraBits;
static_assert(kSlotBits <= kBitsAfterRefill, "a slot and its extra bits fit in one refill");
static_assert(kLzmsMaxExtraBits < 32, "extra bits are read into 32 bits");

// Leaves at least kBitsAfterRefill bits available.
LZMS_INLINE void refill(uint64_t& buf, unsigned& avail, const uint8_t*& next,
                        const uint8_t* begin) {
    if (next - begin >= 8) {
        // The 8 bytes below `next` hold the next four units, the first of them on top.
        buf |= load64(next - 8) >> avail;
        const unsigned units = (kBufferBits - avail) / kUnitBits;
        next -= 2 * units;
        avail += kUnitBits * units;
    } else {
        while (avail < kBitsAfterRefill) {
            if (next != begin) {
                next -= 2;
                buf |= uint64_t{load16(next)} << (kBufferBits - kUnitBits - avail);
            }
            avail += kUnitBits;
        }
    }
}

LZMS_INLINE uint32_t read_bits(uint64_t& buf, unsigned& avail, unsigned n) {
    const uint32_t v = static_cast<uint32_t>((buf >> 1) >> (63 - n));
    buf <<= n;
    avail -= n;
    return v;
}

// Needs kCodewordBits available. Counts the symbol and rebuilds the code when its interval is up.
// kLzmsBadSymbol only from a code of fewer than two symbols (see kLiteralSyms).
template <unsigned TableBits>
LZMS_INLINE unsigned decode_symbol(uint64_t& buf, unsigned& avail, LzmsCode& code) {
    static_assert(TableBits <= kLzmsMaxTableBits, "the root table fits in LzmsCode::table");
    const uint32_t bits15 = static_cast<uint32_t>(buf >> (kBufferBits - kLzmsMaxCodeLen));
    unsigned entry = code.table[bits15 >> (kLzmsMaxCodeLen - TableBits)];
    if ((entry & 15) == 0) [[unlikely]] {
        entry = lzms_code_slow_lookup(code, bits15);
        if (entry == 0) return kLzmsBadSymbol;
    }
    buf <<= entry & 15;
    avail -= entry & 15;
    const unsigned sym = entry >> 4;
    ++code.freqs[sym];
    if (--code.untilRebuild == 0) [[unlikely]]
        lzms_code_rebuild(code);
    return sym;
}

// Root table sizes: larger tables resolve more codewords at once but cost more to refill at each
// rebuild (the length code is rebuilt most often).
constexpr unsigned kLiteralBits = 10, kLengthBits = 8, kOffsetBits = 10, kPowerBits = 7;

// The literal, length and power codes always have two symbols or more, so every codeword
// resolves: only the offset codes (one symbol or none in chunks under 3 bytes) can fail.
constexpr unsigned kLiteralSyms = 256, kPowerSyms = 8;
static_assert(kLiteralSyms >= 2 && kLzmsNumLengthSlots >= 2 && kPowerSyms >= 2, "complete codes");
static_assert(lzms_num_offset_slots(3) >= 2, "offset codes are complete from 3 bytes on");

// Needs kSlotBits available.
LZMS_INLINE uint32_t decode_length(uint64_t& buf, unsigned& avail, LzmsCode& code) {
    const unsigned slot = decode_symbol<kLengthBits>(buf, avail, code); // complete code
    const unsigned extra = kLzmsLengthSlots.extra[slot];
    // Most lengths are short and have no extra bits.
    if (extra == 0) return kLzmsLengthSlots.base[slot];
    return kLzmsLengthSlots.base[slot] + read_bits(buf, avail, extra);
}

// --- Matches. Sources may overlap the bytes being written, so copies go forward in order.

LZMS_INLINE void copy_lz(uint8_t* dst, size_t offset, size_t length, const uint8_t* end) {
    const uint8_t* src = dst - offset;
    uint8_t* const stop = dst + length;
    const size_t room = static_cast<size_t>(end - dst);
    if (offset >= 16 && room >= length + 16) {
        // 16 bytes at a time, possibly past the match end (later output overwrites that).
        do {
            std::memcpy(dst, src, 16);
            dst += 16;
            src += 16;
        } while (dst < stop);
    } else if (offset >= 8 && room >= length + 8) {
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

// Every context starts as if its last 64 bits had been 0x0000000055555555: 48 zeros.
void init_probs(Probs& probs) {
    auto fill = [](Prob* p, size_t n) {
        for (size_t k = 0; k < n; ++k)
            p[k] = Prob{0x55555555u, 48};
    };
    fill(probs.main, kMainContexts);
    fill(probs.match, kMatchContexts);
    fill(probs.lz, kOtherContexts);
    fill(probs.delta, kOtherContexts);
    for (int k = 0; k < 2; ++k) {
        fill(probs.lzRep[k], kOtherContexts);
        fill(probs.deltaRep[k], kOtherContexts);
    }
}

// Decision contexts and repeat queues: touched by matches only, kept out of the hot registers.
struct MatchState {
    unsigned matchCtx = 0, lzCtx = 0, deltaCtx = 0;
    unsigned lzRepCtx[2] = {0, 0}, deltaRepCtx[2] = {0, 0};
    // An offset used by a match joins the front of its queue only after the next item, so the
    // queue has a fourth slot, and an item right after a match of its own kind indexes one
    // further (the pending entry sits in slot 0).
    uint32_t lzReps[4] = {1, 2, 3, 4};
    uint64_t deltaReps[4] = {1, 2, 3, 4}; // (power << 32) | raw offset
};

enum ItemKind : unsigned { kLiteral, kLz, kDelta };

// A repeated offset: `pick(0)` and then `pick(1)` choose queue slot 0, 1 or 2 (one further when
// `pending`, the slot 0 entry not having joined yet); the entries ahead of it move back one.
// The caller puts the result in slot 0.
template <typename T, typename Pick>
LZMS_INLINE T take_repeat(T (&reps)[4], unsigned pending, Pick pick) {
    T v;
    if (!pick(0)) {
        v = reps[pending];
        reps[pending] = reps[0];
    } else if (!pick(1)) {
        v = reps[1 + pending];
        reps[1 + pending] = reps[1];
        reps[1] = reps[0];
    } else {
        v = reps[2 + pending];
        reps[2 + pending] = reps[2];
        reps[2] = reps[1];
        reps[1] = reps[0];
    }
    return v;
}

// An explicit offset: every entry moves back one, the oldest drops out.
template <typename T> LZMS_INLINE void push_back_all(T (&reps)[4]) {
    reps[3] = reps[2];
    reps[2] = reps[1];
    reps[1] = reps[0];
}

bool decode(LzmsDecoder& st, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
    init_probs(st.probs);
    const unsigned offsetSlots = lzms_num_offset_slots(outSize);
    lzms_code_init(st.literal, kLiteralSyms, kLiteralBits, 1024);
    lzms_code_init(st.lzOffset, offsetSlots, kOffsetBits, 1024);
    lzms_code_init(st.length, kLzmsNumLengthSlots, kLengthBits, 512);
    lzms_code_init(st.deltaOffset, offsetSlots, kOffsetBits, 1024);
    lzms_code_init(st.deltaPower, kPowerSyms, kPowerBits, 512);

    uint32_t range = 0xFFFFFFFFu;
    uint32_t code = load16(in) << 16 | load16(in + 2);
    const uint8_t* rnext = in + 4;
    const uint8_t* const rend = in + inSize;
    uint64_t buf = 0;
    unsigned avail = 0;
    const uint8_t* bnext = in + inSize;
    const uint8_t* const bbegin = in;

    auto bit_in = [&](Prob* probs, unsigned& ctx, unsigned mask) LZMS_LAMBDA_INLINE {
        const unsigned b = decode_bit(range, code, rnext, rend, probs[ctx]);
        ctx = ((ctx << 1) | b) & mask;
        return b;
    };
    auto need = [&](unsigned n) LZMS_LAMBDA_INLINE {
        if (avail < n) refill(buf, avail, bnext, bbegin);
    };
    Probs& pr = st.probs;
    MatchState ms;
    unsigned mainCtx = 0;
    ItemKind prev = kLiteral;
    uint8_t* const end = out + outSize;
    uint8_t* dst = out;
    for (;;) {
        // Runs of literals are the hot path.
        while (!decode_bit(range, code, rnext, rend, pr.main[mainCtx])) {
            mainCtx = (mainCtx << 1) & (kMainContexts - 1);
            need(kCodewordBits);
            // A complete code: never kLzmsBadSymbol.
            *dst++ = static_cast<uint8_t>(decode_symbol<kLiteralBits>(buf, avail, st.literal));
            prev = kLiteral;
            if (dst == end) goto done;
        }
        mainCtx = ((mainCtx << 1) | 1) & (kMainContexts - 1);
        const size_t pos = static_cast<size_t>(dst - out);
        if (!bit_in(pr.match, ms.matchCtx, kMatchContexts - 1)) {
            auto& reps = ms.lzReps;
            uint32_t offset;
            if (!bit_in(pr.lz, ms.lzCtx, kOtherContexts - 1)) {
                need(kSlotBits);
                const unsigned slot = decode_symbol<kOffsetBits>(buf, avail, st.lzOffset);
                if (slot == kLzmsBadSymbol) goto bad_data;
                offset = kLzmsOffsetSlots.base[slot] +
                         read_bits(buf, avail, kLzmsOffsetSlots.extra[slot]);
                push_back_all(reps);
            } else {
                offset = take_repeat(reps, prev == kLz, [&](int k) LZMS_LAMBDA_INLINE {
                    return bit_in(pr.lzRep[k], ms.lzRepCtx[k], kOtherContexts - 1);
                });
            }
            reps[0] = offset;
            prev = kLz;
            need(kSlotBits);
            const uint32_t length = decode_length(buf, avail, st.length);
            if (offset > pos || length > static_cast<size_t>(end - dst)) goto bad_data;
            copy_lz(dst, offset, length, end);
            dst += length;
        } else {
            auto& reps = ms.deltaReps;
            uint64_t pair;
            if (!bit_in(pr.delta, ms.deltaCtx, kOtherContexts - 1)) {
                need(kCodewordBits);
                // A complete code: never kLzmsBadSymbol.
                const uint64_t power = decode_symbol<kPowerBits>(buf, avail, st.deltaPower);
                need(kSlotBits);
                const unsigned slot = decode_symbol<kOffsetBits>(buf, avail, st.deltaOffset);
                if (slot == kLzmsBadSymbol) goto bad_data;
                const uint32_t raw = kLzmsOffsetSlots.base[slot] +
                                     read_bits(buf, avail, kLzmsOffsetSlots.extra[slot]);
                pair = power << 32 | raw;
                push_back_all(reps);
            } else {
                pair = take_repeat(reps, prev == kDelta, [&](int k) LZMS_LAMBDA_INLINE {
                    return bit_in(pr.deltaRep[k], ms.deltaRepCtx[k], kOtherContexts - 1);
                });
            }
            reps[0] = pair;
            prev = kDelta;
            need(kSlotBits);
            const uint32_t length = decode_length(buf, avail, st.length);
            // The source pair is `offset` back, each element `span` behind its partner.
            const unsigned power = static_cast<unsigned>(pair >> 32);
            const uint64_t span = uint64_t{1} << power;
            const uint64_t offset = (pair & 0xFFFFFFFFu) << power;
            if (offset + span > pos || length > static_cast<size_t>(end - dst)) goto bad_data;
            copy_delta(dst, static_cast<size_t>(offset), static_cast<size_t>(span), length);
            dst += length;
        }
        if (dst == end) break;
    }
done:
    lzms_x86_undo(out, outSize, st.x86LastUse);
    return true;
// The one exit for input that is not LZMS of this size: a codeword of no symbol, or a match
// that reaches before the start or past the end of the output.
bad_data:
    return false;
}

// What the sizes alone say: the input cannot be LZMS, the chunk is empty, or it must be decoded.
enum class Shape { kInvalid, kEmpty, kDecode };

Shape shape_of(const uint8_t* in, size_t inSize, const uint8_t* out, size_t outSize) {
    // Both streams start with whole 16-bit units, and the range decoder needs two of them.
    if (in == nullptr || inSize < 4 || inSize % 2 != 0) return Shape::kInvalid;
    if (outSize > kMaxChunkSize || (out == nullptr && outSize != 0)) return Shape::kInvalid;
    return outSize == 0 ? Shape::kEmpty : Shape::kDecode;
}

} // namespace

LzmsDecoder* lzms_decoder_new() {
    return new (std::nothrow) LzmsDecoder;
}

void lzms_decoder_delete(LzmsDecoder* decoder) {
    delete decoder;
}

bool lzms_decode_chunk_with(LzmsDecoder& decoder, const uint8_t* in, size_t inSize, uint8_t* out,
                            size_t outSize) {
    const Shape shape = shape_of(in, inSize, out, outSize);
    if (shape != Shape::kDecode) return shape == Shape::kEmpty;
    return decode(decoder, in, inSize, out, outSize);
}

bool lzms_decode_chunk(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
    const Shape shape = shape_of(in, inSize, out, outSize);
    if (shape != Shape::kDecode) return shape == Shape::kEmpty;
    std::unique_ptr<LzmsDecoder> decoder(lzms_decoder_new());
    return decoder && decode(*decoder, in, inSize, out, outSize);
}
