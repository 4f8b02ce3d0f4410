#pragma once
// The publisher's side of the release signature: P-256 keys, ECDSA over SHA-256 in the raw
// 64-byte r||s form that Setup verifies, SHA-256 hex digests and strict base64.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "catalogue/manifest.h"

struct PkeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

constexpr size_t kRawPublicKeySize = 64; // X || Y
constexpr size_t kRawSignatureSize = 64; // r || s

// 64 lower-case hex characters.
std::string sha256_hex_of(const void* data, size_t size);
// is_lower_hex_digest, the check of such a digest, is the manifest's (catalogue/manifest.h).

std::string base64_encode(const std::vector<uint8_t>& bytes);
// Plain base64 only (standard alphabet, "=" padding, no whitespace); false otherwise.
bool base64_decode_strict(const std::string& text, std::vector<uint8_t>& out);

// A fresh P-256 key pair.
PkeyPtr generate_p256_key();
// PKCS#8 PEM text of the private key; empty on failure.
std::string private_key_pem(EVP_PKEY* key);
// The private key from a PEM file, only when it is a P-256 key; null otherwise, with `error` set.
PkeyPtr load_p256_private_key(const std::string& pemPath, std::string& error);
// X || Y of the key's public point; empty on failure.
std::vector<uint8_t> raw_public_key(EVP_PKEY* key);
// A public key from X || Y; null when the bytes are not a point of the curve.
PkeyPtr public_key_from_raw(const std::vector<uint8_t>& raw);

// ECDSA P-256 / SHA-256 over `message`, as r || s; empty on failure.
std::vector<uint8_t> sign_raw(EVP_PKEY* key, const std::string& message);
bool verify_raw(EVP_PKEY* key, const std::string& message, const std::vector<uint8_t>& signature);
