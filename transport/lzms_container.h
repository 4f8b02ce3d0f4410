#pragma once
// Our own reader of the buffer-mode container (portable, no dependency).
#include <cstddef>
#include <cstdint>

constexpr uint64_t kLzmsContainerHeaderSize = 24;

// Decodes the whole blob into `out`, which holds exactly `size` bytes (the size the signed
// manifest gives). False on any inconsistency; never reads or writes outside the buffers.
bool lzms_container_decode(const uint8_t* blob, size_t blobSize, uint8_t* out, uint64_t size);

// The header's check byte: the low 8 bits of the CRC-32 of its other 23 bytes (0-5 and 7-23).
uint8_t lzms_container_check_byte(const uint8_t* header);
