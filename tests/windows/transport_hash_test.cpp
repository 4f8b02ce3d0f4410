// SHA-256 through BCrypt against the FIPS 180-4 example messages.
#include <gtest/gtest.h>

#include <string>

#include "transport/hash.h"

namespace {

std::string hex_of(const std::string& message) {
    return sha256_hex(message.data(), message.size());
}

TEST(Sha256, FipsExampleMessages) {
    EXPECT_EQ(hex_of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex_of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex_of("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklm"
                     "nopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(hex_of(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, RawDigestIsTheHexDigestAsBytes) {
    const std::string message = "abc";
    const std::vector<uint8_t> raw = sha256_raw(message.data(), message.size());
    ASSERT_EQ(raw.size(), 32u);
    EXPECT_EQ(raw.front(), 0xBA);
    EXPECT_EQ(raw.back(), 0xAD);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : raw) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 15]);
    }
    EXPECT_EQ(hex, hex_of(message));
}

TEST(Sha256, EveryByteCounts) {
    // Bytes after an embedded zero and high bytes are hashed too.
    const std::string withZero("ab\0c", 4);
    EXPECT_NE(hex_of(withZero), hex_of("ab"));
    EXPECT_EQ(hex_of(std::string("\xff", 1)),
              "a8100ae6aa1940d0b663bb31cd466142ebbdbd5187131b92d93818987832eb89");
}

} // namespace
