// pack: turns a folder of application files into a signed release that Setup can install.
#include "tools/release/commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/whole_file.h"
#include "catalogue/components.h"
#include "catalogue/file_names.h"
#include "catalogue/manifest.h"
#include "tools/release/blob_writer.h"
#include "tools/release/progress.h"
#include "tools/release/release_crypto.h"
#include "tools/release/release_files.h"
#include "tools/release/release_freshness.h"
#include "tools/release/release_packs.h"
#include "tools/release/release_patches.h"
#include "tools/release/release_site.h"
#include "transport/lzms_container.h"

namespace fs = std::filesystem;

namespace {

struct PackedFile {
    std::string path; // relative, "/" separators, UTF-8
    fs::path source;
    std::string sha256;
    uint64_t size = 0;
    std::string csha256;
    uint64_t csize = 0;
    bool reused = false;
    std::string error;
    std::vector<ManifestPatch> patches;
};

// Every regular file under `root`, or false after naming each path that Setup could not take.
bool collect_files(const fs::path& root, std::vector<PackedFile>& files) {
    bool ok = true;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory()) continue;
        const std::string rel = it->path().lexically_relative(root).generic_string();
        if (!it->is_regular_file()) {
            std::fprintf(stderr, "pack: skipping %s: not a regular file\n", rel.c_str());
            continue;
        }
        if (!is_valid_utf8(rel)) {
            std::fprintf(stderr, "pack: refusing %s: the name is not UTF-8\n", rel.c_str());
            ok = false;
        } else if (!is_acceptable_manifest_path(rel)) {
            std::fprintf(stderr,
                         "pack: refusing %s: Setup rejects paths with \"..\", \":\" or a leading "
                         "\"/\" or \"\\\"\n",
                         rel.c_str());
            ok = false;
        } else if (!windows_can_hold(rel)) {
            std::fprintf(stderr,
                         "pack: refusing %s: Windows cannot hold a device name (CON, NUL, COM1, "
                         "...) or a name ending in a dot or a space\n",
                         rel.c_str());
            ok = false;
        }
        files.push_back(PackedFile{rel, it->path(), "", 0, "", 0, false, "", {}});
    }
    if (ec) {
        std::fprintf(stderr, "pack: cannot read %s: %s\n", root.c_str(), ec.message().c_str());
        return false;
    }
    std::sort(files.begin(), files.end(),
              [](const PackedFile& a, const PackedFile& b) { return a.path < b.path; });
    // Windows folds letter case: two such names would be one file in the install folder (and
    // Setup would refuse the manifest).
    std::map<std::string, std::string> folded;
    for (const PackedFile& f : files) {
        auto [at, fresh] = folded.emplace(file_name_key(f.path), f.path);
        if (!fresh) {
            std::fprintf(stderr, "pack: refusing %s: same name as %s on Windows\n", f.path.c_str(),
                         at->second.c_str());
            ok = false;
        }
    }
    if (ok && files.empty()) {
        std::fprintf(stderr, "pack: %s holds no files; a release needs at least one\n",
                     root.c_str());
        ok = false;
    }
    return ok;
}

// An existing blob is reused only when it unpacks to exactly this content.
bool blob_holds(const std::string& blob, const std::string& content) {
    std::string unpacked(content.size(), '\0');
    return lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                                 reinterpret_cast<uint8_t*>(unpacked.data()), unpacked.size()) &&
           unpacked == content;
}

bool read_source(PackedFile& f, std::string& content) {
    if (!read_whole_file(f.source, content)) {
        f.error = "cannot read the file";
        return false;
    }
    if (content.size() > kMaxFileSize) {
        f.error = "larger than 4 GiB, which Setup cannot hash in one call";
        return false;
    }
    return true;
}

void hash_one(PackedFile& f) {
    std::string content;
    if (!read_source(f, content)) return;
    f.size = content.size();
    f.sha256 = sha256_hex_of(content.data(), content.size());
}

// Makes sure the blob of this content is in place: reused when it unpacks to exactly this
// content, written otherwise.
void make_blob(const fs::path& appDir, PackedFile& f) {
    std::string content;
    if (!read_source(f, content)) return;
    if (sha256_hex_of(content.data(), content.size()) != f.sha256) {
        f.error = "the file changed while being packed";
        return;
    }
    const fs::path target = blob_path(appDir, f.sha256);
    std::string blob;
    if (read_whole_file(target, blob) && blob_holds(blob, content)) {
        f.reused = true;
    } else {
        try {
            blob = lzms_compress_blob(reinterpret_cast<const uint8_t*>(content.data()),
                                      content.size());
        } catch (const std::exception& e) {
            f.error = std::string("compression failed: ") + e.what();
            return;
        }
        if (!blob_holds(blob, content)) {
            f.error = "the blob does not unpack to the file with Setup's decoder";
            return;
        }
        if (!write_replacing(target, blob)) {
            f.error = "cannot write " + target.string();
            return;
        }
    }
    if (blob.size() > kMaxFileSize) {
        f.error = "blob larger than 4 GiB";
        return;
    }
    f.csize = blob.size();
    f.csha256 = sha256_hex_of(blob.data(), blob.size());
}

// Hashes every file, then makes each distinct content's blob once (files with equal content
// share one blob, and two threads must never write the same blob file).
bool pack_files(const fs::path& appDir, std::vector<PackedFile>& files, size_t& reused) {
    uint64_t sourceBytes = 0;
    for (const PackedFile& f : files) {
        std::error_code ec;
        const uint64_t size = fs::file_size(f.source, ec);
        sourceBytes += ec ? 0 : size;
    }
    {
        Progress progress("hashing", files.size(), sourceBytes);
        run_parallel(files.size(), [&](size_t i) {
            hash_one(files[i]);
            progress.add(files[i].size);
        });
    }
    std::map<std::string, size_t> first; // content hash -> index of the file that makes the blob
    std::vector<size_t> makers;
    uint64_t makerBytes = 0;
    for (size_t i = 0; i < files.size(); ++i)
        if (files[i].error.empty() && first.emplace(files[i].sha256, i).second) {
            makers.push_back(i);
            makerBytes += files[i].size;
        }
    {
        Progress progress("packing", makers.size(), makerBytes);
        run_parallel(makers.size(), [&](size_t k) {
            make_blob(appDir, files[makers[k]]);
            progress.add(files[makers[k]].size);
        });
    }

    bool ok = true;
    reused = 0;
    for (PackedFile& f : files) {
        if (f.error.empty()) {
            const PackedFile& maker = files[first.at(f.sha256)];
            if (!maker.error.empty()) continue; // reported once, with the maker
            f.csize = maker.csize;
            f.csha256 = maker.csha256;
            reused += &maker == &f && f.reused ? 1 : 0;
            continue;
        }
        std::fprintf(stderr, "pack: %s: %s\n", f.path.c_str(), f.error.c_str());
        ok = false;
    }
    return ok;
}

std::string manifest_text(const std::vector<PackedFile>& files,
                          const std::vector<ManifestPack>& packs, const ParsedArgs& args,
                          uint64_t sequence, const std::optional<int64_t>& expires) {
    nlohmann::json doc = nlohmann::json::object();
    doc["app"] = "plannix";
    doc["version"] = args.value("--version");
    if (args.has("--date")) doc["date"] = args.value("--date");
    doc["exe"] = args.value("--exe", "plannix.exe");
    nlohmann::json list = nlohmann::json::array();
    for (const PackedFile& f : files) {
        list.push_back({{"path", f.path},
                        {"size", f.size},
                        {"sha256", f.sha256},
                        {"csize", f.csize},
                        {"csha256", f.csha256}});
        if (f.patches.empty()) continue;
        nlohmann::json patches = nlohmann::json::array();
        for (const ManifestPatch& p : f.patches)
            patches.push_back({{"from", p.from}, {"sha256", p.sha256}, {"size", p.size}});
        list.back()["patches"] = std::move(patches);
    }
    doc["files"] = std::move(list);
    stamp_manifest(doc, sequence, expires);
    if (!packs.empty()) doc["packs"] = packs_json(packs);
    return doc.dump(1) + "\n";
}

std::string megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

void print_component_sizes(const std::vector<PackedFile>& files) {
    uint64_t download[kComponentCount] = {};
    uint64_t installed[kComponentCount] = {};
    size_t count[kComponentCount] = {};
    for (const PackedFile& f : files) {
        const int n = classify_file(f.path);
        download[n] += f.csize;
        installed[n] += f.size;
        ++count[n];
    }
    std::printf("component  files  download          installed\n");
    for (int n = 0; n < kComponentCount; ++n)
        std::printf("%-9s %6zu  %14llu B  %14llu B  (%s)\n", kComponents[n].id, count[n],
                    static_cast<unsigned long long>(download[n]),
                    static_cast<unsigned long long>(installed[n]), megabytes(download[n]).c_str());
}

// Setup starts "plannix.exe" from the install folder after an update, and the uninstall entry
// calls "setup.exe" there; a release without them installs, but leaves those calls pointing at
// nothing. A warning, not a refusal: test releases may leave them out on purpose.
void warn_missing_programs(const std::vector<PackedFile>& files, const std::string& exe) {
    const auto has = [&](const std::string& path) {
        return std::any_of(files.begin(), files.end(),
                           [&](const PackedFile& f) { return f.path == path; });
    };
    for (const char* program : {"plannix.exe", "setup.exe"})
        if (!has(program))
            std::fprintf(stderr, "pack: warning: no %s at the top of the folder\n", program);
    if (!exe.empty() && exe != "plannix.exe" && !has(exe))
        std::fprintf(stderr, "pack: warning: the executable %s is not among the files\n",
                     exe.c_str());
}

bool read_previous_releases(const ParsedArgs& args, std::vector<PreviousRelease>& previous) {
    const auto found = args.repeated.find("--previous");
    if (found == args.repeated.end()) return true;
    for (const std::string& dir : found->second) {
        PreviousRelease release;
        std::string error;
        if (!read_previous_release(dir, release, error)) {
            std::fprintf(stderr, "pack: --previous %s\n", error.c_str());
            return false;
        }
        previous.push_back(std::move(release));
    }
    return true;
}

// Patches from each earlier release's content of the same path, once the blobs are written.
bool add_patches(const fs::path& appDir, const std::vector<PreviousRelease>& previous,
                 std::vector<PackedFile>& files) {
    std::vector<PatchTarget> targets;
    for (const PackedFile& f : files)
        targets.push_back(PatchTarget{f.path, f.sha256, f.size, f.csize, f.source});
    std::vector<std::vector<ManifestPatch>> patches;
    PatchCounts counts;
    if (!make_release_patches(appDir, previous, targets, patches, counts)) return false;
    for (size_t i = 0; i < files.size(); ++i)
        files[i].patches = std::move(patches[i]);
    std::printf("patches: %zu kept, %zu not below %llu%% of the whole blob, %zu unavailable\n",
                counts.made, counts.tooLarge, static_cast<unsigned long long>(kPatchSharePercent),
                counts.unavailable);
    return true;
}

// The bytes of the packs and of their members' own blobs.
void print_pack_sizes(const std::vector<PackedFile>& files,
                      const std::vector<ManifestPack>& packs) {
    uint64_t packBytes = 0, memberBlobBytes = 0;
    size_t members = 0;
    for (const ManifestPack& p : packs) {
        packBytes += p.csize;
        members += p.files.size();
        for (size_t index : p.files)
            memberBlobBytes += files[index].csize;
    }
    std::printf("packs: %zu holding %zu files, %llu B (their blobs: %llu B)\n", packs.size(),
                members, static_cast<unsigned long long>(packBytes),
                static_cast<unsigned long long>(memberBlobBytes));
}

// The solid packs a first installation fetches, once every file's blob is in place.
bool add_packs(const fs::path& appDir, const std::vector<PackedFile>& files,
               std::vector<ManifestPack>& packs) {
    std::vector<PackSource> sources;
    for (const PackedFile& f : files)
        sources.push_back(PackSource{f.path, f.sha256, f.size, f.csize, f.source});
    return make_release_packs(appDir, sources, packs);
}

} // namespace

int cmd_pack(const ParsedArgs& args) {
    if (!is_version_label(args.value("--version")))
        throw UsageError("the version must be non-empty UTF-8 without control characters");
    const std::optional<int64_t> expires = expiry_from_args(args);
    const fs::path source = args.positional[0];
    const fs::path releaseDir = args.positional[1];
    const fs::path appDir = release_app_dir(releaseDir);

    std::string error;
    PkeyPtr key = load_p256_private_key(args.value("--key"), error);
    if (!key) {
        std::fprintf(stderr, "pack: %s\n", error.c_str());
        return 1;
    }
    // Read before anything is written: an earlier release may be in the same folder, and a
    // site whose manifest cannot be read is no site to publish over.
    uint64_t sequence = 0;
    if (!next_sequence(releaseDir, sequence, error)) {
        std::fprintf(stderr, "pack: %s\n", error.c_str());
        return 1;
    }
    std::vector<PreviousRelease> previous;
    if (!read_previous_releases(args, previous)) return 1;
    std::vector<PackedFile> files;
    if (!collect_files(source, files)) return 1;
    warn_missing_programs(files, args.value("--exe"));

    std::error_code ec;
    fs::create_directories(appDir / "blobs", ec);
    if (ec) {
        std::fprintf(stderr, "pack: cannot create %s\n", (appDir / "blobs").c_str());
        return 1;
    }
    size_t reused = 0;
    if (!pack_files(appDir, files, reused)) return 1;
    if (!previous.empty() && !add_patches(appDir, previous, files)) return 1;
    std::vector<ManifestPack> packs;
    if (!args.has("--no-packs") && !add_packs(appDir, files, packs)) return 1;

    // Blobs first, then the manifest with its signature: the manifest never names a missing
    // blob.
    std::string text;
    try {
        text = manifest_text(files, packs, args, sequence, expires);
    } catch (const nlohmann::json::exception& e) {
        std::fprintf(stderr, "pack: cannot write the manifest: %s\n", e.what());
        return 1;
    }
    if (!publish_manifest(releaseDir, key.get(), text, error)) {
        std::fprintf(stderr, "pack: %s\n", error.c_str());
        return 1;
    }
    std::printf("packed %zu files (%zu blobs reused) into %s, version %s, sequence %llu, "
                "expires %s\n",
                files.size(), reused, appDir.c_str(), args.value("--version").c_str(),
                static_cast<unsigned long long>(sequence), expiry_text(expires).c_str());
    print_component_sizes(files);
    if (!packs.empty()) print_pack_sizes(files, packs);
    return 0;
}
