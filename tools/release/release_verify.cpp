// verify: checks a release folder the way Setup will see it, with Setup's own parser and
// decoder, and names every file that would fail.
#include "tools/release/commands.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/whole_file.h"
#include "catalogue/manifest.h"
#include "tools/release/release_crypto.h"
#include "tools/release/release_files.h"
#include "tools/release/release_freshness.h"
#include "tools/release/release_packs.h"
#include "tools/release/release_patches.h"
#include "tools/release/release_site.h"
#include "transport/lzms_container.h"

namespace fs = std::filesystem;

namespace {

// The reason this entry would fail in Setup, or empty when its blob is good.
std::string check_entry(const fs::path& appDir, const ManifestFile& f) {
    if (!is_lower_hex_digest(f.sha256)) return "\"sha256\" is not 64 lower-case hex characters";
    if (!is_lower_hex_digest(f.csha256)) return "\"csha256\" is not 64 lower-case hex characters";
    if (f.size > kMaxFileSize || f.csize > kMaxFileSize) return "larger than 4 GiB";
    std::string blob;
    if (!read_whole_file(blob_path(appDir, f.sha256), blob)) return "blob missing or unreadable";
    if (blob.size() != f.csize)
        return "blob has " + std::to_string(blob.size()) + " bytes, manifest says \"csize\" " +
               std::to_string(f.csize);
    if (sha256_hex_of(blob.data(), blob.size()) != f.csha256)
        return "blob does not match \"csha256\"";
    std::string content(static_cast<size_t>(f.size), '\0');
    if (!lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                               reinterpret_cast<uint8_t*>(content.data()), f.size))
        return "blob does not unpack to exactly \"size\" " + std::to_string(f.size) + " bytes";
    if (sha256_hex_of(content.data(), content.size()) != f.sha256)
        return "unpacked content does not match \"sha256\"";
    return std::string();
}

// Where an earlier content can be read: the earlier release and its entry, by content hash.
using OldContents = std::map<std::string, std::pair<const PreviousRelease*, const ManifestFile*>>;

// Every patch of `f`: the blob always, the result when an earlier release holds its old content.
// Appends one line per bad patch; counts the patches applied.
void check_entry_patches(const fs::path& appDir, const ManifestFile& f, const OldContents& olds,
                         std::vector<std::string>& bad, size_t& applied) {
    for (const ManifestPatch& p : f.patches) {
        std::string old, error, reason;
        const auto found = olds.find(p.from);
        const bool haveOld = found != olds.end();
        if (haveOld &&
            !read_release_content(found->second.first->appDir, *found->second.second, old, error))
            reason = "old content in " + found->second.first->appDir.string() + ": " + error;
        else
            reason = check_patch(appDir, f, p, haveOld ? &old : nullptr);
        if (!reason.empty())
            bad.push_back(f.path + " (" + patch_path(appDir, p.sha256).string() + "): " + reason);
        else if (haveOld)
            ++applied;
    }
}

} // namespace

int cmd_verify(const ParsedArgs& args) {
    const fs::path appDir = release_app_dir(args.positional[0]);
    const fs::path manifestPath = appDir / "manifest.json";
    std::string text;
    if (!read_whole_file(manifestPath, text)) {
        std::fprintf(stderr, "BAD %s: missing or unreadable\n", manifestPath.c_str());
        return 1;
    }
    std::string error;
    PkeyPtr key = read_public_key(args.value("--public-key"), error);
    if (!key) {
        std::fprintf(stderr, "verify: %s\n", error.c_str());
        return 1;
    }
    std::vector<PreviousRelease> previous;
    const auto given = args.repeated.find("--previous");
    for (const std::string& dir :
         given == args.repeated.end() ? std::vector<std::string>() : given->second) {
        PreviousRelease release;
        if (!read_previous_release(dir, release, error)) {
            std::fprintf(stderr, "verify: --previous %s\n", error.c_str());
            return 1;
        }
        previous.push_back(std::move(release));
    }
    OldContents olds;
    for (const PreviousRelease& release : previous)
        for (const ManifestFile& f : release.manifest.files)
            olds.emplace(f.sha256, std::make_pair(&release, &f));
    const std::string signatureProblem = signature_problem(key.get(), appDir, text);
    if (!signatureProblem.empty()) std::fprintf(stderr, "BAD %s\n", signatureProblem.c_str());
    const bool signedOk = signatureProblem.empty();

    // The blobs are checked even under a bad signature, so one run names every damaged file.
    Manifest manifest;
    if (!parse_manifest(text, manifest)) {
        std::fprintf(stderr, "BAD %s: rejected by Setup's manifest parser\n", manifestPath.c_str());
        return 1;
    }
    // Setup refuses an expired manifest however sound its files are.
    const bool expired = manifest.expires && *manifest.expires < std::time(nullptr);
    if (expired)
        std::fprintf(stderr, "BAD %s: expired at %s; refresh it or pack again\n",
                     manifestPath.c_str(), expiry_text(manifest.expires).c_str());
    std::vector<std::string> reasons(manifest.files.size());
    run_parallel(manifest.files.size(),
                 [&](size_t i) { reasons[i] = check_entry(appDir, manifest.files[i]); });
    std::vector<std::vector<std::string>> badPatches(manifest.files.size());
    std::vector<size_t> applied(manifest.files.size());
    run_parallel(manifest.files.size(), [&](size_t i) {
        check_entry_patches(appDir, manifest.files[i], olds, badPatches[i], applied[i]);
    });
    size_t bad = 0, patches = 0, patchesApplied = 0;
    for (size_t i = 0; i < reasons.size(); ++i) {
        patches += manifest.files[i].patches.size();
        patchesApplied += applied[i];
        for (const std::string& line : badPatches[i]) {
            std::fprintf(stderr, "BAD %s\n", line.c_str());
            ++bad;
        }
        if (reasons[i].empty()) continue;
        const ManifestFile& f = manifest.files[i];
        std::fprintf(stderr, "BAD %s (%s): %s\n", f.path.c_str(),
                     blob_path(appDir, f.sha256).c_str(), reasons[i].c_str());
        ++bad;
    }
    std::vector<std::string> packReasons(manifest.packs.size());
    run_parallel(manifest.packs.size(), [&](size_t p) {
        packReasons[p] = pack_problem(appDir, manifest, manifest.packs[p]);
    });
    for (size_t p = 0; p < packReasons.size(); ++p) {
        if (packReasons[p].empty()) continue;
        std::fprintf(stderr, "BAD pack %s: %s\n",
                     pack_path(appDir, manifest.packs[p].sha256).c_str(), packReasons[p].c_str());
        ++bad;
    }
    std::printf("%s: version %s, sequence %llu, expires %s, %zu files, %zu packs, %zu patches "
                "(%zu applied to earlier contents), %zu bad, signature %s\n",
                appDir.c_str(), manifest.version.c_str(),
                static_cast<unsigned long long>(manifest.sequence),
                expiry_text(manifest.expires).c_str(), manifest.files.size(),
                manifest.packs.size(), patches, patchesApplied, bad, signedOk ? "good" : "BAD");
    return signedOk && bad == 0 && !expired ? 0 : 1;
}
