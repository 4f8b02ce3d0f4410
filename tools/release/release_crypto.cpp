#include "tools/release/release_crypto.h"

#include <cstring>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>

namespace {

// Owners for the OpenSSL objects used here; each frees on every path.
struct BioDeleter {
    void operator()(BIO* p) const { BIO_free(p); }
};
struct BnDeleter {
    void operator()(BIGNUM* p) const { BN_free(p); }
};
struct SigDeleter {
    void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
};
struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
struct PkeyCtxDeleter {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct ParamBldDeleter {
    void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); }
};
struct ParamDeleter {
    void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
};
using BioPtr = std::unique_ptr<BIO, BioDeleter>;
using BnPtr = std::unique_ptr<BIGNUM, BnDeleter>;
using SigPtr = std::unique_ptr<ECDSA_SIG, SigDeleter>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxDeleter>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter>;
using ParamBldPtr = std::unique_ptr<OSSL_PARAM_BLD, ParamBldDeleter>;
using ParamPtr = std::unique_ptr<OSSL_PARAM, ParamDeleter>;

constexpr char kCurveName[] = "prime256v1";
constexpr size_t kCoordinateSize = 32;
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool is_p256(EVP_PKEY* key) {
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) return false;
    char group[64] = {};
    size_t length = 0;
    if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                       &length) != 1)
        return false;
    return std::strcmp(group, kCurveName) == 0;
}

bool coordinate(EVP_PKEY* key, const char* name, uint8_t* out) {
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &raw) != 1) return false;
    BnPtr value(raw);
    return BN_bn2binpad(value.get(), out, kCoordinateSize) == static_cast<int>(kCoordinateSize);
}

int base64_value(char c) {
    const char* at = std::strchr(kBase64Alphabet, c);
    return c != '\0' && at != nullptr ? static_cast<int>(at - kBase64Alphabet) : -1;
}

} // namespace

std::string sha256_hex_of(const void* data, size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) != 1 || length != 32)
        return std::string();
    static const char kHex[] = "0123456789abcdef";
    std::string hex(64, '0');
    for (unsigned i = 0; i < 32; ++i) {
        hex[2 * i] = kHex[digest[i] >> 4];
        hex[2 * i + 1] = kHex[digest[i] & 15];
    }
    return hex;
}

std::string base64_encode(const std::vector<uint8_t>& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(),
                                  static_cast<int>(bytes.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

bool base64_decode_strict(const std::string& text, std::vector<uint8_t>& out) {
    out.clear();
    if (text.size() % 4 != 0) return false;
    size_t padding = 0;
    if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    uint32_t bits = 0;
    for (size_t i = 0; i < text.size() - padding; ++i) {
        const int v = base64_value(text[i]);
        if (v < 0) return false; // includes a "=" before the end
        bits = (bits << 6) | static_cast<uint32_t>(v);
        if (i % 4 == 3) {
            out.push_back(static_cast<uint8_t>(bits >> 16));
            out.push_back(static_cast<uint8_t>(bits >> 8));
            out.push_back(static_cast<uint8_t>(bits));
            bits = 0;
        }
    }
    if (padding == 2) {
        out.push_back(static_cast<uint8_t>(bits >> 4));
        if ((bits & 0xF) != 0) return false;
    } else if (padding == 1) {
        out.push_back(static_cast<uint8_t>(bits >> 10));
        out.push_back(static_cast<uint8_t>(bits >> 2));
        if ((bits & 0x3) != 0) return false;
    }
    return true;
}

PkeyPtr generate_p256_key() {
    return PkeyPtr(EVP_EC_gen(kCurveName));
}

std::string private_key_pem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio ||
        PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return std::string();
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

PkeyPtr load_p256_private_key(const std::string& pemPath, std::string& error) {
    BioPtr bio(BIO_new_file(pemPath.c_str(), "r"));
    if (!bio) {
        error = "cannot open " + pemPath;
        return nullptr;
    }
    PkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key) {
        error = pemPath + " holds no readable PEM private key";
        return nullptr;
    }
    if (!is_p256(key.get())) {
        error = pemPath + " is not a P-256 (prime256v1) EC key";
        return nullptr;
    }
    return key;
}

std::vector<uint8_t> raw_public_key(EVP_PKEY* key) {
    std::vector<uint8_t> raw(kRawPublicKeySize);
    if (!is_p256(key) || !coordinate(key, OSSL_PKEY_PARAM_EC_PUB_X, raw.data()) ||
        !coordinate(key, OSSL_PKEY_PARAM_EC_PUB_Y, raw.data() + kCoordinateSize))
        return {};
    return raw;
}

PkeyPtr public_key_from_raw(const std::vector<uint8_t>& raw) {
    if (raw.size() != kRawPublicKeySize) return nullptr;
    std::vector<uint8_t> point(1 + kRawPublicKeySize);
    point[0] = POINT_CONVERSION_UNCOMPRESSED;
    std::memcpy(point.data() + 1, raw.data(), raw.size());

    ParamBldPtr build(OSSL_PARAM_BLD_new());
    if (!build ||
        OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, kCurveName, 0) !=
            1 ||
        OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(),
                                         point.size()) != 1)
        return nullptr;
    ParamPtr params(OSSL_PARAM_BLD_to_param(build.get()));
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1) return nullptr;
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) return nullptr;
    return PkeyPtr(key);
}

std::vector<uint8_t> sign_raw(EVP_PKEY* key, const std::string& message) {
    MdCtxPtr ctx(EVP_MD_CTX_new());
    size_t derSize = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &derSize,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1)
        return {};
    std::vector<uint8_t> der(derSize);
    if (EVP_DigestSign(ctx.get(), der.data(), &derSize,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1)
        return {};
    // OpenSSL writes DER; Setup verifies the fixed-width r || s form.
    const unsigned char* p = der.data();
    SigPtr sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(derSize)));
    if (!sig) return {};
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    ECDSA_SIG_get0(sig.get(), &r, &s);
    std::vector<uint8_t> raw(kRawSignatureSize);
    if (BN_bn2binpad(r, raw.data(), kCoordinateSize) != static_cast<int>(kCoordinateSize) ||
        BN_bn2binpad(s, raw.data() + kCoordinateSize, kCoordinateSize) !=
            static_cast<int>(kCoordinateSize))
        return {};
    return raw;
}

bool verify_raw(EVP_PKEY* key, const std::string& message, const std::vector<uint8_t>& signature) {
    if (signature.size() != kRawSignatureSize) return false;
    SigPtr sig(ECDSA_SIG_new());
    BnPtr r(BN_bin2bn(signature.data(), kCoordinateSize, nullptr));
    BnPtr s(BN_bin2bn(signature.data() + kCoordinateSize, kCoordinateSize, nullptr));
    if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) return false;
    r.release(); // owned by sig from here on
    s.release();
    unsigned char* der = nullptr;
    const int derSize = i2d_ECDSA_SIG(sig.get(), &der);
    if (derSize <= 0) return false;
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> derOwner(
        der, [](unsigned char* p) { OPENSSL_free(p); });

    MdCtxPtr ctx(EVP_MD_CTX_new());
    return ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key) == 1 &&
           EVP_DigestVerify(ctx.get(), der, static_cast<size_t>(derSize),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}
