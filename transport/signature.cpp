#include "transport/signature.h"

#include "base/build_constants.h"
#include "transport/hash.h"
#include "transport/transport_handles.h"

#include <wincrypt.h>

#include <cstring>

namespace {

constexpr size_t kKeySize = 64;       // X || Y
constexpr size_t kSignatureSize = 64; // r || s
constexpr size_t kKeyTextSize = 88;

} // namespace

std::vector<uint8_t> base64_decode(const std::string& text) {
    // A length of 0 would make the decoder read up to a terminator instead.
    if (text.empty() || text.size() > 0xFFFFFFFFu) return {};
    const auto length = static_cast<DWORD>(text.size());
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64, nullptr, &size, nullptr,
                              nullptr))
        return {};
    std::vector<uint8_t> bytes(size, 0);
    if (!CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64, bytes.data(), &size,
                              nullptr, nullptr))
        return {};
    bytes.resize(size);
    return bytes;
}

bool ecdsa_p256_verify(const std::vector<uint8_t>& key, const std::string& message,
                       const std::vector<uint8_t>& signature) {
    if (key.size() != kKeySize || signature.size() != kSignatureSize) return false;

    BcryptAlg alg;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(alg.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)))
        return false;

    uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + kKeySize] = {};
    const BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kKeySize / 2};
    memcpy(blob, &header, sizeof header);
    memcpy(blob + sizeof header, key.data(), kKeySize);
    BcryptKey publicKey;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(alg.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                            publicKey.put(), blob, sizeof blob, 0)))
        return false;

    std::vector<uint8_t> digest = sha256_raw(message.data(), message.size());
    if (digest.empty()) return false;
    std::vector<uint8_t> sig = signature; // BCrypt takes a non-const pointer
    return BCryptVerifySignature(publicKey.get(), nullptr, digest.data(),
                                 static_cast<ULONG>(digest.size()), sig.data(),
                                 static_cast<ULONG>(sig.size()), 0) == 0;
}

namespace {

// A built-in key, unscrambled and decoded, verifies the signature; the key text exists in clear
// only for the moment of its decoding.
bool verify_with_key(const uint8_t (&scrambled)[kKeyTextSize], uint32_t firstIndex,
                     const std::string& manifest, const std::vector<uint8_t>& signature) {
    std::string keyText(kKeyTextSize, '\0');
    for (uint32_t i = 0; i < kKeyTextSize; ++i)
        keyText[i] = static_cast<char>(scrambled[i] ^ (key_scramble_hash(firstIndex + i) & 0xFF));
    std::vector<uint8_t> key = base64_decode(keyText);
    SecureZeroMemory(keyText.data(), keyText.size());

    const bool valid = ecdsa_p256_verify(key, manifest, signature);
    if (!key.empty()) SecureZeroMemory(key.data(), key.size());
    return valid;
}

} // namespace

// The publisher's key, or the next key once the publisher has rotated to it.
bool verify_manifest_signature(const std::string& manifest, const std::string& signatureFile) {
    const std::vector<uint8_t> signature = base64_decode(signatureFile);
    return verify_with_key(kPublisherKeyScrambled, 0, manifest, signature) ||
           (kHasNextKey && verify_with_key(kNextKeyScrambled, kKeyTextSize, manifest, signature));
}
