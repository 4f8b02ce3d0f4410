// The "patches" key of a manifest's file entry: read strictly when present, and invisible to a
// Setup that reads the entry by the rules it had before patches.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "catalogue/manifest.h"

namespace {

const std::string kHashA(64, 'a');
const std::string kHashB(64, 'b');
const std::string kHashC(64, 'c');

nlohmann::json patch(const std::string& from, const std::string& sha, uint64_t size) {
    return {{"from", from}, {"sha256", sha}, {"size", size}};
}

nlohmann::json doc_with_patches(const nlohmann::json& patches) {
    nlohmann::json exe = {{"path", "plannix.exe"},
                          {"size", 10},
                          {"sha256", kHashA},
                          {"csize", 7},
                          {"csha256", kHashB}};
    exe["patches"] = patches;
    nlohmann::json dll = {
        {"path", "d/x.dll"}, {"size", 3}, {"sha256", kHashC}, {"csize", 2}, {"csha256", kHashB}};
    return {{"app", "plannix"}, {"version", "2.5.0"}, {"files", {exe, dll}}};
}

TEST(ManifestPatches, ReadsEachPatchInOrderAndEntriesWithoutThemHaveNone) {
    const nlohmann::json doc =
        doc_with_patches({patch(kHashB, kHashC, 4000000000ull),
                          patch(kHashC, kHashA, 1),
                          {{"later", true}, {"from", kHashA}, {"sha256", kHashB}, {"size", 5.9}}});
    Manifest m;
    ASSERT_TRUE(parse_manifest(doc.dump(), m));
    ASSERT_EQ(m.files.size(), 2u);
    ASSERT_EQ(m.files[0].patches.size(), 3u);
    EXPECT_EQ(m.files[0].patches[0].from, kHashB);
    EXPECT_EQ(m.files[0].patches[0].sha256, kHashC);
    EXPECT_EQ(m.files[0].patches[0].size, 4000000000ull);
    EXPECT_EQ(m.files[0].patches[1].from, kHashC);
    EXPECT_EQ(m.files[0].patches[2].size, 5u); // sizes read as every other size is
    EXPECT_TRUE(m.files[1].patches.empty());
    EXPECT_EQ(patch_server_path(m.files[0].patches[0]),
              L"/plannix/app/patches/" + std::wstring(64, L'c') + L".lzpatch");
}

TEST(ManifestPatches, AnyMalformedPatchRejectsTheWholeManifest) {
    nlohmann::json tooMany = nlohmann::json::array();
    for (size_t i = 0; i <= kMaxPatchesPerFile; ++i) {
        std::string from = kHashA;
        from[0] = "0123456789abcdef"[i % 16];
        from[1] = "0123456789abcdef"[i / 16];
        tooMany.push_back(patch(from, kHashB, 10));
    }
    nlohmann::json missingSize = patch(kHashA, kHashB, 1);
    missingSize.erase("size");
    nlohmann::json numericFrom = patch(kHashA, kHashB, 1);
    numericFrom["from"] = 5;
    const std::vector<std::pair<const char*, nlohmann::json>> cases = {
        {"not an array", patch(kHashA, kHashB, 1)},
        {"an item that is not an object", {"x"}},
        {"more than the bound per file", tooMany},
        {"two patches from the same content", {patch(kHashA, kHashB, 1), patch(kHashA, kHashC, 2)}},
        {"upper-case hex", {patch(std::string(64, 'A'), kHashB, 1)}},
        {"a hash one character short", {patch(kHashA, std::string(63, 'b'), 1)}},
        {"a hash with a non-hex letter", {patch(kHashA, std::string(63, 'b') + "g", 1)}},
        {"a size of zero", {patch(kHashA, kHashB, 0)}},
        {"a size of 4 GiB", {patch(kHashA, kHashB, uint64_t{1} << 32)}},
        {"a negative size", {{{"from", kHashA}, {"sha256", kHashB}, {"size", -1}}}},
        {"a missing size", {missingSize}},
        {"a \"from\" that is a number", {numericFrom}},
    };
    for (const auto& [name, patches] : cases) {
        SCOPED_TRACE(name);
        Manifest m;
        EXPECT_FALSE(parse_manifest(doc_with_patches(patches).dump(), m));
    }
    // The bound itself is allowed: one from each of the last kMaxPatchesPerFile releases.
    tooMany.erase(tooMany.size() - 1);
    Manifest m;
    EXPECT_TRUE(parse_manifest(doc_with_patches(tooMany).dump(), m));
    EXPECT_TRUE(parse_manifest(doc_with_patches(nlohmann::json::array()).dump(), m));
}

TEST(ManifestPatches, ASetupThatDoesNotKnowPatchesStillReadsTheRelease) {
    // A Setup from before patches knows no "patches" key: to it the key is one more unknown key
    // of the entry. The same key under a name this parser does not know stands for it, malformed
    // contents included, and must leave the entry as if it were absent.
    const nlohmann::json withPatches =
        doc_with_patches({patch(kHashB, kHashC, 99), {{"anything", "goes"}}, 17});
    std::string oldView = withPatches.dump();
    for (size_t at; (at = oldView.find("\"patches\"")) != std::string::npos;)
        oldView.replace(at, 9, "\"patches-unknown-to-this-setup\"");
    nlohmann::json without = withPatches;
    without["files"][0].erase("patches");
    Manifest seenByOld, plain;
    ASSERT_TRUE(parse_manifest(oldView, seenByOld));
    ASSERT_TRUE(parse_manifest(without.dump(), plain));
    ASSERT_EQ(seenByOld.files.size(), plain.files.size());
    for (size_t i = 0; i < plain.files.size(); ++i) {
        EXPECT_EQ(seenByOld.files[i].path, plain.files[i].path);
        EXPECT_EQ(seenByOld.files[i].sha256, plain.files[i].sha256);
        EXPECT_EQ(seenByOld.files[i].csha256, plain.files[i].csha256);
        EXPECT_EQ(seenByOld.files[i].size, plain.files[i].size);
        EXPECT_EQ(seenByOld.files[i].csize, plain.files[i].csize);
        EXPECT_TRUE(seenByOld.files[i].patches.empty());
    }
}

} // namespace
