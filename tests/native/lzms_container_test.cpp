// Blobs: the writer's layout, round trips through our container reader, and hostile blobs.
#include <gtest/gtest.h>

#include <cstring>

#include "native/lzms_test_support.h"
#include "tools/release/blob_writer.h"
#include "transport/lzms_container.h"

namespace {

using lzms_test::Bytes;

Bytes blob_of(const Bytes& data, int level = kDefaultLzmsLevel) {
    const std::string b = lzms_compress_blob(data.data(), data.size(), level);
    return Bytes(b.begin(), b.end());
}

// Decodes into a buffer of exactly `size` bytes; the result is what it holds on success.
bool unpack(const Bytes& blob, uint64_t size, Bytes* result = nullptr) {
    Bytes out(static_cast<size_t>(size), 0xAA);
    const bool ok = lzms_container_decode(blob.data(), blob.size(), out.data(), size);
    if (ok && result != nullptr) *result = out;
    return ok;
}

uint64_t get_le(const Bytes& b, size_t at, unsigned bytes) {
    uint64_t v = 0;
    for (unsigned k = bytes; k > 0; --k)
        v = (v << 8) | b[at + k - 1];
    return v;
}

void put_le(Bytes& b, size_t at, uint64_t v, unsigned bytes) {
    for (unsigned k = 0; k < bytes; ++k)
        b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

// A header edit that keeps the check byte right, so that the field itself is what is tested.
Bytes with_field(Bytes blob, size_t at, uint64_t v, unsigned bytes) {
    put_le(blob, at, v, bytes);
    blob[6] = lzms_container_check_byte(blob.data());
    return blob;
}

TEST(LzmsBlobLayout, EmptyFileIsAHeaderAlone) {
    const Bytes blob = blob_of({});
    const Bytes expected = {0x0A, 0x51, 0xE5, 0xC0, 24, 0, 0x5B, 5, 0, 0, 0, 0,
                            0,    0,    0,    0,    0,  0, 0,    0, 0, 0, 0, 0};
    EXPECT_EQ(blob, expected);
    EXPECT_TRUE(unpack(blob, 0));
    EXPECT_FALSE(unpack(blob, 1));
    Bytes trailing = blob;
    trailing.push_back(0);
    EXPECT_FALSE(unpack(trailing, 0));
}

// The check byte against values from an independent CRC-32 (zlib's), and a stored chunk: wimlib
// makes nothing from under 4 bytes and never fewer than 10 bytes.
TEST(LzmsBlobLayout, SmallFileIsOneStoredChunk) {
    const Bytes data = {'h', 'e', 'l', 'l', 'o'};
    const Bytes blob = blob_of(data);
    const Bytes expected = {0x0A, 0x51, 0xE5, 0xC0, 24, 0, 0x29, 5,   5,   0,   0,
                            0,    0,    0,    0,    0,  5, 0,    0,   0,   0,   0,
                            0,    0,    5,    0,    0,  0, 'h',  'e', 'l', 'l', 'o'};
    EXPECT_EQ(blob, expected);
    Bytes header(blob.begin(), blob.begin() + 24);
    put_le(header, 8, 70000, 8);
    put_le(header, 16, 70000, 8);
    EXPECT_EQ(lzms_container_check_byte(header.data()), 0xDC);
}

// The one header writer and reader that the release tool, our reader and the fuzz target share.
TEST(LzmsBlobLayout, TheHeaderReaderGivesBackWhatTheWriterWroteAndRefusesOtherHeaders) {
    const LzmsContainerHeader cases[] = {{0, 0},
                                         {5, 5},
                                         {70000, 70000},
                                         {uint64_t{1} << 40, uint64_t{64} << 20},
                                         {UINT64_MAX, UINT32_MAX}};
    for (const LzmsContainerHeader& c : cases) {
        uint8_t bytes[kLzmsContainerHeaderSize];
        lzms_container_write_header(c, bytes);
        EXPECT_EQ(get_le(Bytes(bytes, bytes + 24), 8, 8), c.total) << c.total;
        LzmsContainerHeader back;
        ASSERT_TRUE(lzms_container_read_header(bytes, sizeof bytes, back)) << c.total;
        EXPECT_EQ(back.total, c.total);
        EXPECT_EQ(back.chunkSize, c.chunkSize);
        EXPECT_FALSE(lzms_container_read_header(bytes, sizeof bytes - 1, back)) << c.total;
        EXPECT_FALSE(lzms_container_read_header(nullptr, sizeof bytes, back));
    }
    // Windows writes the chunk size's upper half as 0: anything else is not its container.
    uint8_t bytes[kLzmsContainerHeaderSize];
    lzms_container_write_header({uint64_t{1} << 33, uint64_t{1} << 32}, bytes);
    LzmsContainerHeader back;
    EXPECT_FALSE(lzms_container_read_header(bytes, sizeof bytes, back));
    // The chunk length record, as the writer puts it before each chunk.
    uint8_t length[kLzmsChunkLengthSize];
    lzms_container_write_chunk_length(0x01020304u, length);
    EXPECT_EQ(Bytes(length, length + 4), Bytes({4, 3, 2, 1}));
    EXPECT_EQ(lzms_container_read_chunk_length(length), 0x01020304u);
}

TEST(LzmsBlob, RoundTripsEveryTinySize) {
    for (size_t n = 0; n <= 16; ++n) {
        for (const Bytes& data : {Bytes(n, 'a'), lzms_test::random_bytes(n, 1)}) {
            Bytes back;
            ASSERT_TRUE(unpack(blob_of(data), n, &back)) << n;
            EXPECT_EQ(back, data) << n;
        }
    }
}

TEST(LzmsBlob, StoresWhatDoesNotShrinkAndCompressesTheRest) {
    const Bytes noise = lzms_test::random_bytes(100000, 4);
    const Bytes stored = blob_of(noise);
    ASSERT_EQ(stored.size(), 24u + 4u + noise.size());
    EXPECT_EQ(get_le(stored, 24, 4), noise.size());
    Bytes back;
    ASSERT_TRUE(unpack(stored, noise.size(), &back));
    EXPECT_EQ(back, noise);

    const Bytes text = lzms_test::source_text(300000);
    for (int level : {1, 50, 100}) {
        const Bytes packed = blob_of(text, level);
        ASSERT_LT(packed.size(), text.size() / 2);
        EXPECT_EQ(get_le(packed, 16, 8), text.size()); // one chunk of the whole file
        ASSERT_TRUE(unpack(packed, text.size(), &back)) << level;
        EXPECT_EQ(back, text);
    }
}

// Over 64 MiB: two chunks, the second short. Mostly zeros keep wimlib fast; blocks copied from
// the start of the chunk near its end use the farthest offsets a 64 MiB chunk can have.
TEST(LzmsBlob, FileOverOneChunk) {
    const size_t chunk = size_t{64} << 20;
    const size_t n = chunk + 300000;
    Bytes data(n, 0);
    const Bytes text = lzms_test::source_text(200000);
    for (size_t k = 0; k < 64; ++k) {
        const Bytes noise = lzms_test::random_bytes(512, static_cast<uint32_t>(k));
        std::memcpy(&data[k * (1u << 20) + 4096], noise.data(), noise.size());
    }
    std::memcpy(&data[chunk - 5000], &data[4096], 512);
    std::memcpy(&data[chunk + 1000], text.data(), std::min<size_t>(text.size(), 150000));
    const Bytes blob = blob_of(data, 1);
    EXPECT_EQ(get_le(blob, 8, 8), n);
    EXPECT_EQ(get_le(blob, 16, 8), chunk);
    const uint64_t first = get_le(blob, 24, 4);
    ASSERT_LT(first, chunk);
    ASSERT_LT(28 + first + 4, blob.size());
    EXPECT_EQ(28 + first + 4 + get_le(blob, 28 + first, 4), blob.size());
    Bytes back;
    ASSERT_TRUE(unpack(blob, n, &back));
    EXPECT_TRUE(back == data);
}

class LzmsBlobHostile : public testing::Test {
  protected:
    void SetUp() override {
        text = lzms_test::source_text(40000);
        blob = blob_of(text);
        ASSERT_TRUE(unpack(blob, text.size()));
    }
    Bytes text;
    Bytes blob;
};

TEST_F(LzmsBlobHostile, TruncatedAnywhere) {
    for (size_t n = 0; n < blob.size(); ++n) {
        const Bytes cut(blob.begin(), blob.begin() + static_cast<ptrdiff_t>(n));
        EXPECT_FALSE(unpack(cut, text.size())) << n;
    }
}

TEST_F(LzmsBlobHostile, TrailingBytes) {
    Bytes longer = blob;
    longer.push_back(0);
    EXPECT_FALSE(unpack(longer, text.size()));
    // A whole extra chunk record, as if there were one chunk more than the sizes imply.
    longer = blob;
    longer.insert(longer.end(), {4, 0, 0, 0, 1, 2, 3, 4});
    EXPECT_FALSE(unpack(longer, text.size()));
}

TEST_F(LzmsBlobHostile, FlippedHeaderAndLengthBits) {
    for (size_t bit = 0; bit < (24 + 4) * 8; ++bit) {
        Bytes bad = blob;
        bad[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        EXPECT_FALSE(unpack(bad, text.size())) << "bit " << bit;
    }
}

// No checksum covers the data: a flipped bit there may still decode, and the hash of the
// unpacked file catches it. What matters here is staying inside the buffers (sanitizers).
TEST_F(LzmsBlobHostile, FlippedDataBits) {
    size_t failed = 0, tried = 0;
    const size_t step = blob.size() * 8 / 400 + 1;
    for (size_t bit = 28 * 8; bit < blob.size() * 8; bit += step, ++tried) {
        Bytes bad = blob;
        bad[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        failed += !unpack(bad, text.size());
    }
    EXPECT_GT(failed, 0u);
    EXPECT_GT(tried, 0u);
}

TEST_F(LzmsBlobHostile, SizeDisagreesWithTheManifest) {
    EXPECT_FALSE(unpack(blob, text.size() - 1));
    EXPECT_FALSE(unpack(blob, text.size() + 1));
    EXPECT_FALSE(unpack(blob, 0));
    // A header announcing an enormous file is refused before anything is written.
    const Bytes huge = with_field(blob, 8, uint64_t{1} << 40, 8);
    EXPECT_FALSE(unpack(huge, text.size()));
}

TEST_F(LzmsBlobHostile, BadHeaderFields) {
    Bytes bad = blob;
    bad[6] ^= 0x01; // check byte
    EXPECT_FALSE(unpack(bad, text.size()));
    bad = blob;
    bad[0] = 0x0B; // magic, check byte recomputed below
    bad[6] = lzms_container_check_byte(bad.data());
    EXPECT_FALSE(unpack(bad, text.size()));
    for (uint64_t headerSize : {0u, 16u, 23u, 25u, 32u})
        EXPECT_FALSE(unpack(with_field(blob, 4, headerSize, 2), text.size())) << headerSize;
    for (uint64_t algorithm : {0u, 2u, 3u, 4u, 6u, 255u})
        EXPECT_FALSE(unpack(with_field(blob, 7, algorithm, 1), text.size())) << algorithm;
}

TEST_F(LzmsBlobHostile, BadChunkSizes) {
    const uint64_t total = text.size();
    // None, more than the file, only the upper half set, and sizes that imply more chunks.
    for (uint64_t chunkSize : {uint64_t{0}, total + 1, uint64_t{1} << 32,
                               (uint64_t{1} << 32) | total, total / 2, total - 1, uint64_t{1}})
        EXPECT_FALSE(unpack(with_field(blob, 16, chunkSize, 8), total)) << chunkSize;
    // An empty file with a chunk record after its header.
    Bytes empty = blob_of({});
    empty.insert(empty.end(), {0, 0, 0, 0});
    EXPECT_FALSE(unpack(empty, 0));
}

TEST_F(LzmsBlobHostile, MissingSecondChunk) {
    // Two 20000-byte chunks of a 40000-byte file, then the second chunk dropped.
    const Bytes half(text.begin(), text.begin() + 20000);
    Bytes two = with_field(blob_of(half), 8, 40000, 8);
    two = with_field(two, 16, 20000, 8);
    const Bytes one = two;
    const Bytes firstChunk(two.begin() + 24, two.end());
    two.insert(two.end(), firstChunk.begin(), firstChunk.end());
    Bytes back;
    ASSERT_TRUE(unpack(two, 40000, &back));
    EXPECT_TRUE(std::equal(half.begin(), half.end(), back.begin() + 20000));
    EXPECT_FALSE(unpack(one, 40000));
}

TEST_F(LzmsBlobHostile, RawChunkWithoutContainer) {
    const Bytes raw = lzms_test::wimlib_chunk(text, 50);
    ASSERT_FALSE(raw.empty());
    EXPECT_FALSE(unpack(raw, text.size()));
    EXPECT_FALSE(unpack(Bytes(blob.begin() + 28, blob.end()), text.size()));
}

} // namespace
