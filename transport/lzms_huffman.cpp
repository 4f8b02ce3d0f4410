// Building the adaptive codes. Encoder and decoder must derive the very same code from the same
// frequencies, so every tie is broken the way LZMS encoders do: symbols are ranked by frequency
// then symbol value, a tie between a leaf and a merged node goes to the leaf, and the lengths are
// handed out longest first along that ranking.
#include "transport/lzms_huffman.h"

#include <cstring>

namespace {

// Symbols ordered by frequency, ties by symbol value. Most frequencies are small, so one stable
// counting pass over kBuckets values does nearly all the work; the few symbols at or above the
// last bucket are then put in order among themselves by insertion.
constexpr unsigned kBuckets = 64;

void rank_symbols(const uint32_t* freqs, unsigned n, uint16_t* ranked) {
    // Two histograms, even and odd symbols, to halve the chains of dependent increments.
    unsigned count[2][kBuckets] = {};
    unsigned s = 0;
    for (; s + 1 < n; s += 2) {
        ++count[0][freqs[s] < kBuckets - 1 ? freqs[s] : kBuckets - 1];
        ++count[1][freqs[s + 1] < kBuckets - 1 ? freqs[s + 1] : kBuckets - 1];
    }
    if (s < n) ++count[0][freqs[s] < kBuckets - 1 ? freqs[s] : kBuckets - 1];
    unsigned pos[kBuckets];
    unsigned total = 0;
    for (unsigned b = 0; b < kBuckets; ++b) {
        pos[b] = total;
        total += count[0][b] + count[1][b];
    }
    const unsigned high = pos[kBuckets - 1];
    for (s = 0; s < n; ++s) {
        const unsigned b = freqs[s] < kBuckets - 1 ? freqs[s] : kBuckets - 1;
        ranked[pos[b]++] = static_cast<uint16_t>(s);
    }
    // The last bucket holds its symbols in symbol order; sort them by frequency, stably.
    for (unsigned k = high + 1; k < n; ++k) {
        const uint16_t sym = ranked[k];
        const uint32_t f = freqs[sym];
        unsigned j = k;
        while (j > high && freqs[ranked[j - 1]] > f) {
            ranked[j] = ranked[j - 1];
            --j;
        }
        ranked[j] = sym;
    }
}

// One pick of the two-queue merge: the lighter of the next leaf and the next merged node (the leaf
// on equal frequency) becomes a child of node `made`. Branch-free: which queue wins is
// data-dependent and mispredicts often. A parent written for a node that was not taken is
// overwritten when the node is taken.
inline uint32_t pick_lighter(const uint32_t* leafQueue, const uint32_t* nodeFreq, uint16_t* parent,
                             unsigned& leaf, unsigned& node, unsigned made) {
    const uint32_t a = leafQueue[leaf], b = nodeFreq[node];
    const bool takeLeaf = a <= b;
    parent[node] = static_cast<uint16_t>(made);
    leaf += takeLeaf;
    node += !takeLeaf;
    return takeLeaf ? a : b;
}

// Builds the Huffman tree of `n` >= 2 ascending leaves with two queues (leaves, merged nodes):
// parent[k] is the merged node above node k; node n - 2 is the root. The queue has room for two
// sentinels after the leaves.
void merge_nodes(uint32_t* leafQueue, unsigned n, uint16_t* parent) {
    constexpr uint32_t kNone = UINT32_MAX; // an exhausted queue never wins
    uint32_t nodeFreq[kLzmsMaxSyms];
    leafQueue[n] = leafQueue[n + 1] = kNone;
    // Leaves of frequency 1 (the least there is; offset codes have hundreds) simply pair up
    // first: every merged node weighs at least 2.
    unsigned ones = 0;
    while (leafQueue[ones] == 1)
        ++ones;
    const unsigned pairs = ones / 2;
    for (unsigned k = 0; k < pairs; ++k)
        nodeFreq[k] = 2;
    unsigned leaf = 2 * pairs, node = 0;
    for (unsigned made = pairs; made + 1 < n; ++made) {
        // The node being made is not in its queue yet, so it never wins a pick.
        nodeFreq[made] = kNone;
        uint32_t sum = pick_lighter(leafQueue, nodeFreq, parent, leaf, node, made);
        sum += pick_lighter(leafQueue, nodeFreq, parent, leaf, node, made);
        nodeFreq[made] = sum;
    }
}

// Depths of the merged nodes below the root, parents first (a parent always comes later in the
// array); atDepth counts them per depth, its last entry every node deeper than 15 bits.
void node_depths(const uint16_t* parent, unsigned n, uint16_t* depth, unsigned* atDepth) {
    depth[n - 2] = 0;
    for (int k = static_cast<int>(n) - 3; k >= 0; --k) {
        const unsigned d = depth[parent[k]] + 1u;
        depth[k] = static_cast<uint16_t>(d);
        ++atDepth[d <= kLzmsMaxCodeLen ? d : kLzmsMaxCodeLen + 1];
    }
}

// Leaves at depth L number 2 * (nodes at L - 1) - (nodes at L), when no node reaches 15 bits.
void counts_from_depths(const unsigned* atDepth, unsigned* counts) {
    unsigned above = 1; // the root
    counts[0] = 0;
    for (unsigned len = 1; len <= kLzmsMaxCodeLen; ++len) {
        counts[len] = 2 * above - atDepth[len];
        above = atDepth[len];
    }
}

// A node that would put leaves deeper than 15 bits is moved to the deepest length that still has
// a leaf to split, visiting nodes from the root down, as LZMS encoders do.
void counts_limited(const uint16_t* depth, unsigned n, unsigned* counts) {
    for (unsigned len = 0; len <= kLzmsMaxCodeLen; ++len)
        counts[len] = 0;
    counts[1] = 2;
    for (int k = static_cast<int>(n) - 3; k >= 0; --k) {
        unsigned len = depth[k];
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

// Number of codewords of each length for `n` >= 2 leaves whose frequencies ascend (the queue has
// room for two sentinels after them), the leaf preferred on equal frequency, no codeword longer
// than 15 bits; LZMS's frequency bounds keep the limit from acting in chunks up to 64 MiB.
void count_lengths(uint32_t* leafQueue, unsigned n, unsigned* counts) {
    uint16_t parent[kLzmsMaxSyms];
    merge_nodes(leafQueue, n, parent);
    uint16_t depth[kLzmsMaxSyms];
    unsigned atDepth[kLzmsMaxCodeLen + 2] = {}; // the last one counts every deeper node
    node_depths(parent, n, depth, atDepth);
    if (atDepth[kLzmsMaxCodeLen] == 0 && atDepth[kLzmsMaxCodeLen + 1] == 0) {
        counts_from_depths(atDepth, counts);
    } else {
        counts_limited(depth, n, counts);
    }
}

void build(LzmsCode& code) {
    const unsigned n = code.numSyms;
    unsigned counts[kLzmsMaxCodeLen + 1] = {};
    uint8_t lens[kLzmsMaxSyms];
    if (n >= 2) {
        uint16_t ranked[kLzmsMaxSyms];
        uint32_t rankedFreq[kLzmsMaxSyms + 2]; // two more for count_lengths' sentinels
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
        const unsigned count = counts[len];
        const uint16_t* syms = code.canonical + k;
        k += count;
        // Entry counts are powers of two; the common small ones get single stores.
        if (reps == 1) {
            for (unsigned c = 0; c < count; ++c, ++out)
                out[0] = static_cast<uint16_t>((syms[c] << 4) | len);
        } else if (reps == 2) {
            for (unsigned c = 0; c < count; ++c, out += 2) {
                const uint32_t e = static_cast<uint32_t>((syms[c] << 4) | len) * 0x00010001u;
                std::memcpy(out, &e, sizeof e);
            }
        } else {
            for (unsigned c = 0; c < count; ++c, out += reps) {
                const uint64_t e =
                    static_cast<uint64_t>((syms[c] << 4) | len) * 0x0001000100010001ull;
                for (unsigned r = 0; r < reps; r += 4)
                    std::memcpy(out + r, &e, sizeof e);
            }
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
