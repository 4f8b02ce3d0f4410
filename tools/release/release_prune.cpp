// prune: frees the site folder of what no kept release needs. The current release and the N
// highest sequences in history are kept with everything they name; older history goes, and so
// does every file under the app folder's subfolders (blobs/, ...) that none of those manifests
// names. Those subfolders are the tool's own: pack writes nothing there but what a manifest
// names.
#include "tools/release/commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tools/release/release_files.h"
#include "tools/release/release_site.h"

namespace fs = std::filesystem;

namespace {

struct Deletion {
    fs::path path; // a file, or a whole history entry
    uint64_t bytes = 0;
};

size_t parse_keep(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long n = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0)
        throw UsageError("--keep needs a count of releases, got \"" + text + "\"");
    return n;
}

uint64_t bytes_under(const fs::path& path) {
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) return fs::file_size(path, ec);
    uint64_t total = 0;
    for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) total += it->file_size(ec);
    return total;
}

// Every file in the app folder's subfolders that no kept manifest names.
std::vector<Deletion> unnamed_files(const fs::path& appDir, const std::set<std::string>& named) {
    std::vector<Deletion> found;
    std::error_code ec;
    for (fs::directory_iterator top(appDir, ec), end; !ec && top != end; top.increment(ec)) {
        if (!top->is_directory()) continue;
        for (fs::recursive_directory_iterator it(top->path(), ec), stop; !ec && it != stop;
             it.increment(ec)) {
            if (it->is_directory()) continue;
            const std::string rel = it->path().lexically_relative(appDir).generic_string();
            if (!named.count(rel)) found.push_back({it->path(), bytes_under(it->path())});
        }
    }
    if (ec) throw std::runtime_error("cannot list " + appDir.string() + ": " + ec.message());
    return found;
}

// Folders that deleting left empty, below the app folder's own subfolders.
void remove_empty_folders(const fs::path& appDir) {
    std::error_code ec;
    std::vector<fs::path> folders;
    for (fs::directory_iterator top(appDir, ec), end; !ec && top != end; top.increment(ec))
        if (top->is_directory())
            for (fs::recursive_directory_iterator it(top->path(), ec), stop; !ec && it != stop;
                 it.increment(ec))
                if (it->is_directory()) folders.push_back(it->path());
    // Deepest first, so a parent is empty once its children are gone.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        if (fs::is_empty(*it, ec)) fs::remove(*it, ec);
}

} // namespace

int cmd_prune(const ParsedArgs& args) {
    const size_t keep = parse_keep(args.value("--keep"));
    const bool dryRun = args.has("--dry-run");
    const fs::path releaseDir = args.positional[0];
    const fs::path appDir = release_app_dir(releaseDir);

    // Only a folder whose current release verifies is ours to prune.
    std::string error;
    PkeyPtr key = read_public_key(args.value("--public-key"), error);
    StoredManifest current;
    if (!key || !read_stored_manifest(appDir, current, error)) {
        std::fprintf(stderr, "prune: %s; not pruning\n", error.c_str());
        return 1;
    }
    error = signature_problem(key.get(), appDir, current.text);
    if (!error.empty()) {
        std::fprintf(stderr, "prune: %s; not pruning a folder that does not verify\n",
                     error.c_str());
        return 1;
    }
    std::vector<StoredManifest> history = read_history(releaseDir);
    for (const StoredManifest& entry : history)
        if (!entry.problem.empty()) {
            std::fprintf(stderr, "prune: %s; not pruning until it is mended or removed\n",
                         entry.problem.c_str());
            return 1;
        }

    std::set<std::string> named = files_named(current.manifest);
    std::vector<Deletion> deletions;
    for (size_t i = 0; i < history.size(); ++i) {
        if (i < keep) {
            const std::set<std::string> more = files_named(history[i].manifest);
            named.insert(more.begin(), more.end());
        } else {
            deletions.push_back({history[i].dir, bytes_under(history[i].dir)});
        }
    }
    const std::vector<Deletion> files = unnamed_files(appDir, named);
    deletions.insert(deletions.end(), files.begin(), files.end());

    uint64_t freed = 0;
    for (const Deletion& d : deletions) {
        std::error_code ec;
        if (!dryRun) fs::remove_all(d.path, ec);
        if (ec) {
            std::fprintf(stderr, "prune: cannot delete %s: %s\n", d.path.c_str(),
                         ec.message().c_str());
            return 1;
        }
        std::printf("%s %s (%llu bytes)\n", dryRun ? "would delete" : "deleted", d.path.c_str(),
                    static_cast<unsigned long long>(d.bytes));
        freed += d.bytes;
    }
    if (!dryRun) remove_empty_folders(appDir);
    std::printf("%s %llu bytes in %zu deletions; kept sequence %llu (version %s) and %zu in "
                "history\n",
                dryRun ? "would free" : "freed", static_cast<unsigned long long>(freed),
                deletions.size(), static_cast<unsigned long long>(current.manifest.sequence),
                current.manifest.version.c_str(), std::min(keep, history.size()));
    return 0;
}
