// The manifest's "sequence" and "expires", and the rules that refuse a replayed or frozen
// manifest against the installed record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "catalogue/freshness.h"
#include "catalogue/install_record.h"
#include "catalogue/manifest.h"
#include "catalogue/utc_time.h"

namespace fs = std::filesystem;

namespace {

TEST(ManifestFreshnessKeys, SequenceAndExpiresAreReadStrictlyAndAbsentMeansZeroAndNever) {
    const struct {
        std::string keys; // root members put before the others
        bool accepted;
        uint64_t sequence;
        std::optional<int64_t> expires;
    } cases[] = {
        {"", true, 0, std::nullopt},
        {"\"sequence\":18446744073709551615,", true, 18446744073709551615ull, std::nullopt},
        {"\"sequence\":18446744073709551616,", false, 0, {}},
        {"\"sequence\":-1,", false, 0, {}},
        {"\"sequence\":\"7\",", false, 0, {}},
        {"\"expires\":\"1970-01-01T00:00:00Z\",", true, 0, 0},
        {"\"expires\":\"1969-12-31T23:59:59Z\",", true, 0, -1},
        {"\"expires\":\"2028-02-29T23:59:59Z\",", true, 0, 1835481599},
        {"\"expires\":\"9999-12-31T23:59:59Z\",", true, 0, 253402300799},
        {"\"expires\":\"2027-02-29T00:00:00Z\",", false, 0, {}}, // not a leap year
        {"\"expires\":\"2100-02-29T00:00:00Z\",", false, 0, {}}, // a century
        {"\"expires\":\"2026-04-31T00:00:00Z\",", false, 0, {}},
        {"\"expires\":\"2026-01-01T24:00:00Z\",", false, 0, {}},
        {"\"expires\":\"2026-01-01T00:00:60Z\",", false, 0, {}},
        {"\"expires\":\"2026-01-01t00:00:00Z\",", false, 0, {}},
        {"\"expires\":\"2026-01-01T00:00:00+00:00\",", false, 0, {}},
        {"\"expires\":1796785445,", false, 0, {}},
        {"\"expires\":null,", false, 0, {}},
    };
    for (const auto& c : cases) {
        Manifest m;
        m.sequence = 9; // left from an earlier parse into the same record
        m.expires = 9;
        const std::string text = "{" + c.keys +
                                 R"("app":"plannix","version":"5","files":[{"path":"a","size":1,)"
                                 R"("sha256":"","csize":1,"csha256":""}]})";
        ASSERT_EQ(parse_manifest(text, m), c.accepted) << c.keys;
        if (!c.accepted) continue;
        EXPECT_EQ(m.sequence, c.sequence) << c.keys;
        EXPECT_EQ(m.expires, c.expires) << c.keys;
        if (c.expires) EXPECT_EQ(c.keys.substr(11, 20), format_utc_time(*c.expires));
    }
}

TEST(ManifestFreshness, AManifestOlderThanTheRecordOrPastItsExpiryIsRefused) {
    const fs::path dir = fs::temp_directory_path() / ("plannix-fresh-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string own = R"("offered": ["core", "nvidia", "amd", "intel", "vr"],
                               "components": ["core"], "files": {})";
    const int64_t now = 1800000000;
    const struct {
        std::string record; // install.json; empty for none
        uint64_t sequence;  // of the manifest on offer
        std::optional<int64_t> expires;
        Freshness expected;
    } cases[] = {
        {"", 0, std::nullopt, Freshness::Current},
        {"{OWN, \"sequence\": 5}", 6, std::nullopt, Freshness::Current},
        {"{OWN, \"sequence\": 5}", 5, std::nullopt, Freshness::Current}, // a repair
        {"{OWN, \"sequence\": 5}", 3, std::nullopt, Freshness::Older},
        {"{OWN, \"sequence\": 5}", 0, std::nullopt, Freshness::Older}, // no "sequence"
        {"{OWN}", 0, std::nullopt, Freshness::Current}, // a record from before sequences
        {"{OWN, \"sequence\": \"9\"}", 0, std::nullopt, Freshness::Current},
        {"{\"files\": {}, \"sequence\": 9}", 0, std::nullopt, Freshness::Current}, // not ours
        {"{OWN, \"sequence\": 5}", 6, now, Freshness::Current},
        {"{OWN, \"sequence\": 5}", 6, now - 1, Freshness::Expired},
    };
    for (auto c : cases) {
        std::error_code ec;
        fs::remove(dir / "install.json", ec);
        if (const size_t at = c.record.find("OWN"); at != std::string::npos)
            c.record.replace(at, 3, own);
        if (!c.record.empty()) std::ofstream(dir / "install.json") << c.record;
        Manifest m;
        m.sequence = c.sequence;
        m.expires = c.expires;
        const std::string d = dir.string();
        EXPECT_EQ(
            manifest_freshness(m, read_installed_sequence(std::wstring(d.begin(), d.end())), now),
            c.expected)
            << c.record << " / sequence " << c.sequence;
    }
    fs::remove_all(dir);
}

} // namespace
