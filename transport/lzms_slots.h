#pragma once
// LZMS length and offset slots: each slot is a base value plus a number of verbatim extra bits.
// The tables are generated at compile time from how many consecutive slots share each count of
// extra bits; each base is the previous base plus the previous slot's span.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

constexpr unsigned kLzmsNumLengthSlots = 54;
constexpr unsigned kLzmsMaxOffsetSlots = 799;

struct LzmsSlotRun {
    uint8_t extraBits;
    uint16_t slots;
};

// Runs of (extra bits, number of slots), in slot order.
constexpr LzmsSlotRun kLzmsLengthRuns[] = {
    {0, 26}, {1, 4}, {2, 6}, {3, 4},  {4, 5},  {5, 2},  {6, 1},
    {7, 1},  {8, 1}, {9, 1}, {10, 1}, {16, 1}, {30, 1},
};
constexpr LzmsSlotRun kLzmsOffsetRuns[] = {
    {0, 8},   {2, 9},   {3, 7},   {4, 10},  {5, 15},   {6, 15},  {7, 20},
    {8, 20},  {9, 30},  {10, 33}, {11, 40}, {12, 42},  {13, 45}, {14, 60},
    {15, 73}, {16, 80}, {17, 85}, {18, 95}, {19, 105}, {20, 6},  {30, 1},
};

template <size_t N> struct LzmsSlotTable {
    std::array<uint32_t, N + 1> base{}; // base[N] is one past the largest value
    std::array<uint8_t, N> extra{};
};

template <size_t N, size_t R>
constexpr LzmsSlotTable<N> lzms_make_slots(const LzmsSlotRun (&runs)[R]) {
    LzmsSlotTable<N> t;
    size_t slot = 0;
    uint64_t base = 1;
    for (const LzmsSlotRun& r : runs) {
        for (unsigned k = 0; k < r.slots; ++k) {
            t.base[slot] = static_cast<uint32_t>(base);
            t.extra[slot] = r.extraBits;
            base += uint64_t{1} << r.extraBits;
            ++slot;
        }
    }
    t.base[slot] = static_cast<uint32_t>(base);
    return t;
}

template <size_t R> constexpr unsigned lzms_max_extra_bits(const LzmsSlotRun (&runs)[R]) {
    unsigned most = 0;
    for (const LzmsSlotRun& r : runs)
        most = r.extraBits > most ? r.extraBits : most;
    return most;
}
// The most extra bits any length or offset slot has.
constexpr unsigned kLzmsMaxExtraBits =
    std::max(lzms_max_extra_bits(kLzmsLengthRuns), lzms_max_extra_bits(kLzmsOffsetRuns));

inline constexpr auto kLzmsLengthSlots = lzms_make_slots<kLzmsNumLengthSlots>(kLzmsLengthRuns);
inline constexpr auto kLzmsOffsetSlots = lzms_make_slots<kLzmsMaxOffsetSlots>(kLzmsOffsetRuns);

static_assert(kLzmsLengthSlots.base[kLzmsNumLengthSlots] == 1073809579u, "length slots");
static_assert(kLzmsOffsetSlots.base[kLzmsMaxOffsetSlots] == 1180427429u, "offset slots");

// How many offset slots a chunk of `size` bytes uses: enough to reach back to its first byte.
constexpr unsigned lzms_num_offset_slots(size_t size) {
    if (size < 2) return 0;
    const uint64_t farthest = size - 1;
    unsigned slot = 0;
    while (slot + 1 < kLzmsMaxOffsetSlots && kLzmsOffsetSlots.base[slot + 1] <= farthest)
        ++slot;
    return slot + 1;
}
