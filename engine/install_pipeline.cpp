#include "engine/install_pipeline.h"

#include <filesystem>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <windows.h>

#include <nlohmann/json.hpp>

#include "base/byte_counts.h"
#include "base/held_files.h"
#include "transaction/folder_lock.h"
#include "base/handles.h"
#include "base/known_folders.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/relative_path.h"
#include "base/setup_log.h"
#include "engine/signed_manifest.h"
#include "base/state.h"
#include "transaction/swap.h"
#include "base/text.h"
#include "catalogue/components.h"
#include "catalogue/file_names.h"
#include "catalogue/install_record.h"
#include "catalogue/manifest.h"
#include "engine/blob_cache.h"
#include "engine/fetch_stage.h"
#include "engine/file_replace.h"
#include "engine/obsolete_files.h"
#include "engine/patch_source.h"
#include "engine/resume_cache.h"
#include "engine/running_app.h"
#include "engine/shortcut.h"
#include "engine/uninstall_entry.h"
#include "transport/http.h"
#include "transport/transfer_control.h"

namespace fs = std::filesystem;

namespace {

// What the diff leaves to do, and the sizes it adds up.
struct Plan {
    std::vector<Fetch> todo;               // manifest order
    std::vector<PackFetch> packs;          // the packs worth fetching, with the files they give
    std::vector<Fetch> ownFetches;         // the rest of `todo`: each file's own patch or blob
    std::vector<std::wstring> madeFolders; // by the staging, for undoing it
    uint64_t selectedSize = 0;             // installed bytes of the whole selection
    uint64_t downloadTotal = 0;            // bytes of the packs, patches and blobs to fetch
};

// Up to date means recorded with this hash (under any spelling of the path that names the same
// file) and present with this size; content is not hashed.
bool is_up_to_date(const RecordedHashes& recorded, const ManifestFile& file) {
    if (recorded_hash_of(recorded, file.path) != file.sha256) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(local_file_path(file.path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const uint64_t size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return size == file.size;
}

// The packs worth fetching for the to-do list take the files whose content they hold; the plan
// then counts each such pack instead of those files' own patches or blobs.
void choose_packs(const Manifest& manifest, Plan& plan) {
    std::vector<uint64_t> cost(manifest.files.size(), 0);
    for (const Fetch& fetch : plan.todo)
        cost[static_cast<size_t>(fetch.file - manifest.files.data())] =
            fetch.patch ? fetch.patch->size : fetch.file->csize;
    const std::vector<bool> chosen = packs_worth_fetching(manifest.files, manifest.packs, cost);
    std::unordered_map<std::string, size_t> packOf; // content hash -> first chosen pack holding it
    for (size_t p = 0; p < manifest.packs.size(); ++p) {
        if (!chosen[p]) continue;
        for (size_t index : manifest.packs[p].files)
            packOf.emplace(manifest.files[index].sha256, plan.packs.size());
        plan.packs.push_back(PackFetch{&manifest.packs[p], {}});
    }
    plan.downloadTotal = 0;
    for (const Fetch& fetch : plan.todo) {
        const auto found = packOf.find(fetch.file->sha256);
        if (found != packOf.end()) {
            plan.packs[found->second].members.push_back(fetch);
            continue;
        }
        plan.ownFetches.push_back(fetch);
        // What the plan will fetch: the patch where one will be used.
        plan.downloadTotal =
            saturating_add(plan.downloadTotal, fetch.patch ? fetch.patch->size : fetch.file->csize);
    }
    // A pack whose wanted contents all came with an earlier one is not fetched.
    std::erase_if(plan.packs, [](const PackFetch& pack) { return pack.members.empty(); });
    for (const PackFetch& pack : plan.packs)
        plan.downloadTotal = saturating_add(plan.downloadTotal, pack.pack->csize);
}

Plan plan_run(const Manifest& manifest, const nlohmann::json& installed) {
    Plan plan;
    const RecordedHashes recorded = recorded_hashes_by_name(installed);
    for (const ManifestFile& file : manifest.files) {
        if (!is_file_selected(file, g_componentSelected)) continue;
        plan.selectedSize = saturating_add(plan.selectedSize, file.size);
        if (is_up_to_date(recorded, file)) continue;
        Fetch fetch;
        fetch.file = &file;
        fetch.patch = choose_patch(file, fetch.oldSize);
        plan.todo.push_back(fetch);
    }
    choose_packs(manifest, plan);
    return plan;
}

void create_shortcuts() {
    const std::wstring exe = join_path(g_installDir, kAppExeName);
    // Never joined to an empty folder: that would put the link beside whatever is current.
    const std::wstring programs = known_folder(FOLDERID_Programs);
    if (!programs.empty()) create_shortcut(join_path(programs, g_shortcutName), exe);
    if (g_runMode != Install || !g_desktopShortcut.load()) return;
    const std::wstring desktop = known_folder(FOLDERID_Desktop);
    if (!desktop.empty()) create_shortcut(join_path(desktop, g_shortcutName), exe);
}

// The probe opens it for writing, which a read-only attribute alone would refuse; the
// application's executable is always Setup's to replace.
bool app_exe_busy() {
    const std::wstring exe = join_path(g_installDir, kAppExeName);
    clear_read_only(exe);
    return is_file_busy(exe);
}

// A fresh start: no cancel, no progress.
void reset_run() {
    g_cancelRequested.exchange(false);
    g_bytesDone.exchange(0);
    g_bytesTotal.exchange(0);
    set_status(L"Получаем сведения о версии…");
}

// The run's one connection, and the manifest accepted only with its signature over the exact
// bytes received, no older than the installed release and not expired.
bool accept_manifest(HttpSession& net, Manifest& manifest) {
    ManifestFetch fetched = ManifestFetch::Unreachable;
    try {
        // A cancel ends it; the manifest is not counted as progress.
        TransferControl control(&g_cancelRequested);
        if (open_http_session(net))
            fetched = fetch_signed_manifest(net, control, read_installed_sequence(g_installDir),
                                            manifest);
    } catch (const std::exception&) {
        fetched = ManifestFetch::Rejected; // the parser ran out of memory on what arrived
    }
    switch (fetched) {
    case ManifestFetch::Unreachable:
        set_error(kMsgNoConnection);
        return false;
    case ManifestFetch::Rejected:
        set_error(kMsgSignatureRejected);
        return false;
    case ManifestFetch::Older:
        set_error(kMsgOlderRelease);
        return false;
    case ManifestFetch::Expired:
        set_error(kMsgManifestExpired);
        return false;
    case ManifestFetch::Accepted:
        break;
    }
    g_targetVersion = manifest.version;
    return true;
}

// An update waits for the application that asked for it to end; nothing is downloaded while
// it still runs.
bool wait_for_app() {
    if (g_waitPid != 0) {
        set_status(L"Ждём закрытия планикса…");
        wait_for_process(g_waitPid);
    }
    if (app_exe_busy()) {
        set_error(kMsgAppOpen);
        return false;
    }
    return true;
}

// A relative folder would be made wherever the current folder happens to be.
bool prepare_folder() {
    bool created = false;
    try {
        std::error_code ec;
        created = is_absolute_folder(g_installDir) &&
                  (fs::create_directories(fs::path(g_installDir), ec), !ec) &&
                  fs::is_directory(fs::path(g_installDir), ec);
    } catch (const std::exception&) {
    }
    if (!created) set_error(msg_cannot_create_folder(g_installDir));
    return created;
}

// Any trouble reading the record, or another program's record, means no baseline: everything
// selected is fetched and nothing recorded is deleted.
nlohmann::json installed_files() {
    try {
        return read_install_record_files(g_installDir);
    } catch (const std::exception&) {
        return nlohmann::json::object();
    }
}

// Every file of the to-do list staged and verified, or none: a failure or a cancel takes this
// run's staged files away again and the install folder stays exactly as it was. Recorded files
// in the way of a new folder stay until the swap sets them aside.
bool fetch_step(const HttpSession& net, const Manifest& manifest, Plan& plan) {
    prepare_resume_cache(manifest);
    g_bytesTotal.exchange(plan.downloadTotal);
    const std::wstring message =
        fetch_and_stage(net, manifest.files, plan.packs, plan.ownFetches, plan.madeFolders);
    if (!message.empty()) set_error(message);
    return message.empty();
}

// Takes every staged file and the folders made for them away; for a run that stops before its
// swap.
void discard_all_staged(const Plan& plan) {
    for (const Fetch& fetch : plan.todo)
        discard_staged(*fetch.file);
    remove_made_folders(plan.madeFolders);
}

// A path made by join_path from the install folder, relative to it again.
std::string relative_to_install_dir(const std::wstring& path) {
    const size_t prefix = join_path(g_installDir, L"").size();
    return utf8_from_wide(path.substr(std::min(path.size(), prefix)));
}

// The swap of this run: the obsolete files first (so that a folder can take the place of one),
// then the new files in manifest order; the folders it may have to undo; the new record.
SwapPlan swap_plan(const Manifest& manifest, const Plan& plan, const nlohmann::json& installed) {
    SwapPlan swap;
    std::unordered_set<std::string> folders; // looked at already
    for (const std::string& key : obsolete_keys(installed, manifest))
        swap.steps.push_back({key, std::string(), std::string(), true});
    for (const std::wstring& folder : plan.madeFolders)
        swap.madeFolders.push_back(relative_to_install_dir(folder));
    for (const Fetch& fetch : plan.todo) {
        const ManifestFile& file = *fetch.file;
        const DWORD target = GetFileAttributesW(local_file_path(file.path).c_str());
        const bool existed =
            target != INVALID_FILE_ATTRIBUTES && !(target & FILE_ATTRIBUTE_DIRECTORY);
        swap.steps.push_back({file.path, staged_relative_path(file), file.sha256, existed});
        // Folders the swap itself makes: where nothing or a file of the old release stands.
        const std::vector<std::string> parts = split_relative_path(file.path);
        std::string folder;
        for (size_t i = 0; i + 1 < parts.size(); ++i) {
            folder += (i ? "/" : "") + parts[i];
            if (!folders.insert(folder).second) continue;
            const DWORD a = GetFileAttributesW(local_file_path(folder).c_str());
            if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY))
                swap.madeFolders.push_back(folder);
        }
    }
    swap.record = serialise_install_record(manifest, g_componentSelected);
    return swap;
}

// Empty when every file the swap moves can be moved: the files it renames and the staged files
// are opened for deletion without sharing, through the retry, so that a scanner that has just
// taken hold of one is waited for. Else the message naming the file.
std::wstring probe_swap(const SwapPlan& swap, const RecordedHashes& recorded) {
    for (const SwapStep& step : swap.steps) {
        const std::wstring target = local_file_path(step.path);
        const DWORD a = GetFileAttributesW(target.c_str());
        // What the record names is ours to replace, read-only or not.
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) &&
            (step.staged.empty() || !recorded_hash_of(recorded, step.path).empty()))
            clear_read_only(target);
        const bool plainFile = a != INVALID_FILE_ATTRIBUTES &&
                               !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        // A folder or a link under the name is not renamed, so not probed.
        if (plainFile && is_held_against_rename(target)) return msg_file_busy(target);
        if (!step.staged.empty() && is_held_against_rename(local_file_path(step.staged)))
            return msg_file_busy(target);
    }
    return {};
}

// The moves, only once nothing stands in their way: the application and every file the swap
// moves are probed first. The swap is one transaction: it fails whole, and its files set aside
// go only once the record is written; the caches go after that.
bool put_in_place(const Manifest& manifest, const Plan& plan, const nlohmann::json& installed) {
    const SwapPlan swap = swap_plan(manifest, plan, installed);
    std::wstring message;
    if (app_exe_busy()) message = kMsgAppOpen;
    if (message.empty()) message = probe_swap(swap, recorded_hashes_by_name(installed));
    if (message.empty() && swap.record.empty())
        message = msg_cannot_write(join_path(g_installDir, kRecordFileName));
    if (!message.empty()) {
        discard_all_staged(plan);
        set_error(message);
        return false;
    }
    message = run_swap(g_installDir, swap, g_cancelRequested);
    if (!message.empty()) {
        set_error(message);
        return false;
    }
    delete_blob_cache();
    delete_resume_cache();
    return true;
}

// What follows the record leaves a usable installation whatever happens, so it is not reported.
void finish(const Manifest& manifest, const Plan& plan) {
    for (int c = 0; c < kComponentCount; ++c)
        g_componentInstalled[c].store(g_componentSelected[c]);
    set_status(L"Ярлыки…");
    try {
        create_shortcuts();
    } catch (const std::exception&) {
    }
    try {
        write_uninstall_entry(manifest.version, plan.selectedSize);
    } catch (const std::exception&) {
    }
    set_installed_version(manifest.version);
    append_log(L"установлено " + wide_from_utf8(manifest.version) + L" в " + g_installDir +
               L": скачано файлов " + std::to_wstring(plan.todo.size()) + L", " +
               std::to_wstring(g_bytesDone.load() / 1024) + L" КБ");
    finish_successful_run();
}

// One Setup per install folder, from before anything there is looked at to the end of the run.
bool lock_folder(HeldMutex& lock) {
    lock = lock_install_folder(g_installDir, g_cancelRequested);
    if (!lock) {
        set_error(g_cancelRequested.load() ? kMsgCancelled : kMsgOtherSetup);
        return false;
    }
    set_status(L"Получаем сведения о версии…"); // after a wait for the other Setup
    return true;
}

// A swap that a killed Setup left half done is finished or undone before anything else, so that
// the record names what is on disk; a finished one is a successful run, whose caches go.
void finish_interrupted_run() {
    if (!is_absolute_folder(g_installDir) || !finish_interrupted_swap(g_installDir)) return;
    delete_blob_cache();
    delete_resume_cache();
}

void run() {
    reset_run();
    HeldMutex lock;
    if (!lock_folder(lock)) return;
    finish_interrupted_run();
    HttpSession net;
    Manifest manifest;
    if (!accept_manifest(net, manifest)) return;
    if (!wait_for_app()) return;
    if (!prepare_folder()) return;
    const nlohmann::json installed = installed_files();
    delete_leftover_staged_files(installed, manifest);
    Plan plan = plan_run(manifest, installed);
    if (!fetch_step(net, manifest, plan)) return;
    if (!put_in_place(manifest, plan, installed)) return;
    finish(manifest, plan);
}

} // namespace

// What no step names a message for (memory running out while comparing or logging) reaches
// the worker's entry, which reports a run left neither Done nor Failed.
void install_worker() {
    run();
}
