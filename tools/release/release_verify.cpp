// verify: checks a release folder the way Setup will see it, with Setup's own parser and
// decoder, and names every file that would fail.
#include "tools/release/commands.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/files.h"
#include "catalogue/manifest.h"
#include "tools/release/release_crypto.h"
#include "tools/release/release_files.h"
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
    const std::string signatureProblem = signature_problem(key.get(), appDir, text);
    if (!signatureProblem.empty()) std::fprintf(stderr, "BAD %s\n", signatureProblem.c_str());
    const bool signedOk = signatureProblem.empty();

    // The blobs are checked even under a bad signature, so one run names every damaged file.
    Manifest manifest;
    if (!parse_manifest(text, manifest)) {
        std::fprintf(stderr, "BAD %s: rejected by Setup's manifest parser\n", manifestPath.c_str());
        return 1;
    }
    std::vector<std::string> reasons(manifest.files.size());
    run_parallel(manifest.files.size(),
                 [&](size_t i) { reasons[i] = check_entry(appDir, manifest.files[i]); });
    size_t bad = 0;
    for (size_t i = 0; i < reasons.size(); ++i) {
        if (reasons[i].empty()) continue;
        const ManifestFile& f = manifest.files[i];
        std::fprintf(stderr, "BAD %s (%s): %s\n", f.path.c_str(),
                     blob_path(appDir, f.sha256).c_str(), reasons[i].c_str());
        ++bad;
    }
    std::printf("%s: version %s, %zu files, %zu bad, signature %s\n", appDir.c_str(),
                manifest.version.c_str(), manifest.files.size(), bad, signedOk ? "good" : "BAD");
    return signedOk && bad == 0 ? 0 : 1;
}
