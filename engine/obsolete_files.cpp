#include "engine/obsolete_files.h"

#include <filesystem>
#include <string>
#include <unordered_map>

#include <windows.h>

#include <nlohmann/json.hpp>

#include "app/paths.h"
#include "app/state.h"
#include "app/text.h"
#include "catalogue/components.h"
#include "catalogue/manifest.h"

namespace fs = std::filesystem;

namespace {

bool is_separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Both as paths: separators alike, trailing ones dropped, letter case ignored.
bool same_path(std::wstring a, std::wstring b) {
    for (std::wstring* s : {&a, &b}) {
        for (wchar_t& c : *s)
            if (c == L'/') c = L'\\';
        while (!s->empty() && s->back() == L'\\')
            s->pop_back();
    }
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// An error while asking counts as not empty, so the climb stops.
bool is_empty_folder(const std::wstring& path) {
    std::error_code ec;
    const bool empty = fs::is_directory(path, ec) && !ec && fs::is_empty(path, ec);
    return empty && !ec;
}

void delete_with_emptied_folders(const std::wstring& installDir, const std::string& key) {
    std::wstring p = join_path(installDir, wide_from_utf8(key));
    for (;;) {
        // A file, or an empty folder; anything else stays, and errors are ignored.
        if (!DeleteFileW(p.c_str())) RemoveDirectoryW(p.c_str());
        p = folder_of(p);
        while (!p.empty() && is_separator(p.back()) && p.size() > installDir.size())
            p.pop_back();
        if (p.size() <= installDir.size() || same_path(p, installDir) || !is_empty_folder(p))
            return;
    }
}

} // namespace

void remove_obsolete_files(const nlohmann::json& installed, const Manifest& manifest) {
    try {
        // The first entry of each path decides, as a scan in manifest order would.
        std::unordered_map<std::string, const ManifestFile*> byPath;
        for (const ManifestFile& file : manifest.files)
            byPath.emplace(file.path, &file);
        for (const auto& item : installed.items()) {
            const std::string& key = item.key();
            const auto found = byPath.find(key);
            if (found != byPath.end() && is_file_selected(*found->second)) continue;
            if (!is_acceptable_manifest_path(key)) continue;
            delete_with_emptied_folders(g_installDir, key);
        }
    } catch (const std::exception&) {
        // Leftover files are harmless; the run goes on.
    }
}
