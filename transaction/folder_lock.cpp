#include "transaction/folder_lock.h"

#include <windows.h>

#include "base/names.h"
#include "base/state.h"
#include "base/text.h"
#include "catalogue/file_names.h"
#include "transport/hash.h"

namespace {

// How often a waiting Setup looks for a cancel.
constexpr DWORD kCancelPollMs = 100;

} // namespace

std::wstring folder_mutex_name(const std::wstring& dir) {
    // A mutex name allows no "\" and at most MAX_PATH characters: the folded path's hash does.
    const std::string key = file_name_key(utf8_from_wide(dir));
    return kFolderMutexPrefix + wide_from_utf8(sha256_hex(key.data(), key.size()));
}

HeldMutex lock_install_folder(const std::wstring& dir, const std::atomic<bool>& cancel) {
    KernelHandle mutex(CreateMutexW(nullptr, FALSE, folder_mutex_name(dir).c_str()));
    if (!mutex) return {};
    const ULONGLONG start = GetTickCount64();
    for (bool told = false;;) {
        // An abandoned mutex (its Setup was killed) is ours all the same; what that Setup left
        // is finished or undone next.
        const DWORD waited = WaitForSingleObject(mutex.get(), told ? kCancelPollMs : 0);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
            return HeldMutex(mutex.release());
        }
        if (waited != WAIT_TIMEOUT || cancel.load() ||
            GetTickCount64() - start >= kFolderLockWaitMs)
            return {};
        if (!told) set_status(L"Ожидание другой установки…");
        told = true;
    }
}
