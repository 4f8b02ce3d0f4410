#pragma once
// LZMS's x86 translation: encoders turn the relative addresses of likely x86 instructions
// (call, RIP-relative lea/mov, indirect call, lock add) into absolute ones, relative to the chunk
// start; the decoder turns them back after the chunk is decoded.
#include <cstddef>
#include <cstdint>

constexpr size_t kLzmsX86TargetSlots = 65536;

// Undoes the translation over one whole decoded chunk (at most 1 GiB). `lastUse` is scratch
// space of kLzmsX86TargetSlots entries.
void lzms_x86_undo(uint8_t* data, size_t size, int32_t* lastUse);
