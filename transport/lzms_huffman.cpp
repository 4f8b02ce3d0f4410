// Building the adaptive codes. Encoder and decoder must derive the very same code from the same
// frequencies, so every tie is broken the way LZMS encoders do: symbols are ranked by frequency
// then symbol value, a tie between a leaf and a merged node goes to the leaf, and the lengths are
// handed out longest first along that ranking.
#include "transport/lzms_huffman.h"

#include <cstring>

namespace {

// Frequencies never exceed 2050: at most `interval` (<= 1024) increments between rebuilds, and
// each rebuild maps f to f / 2 + 1. Two 6-bit radix passes therefore sort them completely.
constexpr unsigned kFreqBits = 12;
constexpr unsigned kRadixBits = kFreqBits / 2;
constexpr unsigned kRadix = 1u << kRadixBits;

// Symbols ordered by frequency, ties by symbol value (both passes are stable).
void rank_symbols(const uint32_t* freqs, unsigned n, uint16_t* ranked) {
    unsigned low[kRadix] = {};
    unsigned high[kRadix] = {};
    for (unsigned s = 0; s < n; ++s) {
        ++low[freqs[s] & (kRadix - 1)];
        ++high[(freqs[s] >> kRadixBits) & (kRadix - 1)];
    }
    unsigned lowPos = 0, highPos = 0;
    for (unsigned b = 0; b < kRadix; ++b) {
        const unsigned l = low[b], h = high[b];
        low[b] = lowPos;
        high[b] = highPos;
        lowPos += l;
        highPos += h;
    }
    uint16_t byLow[kLzmsMaxSyms];
    for (unsigned s = 0; s < n; ++s)
        byLow[low[freqs[s] & (kRadix - 1)]++] = static_cast<uint16_t>(s);
    for (unsigned k = 0; k < n; ++k) {
        const uint16_t s = byLow[k];
        ranked[high[(freqs[s] >> kRadixBits) & (kRadix - 1)]++] = s;
    }
}

// Number of codewords of each length for `n` >= 2 leaves whose frequencies ascend. Builds the
// Huffman tree with two queues (leaves, merged nodes), preferring the leaf on equal frequency.
// Depths are then found from the root down; a node that would put leaves deeper than 15 bits is
// moved to the deepest length that still has a leaf to split, as LZMS encoders do.
void count_lengths(const uint32_t* leafFreq, unsigned n, unsigned* counts) {
    uint32_t nodeFreq[kLzmsMaxSyms];
    uint16_t parent[kLzmsMaxSyms];
    unsigned leaf = 0, node = 0;
    for (unsigned made = 0; made + 1 < n; ++made) {
        uint32_t sum = 0;
        for (int pick = 0; pick < 2; ++pick) {
            if (leaf < n && (node == made || leafFreq[leaf] <= nodeFreq[node])) {
                sum += leafFreq[leaf++];
            } else {
                parent[node] = static_cast<uint16_t>(made);
                sum += nodeFreq[node++];
            }
        }
        nodeFreq[made] = sum;
    }
    // nodeFreq is reused for depths; the root is node n - 2.
    uint32_t* depth = nodeFreq;
    for (unsigned len = 0; len <= kLzmsMaxCodeLen; ++len)
        counts[len] = 0;
    counts[1] = 2;
    depth[n - 2] = 0;
    for (int k = static_cast<int>(n) - 3; k >= 0; --k) {
        const uint32_t d = depth[parent[k]] + 1;
        depth[k] = d;
        unsigned len = d;
        if (len >= kLzmsMaxCodeLen) {
            len = kLzmsMaxCodeLen;
            do
                --len;
            while (counts[len] == 0);
        }
        --counts[len];
        counts[len + 1] += 2;
    }
}

void build(LzmsCode& code) {
    const unsigned n = code.numSyms;
    unsigned counts[kLzmsMaxCodeLen + 1] = {};
    uint8_t lens[kLzmsMaxSyms];
    if (n >= 2) {
        uint16_t ranked[kLzmsMaxSyms];
        uint32_t rankedFreq[kLzmsMaxSyms];
        rank_symbols(code.freqs, n, ranked);
        for (unsigned k = 0; k < n; ++k)
            rankedFreq[k] = code.freqs[ranked[k]];
        count_lengths(rankedFreq, n, counts);
        unsigned k = 0;
        for (unsigned len = kLzmsMaxCodeLen; len >= 1; --len)
            for (unsigned c = counts[len]; c > 0; --c)
                lens[ranked[k++]] = static_cast<uint8_t>(len);
    } else if (n == 1) {
        // A lone symbol gets the one-bit codeword 0; the codeword 1 stays unassigned.
        counts[1] = 1;
        lens[0] = 1;
    }

    // Canonical order and the left-justified ranges of each length.
    unsigned next[kLzmsMaxCodeLen + 1];
    uint32_t codeword = 0;
    unsigned index = 0;
    for (unsigned len = 1; len <= kLzmsMaxCodeLen; ++len) {
        next[len] = index;
        code.first[len] = index;
        code.start[len] = codeword;
        codeword += counts[len] << (kLzmsMaxCodeLen - len);
        code.limit[len] = codeword;
        index += counts[len];
    }
    for (unsigned s = 0; s < n; ++s)
        code.canonical[next[lens[s]]++] = static_cast<uint16_t>(s);

    // Root table: canonical codewords no longer than tableBits fill it in order from index 0.
    const unsigned bits = code.tableBits;
    uint16_t* out = code.table;
    unsigned k = 0;
    for (unsigned len = 1; len <= bits; ++len) {
        const unsigned reps = 1u << (bits - len);
        for (unsigned c = counts[len]; c > 0; --c, ++k) {
            const uint16_t entry = static_cast<uint16_t>((code.canonical[k] << 4) | len);
            for (unsigned r = 0; r < reps; ++r)
                out[r] = entry;
            out += reps;
        }
    }
    const uint16_t* end = code.table + (1u << bits);
    if (out < end) std::memset(out, 0, static_cast<size_t>(end - out) * sizeof(uint16_t));
}

} // namespace

void lzms_code_init(LzmsCode& code, unsigned numSyms, unsigned tableBits, unsigned interval) {
    code.numSyms = numSyms;
    code.tableBits = tableBits;
    code.interval = interval;
    for (unsigned s = 0; s < numSyms; ++s)
        code.freqs[s] = 1;
    build(code);
    code.untilRebuild = interval;
}

void lzms_code_rebuild(LzmsCode& code) {
    build(code);
    for (unsigned s = 0; s < code.numSyms; ++s)
        code.freqs[s] = (code.freqs[s] >> 1) + 1;
    code.untilRebuild = code.interval;
}

unsigned lzms_code_slow_lookup(const LzmsCode& code, uint32_t bits15) {
    for (unsigned len = code.tableBits + 1; len <= kLzmsMaxCodeLen; ++len) {
        if (bits15 < code.limit[len]) {
            const uint32_t k =
                code.first[len] + ((bits15 - code.start[len]) >> (kLzmsMaxCodeLen - len));
            return (static_cast<unsigned>(code.canonical[k]) << 4) | len;
        }
    }
    return 0;
}
