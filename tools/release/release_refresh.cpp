// refresh: publishes the site's current release again, the same files and version under a
// raised sequence and a new expiry, so that Setup keeps accepting a release that has not
// changed.
#include "tools/release/commands.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tools/release/release_files.h"
#include "tools/release/release_freshness.h"
#include "tools/release/release_site.h"

namespace fs = std::filesystem;

int cmd_refresh(const ParsedArgs& args) {
    const std::optional<int64_t> expires = expiry_from_args(args);
    const fs::path releaseDir = args.positional[0];
    const fs::path appDir = release_app_dir(releaseDir);

    std::string error;
    PkeyPtr key = load_p256_private_key(args.value("--key"), error);
    StoredManifest current;
    if (!key || !read_stored_manifest(appDir, current, error)) {
        std::fprintf(stderr, "refresh: %s\n", error.c_str());
        return 1;
    }
    // Only what this key signed is signed again: a manifest changed on the site, or signed by
    // another key, is never blessed by a refresh.
    error = signature_problem(key.get(), appDir, current.text);
    if (!error.empty()) {
        std::fprintf(stderr, "refresh: %s; refreshing only a manifest that this key signed\n",
                     error.c_str());
        return 1;
    }
    uint64_t sequence = 0;
    if (!next_sequence(releaseDir, sequence, error)) {
        std::fprintf(stderr, "refresh: %s\n", error.c_str());
        return 1;
    }
    // Every other key, those of later formats included, stays as it was signed.
    std::string text;
    try {
        nlohmann::json doc = nlohmann::json::parse(current.text);
        stamp_manifest(doc, sequence, expires);
        text = doc.dump(1) + "\n";
    } catch (const nlohmann::json::exception& e) {
        std::fprintf(stderr, "refresh: cannot write the manifest: %s\n", e.what());
        return 1;
    }
    if (!publish_manifest(releaseDir, key.get(), text, error)) {
        std::fprintf(stderr, "refresh: %s\n", error.c_str());
        return 1;
    }
    std::printf("refreshed version %s in %s: sequence %llu, expires %s\n",
                current.manifest.version.c_str(), appDir.c_str(),
                static_cast<unsigned long long>(sequence), expiry_text(expires).c_str());
    return 0;
}
