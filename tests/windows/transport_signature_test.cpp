// ECDSA P-256 signatures made by OpenSSL, checked with BCrypt; base64 through Crypt32.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/signature.h"
#include "windows/test_files.h"

namespace {

std::string fixture(const std::string& name) {
    const std::string path = test_file_path("PLANNIX_TRANSPORT_FIXTURES", "signature/" + name);
    std::string bytes;
    EXPECT_TRUE(!path.empty() && read_test_file(path, bytes)) << "cannot read fixture " << name;
    return bytes;
}

std::vector<uint8_t> bytes_of(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

class Signature : public ::testing::Test {
  protected:
    void SetUp() override {
        manifest = fixture("manifest.json");
        key = base64_decode(fixture("other.pub"));
        signature = base64_decode(fixture("other.sig"));
        ASSERT_EQ(key.size(), 64u);
        ASSERT_EQ(signature.size(), 64u);
        ASSERT_NE(manifest.find("\r\n"), std::string::npos);
    }
    std::string manifest;
    std::vector<uint8_t> key;
    std::vector<uint8_t> signature;
};

TEST_F(Signature, ValidRawSignatureVerifies) {
    EXPECT_TRUE(ecdsa_p256_verify(key, manifest, signature));
}

TEST_F(Signature, AnyChangedManifestByteFails) {
    for (size_t at : {size_t{0}, manifest.size() / 2, manifest.size() - 1}) {
        std::string changed = manifest;
        changed[at] = static_cast<char>(changed[at] ^ 0x01);
        EXPECT_FALSE(ecdsa_p256_verify(key, changed, signature)) << "byte " << at;
    }
    EXPECT_FALSE(ecdsa_p256_verify(key, manifest + " ", signature));
    EXPECT_FALSE(ecdsa_p256_verify(key, manifest.substr(0, manifest.size() - 1), signature));
}

TEST_F(Signature, LineEndsAreNotNormalised) {
    std::string lf;
    for (char c : manifest)
        if (c != '\r') lf.push_back(c);
    EXPECT_FALSE(ecdsa_p256_verify(key, lf, signature));
}

TEST_F(Signature, ChangedSignatureFails) {
    std::vector<uint8_t> changed = signature;
    changed[10] ^= 0x80;
    EXPECT_FALSE(ecdsa_p256_verify(key, manifest, changed));
    // r and s swapped
    std::vector<uint8_t> swapped(signature.begin() + 32, signature.end());
    swapped.insert(swapped.end(), signature.begin(), signature.begin() + 32);
    EXPECT_FALSE(ecdsa_p256_verify(key, manifest, swapped));
}

TEST_F(Signature, OnlyTheRaw64ByteFormIsAccepted) {
    const std::vector<uint8_t> der = base64_decode(fixture("other.der.sig"));
    ASSERT_GE(der.size(), 68u);
    EXPECT_FALSE(ecdsa_p256_verify(key, manifest, der));

    std::vector<uint8_t> shorter(signature.begin(), signature.end() - 1);
    EXPECT_FALSE(ecdsa_p256_verify(key, manifest, shorter));
    std::vector<uint8_t> longer = signature;
    longer.push_back(0);
    EXPECT_FALSE(ecdsa_p256_verify(key, manifest, longer));
    EXPECT_FALSE(ecdsa_p256_verify(key, manifest, {}));
}

TEST_F(Signature, KeyMustBeTheSigner64Bytes) {
    std::vector<uint8_t> shorter(key.begin(), key.end() - 1);
    EXPECT_FALSE(ecdsa_p256_verify(shorter, manifest, signature));
    EXPECT_FALSE(ecdsa_p256_verify({}, manifest, signature));
    // A point that is not on the curve is refused at import.
    std::vector<uint8_t> offCurve = key;
    offCurve[63] ^= 0x01;
    EXPECT_FALSE(ecdsa_p256_verify(offCurve, manifest, signature));
}

TEST_F(Signature, BuiltInKeyAcceptsOnlyItsOwnSignatures) {
    const std::string trusted = fixture("trusted.sig");
    ASSERT_FALSE(trusted.empty()) << "no signature by the build's key: its private half was "
                                     "missing when the fixtures were made";
    EXPECT_TRUE(verify_manifest_signature(manifest, trusted));

    std::string changed = manifest;
    changed[5] = static_cast<char>(changed[5] ^ 0x20);
    EXPECT_FALSE(verify_manifest_signature(changed, trusted));
    EXPECT_FALSE(verify_manifest_signature(manifest, fixture("other.sig")));
    EXPECT_FALSE(verify_manifest_signature(manifest, fixture("other.der.sig")));
    EXPECT_FALSE(verify_manifest_signature(manifest, ""));
}

TEST(Base64, StandardVectors) {
    EXPECT_EQ(base64_decode("Zg=="), bytes_of("f"));
    EXPECT_EQ(base64_decode("Zm8="), bytes_of("fo"));
    EXPECT_EQ(base64_decode("Zm9v"), bytes_of("foo"));
    EXPECT_EQ(base64_decode("Zm9vYmFy"), bytes_of("foobar"));
    // '+' and '/' belong to the standard alphabet.
    EXPECT_EQ(base64_decode("/+8="), (std::vector<uint8_t>{0xFF, 0xEF}));
    EXPECT_EQ(base64_decode("AAAA"), (std::vector<uint8_t>{0, 0, 0}));
}

TEST(Base64, InvalidOrEmptyTextGivesNothing) {
    EXPECT_TRUE(base64_decode("").empty());
    EXPECT_TRUE(base64_decode("@@@@").empty());
    EXPECT_TRUE(base64_decode(std::string(4, '\0')).empty());
}

} // namespace
