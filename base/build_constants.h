#pragma once
// Values baked into one generated object at build time: a test build differs from a release
// build only by that object.
#include <cstdint>

extern const wchar_t kServerHost[];   // the publisher's web site
extern const uint16_t kServerPort;    // 443 in a release build
extern const wchar_t kUrlInfoAbout[]; // "URLInfoAbout" of the uninstall entry

// The publisher's public key as 88 characters of base64, stored scrambled: character i is
// kPublisherKeyScrambled[i] ^ low byte of key_scramble_hash(i).
extern const uint8_t kPublisherKeyScrambled[88];
// The publisher's next key, for a rotation, stored the same way at indexes 88 to 175 of the
// hash: character i is kNextKeyScrambled[i] ^ low byte of key_scramble_hash(88 + i). Used only
// when kHasNextKey.
extern const bool kHasNextKey;
extern const uint8_t kNextKeyScrambled[88];
extern const uint32_t kKeyScrambleMul;  // odd
extern const uint32_t kKeyScrambleMix1; // odd
extern const uint32_t kKeyScrambleMix2; // odd

inline uint32_t key_scramble_hash(uint32_t i) {
    uint32_t h = i * kKeyScrambleMul;
    h ^= h >> 16;
    h *= kKeyScrambleMix1;
    h ^= h >> 15;
    h *= kKeyScrambleMix2;
    h ^= h >> 16;
    return h;
}
