#include "engine/install_pipeline.h"

#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include <windows.h>

#include <nlohmann/json.hpp>

#include "app/byte_counts.h"
#include "app/file_ops.h"
#include "app/known_folders.h"
#include "app/messages.h"
#include "app/names.h"
#include "app/paths.h"
#include "app/setup_log.h"
#include "app/signed_manifest.h"
#include "app/state.h"
#include "app/text.h"
#include "catalogue/components.h"
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
    std::vector<bool> wanted(manifest.files.size(), false);
    for (const Fetch& fetch : plan.todo)
        wanted[static_cast<size_t>(fetch.file - manifest.files.data())] = true;
    const std::vector<bool> chosen = packs_worth_fetching(manifest.files, manifest.packs, wanted);
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
        if (!is_file_selected(file)) continue;
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

bool app_exe_busy() {
    const std::wstring exe = join_path(g_installDir, kAppExeName);
    return GetFileAttributesW(exe.c_str()) != INVALID_FILE_ATTRIBUTES && is_file_busy(exe);
}

// A fresh start: no cancel, no progress.
void reset_run() {
    g_cancelRequested.exchange(false);
    g_bytesDone.exchange(0);
    g_bytesTotal.exchange(0);
    set_status(L"Получаем сведения о версии…");
}

// The run's one connection, and the manifest accepted only with its signature over the exact
// bytes received.
bool accept_manifest(HttpSession& net, Manifest& manifest) {
    ManifestFetch fetched = ManifestFetch::Unreachable;
    try {
        if (open_http_session(net)) fetched = fetch_signed_manifest(net, manifest);
    } catch (const std::exception&) {
        fetched = ManifestFetch::Rejected; // the parser ran out of memory on what arrived
    }
    if (fetched == ManifestFetch::Unreachable) {
        set_error(kMsgNoConnection);
        return false;
    }
    if (fetched == ManifestFetch::Rejected) {
        set_error(kMsgSignatureRejected);
        return false;
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
// run's staged files away again and the install folder stays exactly as it was.
//
// Recorded obsolete files that stand where this release needs a folder (or inside a folder
// where it needs a file) go first: nothing could be staged there otherwise. They are the only
// change made before the moves, and only to files the new release drops.
bool fetch_step(const HttpSession& net, const Manifest& manifest, const nlohmann::json& installed,
                Plan& plan) {
    clear_obsolete_files_in_the_way(installed, manifest);
    prepare_resume_cache(manifest);
    g_bytesTotal.exchange(plan.downloadTotal);
    const std::wstring message =
        fetch_and_stage(net, manifest.files, plan.packs, plan.ownFetches, plan.madeFolders);
    if (!message.empty()) set_error(message);
    return message.empty();
}

// Takes every staged file and the folders made for them away; for a run that stops before its
// moves.
void discard_all_staged(const Plan& plan) {
    for (const Fetch& fetch : plan.todo)
        discard_staged(*fetch.file);
    remove_made_folders(plan.madeFolders);
}

// The moves, only once nothing stands in their way: the application and every file to be
// replaced are probed first, so an update fails whole instead of leaving two versions mixed.
// Then the obsolete files go, the caches go and the record is written.
bool put_in_place(const Manifest& manifest, const Plan& plan, nlohmann::json& installed) {
    if (app_exe_busy()) {
        discard_all_staged(plan);
        set_error(kMsgAppOpen);
        return false;
    }
    for (const Fetch& fetch : plan.todo) {
        if (!is_file_busy(local_file_path(fetch.file->path))) continue;
        discard_all_staged(plan);
        set_error(msg_file_busy(local_file_path(fetch.file->path)));
        return false;
    }
    for (size_t i = 0; i < plan.todo.size(); ++i) {
        const ManifestFile& file = *plan.todo[i].file;
        const std::wstring message = move_staged(file);
        if (!message.empty()) {
            // Only a program that took hold of a file since the probe gets here.
            for (size_t rest = i + 1; rest < plan.todo.size(); ++rest)
                discard_staged(*plan.todo[rest].file);
            remove_made_folders(plan.madeFolders); // those still empty
            set_error(message);
            return false;
        }
        installed[file.path] = file.sha256;
    }

    // What cannot be deleted now stays recorded, so that the next run and the removal try again.
    const nlohmann::json undeleted = remove_obsolete_files(installed, manifest);
    delete_blob_cache();
    delete_resume_cache();

    // A run whose record is not written must not report success: the next update or the
    // removal would not know the files it put there.
    if (!write_install_record(g_installDir, manifest, g_componentSelected, undeleted)) {
        set_error(msg_cannot_write(join_path(g_installDir, kRecordFileName)));
        return false;
    }
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

void run() {
    reset_run();
    HttpSession net;
    Manifest manifest;
    if (!accept_manifest(net, manifest)) return;
    if (!wait_for_app()) return;
    if (!prepare_folder()) return;
    nlohmann::json installed = installed_files();
    delete_leftover_staged_files(installed, manifest);
    Plan plan = plan_run(manifest, installed);
    if (!fetch_step(net, manifest, installed, plan)) return;
    if (!put_in_place(manifest, plan, installed)) return;
    finish(manifest, plan);
}

} // namespace

// What no step names a message for (memory running out while comparing or logging) reaches
// the worker's entry, which reports a run left neither Done nor Failed.
void install_worker() {
    run();
}
