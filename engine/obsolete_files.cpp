#include "engine/obsolete_files.h"

#include <string>
#include <unordered_map>
#include <vector>

#include <windows.h>

#include <nlohmann/json.hpp>

#include "app/paths.h"
#include "app/state.h"
#include "app/text.h"
#include "catalogue/components.h"
#include "catalogue/manifest.h"

namespace {

// The names of a record key, without empty ones and ".".
std::vector<std::wstring> parts_of(const std::wstring& relative) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = relative.size();
        std::wstring part = relative.substr(start, end - start);
        if (!part.empty() && part != L".") parts.push_back(std::move(part));
        start = end + 1;
    }
    return parts;
}

} // namespace

void delete_recorded_file(const std::wstring& root, const std::wstring& relative) {
    const std::vector<std::wstring> parts = parts_of(relative);
    if (parts.empty()) return;
    // The folders between the root and the file, each checked to be a real folder: through a
    // link the name would reach outside the root.
    std::vector<std::wstring> folders;
    std::wstring path = root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        path = join_path(path, parts[i]);
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return;
        folders.push_back(path);
    }
    const std::wstring file = join_path(path, parts.back());
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        DeleteFileW(file.c_str());
    // Only an empty folder can be removed, so the climb stops at the first one still in use.
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        if (!RemoveDirectoryW(folder->c_str())) break;
}

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
            delete_recorded_file(g_installDir, wide_from_utf8(key));
        }
    } catch (const std::exception&) {
        // Leftover files are harmless; the run goes on.
    }
}
