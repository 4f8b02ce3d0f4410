#include "catalogue/file_names.h"

#include <cstdint>

#include "base/relative_path.h"

namespace {

// Runs of code points that Windows upper-cases by adding `delta`; `step` 2 means every other
// one from `first` (the lower halves of alternating upper/lower pairs).
struct CaseRun {
    char32_t first;
    char32_t last;
    int32_t delta;
    uint8_t step;
};

// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic, checked against CompareStringOrdinal
// under Wine. Windows folds only one-to-one pairs: the second lower-case forms of a letter (µ, ı,
// ſ, final ς, the Greek symbol variants ϐ ϑ ϕ ϖ ϰ ϱ ϵ) keep their own names. Everything else is
// compared as it stands.
constexpr CaseRun kCaseRuns[] = {
    {0x0061, 0x007A, -0x20, 1}, {0x00E0, 0x00F6, -0x20, 1}, {0x00F8, 0x00FE, -0x20, 1},
    {0x00FF, 0x00FF, 0x79, 1},  {0x0101, 0x012F, -1, 2},    {0x0133, 0x0137, -1, 2},
    {0x013A, 0x0148, -1, 2},    {0x014B, 0x0177, -1, 2},    {0x017A, 0x017E, -1, 2},
    {0x0371, 0x0373, -1, 2},    {0x0377, 0x0377, -1, 1},    {0x037B, 0x037D, 0x82, 1},
    {0x03AC, 0x03AC, -0x26, 1}, {0x03AD, 0x03AF, -0x25, 1}, {0x03B1, 0x03C1, -0x20, 1},
    {0x03C3, 0x03CB, -0x20, 1}, {0x03CC, 0x03CC, -0x40, 1}, {0x03CD, 0x03CE, -0x3F, 1},
    {0x03D7, 0x03D7, -0x8, 1},  {0x03D9, 0x03EF, -1, 2},    {0x03F2, 0x03F2, 0x7, 1},
    {0x03F3, 0x03F3, -0x74, 1}, {0x03F8, 0x03F8, -1, 1},    {0x03FB, 0x03FB, -1, 1},
    {0x0430, 0x044F, -0x20, 1}, {0x0450, 0x045F, -0x50, 1}, {0x0461, 0x0481, -1, 2},
    {0x048B, 0x04BF, -1, 2},    {0x04C2, 0x04CE, -1, 2},    {0x04CF, 0x04CF, -0xF, 1},
    {0x04D1, 0x04FF, -1, 2},
};

// Every run maps into the two-byte UTF-8 range or ASCII, so a key never grows.
// ordinal_upper stops at the first run beyond the code point.
constexpr bool runs_ascend_and_stay_below_0x800() {
    char32_t next = 0;
    for (const CaseRun& run : kCaseRuns) {
        if (run.first < next || run.last < run.first) return false;
        next = run.last + 1;
        if (run.last >= 0x800 || static_cast<int32_t>(run.first) + run.delta < 0 ||
            static_cast<int32_t>(run.last) + run.delta >= 0x800)
            return false;
    }
    return true;
}
static_assert(runs_ascend_and_stay_below_0x800(),
              "the runs are searched in order, and a key's encoding handles one and two bytes");

// Only ASCII letters upper-case into ASCII, so an upper-cased name spells a device name exactly
// when its ASCII letters do.
constexpr bool only_ascii_folds_into_ascii() {
    for (const CaseRun& run : kCaseRuns)
        if (run.first >= 0x80 && static_cast<int32_t>(run.first) + run.delta < 0x80) return false;
    return true;
}
static_assert(only_ascii_folds_into_ascii(), "device names are matched upper-cased");

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One part upper-cased. Only code points below U+0800 (one or two UTF-8 bytes) can change;
// every other byte, valid or not, is copied.
void append_upper_part(std::string& out, const std::string& part) {
    for (size_t i = 0; i < part.size(); ++i) {
        const auto lead = static_cast<unsigned char>(part[i]);
        if (lead < 0x80) {
            append_utf8(out, ordinal_upper(lead));
        } else if (lead >= 0xC2 && lead < 0xE0 && i + 1 < part.size() &&
                   (static_cast<unsigned char>(part[i + 1]) & 0xC0) == 0x80) {
            append_utf8(out, ordinal_upper(static_cast<char32_t>(((lead & 0x1F) << 6) |
                                                                 (part[i + 1] & 0x3F))));
            ++i;
        } else {
            out += part[i];
        }
    }
}

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9 (also with a superscript digit), upper-cased.
bool is_device_name(const std::string& stem) {
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    if (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0) return false;
    const std::string digit = stem.substr(3);
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\u00b9" ||
           digit == "\u00b2" || digit == "\u00b3";
}

} // namespace

bool is_acceptable_manifest_path(const std::string& path) {
    if (path.empty()) return false;
    if (path.find("..") != std::string::npos) return false;
    if (path[0] == '/' || path[0] == '\\') return false;
    if (path.find(':') != std::string::npos) return false;
    // "\u0000" in the document: Windows would cut the name there, so the file written would not
    // be the file recorded.
    if (path.find('\0') != std::string::npos) return false;
    return true;
}

bool windows_can_hold(const std::string& path) {
    for (const std::string& part : split_relative_path(path)) {
        if (part.back() == '.' || part.back() == ' ') return false;
        // The device name is the part before the first dot, without the blanks before it.
        std::string stem;
        append_upper_part(stem, part.substr(0, part.find('.')));
        while (!stem.empty() && stem.back() == ' ')
            stem.pop_back();
        if (is_device_name(stem)) return false;
    }
    return true;
}

char32_t ordinal_upper(char32_t c) {
    for (const CaseRun& run : kCaseRuns) {
        if (c < run.first) break; // the runs are in ascending order
        if (c <= run.last && (c - run.first) % run.step == 0)
            return static_cast<char32_t>(static_cast<int32_t>(c) + run.delta);
    }
    return c;
}

std::string file_name_key(const std::string& path) {
    std::string key;
    key.reserve(path.size());
    for (const std::string& part : split_relative_path(path)) {
        if (!key.empty()) key += '/';
        append_upper_part(key, part);
    }
    return key;
}
