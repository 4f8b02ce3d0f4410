#include "engine/obsolete_files.h"

#include <string>
#include <unordered_set>
#include <vector>

#include <windows.h>

#include <nlohmann/json.hpp>

#include "base/link_safe_delete.h"
#include "base/names.h"
#include "base/state.h"
#include "base/text.h"
#include "catalogue/components.h"
#include "catalogue/file_names.h"
#include "catalogue/manifest.h"
#include "engine/file_replace.h"

namespace {

using Names = std::unordered_set<std::string>; // file_name_key of each path

Names kept_names(const Manifest& manifest) {
    Names kept;
    for (const ManifestFile& file : manifest.files)
        if (is_file_selected(file, g_componentSelected)) kept.insert(file_name_key(file.path));
    return kept;
}

} // namespace

// The keys that follow the path rules and name no kept file.
std::vector<std::string> obsolete_keys(const nlohmann::json& installed, const Manifest& manifest) {
    std::vector<std::string> keys;
    if (!installed.is_object()) return keys;
    const Names kept = kept_names(manifest);
    for (const auto& item : installed.items())
        if (is_acceptable_manifest_path(item.key()) && !kept.count(file_name_key(item.key())))
            keys.push_back(item.key());
    return keys;
}

void delete_leftover_staged_files(const nlohmann::json& installed, const Manifest& manifest) {
    try {
        std::vector<std::string> paths;
        for (const ManifestFile& file : manifest.files)
            paths.push_back(file.path);
        if (installed.is_object())
            for (const auto& item : installed.items())
                if (is_acceptable_manifest_path(item.key())) paths.push_back(item.key());
        Names listed;
        for (const std::string& path : paths)
            listed.insert(file_name_key(path));
        const std::string suffix = utf8_from_wide(kStagedSuffix);
        for (const std::string& path : paths) {
            const std::string staged = path + suffix;
            // One look per file; the deletion's checks only where something is there.
            if (GetFileAttributesW(local_file_path(staged).c_str()) != INVALID_FILE_ATTRIBUTES &&
                !listed.count(file_name_key(staged)))
                delete_recorded_file(g_installDir, staged);
        }
        delete_recorded_file(g_installDir, utf8_from_wide(kRecordTempName));
    } catch (const std::exception&) {
        // A leftover only takes room; the run goes on.
    }
}
