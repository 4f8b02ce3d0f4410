#pragma once
// Our own raw LZMS decoder (portable, no dependency): one chunk into a buffer of exact size.
#include <cstddef>
#include <cstdint>

// True only when `in` decodes to exactly `outSize` bytes.
bool lzms_decode_chunk(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize);
