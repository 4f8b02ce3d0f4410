// Packs: the manifest's "packs" key read strictly, the rule that chooses a pack over its members'
// blobs, the split of a decoded pack, and how the publisher's tool groups files into packs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "catalogue/manifest.h"
#include "tools/release/release_packs.h"

namespace {

std::string hash_of(char c) {
    return std::string(64, c);
}

// Files of sizes 10, 20, 30 and 40 with distinct contents; their blobs are half as large.
nlohmann::json four_files() {
    nlohmann::json files = nlohmann::json::array();
    const char* names[] = {"a.dll", "b.dll", "c.txt", "d.txt"};
    for (int i = 0; i < 4; ++i)
        files.push_back({{"path", names[i]},
                         {"size", 10 * (i + 1)},
                         {"sha256", hash_of(static_cast<char>('0' + i))},
                         {"csize", 5 * (i + 1)},
                         {"csha256", hash_of('f')}});
    return files;
}

nlohmann::json pack_entry(const nlohmann::json& members, uint64_t size) {
    return {{"sha256", hash_of('a')},
            {"size", size},
            {"csha256", hash_of('b')},
            {"csize", 40},
            {"files", members}};
}

// The packs as a JSON array (a list of one would otherwise be taken for its element).
std::string doc_with_packs(const std::vector<nlohmann::json>& packs) {
    nlohmann::json doc = {{"app", "plannix"}, {"version", "3.0"}, {"files", four_files()}};
    doc["packs"] = packs;
    return doc.dump();
}

std::string doc_with_packs_value(const nlohmann::json& packs) {
    nlohmann::json doc = {{"app", "plannix"}, {"version", "3.0"}, {"files", four_files()}};
    doc["packs"] = packs;
    return doc.dump();
}

TEST(Packs, AreReadWithTheirMembersInOrderAndAreOptional) {
    Manifest m;
    ASSERT_TRUE(parse_manifest(
        doc_with_packs({pack_entry({2, 0}, 40), pack_entry(nlohmann::json::array({3}), 40)}), m));
    ASSERT_EQ(m.packs.size(), 2u);
    EXPECT_EQ(m.packs[0].files, (std::vector<size_t>{2, 0}));
    EXPECT_EQ(m.packs[0].size, 40u);
    EXPECT_EQ(m.packs[0].csize, 40u);
    EXPECT_EQ(m.packs[0].sha256, hash_of('a'));
    EXPECT_EQ(m.packs[0].csha256, hash_of('b'));
    EXPECT_EQ(pack_server_path(m.packs[0]),
              L"/plannix/app/packs/" + std::wstring(64, L'a') + L".lzms");

    nlohmann::json without = {{"app", "plannix"}, {"version", "3.0"}, {"files", four_files()}};
    ASSERT_TRUE(parse_manifest(without.dump(), m));
    EXPECT_TRUE(m.packs.empty());
}

TEST(Packs, AnyMalformedPackRejectsTheWholeManifest) {
    Manifest good;
    ASSERT_TRUE(parse_manifest(doc_with_packs({pack_entry({0, 1}, 30)}), good));
    nlohmann::json upper = pack_entry({0, 1}, 30);
    upper["sha256"] = std::string(64, 'A');
    nlohmann::json shortBlobHash = pack_entry({0, 1}, 30);
    shortBlobHash["csha256"] = std::string(63, 'b');
    nlohmann::json noCsize = pack_entry({0, 1}, 30);
    noCsize.erase("csize");
    nlohmann::json zeroCsize = pack_entry({0, 1}, 30);
    zeroCsize["csize"] = 0;
    nlohmann::json hugeBlob = pack_entry({0, 1}, 30);
    hugeBlob["csize"] = kMaxPackBlobSize + 1;
    nlohmann::json floatIndex = pack_entry({0, 1}, 30);
    floatIndex["files"] = {0, 1.0};

    // A pack of one file larger than a pack may be.
    nlohmann::json files = four_files();
    files[0]["size"] = kMaxPackSize + 1;
    nlohmann::json oversized = {{"app", "plannix"}, {"version", "3.0"}, {"files", files}};
    oversized["packs"] = nlohmann::json::array({pack_entry({0}, kMaxPackSize + 1)});

    const std::vector<std::pair<const char*, std::string>> cases = {
        {"not an array", doc_with_packs_value(pack_entry({0}, 10))},
        {"a pack that is not an object", doc_with_packs({1})},
        {"no members", doc_with_packs({pack_entry(nlohmann::json::array(), 0)})},
        {"members not an array", doc_with_packs({pack_entry(0, 10)})},
        {"sizes that add up to less", doc_with_packs({pack_entry({0, 1}, 31)})},
        {"sizes that add up to more", doc_with_packs({pack_entry({0, 1}, 29)})},
        {"an index out of range", doc_with_packs({pack_entry({0, 4}, 10)})},
        {"a negative index", doc_with_packs({pack_entry({0, -1}, 10)})},
        {"an index as text", doc_with_packs({pack_entry({"0"}, 10)})},
        {"a fractional index", doc_with_packs({floatIndex})},
        {"an index twice in one pack", doc_with_packs({pack_entry({0, 0}, 20)})},
        {"an index in two packs", doc_with_packs({pack_entry({0, 1}, 30), pack_entry({1}, 20)})},
        {"an upper-case hash", doc_with_packs({upper})},
        {"a blob hash one short", doc_with_packs({shortBlobHash})},
        {"a missing csize", doc_with_packs({noCsize})},
        {"a csize of zero", doc_with_packs({zeroCsize})},
        {"a blob larger than one stored chunk", doc_with_packs({hugeBlob})},
        {"a size beyond one LZMS chunk", oversized.dump()},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        Manifest m;
        EXPECT_FALSE(parse_manifest(text, m));
    }
}

TEST(Packs, AreFetchedWhenTheWantedContentsCostAtLeastHalfOfThePack) {
    Manifest m;
    // Blobs 5, 10, 15, 20 (50 together); the pack's blob is 40, so 20 is the threshold. File 4
    // repeats file 0's content outside the pack.
    nlohmann::json files = four_files();
    files.push_back(files[0]);
    files[4]["path"] = "copy/a.dll";
    nlohmann::json doc = {{"app", "plannix"}, {"version", "3.0"}, {"files", files}};
    doc["packs"] = nlohmann::json::array({pack_entry({0, 1, 2, 3}, 100)});
    ASSERT_TRUE(parse_manifest(doc.dump(), m));
    // Each file's own cost: its blob's csize, a patch's size where one would be used, 0 when the
    // file is not wanted.
    const struct {
        const char* name;
        std::vector<uint64_t> cost;
        bool fetch;
    } cases[] = {
        {"everything", {5, 10, 15, 20, 5}, true},
        {"exactly half (5 + 15)", {5, 0, 15, 0, 0}, true},
        {"one byte short of half (15)", {0, 0, 15, 0, 0}, false},
        {"a content counted once however many files want it", {5, 0, 0, 0, 5}, false},
        {"a copy outside the pack wants its content", {0, 0, 15, 0, 5}, true},
        {"every file changed, each with a small patch (1 + 2 + 3 + 4)", {1, 2, 3, 4, 0}, false},
        {"nothing", {0, 0, 0, 0, 0}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(packs_worth_fetching(m.files, m.packs, c.cost), std::vector<bool>{c.fetch});
    }
}

TEST(Packs, SplitGivesEachMemberItsBytesInPackOrder) {
    Manifest m;
    ASSERT_TRUE(parse_manifest(doc_with_packs({pack_entry({3, 0, 2}, 80)}), m));
    std::vector<PackMember> members;
    ASSERT_TRUE(split_pack(m.files, m.packs[0], 80, members));
    ASSERT_EQ(members.size(), 3u);
    const size_t expected[][3] = {{3, 0, 40}, {0, 40, 10}, {2, 50, 30}};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(members[i].file, expected[i][0]);
        EXPECT_EQ(members[i].offset, expected[i][1]);
        EXPECT_EQ(members[i].size, expected[i][2]);
    }
    for (size_t decoded : {0, 79, 81}) {
        SCOPED_TRACE(decoded);
        EXPECT_FALSE(split_pack(m.files, m.packs[0], decoded, members));
    }
}

TEST(Packs, ThePublisherGroupsEachComponentsDistinctContentsBySimilarityWithinTheLimit) {
    const auto source = [](const char* path, char content, uint64_t size) {
        return PackSource{path, hash_of(content), size, size / 2, {}};
    };
    const std::vector<PackSource> files = {
        source("plannix.exe", '1', 50),
        source("readme.txt", '2', 30),
        source("lib/zeta.dll", '3', 40),
        source("lib/Alpha.DLL", '4', 40),
        source("copy/zeta.dll", '3', 40),  // the same content once per pack
        source("empty.cfg", '5', 0),       // empty: stays a blob
        source("huge.bin", '6', 101),      // above the limit: stays a blob
        source("nvngx_dlss.dll", '7', 60), // nvidia's only file: a pack of one is its blob
        source("amd_fidelityfx_dx12.dll", '8', 10),
        source("amd_fidelityfx_vk.dll", '9', 10),
        source("amd_fidelityfx_old/zeta.dll", '3', 40), // core's content goes in amd's pack too
    };
    const std::vector<std::vector<size_t>> packs = plan_packs(files, 100);
    // Core sorted by extension then name: Alpha.DLL, zeta.dll, plannix.exe, readme.txt; 40 + 40
    // fill the first pack up to 80, the exe would pass 100; exe and readme make the second.
    const std::vector<std::vector<size_t>> expected = {{3, 2}, {0, 1}, {8, 9, 10}};
    EXPECT_EQ(packs, expected);
}

} // namespace
