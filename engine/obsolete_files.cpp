#include "engine/obsolete_files.h"

#include <string>
#include <unordered_set>
#include <vector>

#include <windows.h>

#include <nlohmann/json.hpp>

#include "app/file_ops.h"
#include "app/names.h"
#include "app/state.h"
#include "app/text.h"
#include "catalogue/components.h"
#include "catalogue/file_names.h"
#include "catalogue/manifest.h"
#include "engine/file_replace.h"

namespace {

using Names = std::unordered_set<std::string>; // file_name_key of each path

Names kept_names(const Manifest& manifest) {
    Names kept;
    for (const ManifestFile& file : manifest.files)
        if (is_file_selected(file)) kept.insert(file_name_key(file.path));
    return kept;
}

// The record's keys that may be deleted: they follow the path rules and name no kept file.
std::vector<std::string> obsolete_keys(const nlohmann::json& installed, const Names& kept) {
    std::vector<std::string> keys;
    if (!installed.is_object()) return keys;
    for (const auto& item : installed.items())
        if (is_acceptable_manifest_path(item.key()) && !kept.count(file_name_key(item.key())))
            keys.push_back(item.key());
    return keys;
}

// The folders above each name: "a", "a/b" for "a/b/c".
Names folders_above(const Names& names) {
    Names folders;
    for (const std::string& name : names)
        for (size_t slash = name.find('/'); slash != std::string::npos;
             slash = name.find('/', slash + 1))
            folders.insert(name.substr(0, slash));
    return folders;
}

} // namespace

void clear_obsolete_files_in_the_way(const nlohmann::json& installed, const Manifest& manifest) {
    try {
        const Names kept = kept_names(manifest);
        const Names neededFolders = folders_above(kept);
        for (const std::string& key : obsolete_keys(installed, kept)) {
            const std::string name = file_name_key(key);
            bool inTheWay = neededFolders.count(name) > 0;
            for (size_t slash = name.find('/'); !inTheWay && slash != std::string::npos;
                 slash = name.find('/', slash + 1))
                inTheWay = kept.count(name.substr(0, slash)) > 0;
            if (inTheWay) delete_recorded_file(g_installDir, key);
        }
    } catch (const std::exception&) {
        // What stays in the way makes the write fail with its own message.
    }
}

nlohmann::json remove_obsolete_files(const nlohmann::json& installed, const Manifest& manifest) {
    nlohmann::json undeleted = nlohmann::json::object();
    try {
        for (const std::string& key : obsolete_keys(installed, kept_names(manifest)))
            if (!delete_recorded_file(g_installDir, key)) undeleted[key] = installed.at(key);
    } catch (const std::exception&) {
        // Leftover files are harmless; the run goes on.
    }
    return undeleted;
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
