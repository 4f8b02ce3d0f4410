// The version check against the HTTPS test server serving a release made by plannix-release.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "base/state.h"
#include "base/text.h"
#include "engine/version_check.h"
#include "transport/signature.h"
#include "windows/test_files.h"

namespace {

// A file of the served release, as a path this Windows program can open.
std::wstring fixture(const std::string& relative) {
    return wide_from_utf8(test_file_path("PLANNIX_RELEASE_FIXTURE", relative));
}

const std::string kApp = "release/plannix/app/";

// Swaps a served file for another for the life of the object.
class ServedAs {
  public:
    ServedAs(const std::string& served, const std::string& replacement)
        : served_(fixture(served)), saved_(served_ + L".saved") {
        EXPECT_TRUE(MoveFileW(served_.c_str(), saved_.c_str()));
        if (!replacement.empty()) {
            EXPECT_TRUE(CopyFileW(fixture(replacement).c_str(), served_.c_str(), FALSE));
        }
    }
    ~ServedAs() {
        DeleteFileW(served_.c_str());
        MoveFileW(saved_.c_str(), served_.c_str());
    }

  private:
    std::wstring served_, saved_;
};

void expect_nothing_published() {
    EXPECT_FALSE(g_catalogReady.load());
    EXPECT_EQ(get_remote_version(), "");
    for (uint64_t size : g_componentDownloadSize)
        EXPECT_EQ(size, 0u);
}

// One test: what the check publishes happens at most once per process. The served manifest
// is the site's first, sequence 1.
TEST(VersionCheck, PublishesOnlyAVerifiedCurrentManifestWithUncompressedTotals) {
    g_bytesDone = 0;
    {
        ServedAs tampered(kApp + "manifest.json", "tampered.json");
        version_check_main(0);
        expect_nothing_published();
    }
    {
        ServedAs missing(kApp + "manifest.sig", "");
        version_check_main(0);
        expect_nothing_published();
    }
    // Signed, but older than the installation, or past its expiry.
    version_check_main(2);
    expect_nothing_published();
    {
        ServedAs expired(kApp + "manifest.json", "expired.json");
        ServedAs itsSignature(kApp + "manifest.sig", "expired.sig");
        version_check_main(0);
        expect_nothing_published();
    }
    {
        // A valid signature over a text that is no manifest: only the parse step refuses it.
        std::string text, signature;
        ASSERT_TRUE(
            read_test_file(test_file_path("PLANNIX_RELEASE_FIXTURE", "unparsable.json"), text));
        ASSERT_TRUE(
            read_test_file(test_file_path("PLANNIX_RELEASE_FIXTURE", "unparsable.sig"), signature));
        ASSERT_TRUE(verify_manifest_signature(text, signature));
        ServedAs unparsable(kApp + "manifest.json", "unparsable.json");
        ServedAs itsSignature(kApp + "manifest.sig", "unparsable.sig");
        version_check_main(0);
        expect_nothing_published();
    }

    version_check_main(1); // a repair of the same release
    ASSERT_TRUE(g_catalogReady.load());
    EXPECT_EQ(get_remote_version(), "2.5.0");
    // Installed sizes, not blob sizes; a component without files totals 0.
    EXPECT_EQ(g_componentDownloadSize[0], 3345u);
    EXPECT_EQ(g_componentDownloadSize[1], 3000u);
    EXPECT_EQ(g_componentDownloadSize[2], 4050u);
    EXPECT_EQ(g_componentDownloadSize[3], 0u);
    EXPECT_EQ(g_componentDownloadSize[4], 700u);
    EXPECT_EQ(g_bytesDone.load(), 0u); // the check never counts progress
}

} // namespace
