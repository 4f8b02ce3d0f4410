#include "removal/deletion_guard.h"

#include <vector>

#include "base/handles.h"
#include "base/known_folders.h"
#include "base/paths.h"

namespace {

bool is_drive_letter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// One spelling for comparing: backslashes, no "\\?\" before a drive or "UNC", no trailing
// separator ("C:\" becomes "C:").
std::wstring normalised(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        path.erase(2, 6);
    } else if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() >= 6 && is_drive_letter(path[4]) &&
               path[5] == L':') {
        path.erase(0, 4);
    }
    while (path.size() > 2 && path.back() == L'\\')
        path.pop_back();
    if (path.size() == 3 && path[1] == L':') path.pop_back();
    return path;
}

std::wstring full_path(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring out(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, out.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    out.resize(length);
    return out;
}

// Where the folder really is once every junction and symbolic link on the way is followed;
// empty when it cannot be opened (then it does not exist, or we could not delete it anyway).
std::wstring final_path(const std::wstring& path) {
    FileHandle folder(CreateFileW(path.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) return {};
    const DWORD needed = GetFinalPathNameByHandleW(folder.get(), nullptr, 0, VOLUME_NAME_DOS);
    if (needed == 0) return {};
    std::wstring out(needed, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(folder.get(), out.data(), needed, VOLUME_NAME_DOS);
    if (length == 0 || length >= needed) return {};
    out.resize(length);
    return out;
}

// The folder's full path and, when it differs, the path it leads to, both normalised.
std::vector<std::wstring> names_of(const std::wstring& path) {
    std::vector<std::wstring> names;
    const std::wstring full = full_path(path);
    if (!full.empty()) names.push_back(normalised(full));
    const std::wstring final = final_path(path);
    if (!final.empty() && (names.empty() || normalised(final) != names[0]))
        names.push_back(normalised(final));
    return names;
}

// "C:" or "\\server\share" (at most two names after the leading "\\").
bool is_root(const std::wstring& name) {
    if (name.size() == 2 && name[1] == L':') return true;
    if (name.rfind(L"\\\\", 0) != 0) return false;
    int parts = 0;
    bool inPart = false;
    for (size_t i = 2; i < name.size(); ++i) {
        const bool separator = name[i] == L'\\';
        if (!separator && !inPart) ++parts;
        inPart = !separator;
    }
    return parts <= 2;
}

bool same_text(const wchar_t* a, const wchar_t* b, size_t length) {
    return CompareStringOrdinal(a, static_cast<int>(length), b, static_cast<int>(length), TRUE) ==
           CSTR_EQUAL;
}

// `outer` is `inner` or one of the folders above it (file names compare without case).
bool is_same_or_above(const std::wstring& outer, const std::wstring& inner) {
    if (inner.size() < outer.size()) return false;
    if (inner.size() > outer.size() && inner[outer.size()] != L'\\') return false;
    return same_text(outer.c_str(), inner.c_str(), outer.size());
}

// The folders whose loss would take the user's or the system's files with it.
std::vector<std::wstring> protected_folders() {
    static const KNOWNFOLDERID* const kKnown[] = {
        &FOLDERID_Profile,          &FOLDERID_Desktop,      &FOLDERID_Documents,
        &FOLDERID_Downloads,        &FOLDERID_Pictures,     &FOLDERID_RoamingAppData,
        &FOLDERID_LocalAppData,     &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86,
        &FOLDERID_UserProgramFiles, &FOLDERID_Windows,
    };
    std::vector<std::wstring> folders;
    for (const KNOWNFOLDERID* id : kKnown) {
        // One that cannot be obtained cannot be compared; the others still protect.
        std::wstring path = known_folder(*id);
        if (!path.empty()) folders.push_back(std::move(path));
    }
    std::wstring temp = temp_folder();
    if (!temp.empty()) folders.push_back(std::move(temp));
    return folders;
}

} // namespace

std::wstring recursive_delete_refusal(const std::wstring& folder) {
    if (!is_absolute_folder(folder)) return L"путь не полный";
    const std::vector<std::wstring> names = names_of(folder);
    if (names.empty()) return L"путь не разобрать";
    for (const std::wstring& name : names)
        if (is_root(name)) return L"это корень диска";
    for (const std::wstring& known : protected_folders()) {
        for (const std::wstring& knownName : names_of(known)) {
            for (const std::wstring& name : names) {
                if (!is_same_or_above(name, knownName)) continue;
                return name.size() == knownName.size() ? L"это папка " + known
                                                       : L"в ней лежит папка " + known;
            }
        }
    }
    return {};
}
