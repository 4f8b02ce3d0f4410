// parse_manifest over arbitrary bytes; an accepted manifest must satisfy the rules that the
// install pipeline relies on (no two paths naming one file among them, packs whose members are
// distinct files that split the pack exactly), and its install record must serialise and read
// back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue/components.h"
#include "catalogue/file_names.h"
#include "catalogue/install_record.h"
#include "catalogue/manifest.h"
#include "catalogue/utc_time.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Manifest m;
    if (!parse_manifest(text, m)) return 0;
    if (m.version.empty() || m.files.empty()) std::abort();
    for (const ManifestFile& f : m.files) {
        if (!is_acceptable_manifest_path(f.path) || !windows_can_hold(f.path)) std::abort();
        const int n = classify_file(f.path);
        if (n < 0 || n >= kComponentCount) std::abort();
    }
    std::vector<bool> taken(m.files.size(), false);
    for (const ManifestPack& p : m.packs) {
        if (p.size == 0 || p.size > kMaxPackSize || p.files.empty()) std::abort();
        for (size_t index : p.files) {
            if (index >= m.files.size() || taken[index]) std::abort();
            taken[index] = true;
        }
        std::vector<PackMember> members;
        if (!split_pack(m.files, p, static_cast<size_t>(p.size), members)) std::abort();
        if (members.size() != p.files.size()) std::abort();
    }
    std::vector<uint64_t> cost;
    for (const ManifestFile& f : m.files)
        cost.push_back(f.csize);
    if (packs_worth_fetching(m.files, m.packs, cost).size() != m.packs.size()) std::abort();
    const bool all[5] = {true, true, true, true, true};
    const std::string record = serialise_install_record(m, all);
    if (record.empty()) std::abort(); // parsed text is valid UTF-8, so it must serialise
    const nlohmann::json files = record_files_of(parse_install_record_text(record));
    // No two accepted paths name one file, so the record holds one key for each, and the
    // record is Setup's own.
    if (files.size() != m.files.size()) std::abort();
    if (!is_own_install_record(parse_install_record_text(record))) std::abort();
    // The record keeps the sequence, and an accepted expiry is one real moment that writes
    // back as the text it was read from.
    if (recorded_sequence(parse_install_record_text(record)) != m.sequence) std::abort();
    if (m.expires) {
        int64_t again = 0;
        if (!parse_utc_time(format_utc_time(*m.expires), again) || again != *m.expires)
            std::abort();
    }
    const RecordedHashes recorded = recorded_hashes_by_name(files);
    for (const ManifestFile& f : m.files)
        if (!files.contains(f.path) || recorded_hash_of(recorded, f.path) != f.sha256) std::abort();
    return 0;
}
