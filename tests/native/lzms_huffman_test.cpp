// The adaptive codes' construction in the cases that round trips through wimlib cannot reach.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "transport/lzms_huffman.h"

namespace {

// Codeword length of every symbol, read back from the canonical ranges.
std::vector<unsigned> lengths_of(const LzmsCode& code) {
    std::vector<unsigned> lens(code.numSyms, 0);
    for (unsigned len = 1; len <= kLzmsMaxCodeLen; ++len) {
        const unsigned count = (code.limit[len] - code.start[len]) >> (kLzmsMaxCodeLen - len);
        for (unsigned k = 0; k < count; ++k)
            lens[code.canonical[code.first[len] + k]] = len;
    }
    return lens;
}

// What the decoder resolves for a 15-bit left-justified window: (symbol << 4) | length, or 0.
unsigned lookup(const LzmsCode& code, uint32_t bits15) {
    const unsigned entry = code.table[bits15 >> (kLzmsMaxCodeLen - code.tableBits)];
    return (entry & 15) != 0 ? entry : lzms_code_slow_lookup(code, bits15);
}

// Frequencies that would need a 16-bit codeword (a Fibonacci-like run, given to the symbols in
// scrambled order). The deepest merged node is moved up to the deepest length that still has a
// leaf to split; expected lengths worked out independently with a textbook priority-queue build.
TEST(LzmsAdaptiveCode, LimitsCodewordsTo15Bits) {
    auto code = std::make_unique<LzmsCode>();
    lzms_code_init(*code, 17, 10, 1024);
    const uint32_t freqs[17] = {47, 4,   1,   18,  1,   11, 3,   29, 1364,
                                7,  123, 843, 521, 199, 1,  322, 76};
    for (unsigned s = 0; s < 17; ++s)
        code->freqs[s] = freqs[s];
    lzms_code_rebuild(*code);
    const std::vector<unsigned> expected = {8,  13, 15, 10, 15, 11, 15, 9, 1,
                                            12, 6,  2,  3,  5,  15, 4,  7};
    EXPECT_EQ(lengths_of(*code), expected);
    // Every codeword, through the root table or the long-codeword search, gives its symbol.
    uint32_t codeword = 0;
    for (unsigned len = 1; len <= kLzmsMaxCodeLen; ++len) {
        for (unsigned s = 0; s < 17; ++s) {
            if (expected[s] != len) continue;
            const uint32_t bits15 = codeword << (kLzmsMaxCodeLen - len);
            EXPECT_EQ(lookup(*code, bits15), (s << 4) | len) << "symbol " << s;
            ++codeword;
        }
        codeword <<= 1;
    }
    // Halved after the rebuild, rounding up, never below 1.
    for (unsigned s = 0; s < 17; ++s)
        EXPECT_EQ(code->freqs[s], freqs[s] / 2 + 1);
    EXPECT_EQ(code->untilRebuild, 1024u);
}

// Equal frequencies: ties go to symbol order, the lower symbols getting the longer codewords
// first (3 symbols: 0 and 1 share the two 2-bit codewords, 2 gets the 1-bit one).
TEST(LzmsAdaptiveCode, TiesFollowSymbolOrder) {
    auto code = std::make_unique<LzmsCode>();
    lzms_code_init(*code, 3, 7, 512);
    EXPECT_EQ(lengths_of(*code), (std::vector<unsigned>{2, 2, 1}));
    EXPECT_EQ(lookup(*code, 0), (2u << 4) | 1);      // 0
    EXPECT_EQ(lookup(*code, 0x4000), (0u << 4) | 2); // 10
    EXPECT_EQ(lookup(*code, 0x6000), (1u << 4) | 2); // 11
}

// Chunks of 2 bytes have one offset slot: codeword 0 is its symbol, codeword 1 is invalid.
// Chunks under 2 bytes have none, and any offset codeword is invalid.
TEST(LzmsAdaptiveCode, DegenerateOffsetCodes) {
    auto code = std::make_unique<LzmsCode>();
    lzms_code_init(*code, 1, 10, 1024);
    EXPECT_EQ(lookup(*code, 0), (0u << 4) | 1);
    EXPECT_EQ(lookup(*code, 0x3FFF), (0u << 4) | 1);
    EXPECT_EQ(lookup(*code, 0x4000), 0u);
    EXPECT_EQ(lookup(*code, 0x7FFF), 0u);
    lzms_code_init(*code, 0, 10, 1024);
    EXPECT_EQ(lookup(*code, 0), 0u);
    EXPECT_EQ(lookup(*code, 0x7FFF), 0u);
}

} // namespace
