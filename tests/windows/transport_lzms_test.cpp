// lzms_decompress on blobs in the Compression API's buffer-mode container, made by wimlib
// (tests/data/transport/make_lzms_fixtures.py). Under Wine this runs our own decoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/optional_api.h"
#include "transport/lzms.h"
#include "windows/test_files.h"

namespace {

std::string data_file(const std::string& name) {
    std::string bytes;
    EXPECT_TRUE(read_test_file(test_file_path("PLANNIX_TRANSPORT_DATA", name), bytes)) << name;
    return bytes;
}

std::vector<uint8_t> bytes_of(const std::string& s) {
    return {s.begin(), s.end()};
}

// The header's check byte: low byte of the CRC-32 over header bytes 0-5 and 7-23.
uint8_t header_check(const std::string& blob) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < 24; ++i) {
        if (i == 6) continue;
        crc ^= static_cast<uint8_t>(blob[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return static_cast<uint8_t>(~crc);
}

struct Sample {
    std::string blob;
    std::string content;
};

Sample sample(const std::string& name) {
    return {data_file(name + ".lzms"), data_file(name + ".bin")};
}

TEST(Lzms, UnpacksToTheExactContent) {
    for (const char* name : {"text", "noise", "empty"}) {
        const Sample s = sample(name);
        ASSERT_GE(s.blob.size(), 24u) << name;
        ASSERT_EQ(header_check(s.blob), static_cast<uint8_t>(s.blob[6])) << name;
        std::vector<uint8_t> out = {1, 2, 3};
        EXPECT_TRUE(lzms_decompress(s.blob, s.content.size(), out)) << name;
        EXPECT_EQ(out, bytes_of(s.content)) << name;
    }
}

TEST(Lzms, ExpectedSizeMustMatchExactly) {
    for (const char* name : {"text", "noise"}) {
        const Sample s = sample(name);
        std::vector<uint8_t> out;
        EXPECT_FALSE(lzms_decompress(s.blob, s.content.size() - 1, out)) << name;
        EXPECT_FALSE(lzms_decompress(s.blob, s.content.size() + 1, out)) << name;
    }
    std::vector<uint8_t> out;
    EXPECT_FALSE(lzms_decompress(sample("empty").blob, 1, out));
    EXPECT_FALSE(lzms_decompress(sample("text").blob, 0, out));
}

TEST(Lzms, TruncatedBlobsAreRejected) {
    const Sample s = sample("text");
    std::vector<uint8_t> out;
    for (size_t keep :
         {s.blob.size() - 1, s.blob.size() / 2, size_t{28}, size_t{24}, size_t{10}, size_t{0}})
        EXPECT_FALSE(lzms_decompress(s.blob.substr(0, keep), s.content.size(), out)) << keep;
}

TEST(Lzms, DamagedHeaderIsRejected) {
    const Sample s = sample("text");
    std::vector<uint8_t> out;

    std::string magic = s.blob;
    magic[0] = static_cast<char>(magic[0] ^ 0x01);
    magic[6] = static_cast<char>(header_check(magic));
    EXPECT_FALSE(lzms_decompress(magic, s.content.size(), out));

    std::string check = s.blob;
    check[6] = static_cast<char>(check[6] ^ 0x01);
    EXPECT_FALSE(lzms_decompress(check, s.content.size(), out));

    // The same container with another algorithm's number (3, XPRESS) and a valid check byte.
    std::string xpress = s.blob;
    xpress[7] = 3;
    xpress[6] = static_cast<char>(header_check(xpress));
    EXPECT_FALSE(lzms_decompress(xpress, s.content.size(), out));

    // A chunk record that claims one byte more than the blob holds.
    std::string chunk = s.blob;
    chunk[24] = static_cast<char>(chunk[24] + 1);
    EXPECT_FALSE(lzms_decompress(chunk, s.content.size(), out));
}

TEST(Lzms, RawChunkWithoutContainerIsRejected) {
    const Sample s = sample("text");
    std::vector<uint8_t> out;
    EXPECT_FALSE(lzms_decompress(s.blob.substr(28), s.content.size(), out));
}

TEST(Lzms, CorruptedChunkNeverYieldsTheOriginal) {
    // The container has no checksum, so a decoder may unpack damaged data to the right size;
    // it must not pass it off as the original (and must not crash).
    const Sample s = sample("text");
    for (size_t at : {size_t{30}, s.blob.size() / 2, s.blob.size() - 3}) {
        std::string damaged = s.blob;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
        std::vector<uint8_t> out;
        const bool ok = lzms_decompress(damaged, s.content.size(), out);
        EXPECT_FALSE(ok && out == bytes_of(s.content)) << at;
    }
}

// Sizes that no memory can hold: length_error (2^63 and up) and bad_alloc (2^62) are caught,
// not thrown into the worker.
TEST(Lzms, SizesNoBufferCanHoldAreRefusedWithoutThrowing) {
    const Sample s = sample("text");
    for (const uint64_t size : {UINT64_MAX, uint64_t{1} << 63, uint64_t{1} << 62}) {
        std::vector<uint8_t> out;
        EXPECT_FALSE(lzms_decompress(s.blob, size, out)) << size;
    }
}

// A stand-in for a system with the Compression API: it only counts how often it is asked.
int g_systemAsked = 0;
BOOL WINAPI counting_create(DWORD, void*, CompressorHandle* handle) {
    ++g_systemAsked;
    *handle = nullptr;
    return FALSE;
}

// Guards the fault where an empty release file failed as damaged on Windows: with no output
// buffer, the system's Decompress is a size query that returns FALSE.
TEST(Lzms, AnEmptyFileIsReadByOurOwnReaderEvenWhereTheSystemCouldDecompress) {
    OptionalApi system;
    system.createDecompressor = counting_create;
    const std::string empty = sample("empty").blob;
    std::vector<uint8_t> out = {1, 2, 3};
    EXPECT_TRUE(lzms_decompress_using(system, empty, 0, out));
    EXPECT_TRUE(out.empty());
    // Exactly the header alone: no trailing byte, no other total.
    EXPECT_FALSE(lzms_decompress_using(system, empty + '\0', 0, out));
    EXPECT_FALSE(lzms_decompress_using(system, sample("text").blob, 0, out));
    EXPECT_FALSE(lzms_decompress_using(system, "", 0, out));
    EXPECT_EQ(g_systemAsked, 0);
    // Everything else still goes to the system.
    const Sample text = sample("text");
    EXPECT_FALSE(lzms_decompress_using(system, text.blob, text.content.size(), out));
    EXPECT_EQ(g_systemAsked, 1);
}

} // namespace
