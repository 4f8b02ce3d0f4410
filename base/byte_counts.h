#pragma once
// Byte counts summed from a manifest: signed, yet nothing stops its sizes from adding up past 64
// bits, and a sum that wrapped would shrink a total or a budget. It stops at the largest count.
#include <cstdint>

constexpr uint64_t saturating_add(uint64_t a, uint64_t b) {
    return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}
