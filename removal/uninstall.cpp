#include "removal/uninstall.h"

#include <atomic>
#include <string>

#include <windows.h>

#include "base/held_files.h"
#include "base/link_safe_delete.h"
#include "transaction/folder_lock.h"
#include "base/handles.h"
#include "base/known_folders.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/state.h"
#include "transaction/swap.h"
#include "base/text.h"
#include "catalogue/file_names.h"
#include "catalogue/install_record.h"
#include "catalogue/manifest.h"
#include "base/setup_log.h"
#include "removal/deletion_guard.h"

namespace {

// Folders of the release that the application may fill; removed only when they are empty.
constexpr const wchar_t* kFoldersRemovedWhenEmpty[] = {L"fonts", L"images", L"bench", L"handmodels",
                                                       L"basalt"};

// `name` in a known folder, or empty when the folder cannot be obtained: a bare name would
// be taken relative to the current folder.
std::wstring in_known_folder(REFKNOWNFOLDERID id, const std::wstring& name) {
    const std::wstring base = known_folder(id);
    return base.empty() ? std::wstring() : join_path(base, name);
}

// Deletes `folder` recursively unless that could take the user's or the system's files with
// it. False when the folder is still there; the log then says why.
bool delete_tree_if_safe(const std::wstring& folder) {
    const std::wstring refusal = recursive_delete_refusal(folder);
    if (!refusal.empty()) {
        append_log(L"Папка " + folder + L" не удалена целиком: " + refusal + L".");
        return false;
    }
    if (!delete_tree(folder)) {
        append_log(L"Папка " + folder +
                   L" не удалена целиком: в ней остались файлы, которые не удалось удалить.");
        return false;
    }
    return true;
}

// The recorded files, with the staged copies a killed run may have left beside them. The record
// and Setup's own copy are left for the end: until then a second removal can finish the job.
void delete_recorded_files(const std::wstring& dir) {
    const nlohmann::json files = read_install_record_files(dir);
    const std::string suffix = utf8_from_wide(kStagedSuffix);
    for (const auto& entry : files.items()) {
        const std::string& key = entry.key();
        // Keys that the manifest could never have carried are not ours to follow: they could
        // name files outside the install folder.
        if (!is_acceptable_manifest_path(key)) continue;
        delete_recorded_file(dir, key + suffix);
        if (name_same_file(key, utf8_from_wide(kSetupExeName))) continue;
        delete_recorded_file(dir, key);
    }
    delete_recorded_file(dir, utf8_from_wide(kRecordTempName));
}

void remove_installation() {
    set_status(L"Удаление…");
    const std::wstring dir = g_installDir;
    // An empty or relative install folder names no folder of ours; every path below would
    // depend on the current folder.
    const bool haveDir = is_absolute_folder(dir);

    // No install or update may work on the folder meanwhile. The removal ignores a cancel, as
    // it does everywhere else.
    HeldMutex lock;
    if (haveDir) {
        const std::atomic<bool> never{false};
        lock = lock_install_folder(dir, never);
        if (!lock) {
            set_error(kMsgOtherSetup);
            return;
        }
        set_status(L"Удаление…");
    }

    if (haveDir && is_file_busy(join_path(dir, kAppExeName))) {
        set_error(kMsgAppOpen);
        return;
    }

    // A swap that a killed Setup left half done: the record must name what is on disk before
    // its files are deleted by it.
    if (haveDir) finish_interrupted_swap(dir);

    if (haveDir) delete_recorded_files(dir);

    for (REFKNOWNFOLDERID id : {FOLDERID_Programs, FOLDERID_Desktop}) {
        const std::wstring shortcut = in_known_folder(id, g_shortcutName);
        if (!shortcut.empty()) DeleteFileW(shortcut.c_str());
    }

    // The application data (settings, login) under its own guard, whatever becomes of the
    // install folder.
    const bool removeUserData = g_removeUserData.load();
    if (removeUserData) {
        const std::wstring data = in_known_folder(FOLDERID_LocalAppData, kPublisherFolderName);
        if (!data.empty()) delete_tree_if_safe(join_path(data, kProductFolderName));
    }

    if (haveDir) {
        // Through the retry: the copy of Setup that handed over to this one may not have let go
        // of its image yet, and a scanner may be reading either file.
        delete_file(join_path(dir, kRecordFileName));
        delete_file(join_path(dir, kSetupExeName));
        bool deletedWhole = false;
        if (removeUserData) deletedWhole = delete_tree_if_safe(dir);
        if (!deletedWhole) {
            for (const wchar_t* name : kFoldersRemovedWhenEmpty)
                delete_if_empty(join_path(dir, name));
            delete_folder_if_empty(dir);
        }
    }

    RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallKey);

    // The blobs kept for resuming an interrupted run: nothing is left to resume.
    const std::wstring temp = temp_folder();
    if (!temp.empty()) delete_tree(join_path(temp, kResumeCacheName));

    append_log(L"удалено из " + dir);
    g_workerState.exchange(Done);
}

} // namespace

void uninstall_worker() {
    // Nothing may leave the worker thread; what is not deleted yet stays, and the user can
    // start again.
    try {
        remove_installation();
    } catch (...) {
        set_error(L"Удаление прервано внутренней ошибкой — повторите.");
    }
}
