#include "transport/hash.h"

namespace {

constexpr size_t kDigestSize = 32;
// BCryptHashData takes a 32-bit length; 1 GiB pieces keep every call well inside it.
constexpr size_t kMaxPiece = size_t{1} << 30;
static_assert(kMaxPiece <= 0xFFFFFFFFu);

std::string hex_of(const std::vector<uint8_t>& digest) {
    static const char kHexDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digest.size());
    for (uint8_t b : digest) {
        hex.push_back(kHexDigits[b >> 4]);
        hex.push_back(kHexDigits[b & 0x0F]);
    }
    return hex;
}

} // namespace

Sha256Stream::Sha256Stream() {
    ok_ = BCRYPT_SUCCESS(
              BCryptOpenAlgorithmProvider(alg_.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
          BCRYPT_SUCCESS(BCryptCreateHash(alg_.get(), hash_.put(), nullptr, 0, nullptr, 0, 0));
}

void Sha256Stream::add(const void* data, size_t size) {
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (ok_ && size > 0) {
        const size_t piece = size < kMaxPiece ? size : kMaxPiece;
        ok_ = BCRYPT_SUCCESS(BCryptHashData(hash_.get(), bytes, static_cast<ULONG>(piece), 0));
        bytes += piece;
        size -= piece;
    }
}

std::vector<uint8_t> Sha256Stream::finish_raw() {
    std::vector<uint8_t> digest(kDigestSize);
    ok_ = ok_ && BCRYPT_SUCCESS(BCryptFinishHash(hash_.get(), digest.data(), kDigestSize, 0));
    if (!ok_) digest.clear();
    return digest;
}

std::string Sha256Stream::finish_hex() {
    const std::vector<uint8_t> digest = finish_raw();
    return digest.empty() ? std::string() : hex_of(digest);
}

std::vector<uint8_t> sha256_raw(const void* data, size_t size) {
    Sha256Stream hash;
    hash.add(data, size);
    return hash.finish_raw();
}

std::string sha256_hex(const void* data, size_t size) {
    Sha256Stream hash;
    hash.add(data, size);
    return hash.finish_hex();
}
