#pragma once
// LZMS adaptive Huffman codes: symbol frequencies are counted as symbols are decoded, and the
// canonical code is rebuilt from them every `interval` symbols, after which they are halved.
#include <cstdint>

#include "transport/lzms_slots.h"

constexpr unsigned kLzmsMaxCodeLen = 15;
constexpr unsigned kLzmsMaxSyms = kLzmsMaxOffsetSlots;
constexpr unsigned kLzmsMaxTableBits = 12;
// What a failed decode returns: a codeword that belongs to no symbol (only possible in the
// degenerate codes of chunks under 3 bytes).
constexpr unsigned kLzmsBadSymbol = 0xFFFF;

// A root table entry packs a symbol above a 4-bit codeword length into 16 bits.
static_assert(kLzmsMaxCodeLen < 16 && kLzmsMaxSyms <= (1u << 12), "table entries fit 16 bits");
static_assert(kLzmsMaxTableBits <= kLzmsMaxCodeLen, "a root table indexes whole codewords");
static_assert(kLzmsBadSymbol >= kLzmsMaxSyms, "the failure is no symbol");

struct LzmsCode {
    // Root lookup by the next `tableBits` bits: (symbol << 4) | length, or 0 where the codeword
    // is longer than tableBits (then `limit`, `start` and `first` resolve it).
    uint16_t table[1u << kLzmsMaxTableBits];
    // Symbols in canonical order: by codeword length, then by symbol value.
    uint16_t canonical[kLzmsMaxSyms];
    uint32_t freqs[kLzmsMaxSyms];
    // For each length L, over 15-bit left-justified codewords: codewords of length L lie in
    // [start[L], limit[L]); first[L] is the index in `canonical` of the first of them.
    uint32_t limit[kLzmsMaxCodeLen + 1];
    uint32_t start[kLzmsMaxCodeLen + 1];
    uint32_t first[kLzmsMaxCodeLen + 1];
    unsigned numSyms;
    unsigned tableBits;
    unsigned interval;
    unsigned untilRebuild;
};

// Frequencies all 1, code built, countdown started.
void lzms_code_init(LzmsCode& code, unsigned numSyms, unsigned tableBits, unsigned interval);

// Builds the code from the current frequencies, then halves them and restarts the countdown.
void lzms_code_rebuild(LzmsCode& code);

// Resolves a codeword longer than tableBits; `bits15` holds the next 15 bits, left-justified.
// Returns (symbol << 4) | length, or 0 when no codeword matches.
unsigned lzms_code_slow_lookup(const LzmsCode& code, uint32_t bits15);
