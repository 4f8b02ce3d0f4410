#include "base/held_files.h"

#include <algorithm>

#include <windows.h>

#include "base/handles.h"

std::atomic<uint32_t> g_heldRetryLimitMs{kHeldRetryLimitMs};

bool retry_while_held(const std::function<bool()>& attempt, const std::atomic<bool>* stop) {
    const ULONGLONG start = GetTickCount64();
    DWORD pause = kHeldFirstPauseMs;
    for (;;) {
        if (attempt()) return true;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION &&
            error != ERROR_ACCESS_DENIED)
            return false;
        const ULONGLONG waited = GetTickCount64() - start;
        const uint32_t limit = g_heldRetryLimitMs.load();
        if (waited >= limit || (stop && stop->load())) return false;
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, limit - waited)));
        pause = std::min<DWORD>(pause * 2, kHeldLongestPauseMs);
        // The attempt after the last pause may still fail for its own reason: keep its error.
    }
}

namespace {

// True when an open with `access` and no sharing fails for a holder even after the retry; a
// missing file is held by no one.
bool held_against(const std::wstring& path, DWORD access) {
    const bool opened = retry_while_held([&] {
        // Backup semantics let a folder be opened too.
        FileHandle file(CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return static_cast<bool>(file);
    });
    if (opened) return false;
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

} // namespace

bool is_file_busy(const std::wstring& path) {
    return held_against(path, GENERIC_WRITE);
}

bool is_held_against_rename(const std::wstring& path) {
    return held_against(path, DELETE);
}

bool move_file(const std::wstring& from, const std::wstring& to, const std::atomic<bool>* stop) {
    return retry_while_held(
        [&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0; }, stop);
}

void clear_read_only(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool delete_file(const std::wstring& path) {
    return retry_while_held([&] {
        if (DeleteFileW(path.c_str())) return true;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
        // Read-only refuses deletion with access denied, as a holder may: cleared only then,
        // so that the common case costs one call.
        if (error == ERROR_ACCESS_DENIED) {
            clear_read_only(path);
            if (DeleteFileW(path.c_str())) return true;
            error = GetLastError();
        }
        SetLastError(error);
        return false;
    });
}
