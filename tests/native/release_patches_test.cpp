// plannix-release pack --previous, verify with patches and diff, run as the real program over
// three real release folders whose executables are real PE files from Wine.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <stdlib.h>

#include <nlohmann/json.hpp>

#include "catalogue/manifest.h"
#include "native/lzms_test_support.h"
#include "native/release_tool_support.h"
#include "tools/release/release_crypto.h"
#include "transport/patch.h"

namespace {

using namespace release_test;

std::string wine_pe(const char* name) {
    const lzms_test::Bytes bytes = lzms_test::read_file(fs::path(lzms_test::kWineDllDir) / name);
    return std::string(bytes.begin(), bytes.end());
}

// What a rebuild does to a program: code inserted in the middle and addresses after it moved.
std::string rebuilt(std::string pe, uint32_t seed) {
    pe.insert(pe.size() / 2, pseudo_random_bytes(700, seed));
    for (size_t at = pe.size() / 2 + 700; at + 4 <= pe.size(); at += 4099)
        pe[at] = static_cast<char>(pe[at] + 7);
    return pe;
}

class ReleasePatches : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string pattern = (fs::temp_directory_path() / "plannix-patches-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        ASSERT_EQ(run_tool("keygen " + quoted(dir / "keys")).status, 0);

        // 1.0 -> 2.0: plannix.exe rebuilt, setup.exe replaced by unrelated content, the
        // notes edited, a component file added and one removed, the library unchanged.
        // 2.0 -> 3.0: plannix.exe rebuilt again, the rest as it was.
        const std::string exe = wine_pe("msvcp_win.dll");
        const lzms_test::Bytes text = lzms_test::source_text(60000);
        const std::string notes(text.begin(), text.end());
        std::string edited = notes;
        edited.replace(30000, 200, "a paragraph of the notes, rewritten for 2.0\n");
        const std::map<std::string, std::map<std::string, std::string>> sources = {
            {"1.0",
             {{"plannix.exe", exe},
              {"setup.exe", wine_pe("olecli32.dll")},
              {"notes.txt", notes},
              {"zlib1.dll", wine_pe("x3daudio1_3.dll")},
              {"nvngx_dlss.dll", pseudo_random_bytes(30000, 4)}}},
            {"2.0",
             {{"plannix.exe", rebuilt(exe, 1)},
              {"setup.exe", pseudo_random_bytes(50000, 9)},
              {"notes.txt", edited},
              {"zlib1.dll", wine_pe("x3daudio1_3.dll")},
              {"handmodels/left.onnx", pseudo_random_bytes(20000, 5)}}},
            {"3.0",
             {{"plannix.exe", rebuilt(rebuilt(exe, 1), 2)},
              {"setup.exe", pseudo_random_bytes(50000, 9)},
              {"notes.txt", edited},
              {"zlib1.dll", wine_pe("x3daudio1_3.dll")},
              {"handmodels/left.onnx", pseudo_random_bytes(20000, 5)}}},
        };
        std::string previous;
        for (const auto& [version, files] : sources) {
            for (const auto& [path, content] : files)
                spit(dir / ("src-" + version) / path, content);
            const ToolRun packed =
                run_tool("pack --key " + quoted(dir / "keys" / "private.pem") + " --version " +
                         version + previous + " " + quoted(dir / ("src-" + version)) + " " +
                         quoted(dir / ("r" + version)));
            ASSERT_EQ(packed.status, 0) << packed.output;
            previous = " --previous " + quoted(dir / ("r" + version)) + previous;
        }
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    static fs::path app(const std::string& version) {
        return dir / ("r" + version) / "plannix" / "app";
    }
    static Manifest manifest(const std::string& version) {
        Manifest m;
        EXPECT_TRUE(parse_manifest(slurp(app(version) / "manifest.json"), m));
        return m;
    }
    static const ManifestFile& entry(const Manifest& m, const std::string& path) {
        for (const ManifestFile& f : m.files)
            if (f.path == path) return f;
        throw std::runtime_error("no entry " + path);
    }
    static ToolRun verify(const std::string& version, const std::string& previous) {
        return run_tool("verify --public-key " + quoted(dir / "keys" / "public.txt") + previous +
                        " " + quoted(dir / ("r" + version)));
    }

    static fs::path dir;
};

fs::path ReleasePatches::dir;

TEST_F(ReleasePatches, PackKeepsPatchesFromEachEarlierReleaseThatTurnTheOldFileIntoTheNew) {
    const Manifest v1 = manifest("1.0"), v2 = manifest("2.0"), v3 = manifest("3.0");
    for (const ManifestFile& f : v1.files)
        EXPECT_TRUE(f.patches.empty()) << f.path;

    const ManifestFile& exe2 = entry(v2, "plannix.exe");
    ASSERT_EQ(exe2.patches.size(), 1u);
    EXPECT_EQ(exe2.patches[0].from, entry(v1, "plannix.exe").sha256);
    EXPECT_LT(exe2.patches[0].size * 100, exe2.csize * 60);
    // The patch on disk, applied with Setup's applier, gives the new file exactly.
    const std::string patch = slurp(app("2.0") / "patches" / (exe2.patches[0].sha256 + ".lzpatch"));
    ASSERT_EQ(patch.size(), exe2.patches[0].size);
    EXPECT_EQ(sha256_hex_of(patch.data(), patch.size()), exe2.patches[0].sha256);
    const std::string old = slurp(dir / "src-1.0" / "plannix.exe");
    std::vector<uint8_t> out;
    ASSERT_TRUE(apply_patch(reinterpret_cast<const uint8_t*>(old.data()), old.size(),
                            reinterpret_cast<const uint8_t*>(patch.data()), patch.size(), exe2.size,
                            out));
    EXPECT_EQ(std::string(out.begin(), out.end()), slurp(dir / "src-2.0" / "plannix.exe"));

    EXPECT_EQ(entry(v2, "notes.txt").patches.size(), 1u);
    EXPECT_TRUE(entry(v2, "setup.exe").patches.empty()) << "unrelated content: no saving";
    EXPECT_TRUE(entry(v2, "zlib1.dll").patches.empty()) << "unchanged";
    EXPECT_TRUE(entry(v2, "handmodels/left.onnx").patches.empty()) << "added";

    // 3.0 from 2.0 and 1.0: one patch from each older content, newest release first; the
    // files unchanged since 2.0 still carry a patch from 1.0.
    const ManifestFile& exe3 = entry(v3, "plannix.exe");
    ASSERT_EQ(exe3.patches.size(), 2u);
    EXPECT_EQ(exe3.patches[0].from, exe2.sha256);
    EXPECT_EQ(exe3.patches[1].from, entry(v1, "plannix.exe").sha256);
    ASSERT_EQ(entry(v3, "notes.txt").patches.size(), 1u);
    EXPECT_EQ(entry(v3, "notes.txt").patches[0].sha256, entry(v2, "notes.txt").patches[0].sha256);
}

TEST_F(ReleasePatches, VerifyChecksEveryPatchBlobAndWithEarlierReleasesItsResult) {
    const ToolRun plain = verify("3.0", "");
    EXPECT_EQ(plain.status, 0) << plain.output;
    EXPECT_NE(plain.output.find("3 patches (0 applied"), std::string::npos) << plain.output;
    const std::string both =
        " --previous " + quoted(dir / "r2.0") + " --previous " + quoted(dir / "r1.0");
    const ToolRun full = verify("3.0", both);
    EXPECT_EQ(full.status, 0) << full.output;
    EXPECT_NE(full.output.find("3 patches (3 applied"), std::string::npos) << full.output;

    // A patch that is a good blob but makes other content: the other file's patch under this
    // file's name, with its hash and size signed into the manifest.
    const fs::path saved = dir / "saved";
    fs::copy(dir / "r3.0", saved, fs::copy_options::recursive);
    nlohmann::json doc = nlohmann::json::parse(slurp(app("3.0") / "manifest.json"));
    nlohmann::json* exe = nullptr;
    nlohmann::json* notes = nullptr;
    for (nlohmann::json& f : doc["files"]) {
        if (f["path"] == "plannix.exe") exe = &f;
        if (f["path"] == "notes.txt") notes = &f;
    }
    ASSERT_TRUE(exe && notes);
    (*exe)["patches"][0]["sha256"] = (*notes)["patches"][0]["sha256"];
    (*exe)["patches"][0]["size"] = (*notes)["patches"][0]["size"];
    const std::string text = doc.dump(1) + "\n";
    std::string error;
    PkeyPtr key = load_p256_private_key((dir / "keys" / "private.pem").string(), error);
    ASSERT_TRUE(key) << error;
    spit(app("3.0") / "manifest.json", text);
    spit(app("3.0") / "manifest.sig", base64_encode(sign_raw(key.get(), text)));
    EXPECT_EQ(verify("3.0", "").status, 0) << "the blob itself is sound";
    const ToolRun wrong = verify("3.0", both);
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.output.find("BAD plannix.exe"), std::string::npos) << wrong.output;

    // A damaged patch blob fails without any earlier release.
    const std::string name = (*notes)["patches"][0]["sha256"].get<std::string>() + ".lzpatch";
    std::string bytes = slurp(app("3.0") / "patches" / name);
    bytes[bytes.size() / 2] ^= 1;
    spit(app("3.0") / "patches" / name, bytes);
    const ToolRun damaged = verify("3.0", "");
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.output.find("does not match its \"sha256\""), std::string::npos)
        << damaged.output;

    fs::remove_all(dir / "r3.0");
    fs::rename(saved, dir / "r3.0");
}

TEST_F(ReleasePatches, DiffCountsWhatAnUpdateFetchesPerComponentWithAndWithoutPatches) {
    const ToolRun run =
        run_tool("diff --json " + quoted(dir / "r1.0") + " " + quoted(dir / "r2.0"));
    ASSERT_EQ(run.status, 0) << run.output;
    const nlohmann::json doc = nlohmann::json::parse(run.output);
    const Manifest v2 = manifest("2.0");
    const auto csize = [&](const char* path) { return entry(v2, path).csize; };
    const nlohmann::json& core = doc["components"]["core"];
    EXPECT_EQ(core["changed"], 3);
    EXPECT_EQ(core["added"], 0);
    EXPECT_EQ(core["removed"], 0);
    EXPECT_EQ(core["patched"], 2);
    EXPECT_EQ(core["bytes_whole"], csize("plannix.exe") + csize("setup.exe") + csize("notes.txt"));
    EXPECT_EQ(core["bytes_with_patches"], entry(v2, "plannix.exe").patches[0].size +
                                              csize("setup.exe") +
                                              entry(v2, "notes.txt").patches[0].size);
    EXPECT_EQ(doc["components"]["nvidia"]["removed"], 1);
    EXPECT_EQ(doc["components"]["vr"]["added"], 1);
    EXPECT_EQ(doc["components"]["vr"]["bytes_with_patches"], csize("handmodels/left.onnx"));
    EXPECT_EQ(doc["total"]["bytes_whole"],
              core["bytes_whole"].get<uint64_t>() + csize("handmodels/left.onnx"));
    EXPECT_EQ(doc["from"], "1.0");
    EXPECT_EQ(doc["to"], "2.0");

    // The table for people: one row per component and the total, the same figures.
    const ToolRun table = run_tool("diff " + quoted(dir / "r1.0") + " " + quoted(dir / "r2.0"));
    ASSERT_EQ(table.status, 0) << table.output;
    EXPECT_NE(table.output.find(std::to_string(doc["total"]["bytes_with_patches"].get<uint64_t>())),
              std::string::npos)
        << table.output;
    EXPECT_EQ(run_tool("diff " + quoted(dir / "r1.0")).status, 2);
    EXPECT_EQ(run_tool("diff " + quoted(dir / "r1.0") + " " + quoted(dir / "none")).status, 1);
}

TEST_F(ReleasePatches, PruneKeepsThePatchesTheManifestNamesAndDeletesOthers) {
    const fs::path stray = app("3.0") / "patches" / (std::string(64, '0') + ".lzpatch");
    spit(stray, "left by an older pack");
    const ToolRun pruned =
        run_tool("prune --keep 0 --public-key " + quoted(dir / "keys" / "public.txt") + " " +
                 quoted(dir / "r3.0"));
    ASSERT_EQ(pruned.status, 0) << pruned.output;
    EXPECT_FALSE(fs::exists(stray));
    for (const ManifestFile& f : manifest("3.0").files)
        for (const ManifestPatch& p : f.patches)
            EXPECT_TRUE(fs::exists(app("3.0") / "patches" / (p.sha256 + ".lzpatch"))) << f.path;
    EXPECT_EQ(verify("3.0", " --previous " + quoted(dir / "r1.0")).status, 0);
}

} // namespace
