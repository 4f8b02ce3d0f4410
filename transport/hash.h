#pragma once
// SHA-256 with BCrypt.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> sha256_raw(const void* data, size_t size); // 32 bytes, or empty
std::string sha256_hex(const void* data, size_t size);          // 64 lower-case hex, or empty
