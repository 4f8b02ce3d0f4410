// Patch maker: the old content's suffix array finds, for each place in the new content, a long
// match in the old; a match is extended both ways while at least half of its bytes agree, so the
// copied spans may differ in a few bytes (an address moved by a rebuild) and the differences,
// mostly zeros, compress to almost nothing.
#include "tools/release/patch_maker.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include <divsufsort.h>

#include "transport/patch.h"

namespace {

// A match is taken once it beats the current alignment by this many agreeing bytes: below it,
// a new entry costs more control bytes than the bytes it saves.
constexpr int64_t kMatchGain = 8;

// Long enough that splitting a longer match costs nothing measurable (the alignment simply
// continues), short enough to keep a long run of equal bytes linear.
constexpr int64_t kMaxMatch = 4096;

struct Streams {
    std::string control;
    std::string data;
};

void put_varint(std::string& s, uint64_t v) {
    while (v >= 0x80) {
        s.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    s.push_back(static_cast<char>(v));
}

void put_le64(std::string& s, uint64_t v) {
    for (unsigned k = 0; k < 8; ++k)
        s.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}

int64_t common_prefix(const uint8_t* a, int64_t an, const uint8_t* b, int64_t bn) {
    const int64_t n = std::min(an, bn);
    int64_t i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

class Matcher {
  public:
    Matcher(const uint8_t* old, int64_t oldSize) : old_(old), oldSize_(oldSize) {
        sa_.resize(static_cast<size_t>(oldSize));
        if (oldSize > 0 && divsufsort(old, sa_.data(), static_cast<saidx_t>(oldSize)) != 0)
            throw std::runtime_error("libdivsufsort cannot sort the old content");
    }

    // The length of the longest prefix of `target` found in the old content, and where.
    int64_t longest(const uint8_t* target, int64_t targetSize, int64_t& pos) const {
        // Matches are measured up to kMaxMatch bytes: a longer one is taken in steps, and a
        // long match the current alignment nearly covers (which the scan passes byte by byte)
        // costs each step kMaxMatch bytes of comparison, not the rest of the file.
        targetSize = std::min(targetSize, kMaxMatch);
        pos = 0;
        if (oldSize_ == 0) return 0;
        int64_t lo = 0, hi = oldSize_ - 1;
        while (hi - lo > 1) {
            const int64_t mid = lo + (hi - lo) / 2;
            const int64_t at = sa_[static_cast<size_t>(mid)];
            const int64_t n = std::min(oldSize_ - at, targetSize);
            const int order = std::memcmp(old_ + at, target, static_cast<size_t>(n));
            // A suffix that is a proper prefix of the target sorts before it.
            if (order < 0 || (order == 0 && oldSize_ - at < targetSize))
                lo = mid;
            else
                hi = mid;
        }
        int64_t best = -1;
        for (const int64_t k : {lo, hi}) {
            const int64_t at = sa_[static_cast<size_t>(k)];
            const int64_t n = common_prefix(old_ + at, oldSize_ - at, target, targetSize);
            if (n > best) {
                best = n;
                pos = at;
            }
        }
        return best;
    }

  private:
    const uint8_t* old_;
    int64_t oldSize_;
    std::vector<saidx_t> sa_;
};

void emit(Streams& s, const uint8_t* old, const uint8_t* neu, int64_t newAt, int64_t oldAt,
          int64_t copy, int64_t insert, int64_t seek) {
    put_varint(s.control, static_cast<uint64_t>(copy));
    put_varint(s.control, static_cast<uint64_t>(insert));
    put_varint(s.control, static_cast<uint64_t>(seek)); // two's complement, as the applier reads
    for (int64_t i = 0; i < copy; ++i)
        s.data.push_back(static_cast<char>(neu[newAt + i] - old[oldAt + i]));
    s.data.append(reinterpret_cast<const char*>(neu + newAt + copy), static_cast<size_t>(insert));
}

Streams diff(const uint8_t* old, int64_t oldSize, const uint8_t* neu, int64_t newSize) {
    const Matcher matcher(old, oldSize);
    Streams s;
    s.data.reserve(static_cast<size_t>(newSize));
    const auto agrees = [&](int64_t newAt, int64_t oldAt) {
        return oldAt >= 0 && oldAt < oldSize && old[oldAt] == neu[newAt];
    };
    int64_t scan = 0, len = 0, pos = 0;
    int64_t lastScan = 0, lastPos = 0, lastOffset = 0;
    while (scan < newSize) {
        // Look for a match that beats continuing the last alignment (old = new + lastOffset).
        int64_t oldScore = 0;
        int64_t scored = scan += len;
        for (; scan < newSize; ++scan) {
            len = matcher.longest(neu + scan, newSize - scan, pos);
            for (; scored < scan + len; ++scored)
                if (agrees(scored, scored + lastOffset)) ++oldScore;
            if ((len == oldScore && len != 0) || len > oldScore + kMatchGain) break;
            if (agrees(scan, scan + lastOffset)) --oldScore;
        }
        if (len == oldScore && scan != newSize) continue;

        // Extend the last alignment forwards and the new match backwards, each as far as more
        // than half of the bytes agree.
        int64_t lenF = 0;
        for (int64_t i = 0, same = 0, best = 0; lastScan + i < scan && lastPos + i < oldSize;) {
            if (old[lastPos + i] == neu[lastScan + i]) ++same;
            ++i;
            if (same * 2 - i > best * 2 - lenF) {
                best = same;
                lenF = i;
            }
        }
        int64_t lenB = 0;
        if (scan < newSize) {
            for (int64_t i = 1, same = 0, best = 0; scan >= lastScan + i && pos >= i; ++i) {
                if (old[pos - i] == neu[scan - i]) ++same;
                if (same * 2 - i > best * 2 - lenB) {
                    best = same;
                    lenB = i;
                }
            }
        }
        // Where the two extensions overlap, split them where the bytes agree best.
        if (lastScan + lenF > scan - lenB) {
            const int64_t overlap = lastScan + lenF - (scan - lenB);
            int64_t same = 0, best = 0, keep = 0;
            for (int64_t i = 0; i < overlap; ++i) {
                if (neu[lastScan + lenF - overlap + i] == old[lastPos + lenF - overlap + i]) ++same;
                if (neu[scan - lenB + i] == old[pos - lenB + i]) --same;
                if (same > best) {
                    best = same;
                    keep = i + 1;
                }
            }
            lenF += keep - overlap;
            lenB -= keep;
        }
        emit(s, old, neu, lastScan, lastPos, lenF, scan - lenB - (lastScan + lenF),
             pos - lenB - (lastPos + lenF));
        lastScan = scan - lenB;
        lastPos = pos - lenB;
        lastOffset = pos - scan;
    }
    return s;
}

} // namespace

std::string make_patch(const uint8_t* old, size_t oldSize, const uint8_t* neu, size_t newSize,
                       int level) {
    // The suffix array indexes the old content with 32-bit signed positions.
    if (oldSize > static_cast<size_t>(std::numeric_limits<saidx_t>::max())) return std::string();
    if (newSize > static_cast<size_t>(std::numeric_limits<int64_t>::max())) return std::string();
    const Streams s = diff(old, static_cast<int64_t>(oldSize), neu, static_cast<int64_t>(newSize));
    if (s.control.size() > newSize / kMaxPatchControlShare + kPatchControlSlack)
        return std::string();
    const std::string control = lzms_compress_blob(
        reinterpret_cast<const uint8_t*>(s.control.data()), s.control.size(), level);
    const std::string data =
        lzms_compress_blob(reinterpret_cast<const uint8_t*>(s.data.data()), s.data.size(), level);
    std::string patch(kPatchMagic, sizeof kPatchMagic);
    put_le64(patch, oldSize);
    put_le64(patch, newSize);
    put_le64(patch, s.control.size());
    put_le64(patch, control.size());
    patch += control;
    patch += data;
    return patch;
}
