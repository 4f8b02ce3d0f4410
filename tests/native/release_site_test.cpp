// The publisher's command line and site folder over months: the conventions of every command,
// the history that pack keeps, and prune, run as the real plannix-release over real folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "native/release_tool_support.h"

namespace fs = std::filesystem;
using namespace release_test;

namespace {

// Lines of a text, without their ends.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Every file under a folder, relative, with its bytes.
std::map<std::string, std::string> tree(const fs::path& root) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file())
            files[it->path().lexically_relative(root).generic_string()] = slurp(it->path());
    return files;
}

class ReleaseSite : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "plannix-site-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        site = dir / "site";
        app = site / "plannix" / "app";
        ASSERT_EQ(run_tool("keygen " + quoted(dir / "keys")).status, 0);
        ASSERT_EQ(run_tool("keygen " + quoted(dir / "other")).status, 0);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Version `v` of the application: one file shared by all versions, one that changes every
    // time, and one that only this version has.
    ToolRun publish(const std::string& v) {
        fs::remove_all(dir / "src");
        spit(dir / "src" / "plannix.exe", "MZ" + pseudo_random_bytes(20000, 7));
        spit(dir / "src" / "setup.exe", "MZ setup " + v);
        spit(dir / "src" / ("notes-" + v + ".txt"), "notes of " + v + "\n");
        return run_tool("pack --key " + quoted(dir / "keys" / "private.pem") + " --version " + v +
                        " " + quoted(dir / "src") + " " + quoted(site));
    }
    ToolRun prune(const std::string& options, const std::string& key = "keys") {
        return run_tool_split("prune " + options + " --public-key " +
                              quoted(dir / key / "public.txt") + " " + quoted(site));
    }

    // The blob files that a manifest file names.
    std::set<std::string> blobs_named(const fs::path& manifestPath) {
        std::set<std::string> named;
        const nlohmann::json doc = nlohmann::json::parse(slurp(manifestPath));
        for (const auto& f : doc.at("files"))
            named.insert("blobs/" + f["sha256"].get<std::string>() + ".lzms");
        return named;
    }
    std::set<std::string> blobs_present() {
        std::set<std::string> present;
        for (const auto& [path, bytes] : tree(app))
            if (path.rfind("blobs/", 0) == 0) present.insert(path);
        return present;
    }
    ToolRun verify() {
        return run_tool("verify --public-key " + quoted(dir / "keys" / "public.txt") + " " +
                        quoted(site));
    }

    fs::path dir, site, app;
};

TEST(ReleaseToolCommandLine, EveryCommandAnswersHelpOnStdoutAndAUsageErrorOnStderrWithCode2) {
    const ToolRun help = run_tool_split("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.errors, "");
    const char* commands[] = {"keygen", "pack", "verify", "prune", "compress", "unpack"};
    for (const char* command : commands)
        EXPECT_NE(help.output.find(std::string("plannix-release ") + command + " "),
                  std::string::npos)
            << command << "\n"
            << help.output;
    EXPECT_EQ(run_tool_split("-h").output, help.output);

    const ToolRun version = run_tool_split("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("plannix-release ", 0), 0u) << version.output;
    EXPECT_TRUE(version.output.size() > 17 && isdigit(version.output[16])) << version.output;

    for (const std::string& bad :
         {std::string(), std::string("frobnicate"), std::string("--verbose")}) {
        const ToolRun run = run_tool_split(bad);
        EXPECT_EQ(run.status, 2) << "'" << bad << "'";
        EXPECT_EQ(run.output, "") << "'" << bad << "'";
        EXPECT_NE(run.errors.find("usage: plannix-release"), std::string::npos) << bad;
    }

    for (const char* command : commands) {
        const std::string usage = std::string("usage: plannix-release ") + command + " ";
        for (const char* flag : {"--help", "-h"}) {
            const ToolRun run = run_tool_split(std::string(command) + " " + flag);
            EXPECT_EQ(run.status, 0) << command << " " << flag;
            EXPECT_EQ(run.output.rfind(usage, 0), 0u) << command << " " << flag << run.output;
            EXPECT_EQ(run.errors, "") << command << " " << flag;
        }
        // An unknown option, and no operands at all.
        for (const std::string& args : {std::string(" --bogus x y z"), std::string()}) {
            const ToolRun run = run_tool_split(command + args);
            EXPECT_EQ(run.status, 2) << command << args;
            EXPECT_EQ(run.output, "") << command << args;
            EXPECT_NE(run.errors.find(usage), std::string::npos) << command << args << run.errors;
            // First what was wrong, then the usage.
            EXPECT_EQ(run.errors.rfind(std::string("plannix-release ") + command + ": ", 0), 0u)
                << command << args << run.errors;
        }
    }
}

TEST_F(ReleaseSite, AFailureExitsWith1AndOneLineNamingWhatAndWhere) {
    const std::string missing = quoted(dir / "missing");
    const std::string cases[] = {
        "verify --public-key " + missing + " " + quoted(site),
        "verify --public-key " + quoted(dir / "keys" / "public.txt") + " " + missing,
        "pack --key " + missing + " --version 1 " + quoted(dir) + " " + quoted(site),
        "prune --keep 1 --public-key " + quoted(dir / "keys" / "public.txt") + " " + missing,
        "compress " + missing + " " + quoted(dir / "out"),
        "keygen " + quoted(dir / "keys"), // a key is never overwritten
    };
    for (const std::string& args : cases) {
        const ToolRun run = run_tool_split(args);
        EXPECT_EQ(run.status, 1) << args;
        EXPECT_EQ(lines_of(run.errors).size(), 1u) << args << "\n" << run.errors;
        EXPECT_TRUE(run.errors.find(dir.string()) != std::string::npos) << args << run.errors;
    }
    // A version that cannot name a history folder is a usage error, before any work.
    for (const std::string& v : {"../up", ".hidden", "1 0", ""}) {
        const ToolRun run =
            run_tool_split("pack --key " + quoted(dir / "keys" / "private.pem") + " --version '" +
                           v + "' " + quoted(dir / "keys") + " " + quoted(site));
        EXPECT_EQ(run.status, 2) << v;
        EXPECT_FALSE(fs::exists(site)) << v;
    }
}

TEST_F(ReleaseSite, PackKeepsEachReplacedManifestAndItsSignatureInHistory) {
    ASSERT_EQ(publish("1.0").status, 0);
    EXPECT_FALSE(fs::exists(site / "history"));
    const std::string manifest10 = slurp(app / "manifest.json");
    const std::string sig10 = slurp(app / "manifest.sig");
    const ToolRun second = publish("1.1");
    ASSERT_EQ(second.status, 0) << second.output;
    EXPECT_NE(second.output.find("history"), std::string::npos) << second.output;
    EXPECT_EQ(slurp(site / "history" / "1.0" / "manifest.json"), manifest10);
    EXPECT_EQ(slurp(site / "history" / "1.0" / "manifest.sig"), sig10);

    // The same release packed again replaces nothing worth keeping.
    ASSERT_EQ(publish("1.1").status, 0);
    EXPECT_EQ(tree(site / "history").size(), 2u);
    EXPECT_EQ(verify().status, 0);

    // A history entry verifies as a release of its own with the same blobs.
    fs::create_directories(dir / "old" / "plannix" / "app");
    fs::copy(site / "history" / "1.0", dir / "old" / "plannix" / "app");
    fs::create_directory_symlink(app / "blobs", dir / "old" / "plannix" / "app" / "blobs");
    const ToolRun old = run_tool("verify --public-key " + quoted(dir / "keys" / "public.txt") +
                                 " " + quoted(dir / "old"));
    EXPECT_EQ(old.status, 0) << old.output;
}

TEST_F(ReleaseSite, PruneKeepsWhatTheCurrentAndTheNewestKeptReleasesNameAndNothingElse) {
    for (const char* v : {"1.8", "1.9", "1.10", "2.0"})
        ASSERT_EQ(publish(v).status, 0) << v;
    spit(app / "blobs" / "leftover.lzms.tmp", "half a blob from a killed pack");
    const std::set<std::string> current = blobs_named(app / "manifest.json");
    // "1.10" is newer than "1.9": versions compare by their numbers.
    const std::set<std::string> kept = blobs_named(site / "history" / "1.10" / "manifest.json");
    const auto before = tree(site);

    const ToolRun dry = prune("--keep 1 --dry-run");
    ASSERT_EQ(dry.status, 0) << dry.errors;
    EXPECT_EQ(tree(site), before) << "a dry run deletes nothing";
    EXPECT_NE(dry.output.find("would delete"), std::string::npos) << dry.output;

    const ToolRun pruned = prune("--keep 1");
    ASSERT_EQ(pruned.status, 0) << pruned.errors;
    std::set<std::string> wanted = current;
    wanted.insert(kept.begin(), kept.end());
    EXPECT_EQ(blobs_present(), wanted);
    EXPECT_TRUE(fs::exists(site / "history" / "1.10" / "manifest.sig"));
    EXPECT_FALSE(fs::exists(site / "history" / "1.9"));
    EXPECT_FALSE(fs::exists(site / "history" / "1.8"));
    EXPECT_EQ(verify().status, 0);

    // The dry run announced exactly what the real run did, and both count the same bytes.
    auto deletions = [](const std::string& output, const std::string& verb) {
        std::vector<std::string> found;
        for (const std::string& line : lines_of(output))
            if (line.rfind(verb + " ", 0) == 0) found.push_back(line.substr(verb.size() + 1));
        return found;
    };
    EXPECT_EQ(deletions(dry.output, "would delete"), deletions(pruned.output, "deleted"));
    uint64_t freed = 0;
    for (const auto& [path, bytes] : before)
        if (!fs::exists(site / path)) freed += bytes.size();
    EXPECT_NE(pruned.output.find("freed " + std::to_string(freed) + " bytes"), std::string::npos)
        << pruned.output;
    EXPECT_NE(dry.output.find("would free " + std::to_string(freed) + " bytes"), std::string::npos)
        << dry.output;

    // Keeping none leaves exactly the current release; again changes nothing.
    ASSERT_EQ(prune("--keep 0").status, 0);
    EXPECT_EQ(blobs_present(), current);
    EXPECT_FALSE(fs::exists(site / "history" / "1.10"));
    const auto after = tree(site);
    ASSERT_EQ(prune("--keep 0").status, 0);
    EXPECT_EQ(tree(site), after);
    EXPECT_EQ(verify().status, 0);
}

TEST_F(ReleaseSite, PruneRefusesAFolderThatDoesNotVerifyAndDeletesNothing) {
    ASSERT_EQ(publish("1.0").status, 0);
    ASSERT_EQ(publish("1.1").status, 0);
    spit(app / "blobs" / "stray.lzms", "x");
    const auto before = tree(site);

    struct Case {
        const char* what;
        void (*damage)(const fs::path& app, const fs::path& site);
        const char* key;
        const char* named; // what the one line names
    };
    const Case cases[] = {
        {"a foreign key", [](const fs::path&, const fs::path&) {}, "other", "manifest.sig"},
        {"a changed manifest",
         [](const fs::path& app, const fs::path&) {
             std::string text = slurp(app / "manifest.json");
             text.insert(text.find("\"version\""), " ");
             spit(app / "manifest.json", text);
         },
         "keys", "manifest.sig"},
        {"no signature",
         [](const fs::path& app, const fs::path&) { fs::remove(app / "manifest.sig"); }, "keys",
         "manifest.sig"},
        {"no release at all",
         [](const fs::path& app, const fs::path&) { fs::remove(app / "manifest.json"); }, "keys",
         "manifest.json"},
        {"a history entry Setup's parser rejects",
         [](const fs::path&, const fs::path& site) {
             spit(site / "history" / "1.0" / "manifest.json", "{}");
         },
         "keys", "history"},
    };
    for (const Case& c : cases) {
        fs::remove_all(site);
        for (const auto& [path, bytes] : before)
            spit(site / path, bytes);
        c.damage(app, site);
        const auto damaged = tree(site);
        const ToolRun run = prune("--keep 0", c.key);
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_EQ(lines_of(run.errors).size(), 1u) << c.what << run.errors;
        EXPECT_NE(run.errors.find(c.named), std::string::npos) << c.what << run.errors;
        EXPECT_EQ(tree(site), damaged) << c.what;
    }
    for (const char* keep : {"-1", "x", "1x", ""}) {
        const ToolRun run = prune(std::string("--keep '") + keep + "'");
        EXPECT_EQ(run.status, 2) << keep;
    }
}

} // namespace
