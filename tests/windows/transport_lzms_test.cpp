// lzms_decompress on blobs in the Compression API's buffer-mode container, made by wimlib
// (tests/data/transport/make_lzms_fixtures.py). Under Wine this runs our own decoder; stand-ins
// for the system's decompressor check how the checked entry chooses between the two.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/optional_api.h"
#include "transport/hash.h"
#include "transport/lzms.h"
#include "transport/lzms_container.h"
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

uint8_t header_check(const std::string& blob) {
    return lzms_container_check_byte(reinterpret_cast<const uint8_t*>(blob.data()));
}

struct Sample {
    std::string blob;
    std::string content;
    std::string sha256; // of the content
};

Sample sample(const std::string& name) {
    const std::string content = data_file(name + ".bin");
    return {data_file(name + ".lzms"), content, sha256_hex(content.data(), content.size())};
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

// An empty release file is read, never failed as damaged, where the system could decompress: with
// no output buffer, the system's Decompress is a size query that returns FALSE.
TEST(Lzms, AnEmptyFileIsReadByOurOwnReaderEvenWhereTheSystemCouldDecompress) {
    OptionalApi system;
    system.createDecompressor = counting_create;
    const Sample empty = sample("empty");
    std::vector<uint8_t> out = {1, 2, 3};
    EXPECT_TRUE(lzms_decompress_using(system, empty.blob, 0, empty.sha256, out));
    EXPECT_TRUE(out.empty());
    // Exactly the header alone: no trailing byte, no other total.
    EXPECT_FALSE(lzms_decompress_using(system, empty.blob + '\0', 0, empty.sha256, out));
    EXPECT_FALSE(lzms_decompress_using(system, sample("text").blob, 0, empty.sha256, out));
    EXPECT_FALSE(lzms_decompress_using(system, "", 0, empty.sha256, out));
    EXPECT_EQ(g_systemAsked, 0);
    // Everything else goes to the system first.
    const Sample text = sample("text");
    EXPECT_TRUE(lzms_decompress_using(system, text.blob, text.content.size(), text.sha256, out));
    EXPECT_EQ(g_systemAsked, 1);
}

// Stand-ins for a system whose decompressor is there: each hands out a handle of its own and
// counts how many it closed, and its Decompress fails, writes other bytes of the right length, or
// writes the expected file (whatever the blob).
int g_fakeHandle = 0;
int g_created = 0;
int g_closed = 0;
const std::string* g_fileToGive = nullptr;

BOOL WINAPI fake_create(DWORD algorithm, void*, CompressorHandle* handle) {
    ++g_created;
    *handle = &g_fakeHandle;
    return algorithm == 5;
}
BOOL WINAPI fake_close(CompressorHandle handle) {
    g_closed += handle == &g_fakeHandle;
    return TRUE;
}
BOOL WINAPI failing_decompress(CompressorHandle, const void*, SIZE_T, void*, SIZE_T, SIZE_T*) {
    return FALSE;
}
BOOL WINAPI other_bytes_decompress(CompressorHandle, const void*, SIZE_T, void* out, SIZE_T size,
                                   SIZE_T* produced) {
    std::memset(out, 0x5A, size);
    *produced = size;
    return TRUE;
}
BOOL WINAPI giving_decompress(CompressorHandle, const void*, SIZE_T, void* out, SIZE_T size,
                              SIZE_T* produced) {
    if (g_fileToGive == nullptr || g_fileToGive->size() != size) return FALSE;
    std::memcpy(out, g_fileToGive->data(), size);
    *produced = size;
    return TRUE;
}

OptionalApi fake_system(DecompressFn decompress) {
    OptionalApi api;
    api.createDecompressor = fake_create;
    api.decompress = decompress;
    api.closeDecompressor = fake_close;
    return api;
}

struct FakeCase {
    const char* name;
    DecompressFn decompress;
};
const FakeCase kFailingSystems[] = {{"system fails", failing_decompress},
                                    {"system gives other bytes", other_bytes_decompress}};

TEST(LzmsChecked, TheFileComesFromOurDecoderWhenTheSystemFailsOrGivesOtherBytes) {
    for (const FakeCase& c : kFailingSystems) {
        for (const char* name : {"text", "noise"}) {
            const Sample s = sample(name);
            g_created = g_closed = 0;
            std::vector<uint8_t> out;
            EXPECT_TRUE(lzms_decompress_using(fake_system(c.decompress), s.blob, s.content.size(),
                                              s.sha256, out))
                << c.name << ", " << name;
            EXPECT_EQ(out, bytes_of(s.content)) << c.name << ", " << name;
            EXPECT_EQ(g_created, 1) << c.name << ", " << name;
            EXPECT_EQ(g_closed, 1) << "the handle goes back to its own table: " << c.name;
        }
    }
}

TEST(LzmsChecked, TheSystemsBytesAreTakenWhenTheyHaveTheFilesHash) {
    // A blob that our own reader refuses (no container) proves which decoder gave the file.
    const Sample s = sample("text");
    g_fileToGive = &s.content;
    std::vector<uint8_t> out;
    EXPECT_TRUE(lzms_decompress_using(fake_system(giving_decompress), s.blob.substr(28),
                                      s.content.size(), s.sha256, out));
    EXPECT_EQ(out, bytes_of(s.content));
    // The same bytes under another file's hash are not the file, from either decoder.
    EXPECT_FALSE(lzms_decompress_using(fake_system(giving_decompress), s.blob, s.content.size(),
                                       sample("noise").sha256, out));
    g_fileToGive = nullptr;
}

// The engine reports such a blob as damaged; nothing else may turn it into a success.
TEST(LzmsChecked, ADamagedBlobFailsAfterBothDecoders) {
    const Sample s = sample("text");
    std::string flipped = s.blob;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x5A);
    const struct {
        const char* name;
        std::string blob;
        uint64_t size;
    } damaged[] = {
        {"one byte short", s.blob.substr(0, s.blob.size() - 1), s.content.size()},
        {"flipped data byte", flipped, s.content.size()},
        {"size one short", s.blob, s.content.size() - 1},
        {"size one over", s.blob, s.content.size() + 1},
    };
    for (const auto& d : damaged) {
        std::vector<uint8_t> out;
        for (const FakeCase& c : kFailingSystems)
            EXPECT_FALSE(
                lzms_decompress_using(fake_system(c.decompress), d.blob, d.size, s.sha256, out))
                << d.name << ", " << c.name;
        EXPECT_FALSE(lzms_decompress_checked(d.blob, d.size, s.sha256, out)) << d.name;
    }
}

TEST(LzmsChecked, OnThisSystemEveryFixtureUnpacksToItsHash) {
    for (const char* name : {"text", "noise", "empty"}) {
        const Sample s = sample(name);
        std::vector<uint8_t> out = {1, 2, 3};
        EXPECT_TRUE(lzms_decompress_checked(s.blob, s.content.size(), s.sha256, out)) << name;
        EXPECT_EQ(out, bytes_of(s.content)) << name;
        // An upper-case digest is another text: hashes are compared exactly.
        std::string upper = s.sha256;
        for (char& ch : upper)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        EXPECT_FALSE(lzms_decompress_checked(s.blob, s.content.size(), upper, out)) << name;
    }
}

} // namespace
