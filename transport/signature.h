#pragma once
// ECDSA P-256 over SHA-256, checked with BCrypt against the built-in publisher key.
#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> base64_decode(const std::string& text);
bool ecdsa_p256_verify(const std::vector<uint8_t>& key, const std::string& message,
                       const std::vector<uint8_t>& signature);
bool verify_manifest_signature(const std::string& manifest, const std::string& signatureFile);
