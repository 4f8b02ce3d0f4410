// diff: what an update from one release to another costs a user, per component: files
// changed, added and removed, and the bytes fetched with and without patches.
#include "tools/release/commands.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "catalogue/components.h"
#include "catalogue/manifest.h"
#include "tools/release/release_args.h"
#include "tools/release/release_patches.h"

namespace {

struct ComponentCost {
    size_t changed = 0;
    size_t added = 0;
    size_t removed = 0;
    size_t patched = 0;       // changed files that a patch brings
    uint64_t whole = 0;       // bytes fetched with whole blobs only
    uint64_t withPatches = 0; // bytes fetched when Setup uses the patches
};

void add(ComponentCost& total, const ComponentCost& c) {
    total.changed += c.changed;
    total.added += c.added;
    total.removed += c.removed;
    total.patched += c.patched;
    total.whole += c.whole;
    total.withPatches += c.withPatches;
}

// The update from `from` to `to`, as Setup would fetch it for an installation of every
// component whose files are exactly those of `from`.
void cost(const Manifest& from, const Manifest& to, ComponentCost (&costs)[kComponentCount]) {
    std::map<std::string, const ManifestFile*> old;
    for (const ManifestFile& f : from.files)
        old.emplace(f.path, &f);
    for (const ManifestFile& f : to.files) {
        ComponentCost& c = costs[classify_file(f.path)];
        const auto found = old.find(f.path);
        if (found == old.end()) {
            ++c.added;
            c.whole += f.csize;
            c.withPatches += f.csize;
            continue;
        }
        const ManifestFile& before = *found->second;
        old.erase(found);
        if (before.sha256 == f.sha256) continue;
        ++c.changed;
        c.whole += f.csize;
        const ManifestPatch* patch = usable_patch(f, before.sha256);
        c.withPatches += patch ? patch->size : f.csize;
        c.patched += patch ? 1 : 0;
    }
    for (const auto& [path, file] : old)
        ++costs[classify_file(path)].removed;
}

nlohmann::json json_of(const ComponentCost& c) {
    return {{"changed", c.changed},   {"added", c.added},
            {"removed", c.removed},   {"patched", c.patched},
            {"bytes_whole", c.whole}, {"bytes_with_patches", c.withPatches}};
}

void print_row(const char* name, const ComponentCost& c) {
    const double share =
        c.whole ? 100.0 * static_cast<double>(c.withPatches) / static_cast<double>(c.whole) : 100.0;
    std::printf("%-9s %7zu %7zu %7zu %7zu %14llu %14llu %6.1f%%\n", name, c.changed, c.added,
                c.removed, c.patched, static_cast<unsigned long long>(c.whole),
                static_cast<unsigned long long>(c.withPatches), share);
}

} // namespace

int cmd_diff(const ParsedArgs& args) {
    std::string error;
    PreviousRelease from, to;
    for (auto [dir, release] : {std::pair{args.positional[0], &from}, {args.positional[1], &to}})
        if (!read_previous_release(dir, *release, error)) {
            std::fprintf(stderr, "diff: %s\n", error.c_str());
            return 1;
        }
    ComponentCost costs[kComponentCount];
    cost(from.manifest, to.manifest, costs);
    ComponentCost total;
    for (const ComponentCost& c : costs)
        add(total, c);

    if (args.has("--json")) {
        nlohmann::json doc = {{"from", from.manifest.version}, {"to", to.manifest.version}};
        for (int n = 0; n < kComponentCount; ++n)
            doc["components"][kComponents[n].id] = json_of(costs[n]);
        doc["total"] = json_of(total);
        std::printf("%s\n", doc.dump(1).c_str());
        return 0;
    }
    std::printf("update %s -> %s\n", from.manifest.version.c_str(), to.manifest.version.c_str());
    std::printf("component changed   added removed patched    whole (B)  patched (B)  share\n");
    for (int n = 0; n < kComponentCount; ++n)
        print_row(kComponents[n].id, costs[n]);
    print_row("total", total);
    return 0;
}
