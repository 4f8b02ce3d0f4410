// The manifest's "sequence" and "expires", and the rules that refuse a replayed or frozen
// manifest against the installed record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdlib.h>

#include <nlohmann/json.hpp>

#include "catalogue/freshness.h"
#include "catalogue/install_record.h"
#include "catalogue/manifest.h"
#include "catalogue/utc_time.h"

namespace fs = std::filesystem;

namespace {

// A valid manifest with the given root keys set, or removed where the value is null.
std::string manifest_with(const nlohmann::json& keys) {
    nlohmann::json doc = {{"app", "plannix"},
                          {"version", "5.0"},
                          {"files",
                           {{{"path", "plannix.exe"},
                             {"size", 1},
                             {"sha256", std::string(64, 'a')},
                             {"csize", 1},
                             {"csha256", std::string(64, 'b')}}}}};
    for (const auto& item : keys.items()) {
        if (item.value().is_null())
            doc.erase(item.key());
        else
            doc[item.key()] = item.value();
    }
    return doc.dump();
}

TEST(ManifestFreshnessKeys, AbsentKeysMeanSequenceZeroAndNoExpiry) {
    Manifest m;
    m.sequence = 9; // left from an earlier parse into the same record
    m.expires = 1;
    ASSERT_TRUE(parse_manifest(manifest_with({}), m));
    EXPECT_EQ(m.sequence, 0u);
    EXPECT_FALSE(m.expires.has_value());
}

TEST(ManifestFreshnessKeys, SequenceIsAnUnsignedSixtyFourBitIntegerOrTheManifestIsRejected) {
    const struct {
        const char* text; // the JSON text of "sequence"
        bool accepted;
        uint64_t value;
    } cases[] = {
        {"0", true, 0},
        {"7", true, 7},
        {"18446744073709551615", true, 18446744073709551615ull},
        {"18446744073709551616", false, 0},
        {"1e3", false, 0},
        {"7.0", false, 0},
        {"-1", false, 0},
        {"\"7\"", false, 0},
        {"null", false, 0},
        {"true", false, 0},
    };
    for (const auto& c : cases) {
        std::string text = manifest_with({});
        text.insert(1, std::string("\"sequence\":") + c.text + ",");
        Manifest m;
        EXPECT_EQ(parse_manifest(text, m), c.accepted) << c.text;
        if (c.accepted) EXPECT_EQ(m.sequence, c.value) << c.text;
    }
}

TEST(ManifestFreshnessKeys, ExpiresIsExactlyOneRealUtcMomentOrTheManifestIsRejected) {
    const struct {
        nlohmann::json value;
        bool accepted;
        int64_t seconds;
    } cases[] = {
        {"1970-01-01T00:00:00Z", true, 0},
        {"2026-12-09T03:04:05Z", true, 1796785445},
        {"2028-02-29T23:59:59Z", true, 1835481599},
        {"2000-02-29T00:00:00Z", true, 951782400},
        {"1969-12-31T23:59:59Z", true, -1},
        {"9999-12-31T23:59:59Z", true, 253402300799},
        {"2027-02-29T00:00:00Z", false, 0}, // not a leap year
        {"2100-02-29T00:00:00Z", false, 0}, // a century, not a leap year
        {"2026-04-31T00:00:00Z", false, 0},
        {"2026-13-01T00:00:00Z", false, 0},
        {"2026-00-10T00:00:00Z", false, 0},
        {"2026-01-00T00:00:00Z", false, 0},
        {"2026-01-01T24:00:00Z", false, 0},
        {"2026-01-01T00:60:00Z", false, 0},
        {"2026-01-01T00:00:60Z", false, 0},
        {"2026-01-01t00:00:00Z", false, 0},
        {"2026-01-01T00:00:00z", false, 0},
        {"2026-01-01T00:00:00", false, 0},
        {"2026-01-01T00:00:00+00:00", false, 0},
        {"2026-01-01T00:00:00.5Z", false, 0},
        {"2026-01-01 00:00:00Z", false, 0},
        {"2026-1-01T00:00:00Z", false, 0},
        {"+026-01-01T00:00:00Z", false, 0},
        {"2026-01-01", false, 0},
        {"", false, 0},
        {1796785445, false, 0},
        {nlohmann::json::object(), false, 0},
    };
    for (const auto& c : cases) {
        Manifest m;
        const std::string text = manifest_with({{"expires", c.value}});
        ASSERT_EQ(parse_manifest(text, m), c.accepted) << c.value;
        if (!c.accepted) continue;
        ASSERT_TRUE(m.expires.has_value()) << c.value;
        EXPECT_EQ(*m.expires, c.seconds) << c.value;
        EXPECT_EQ(format_utc_time(c.seconds), c.value.get<std::string>());
    }
    // "null" is present, so not absent: rejected too.
    std::string text = manifest_with({});
    text.insert(1, "\"expires\":null,");
    Manifest m;
    EXPECT_FALSE(parse_manifest(text, m));
}

class InstalledSequence : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "plannix-fresh-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        wdir.assign(pattern.begin(), pattern.end());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
    std::wstring wdir;
};

TEST_F(InstalledSequence, AManifestOlderThanTheRecordOrPastItsExpiryIsRefused) {
    const std::string own = R"("offered": ["core", "nvidia", "amd", "intel", "vr"],
                               "components": ["core"], "files": {})";
    const int64_t now = 1800000000;
    const struct {
        const char* record; // install.json, or null for none
        uint64_t sequence;  // of the manifest on offer
        std::optional<int64_t> expires;
        Freshness expected;
    } cases[] = {
        {nullptr, 0, std::nullopt, Freshness::Current},
        {"{OWN, \"sequence\": 5}", 6, std::nullopt, Freshness::Current},
        {"{OWN, \"sequence\": 5}", 5, std::nullopt, Freshness::Current}, // repair
        {"{OWN, \"sequence\": 5}", 3, std::nullopt, Freshness::Older},
        {"{OWN, \"sequence\": 5}", 0, std::nullopt, Freshness::Older}, // no "sequence"
        {"{OWN, \"sequence\": 18446744073709551615}", 18446744073709551614ull, std::nullopt,
         Freshness::Older},
        {"{OWN}", 0, std::nullopt, Freshness::Current}, // a record from before sequences
        {"{OWN, \"sequence\": \"9\"}", 0, std::nullopt, Freshness::Current},
        {"{\"files\": {}, \"sequence\": 9}", 0, std::nullopt, Freshness::Current}, // not ours
        {"[9]", 0, std::nullopt, Freshness::Current},
        {"{OWN, \"sequence\": 5}", 6, now, Freshness::Current},
        {"{OWN, \"sequence\": 5}", 6, now - 1, Freshness::Expired},
        {nullptr, 1, 0, Freshness::Expired},
        {"{OWN, \"sequence\": 5}", 3, now - 1, Freshness::Older},
    };
    for (const auto& c : cases) {
        std::error_code ec;
        fs::remove(dir / "install.json", ec);
        std::string record = c.record ? c.record : "";
        if (const size_t at = record.find("OWN"); at != std::string::npos)
            record.replace(at, 3, own);
        if (c.record) std::ofstream(dir / "install.json", std::ios::binary) << record;
        Manifest m;
        m.sequence = c.sequence;
        m.expires = c.expires;
        EXPECT_EQ(manifest_freshness(m, read_installed_sequence(wdir), now), c.expected)
            << record << " / sequence " << c.sequence;
    }
}

} // namespace
