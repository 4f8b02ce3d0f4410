#pragma once
// SHA-256 with BCrypt, of a buffer of any size or of bytes fed in pieces.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/transport_handles.h"

std::vector<uint8_t> sha256_raw(const void* data, size_t size); // 32 bytes, or empty
std::string sha256_hex(const void* data, size_t size);          // 64 lower-case hex, or empty

// The hash of bytes that are never in memory whole (a file read piece by piece).
class Sha256Stream {
  public:
    Sha256Stream();
    void add(const void* data, size_t size);
    // The digest, 32 bytes or 64 lower-case hex; empty when BCrypt failed at any point. One
    // of them, once.
    std::vector<uint8_t> finish_raw();
    std::string finish_hex();

  private:
    BcryptAlg alg_;
    BcryptHash hash_;
    bool ok_ = false;
};
