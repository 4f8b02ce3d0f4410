// Our raw LZMS decoder against chunks made by wimlib from varied real and synthetic data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "native/lzms_test_support.h"
#include "transport/lzms_decoder.h"

namespace {

using lzms_test::Bytes;

bool decodes_to(const Bytes& chunk, const Bytes& expected) {
    Bytes out(expected.size(), 0xAA);
    if (!lzms_decode_chunk(chunk.data(), chunk.size(), out.data(), out.size())) return false;
    return out == expected;
}

// A 1 KB random block repeated, so that long LZ matches at one offset dominate.
Bytes long_repeats(size_t n) {
    const Bytes block = lzms_test::random_bytes(1000, 7);
    Bytes b(n);
    for (size_t k = 0; k < n; ++k)
        b[k] = block[k % block.size()];
    return b;
}

// The same block over and over with a few bytes changed in each copy: short matches, repeated
// offsets and literals interleave.
Bytes near_repeats(size_t n) {
    Bytes b = long_repeats(n);
    std::mt19937 rng(11);
    for (size_t k = 0; k < n; k += 1 + rng() % 97)
        b[k] = static_cast<uint8_t>(rng());
    return b;
}

// Little-endian 16-bit samples of a slow wave and a 32-bit counting table: data that differs
// from earlier data by constant steps, which is what delta matches describe.
Bytes delta_friendly(size_t n) {
    Bytes b;
    b.reserve(n);
    for (size_t k = 0; b.size() < n / 2; ++k) {
        const int16_t s = static_cast<int16_t>(8000 * std::sin(static_cast<double>(k) / 40.0));
        b.push_back(static_cast<uint8_t>(s));
        b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    for (uint32_t v = 1000; b.size() < n; v += 3)
        for (int k = 0; k < 4 && b.size() < n; ++k)
            b.push_back(static_cast<uint8_t>(v >> (8 * k)));
    return b;
}

// Words from a small vocabulary: many short matches over a spread of offsets.
Bytes wordy(size_t n, uint32_t seed) {
    static const char* kWords[] = {"install ", "setup ",    "chunk ", "range ", "code\n", "delta ",
                                   "offset, ", "literal. ", "match ", "x86 ",   "blob ",  "size "};
    std::mt19937 rng(seed);
    Bytes b;
    b.reserve(n);
    while (b.size() < n) {
        const char* w = kWords[rng() % 12];
        for (size_t k = 0; w[k] != '\0' && b.size() < n; ++k)
            b.push_back(static_cast<uint8_t>(w[k]));
        if (rng() % 5 == 0 && b.size() < n) b.push_back(static_cast<uint8_t>(rng()));
    }
    return b;
}

struct Corpus {
    const char* name;
    Bytes (*make)();
};

const Corpus kCorpora[] = {
    {"text", [] { return lzms_test::source_text(1u << 20); }},
    {"x86_64_pe", [] { return lzms_test::wine_dlls(3u << 20); }},
    {"random", [] { return lzms_test::random_bytes(200000, 1); }},
    {"long_repeats", [] { return long_repeats(300000); }},
    {"near_repeats", [] { return near_repeats(300000); }},
    {"delta_friendly", [] { return delta_friendly(400000); }},
    {"wordy", [] { return wordy(500000, 3); }},
};

void PrintTo(const Corpus& c, std::ostream* os) {
    *os << c.name;
}

class LzmsRoundTrip : public testing::TestWithParam<std::tuple<Corpus, unsigned>> {};

TEST_P(LzmsRoundTrip, DecodesWhatWimlibEncoded) {
    const auto& [corpus, level] = GetParam();
    const Bytes data = corpus.make();
    if (data.empty()) GTEST_SKIP() << "corpus not available on this machine";
    const Bytes chunk = lzms_test::wimlib_chunk(data, level);
    ASSERT_FALSE(chunk.empty());
    EXPECT_TRUE(decodes_to(chunk, data));
}

INSTANTIATE_TEST_SUITE_P(CorporaAndLevels, LzmsRoundTrip,
                         testing::Combine(testing::ValuesIn(kCorpora),
                                          testing::Values(1u, 50u, 100u)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_level" +
                                    std::to_string(std::get<1>(info.param));
                         });

// The adaptive codes are rebuilt every 512 (lengths, delta powers) or 1024 (literals, offsets)
// symbols. Random bytes are coded as literals only, so their sizes put the rebuilds exactly at
// the end of the chunk or one symbol either side; the word data crosses the match intervals.
TEST(LzmsDecoder, SizesAroundCodeRebuilds) {
    for (size_t base : {512u, 1024u, 2048u, 3072u, 4096u, 8192u}) {
        for (size_t n : {base - 1, base, base + 1}) {
            const Bytes data = lzms_test::random_bytes(n, static_cast<uint32_t>(n));
            const Bytes chunk = lzms_test::wimlib_chunk(data, 50);
            ASSERT_FALSE(chunk.empty()) << n;
            EXPECT_TRUE(decodes_to(chunk, data)) << "random, size " << n;
        }
    }
    for (size_t n = 3000; n <= 24000; n += 1499) {
        const Bytes data = wordy(n, static_cast<uint32_t>(n));
        for (unsigned level : {1u, 100u}) {
            const Bytes chunk = lzms_test::wimlib_chunk(data, level);
            ASSERT_FALSE(chunk.empty()) << n;
            EXPECT_TRUE(decodes_to(chunk, data)) << "wordy, size " << n << ", level " << level;
        }
    }
}

// Small chunks use few offset slots (none below 2 bytes), and the x86 translation only runs on
// chunks over 17 bytes; wimlib codes nothing below 4 bytes.
TEST(LzmsDecoder, TinyChunks) {
    for (size_t n = 4; n <= 40; ++n) {
        for (const Bytes& data : {lzms_test::random_bytes(n, 5), Bytes(n, 0xE8), long_repeats(n)}) {
            const Bytes chunk = lzms_test::wimlib_chunk(data, 100);
            ASSERT_FALSE(chunk.empty()) << n;
            EXPECT_TRUE(decodes_to(chunk, data)) << "size " << n;
        }
    }
}

// Call instructions to a few shared targets inside filler: the pattern the x86 translation acts
// on, at the chunk's edges as well (it must leave the first byte and the last 16 alone).
TEST(LzmsDecoder, UndoesX86Translation) {
    std::mt19937 rng(9);
    for (size_t n : {18u, 24u, 40u, 5000u, 70000u}) {
        Bytes data(n);
        for (size_t k = 0; k < n; ++k) {
            if (rng() % 6 == 0 && k + 5 <= n) {
                const uint32_t target = 0x1000 + (rng() % 4) * 0x100 - static_cast<uint32_t>(k);
                data[k] = 0xE8;
                for (int b = 0; b < 4; ++b)
                    data[k + 1 + b] = static_cast<uint8_t>(target >> (8 * b));
                k += 4;
            } else {
                data[k] = static_cast<uint8_t>(rng() % 3 == 0 ? 0x48 : rng() % 16);
            }
        }
        for (unsigned level : {1u, 50u}) {
            const Bytes chunk = lzms_test::wimlib_chunk(data, level);
            ASSERT_FALSE(chunk.empty());
            EXPECT_TRUE(decodes_to(chunk, data)) << "size " << n;
        }
    }
}

// One decoder's working memory reused: nothing of one chunk may leak into the next (adaptive
// codes, probabilities, repeat queues, x86 translation state).
TEST(LzmsDecoder, ReusedWorkingMemoryStartsAfresh) {
    const Bytes code =
        lzms_test::wine_dlls(200000).empty() ? wordy(200000, 8) : lzms_test::wine_dlls(200000);
    const Bytes inputs[] = {code, wordy(150000, 4), delta_friendly(100000), code};
    std::unique_ptr<LzmsDecoder, void (*)(LzmsDecoder*)> decoder(lzms_decoder_new(),
                                                                 lzms_decoder_delete);
    ASSERT_TRUE(decoder);
    for (const Bytes& data : inputs) {
        const Bytes chunk = lzms_test::wimlib_chunk(data, 50);
        Bytes out(data.size());
        ASSERT_TRUE(
            lzms_decode_chunk_with(*decoder, chunk.data(), chunk.size(), out.data(), out.size()));
        EXPECT_EQ(out, data);
    }
}

TEST(LzmsDecoder, RejectsImpossibleInputShapes) {
    const Bytes data = wordy(5000, 1);
    const Bytes chunk = lzms_test::wimlib_chunk(data, 50);
    Bytes out(data.size());
    // Units are 16 bits and the range decoder starts with two of them.
    EXPECT_FALSE(lzms_decode_chunk(chunk.data(), chunk.size() - 1, out.data(), out.size()));
    for (size_t n = 0; n < 4; ++n)
        EXPECT_FALSE(lzms_decode_chunk(chunk.data(), n, out.data(), out.size())) << n;
    EXPECT_FALSE(lzms_decode_chunk(nullptr, 0, out.data(), out.size()));
    // Chunks above 1 GiB cannot be LZMS; refused before the output is touched.
    uint8_t one = 0x5A;
    EXPECT_FALSE(lzms_decode_chunk(chunk.data(), chunk.size(), &one, (size_t{1} << 30) + 1));
    EXPECT_EQ(one, 0x5A);
}

// Matches that reach before the start of the output or past its end make the chunk invalid.
TEST(LzmsDecoder, RejectsMatchesOutsideTheOutput) {
    // All one bits: the first decision already says "match", with nothing before it to copy.
    const Bytes ones(64, 0xFF);
    Bytes out(100);
    EXPECT_FALSE(lzms_decode_chunk(ones.data(), ones.size(), out.data(), out.size()));
    // One block, then one long match to the end: one byte less of output and the match overruns.
    const Bytes data = long_repeats(5000);
    const Bytes chunk = lzms_test::wimlib_chunk(data, 50);
    Bytes shorter(data.size() - 1);
    EXPECT_FALSE(lzms_decode_chunk(chunk.data(), chunk.size(), shorter.data(), shorter.size()));
}

// Corrupt chunks: every outcome is allowed except touching memory outside the buffers, which
// the sanitizers report, and the output size must stay exact either way.
TEST(LzmsDecoder, SurvivesCorruptChunks) {
    Bytes data = lzms_test::wine_dlls(16 * 1024);
    if (data.empty()) data = wordy(16 * 1024, 2);
    const Bytes chunk = lzms_test::wimlib_chunk(data, 100);
    Bytes out(data.size());
    size_t failures = 0;
    for (size_t bit = 0; bit < chunk.size() * 8; bit += 29) {
        Bytes bad = chunk;
        bad[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        failures += !lzms_decode_chunk(bad.data(), bad.size(), out.data(), out.size());
    }
    for (size_t cut = 4; cut < chunk.size(); cut += 2 + cut / 3)
        failures += !lzms_decode_chunk(chunk.data(), cut, out.data(), out.size());
    std::mt19937 rng(3);
    for (int k = 0; k < 200; ++k) {
        const Bytes noise = lzms_test::random_bytes(4 + 2 * (rng() % 200), rng());
        Bytes o(1 + rng() % 3000);
        failures += !lzms_decode_chunk(noise.data(), noise.size(), o.data(), o.size());
    }
    // Most corruption is caught by a match leaving the output; what is not is caught by the
    // caller's hash of the unpacked bytes.
    EXPECT_GT(failures, 0u);
}

} // namespace
