#pragma once
// Patches from earlier releases: the ones pack makes, the checks verify runs, and what diff
// counts. The old contents always come from the earlier releases' own blobs.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/manifest.h"

// A patch is kept only when it is smaller than this share of the whole blob: below it the
// saving is worth a second way of getting the file.
constexpr uint64_t kPatchSharePercent = 60;

struct PreviousRelease {
    std::filesystem::path appDir;
    Manifest manifest;
};

// The manifest of an earlier release folder, or of a history entry (whose blobs are its
// site's). Its signature is not checked: the folders are the publisher's own, and every old
// content is checked against its hash when it is read.
bool read_previous_release(const std::filesystem::path& releaseDir, PreviousRelease& out,
                           std::string& error);

// The content a release holds for `file`: its blob unpacked and checked against "sha256".
bool read_release_content(const std::filesystem::path& appDir, const ManifestFile& file,
                          std::string& content, std::string& error);

// True when `patchSize` is small enough beside a whole blob of `blobSize` to be worth keeping.
bool patch_worth_keeping(uint64_t patchSize, uint64_t blobSize);

// A file of the new release, already hashed and with its blob written.
struct PatchTarget {
    std::string path;
    std::string sha256;
    uint64_t size = 0;
    uint64_t csize = 0;
    std::filesystem::path source;
};

struct PatchCounts {
    size_t made = 0;        // patches written (or found already written)
    size_t tooLarge = 0;    // made, but not smaller than the share of the whole blob
    size_t unavailable = 0; // an old content that could not be read, or a pair the format refuses
};

// For each target, a patch from each distinct older content of the same path in `previous`
// (in the order given, at most kMaxPatchesPerFile), written under appDir's patch folder when it
// is worth keeping and turns the old content into the new one exactly. `patches[i]` belongs to
// `targets[i]`. Warnings go to stderr; false only when a patch cannot be written.
bool make_release_patches(const std::filesystem::path& appDir,
                          const std::vector<PreviousRelease>& previous,
                          const std::vector<PatchTarget>& targets,
                          std::vector<std::vector<ManifestPatch>>& patches, PatchCounts& counts);

// The reason a patch of `file` is bad, or empty: the patch blob against its size and hash, and,
// when `old` holds the content the patch is from, the result against the file's size and hash.
std::string check_patch(const std::filesystem::path& appDir, const ManifestFile& file,
                        const ManifestPatch& patch, const std::string* old);
