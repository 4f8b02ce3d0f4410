#include "transport/hash.h"

#include "transport/transport_handles.h"

namespace {

constexpr size_t kDigestSize = 32;

// False when the provider or the hash object cannot be had, or the buffer is too large for
// BCrypt's 32-bit length.
bool sha256_into(const void* data, size_t size, uint8_t (&digest)[kDigestSize]) {
    if (size > 0xFFFFFFFFu) return false;
    BcryptAlg alg;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(alg.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return false;
    BcryptHash hash;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(alg.get(), hash.put(), nullptr, 0, nullptr, 0, 0)))
        return false;
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    return BCRYPT_SUCCESS(BCryptHashData(hash.get(), bytes, static_cast<ULONG>(size), 0)) &&
           BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest, kDigestSize, 0));
}

} // namespace

std::vector<uint8_t> sha256_raw(const void* data, size_t size) {
    uint8_t digest[kDigestSize] = {};
    if (!sha256_into(data, size, digest)) return {};
    return std::vector<uint8_t>(digest, digest + kDigestSize);
}

std::string sha256_hex(const void* data, size_t size) {
    static const char kHexDigits[] = "0123456789abcdef";
    uint8_t digest[kDigestSize] = {};
    if (!sha256_into(data, size, digest)) return {};
    std::string hex;
    hex.reserve(2 * kDigestSize);
    for (uint8_t b : digest) {
        hex.push_back(kHexDigits[b >> 4]);
        hex.push_back(kHexDigits[b & 0x0F]);
    }
    return hex;
}
