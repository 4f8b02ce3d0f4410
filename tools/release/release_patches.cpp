#include "tools/release/release_patches.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <utility>

#include "base/whole_file.h"
#include "tools/release/patch_maker.h"
#include "tools/release/release_crypto.h"
#include "tools/release/release_files.h"
#include "tools/release/release_site.h"
#include "transport/lzms_container.h"
#include "transport/patch.h"

namespace fs = std::filesystem;

namespace {

// One patch to make: an old content (where to read it) to a new one.
struct PatchJob {
    const PreviousRelease* from = nullptr;
    const ManifestFile* oldFile = nullptr;
    size_t target = 0; // index of the first target with this new content
    ManifestPatch result;
    bool kept = false;
    bool tooLarge = false;
    std::string warning;
    std::string error;
};

const ManifestFile* find_path(const Manifest& manifest, const std::string& path) {
    for (const ManifestFile& f : manifest.files)
        if (f.path == path) return &f;
    return nullptr;
}

void run_job(const fs::path& appDir, const PatchTarget& target, PatchJob& job) {
    std::string old, neu, error;
    if (!read_release_content(job.from->appDir, *job.oldFile, old, error)) {
        job.warning = "old content from " + job.from->appDir.string() + ": " + error;
        return;
    }
    if (!read_whole_file(target.source, neu) ||
        sha256_hex_of(neu.data(), neu.size()) != target.sha256) {
        job.error = "the file changed while being packed";
        return;
    }
    const std::string patch = make_patch(reinterpret_cast<const uint8_t*>(old.data()), old.size(),
                                         reinterpret_cast<const uint8_t*>(neu.data()), neu.size());
    if (patch.empty()) {
        job.warning = "no patch from " + job.oldFile->sha256 + ": the pair is beyond the format";
        return;
    }
    if (!patch_worth_keeping(patch.size(), target.csize)) {
        job.tooLarge = true;
        return;
    }
    std::vector<uint8_t> out;
    if (!apply_patch(reinterpret_cast<const uint8_t*>(old.data()), old.size(),
                     reinterpret_cast<const uint8_t*>(patch.data()), patch.size(), neu.size(),
                     out) ||
        out.size() != neu.size() ||
        !std::equal(out.begin(), out.end(), neu.begin(),
                    [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); })) {
        job.error =
            "the patch from " + job.oldFile->sha256 + " does not apply with Setup's applier";
        return;
    }
    job.result.from = job.oldFile->sha256;
    job.result.sha256 = sha256_hex_of(patch.data(), patch.size());
    job.result.size = patch.size();
    if (!write_replacing(patch_path(appDir, job.result.sha256), patch)) {
        job.error = "cannot write " + patch_path(appDir, job.result.sha256).string();
        return;
    }
    job.kept = true;
}

} // namespace

bool read_previous_release(const fs::path& releaseDir, PreviousRelease& out, std::string& error) {
    fs::path manifestDir;
    locate_manifest(releaseDir, manifestDir, out.appDir);
    StoredManifest stored;
    if (!read_stored_manifest(manifestDir, stored, error)) return false;
    out.manifest = std::move(stored.manifest);
    return true;
}

bool read_release_content(const fs::path& appDir, const ManifestFile& file, std::string& content,
                          std::string& error) {
    std::string blob;
    if (!read_whole_file(blob_path(appDir, file.sha256), blob)) {
        error = "blob missing or unreadable";
        return false;
    }
    // The size comes from the manifest; refuse one no file of a release can have before
    // allocating it.
    if (file.size > kMaxFileSize) {
        error = "larger than 4 GiB";
        return false;
    }
    content.assign(static_cast<size_t>(file.size), '\0');
    if (!lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                               reinterpret_cast<uint8_t*>(content.data()), file.size) ||
        sha256_hex_of(content.data(), content.size()) != file.sha256) {
        error = "blob does not unpack to the content of \"sha256\"";
        return false;
    }
    return true;
}

bool patch_worth_keeping(uint64_t patchSize, uint64_t blobSize) {
    // Both are below 2^32, so the products cannot overflow.
    return patchSize * 100 < blobSize * kPatchSharePercent;
}

bool make_release_patches(const fs::path& appDir, const std::vector<PreviousRelease>& previous,
                          const std::vector<PatchTarget>& targets,
                          std::vector<std::vector<ManifestPatch>>& patches, PatchCounts& counts) {
    // One job per distinct (old content, new content): files with equal content share patches.
    std::vector<PatchJob> jobs;
    std::map<std::pair<std::string, std::string>, size_t> jobOf;
    std::vector<std::vector<size_t>> jobsOfTarget(targets.size());
    for (size_t t = 0; t < targets.size(); ++t) {
        std::vector<std::string> froms;
        for (const PreviousRelease& release : previous) {
            const ManifestFile* old = find_path(release.manifest, targets[t].path);
            if (old == nullptr || old->sha256 == targets[t].sha256) continue;
            if (std::find(froms.begin(), froms.end(), old->sha256) != froms.end()) continue;
            if (froms.size() == kMaxPatchesPerFile) break;
            froms.push_back(old->sha256);
            const auto key = std::make_pair(old->sha256, targets[t].sha256);
            auto [at, fresh] = jobOf.emplace(key, jobs.size());
            if (fresh) {
                PatchJob job;
                job.from = &release;
                job.oldFile = old;
                job.target = t;
                jobs.push_back(std::move(job));
            }
            jobsOfTarget[t].push_back(at->second);
        }
    }
    std::error_code ec;
    if (!jobs.empty()) fs::create_directories(appDir / kPatchFolder, ec);
    if (ec) {
        std::fprintf(stderr, "pack: cannot create %s\n", (appDir / kPatchFolder).c_str());
        return false;
    }
    run_parallel(jobs.size(), [&](size_t k) {
        try {
            run_job(appDir, targets[jobs[k].target], jobs[k]);
        } catch (const std::exception& e) {
            jobs[k].error = std::string("making the patch failed: ") + e.what();
        }
    });

    bool ok = true;
    for (const PatchJob& job : jobs) {
        const std::string& path = targets[job.target].path;
        if (!job.error.empty()) {
            std::fprintf(stderr, "pack: %s: %s\n", path.c_str(), job.error.c_str());
            ok = false;
        } else if (!job.warning.empty()) {
            std::fprintf(stderr, "pack: warning: %s: %s\n", path.c_str(), job.warning.c_str());
            ++counts.unavailable;
        }
        counts.made += job.kept ? 1 : 0;
        counts.tooLarge += job.tooLarge ? 1 : 0;
    }
    patches.assign(targets.size(), {});
    for (size_t t = 0; t < targets.size(); ++t)
        for (size_t k : jobsOfTarget[t])
            if (jobs[k].kept) patches[t].push_back(jobs[k].result);
    return ok;
}

std::string check_patch(const fs::path& appDir, const ManifestFile& file,
                        const ManifestPatch& patch, const std::string* old) {
    std::string bytes;
    if (!read_whole_file(patch_path(appDir, patch.sha256), bytes))
        return "patch missing or unreadable";
    if (bytes.size() != patch.size)
        return "patch has " + std::to_string(bytes.size()) + " bytes, manifest says " +
               std::to_string(patch.size);
    if (sha256_hex_of(bytes.data(), bytes.size()) != patch.sha256)
        return "patch does not match its \"sha256\"";
    if (old == nullptr) return std::string();
    std::vector<uint8_t> out;
    if (!apply_patch(reinterpret_cast<const uint8_t*>(old->data()), old->size(),
                     reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), file.size, out))
        return "patch does not apply to its old content " + patch.from;
    if (sha256_hex_of(out.data(), out.size()) != file.sha256)
        return "patch from " + patch.from + " does not make the content of \"sha256\"";
    return std::string();
}
