#include "engine/file_replace.h"

#include <filesystem>

#include <windows.h>

#include "app/file_ops.h"
#include "app/files.h"
#include "app/names.h"
#include "app/paths.h"
#include "app/state.h"
#include "app/text.h"
#include "catalogue/manifest.h"

namespace fs = std::filesystem;

std::wstring local_file_path(const std::string& relativePath) {
    return join_path(g_installDir, wide_from_utf8(relativePath));
}

bool replace_file(const ManifestFile& file, const std::vector<uint8_t>& content) {
    const std::wstring local = local_file_path(file.path);
    const std::wstring staged = local + kStagedSuffix;
    // Through a junction or link inside the install folder the file would land outside it, where
    // nothing ever removes it; a folder of that name (not one the record listed) is not ours to
    // replace.
    const DWORD attributes = GetFileAttributesW(local.c_str());
    if (has_link_on_the_way(g_installDir, file.path) ||
        (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        set_error(L"Не записать " + local);
        return false;
    }
    try {
        // A folder that cannot be made shows up as a failed write just below.
        std::error_code ec;
        fs::create_directories(fs::path(local).parent_path(), ec);
        // A staged file left by an earlier run is overwritten; one left now stays for the next.
        if (!write_file_flushed(staged, content.data(), content.size())) {
            set_error(L"Не записать " + local);
            return false;
        }
    } catch (const std::exception&) {
        set_error(L"Не записать " + local);
        return false;
    }
    // Every failure of the move means something holds the old file (or its name).
    if (!move_replacing(staged, local)) {
        DeleteFileW(staged.c_str());
        set_error(L"Файл занят: " + local + L" — закройте планикс.");
        return false;
    }
    return true;
}
