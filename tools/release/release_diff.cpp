// diff: what an update from one release to another costs a user, per component: files
// changed, added and removed, and the bytes fetched with and without patches.
#include "tools/release/commands.h"

#include <cstdio>
#include <map>
#include <set>
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
    uint64_t withPacks = 0;   // ... and the packs it chooses for this to-do list
};

void add(ComponentCost& total, const ComponentCost& c) {
    total.changed += c.changed;
    total.added += c.added;
    total.removed += c.removed;
    total.patched += c.patched;
    total.whole += c.whole;
    total.withPatches += c.withPatches;
    total.withPacks += c.withPacks;
}

// What Setup fetches for the files of `to` it wants, `cost[i]` being file i's own price (its
// blob or its patch; 0 when not wanted, as the pack rule reads it), once it takes the packs worth
// fetching: per component, into `withPacks`.
void add_pack_costs(const Manifest& to, const std::vector<uint64_t>& cost,
                    ComponentCost (&costs)[kComponentCount]) {
    const std::vector<bool> chosen = packs_worth_fetching(to.files, to.packs, cost);
    std::set<std::string> inPacks;
    for (size_t p = 0; p < to.packs.size(); ++p) {
        if (!chosen[p]) continue;
        costs[classify_file(to.files[to.packs[p].files[0]].path)].withPacks += to.packs[p].csize;
        for (size_t index : to.packs[p].files)
            inPacks.insert(to.files[index].sha256);
    }
    for (size_t i = 0; i < to.files.size(); ++i)
        if (cost[i] > 0 && !inPacks.count(to.files[i].sha256))
            costs[classify_file(to.files[i].path)].withPacks += cost[i];
}

// The update from `from` to `to`, as Setup would fetch it for an installation of every
// component whose files are exactly those of `from`.
void cost(const Manifest& from, const Manifest& to, ComponentCost (&costs)[kComponentCount]) {
    std::map<std::string, const ManifestFile*> old;
    for (const ManifestFile& f : from.files)
        old.emplace(f.path, &f);
    std::vector<uint64_t> price(to.files.size(), 0);
    for (size_t i = 0; i < to.files.size(); ++i) {
        const ManifestFile& f = to.files[i];
        ComponentCost& c = costs[classify_file(f.path)];
        const auto found = old.find(f.path);
        if (found == old.end()) {
            ++c.added;
            c.whole += f.csize;
            c.withPatches += f.csize;
            price[i] = f.csize;
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
        price[i] = patch ? patch->size : f.csize;
    }
    for (const auto& [path, file] : old)
        ++costs[classify_file(path)].removed;
    add_pack_costs(to, price, costs);
}

// A first installation of every component of `to`: whole blobs, and with the packs.
void first_install_cost(const Manifest& to, ComponentCost (&costs)[kComponentCount]) {
    std::vector<uint64_t> price;
    for (const ManifestFile& f : to.files) {
        costs[classify_file(f.path)].whole += f.csize;
        price.push_back(f.csize);
    }
    add_pack_costs(to, price, costs);
}

nlohmann::json json_of(const ComponentCost& c) {
    return {{"changed", c.changed},           {"added", c.added},
            {"removed", c.removed},           {"patched", c.patched},
            {"bytes_whole", c.whole},         {"bytes_with_patches", c.withPatches},
            {"bytes_with_packs", c.withPacks}};
}

void print_row(const char* name, const ComponentCost& c) {
    const double share =
        c.whole ? 100.0 * static_cast<double>(c.withPatches) / static_cast<double>(c.whole) : 100.0;
    std::printf("%-9s %7zu %7zu %7zu %7zu %14llu %14llu %6.1f%% %14llu\n", name, c.changed, c.added,
                c.removed, c.patched, static_cast<unsigned long long>(c.whole),
                static_cast<unsigned long long>(c.withPatches), share,
                static_cast<unsigned long long>(c.withPacks));
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
    ComponentCost fresh[kComponentCount];
    first_install_cost(to.manifest, fresh);
    ComponentCost freshTotal;
    for (const ComponentCost& c : fresh)
        add(freshTotal, c);

    if (args.has("--json")) {
        nlohmann::json doc = {{"from", from.manifest.version}, {"to", to.manifest.version}};
        for (int n = 0; n < kComponentCount; ++n)
            doc["components"][kComponents[n].id] = json_of(costs[n]);
        doc["total"] = json_of(total);
        doc["first_install"] = {{"bytes_whole", freshTotal.whole},
                                {"bytes_with_packs", freshTotal.withPacks}};
        std::printf("%s\n", doc.dump(1).c_str());
        return 0;
    }
    std::printf("update %s -> %s\n", from.manifest.version.c_str(), to.manifest.version.c_str());
    std::printf("component changed   added removed patched    whole (B)  patched (B)  share"
                "      packs (B)\n");
    for (int n = 0; n < kComponentCount; ++n)
        print_row(kComponents[n].id, costs[n]);
    print_row("total", total);
    std::printf("first installation of %s: %llu B in blobs, %llu B with packs\n",
                to.manifest.version.c_str(), static_cast<unsigned long long>(freshTotal.whole),
                static_cast<unsigned long long>(freshTotal.withPacks));
    return 0;
}
