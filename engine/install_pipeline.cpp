#include "engine/install_pipeline.h"

#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

#include <nlohmann/json.hpp>

#include "app/file_ops.h"
#include "app/known_folders.h"
#include "app/names.h"
#include "app/paths.h"
#include "app/state.h"
#include "app/text.h"
#include "catalogue/components.h"
#include "catalogue/install_record.h"
#include "catalogue/manifest.h"
#include "engine/blob_cache.h"
#include "engine/file_replace.h"
#include "engine/obsolete_files.h"
#include "engine/running_app.h"
#include "engine/setup_log.h"
#include "engine/shortcut.h"
#include "engine/uninstall_entry.h"
#include "transport/http.h"
#include "transport/signature.h"

namespace fs = std::filesystem;

namespace {

// What the diff leaves to do, and the sizes it adds up.
struct Plan {
    std::vector<const ManifestFile*> todo; // manifest order
    uint64_t selectedSize = 0;             // installed bytes of the whole selection
    uint64_t downloadTotal = 0;            // blob bytes of the to-do list
};

uint64_t saturating_add(uint64_t a, uint64_t b) {
    return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

// The signature is fetched only once the manifest has arrived.
bool fetch_manifest(std::string& manifestText, std::string& signature) {
    return http_get(L"/plannix/app/manifest.json", manifestText, false) &&
           http_get(L"/plannix/app/manifest.sig", signature, false);
}

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

Plan plan_run(const Manifest& manifest, const nlohmann::json& installed) {
    Plan plan;
    const RecordedHashes recorded = recorded_hashes_by_name(installed);
    for (const ManifestFile& file : manifest.files) {
        if (!is_file_selected(file)) continue;
        plan.selectedSize = saturating_add(plan.selectedSize, file.size);
        if (is_up_to_date(recorded, file)) continue;
        plan.todo.push_back(&file);
        plan.downloadTotal = saturating_add(plan.downloadTotal, file.csize);
    }
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

void run() {
    // A fresh start: no cancel, no progress.
    g_cancelRequested.exchange(false);
    g_bytesDone.exchange(0);
    g_bytesTotal.exchange(0);
    set_status(L"Получаем сведения о версии…");

    // The manifest, accepted only with its signature over the exact bytes received.
    Manifest manifest;
    {
        std::string manifestText;
        std::string signature;
        bool fetched = false;
        try {
            fetched = fetch_manifest(manifestText, signature);
        } catch (const std::exception&) {
        }
        if (!fetched) {
            set_error(L"Нет связи с сайтом Кварталис. Проверьте интернет и повторите.");
            return;
        }
        bool accepted = false;
        try {
            accepted = verify_manifest_signature(manifestText, signature) &&
                       parse_manifest(manifestText, manifest);
        } catch (const std::exception&) {
        }
        if (!accepted) {
            set_error(L"Файлы на сайте не прошли проверку подписи — установка остановлена.");
            return;
        }
    }

    g_targetVersion = manifest.version;

    // An update waits for the application that asked for it to end.
    if (g_waitPid != 0) {
        set_status(L"Ждём закрытия планикса…");
        wait_for_process(g_waitPid);
    }

    // Nothing is downloaded while the application still runs.
    const std::wstring exe = join_path(g_installDir, kAppExeName);
    if (GetFileAttributesW(exe.c_str()) != INVALID_FILE_ATTRIBUTES && is_file_busy(exe)) {
        set_error(L"Планикс открыт — закройте его и нажмите «Повторить».");
        return;
    }

    {
        // A relative folder would be made wherever the current folder happens to be.
        bool created = false;
        try {
            std::error_code ec;
            created = is_absolute_folder(g_installDir) &&
                      (fs::create_directories(fs::path(g_installDir), ec), !ec) &&
                      fs::is_directory(fs::path(g_installDir), ec);
        } catch (const std::exception&) {
        }
        if (!created) {
            set_error(L"Не создать папку " + g_installDir);
            return;
        }
    }

    // Any trouble reading the record means no baseline: everything selected is fetched.
    nlohmann::json installed = nlohmann::json::object();
    try {
        installed = read_install_record_files(g_installDir);
    } catch (const std::exception&) {
    }
    delete_leftover_staged_files(installed, manifest);

    const Plan plan = plan_run(manifest, installed);
    g_bytesTotal.exchange(plan.downloadTotal);

    clear_obsolete_files_in_the_way(installed, manifest);
    // One file at a time, in manifest order; a cancel takes effect between files.
    const size_t n = plan.todo.size();
    for (size_t i = 0; i < n; ++i) {
        const ManifestFile& file = *plan.todo[i];
        if (g_cancelRequested.load()) {
            set_error(L"Установка отменена.");
            return;
        }
        set_status(L"Скачивание " + std::to_wstring(i + 1) + L" из " + std::to_wstring(n) + L": " +
                   wide_from_utf8(file.path));
        std::vector<uint8_t> content;
        if (!obtain_blob(file, content)) return;
        if (!replace_file(file, content)) return;
        installed[file.path] = file.sha256;
    }

    const nlohmann::json undeleted = remove_obsolete_files(installed, manifest);
    delete_blob_cache();

    // A run whose record is not written must not report success: the next update or the
    // removal would not know the files it put there.
    if (!write_install_record(g_installDir, manifest, g_componentSelected, undeleted)) {
        set_error(L"Не записать " + join_path(g_installDir, kRecordFileName));
        return;
    }

    for (int c = 0; c < kComponentCount; ++c)
        g_componentInstalled[c].store(g_componentSelected[c]);

    // Failures here leave a usable installation and are not reported.
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
               L": скачано файлов " + std::to_wstring(n) + L", " +
               std::to_wstring(g_bytesDone.load() / 1024) + L" КБ");
    finish_successful_run();
}

} // namespace

void install_worker() {
    try {
        run();
    } catch (...) {
        // Only what no step names a message for can arrive here (memory running out while
        // comparing or logging); the worker's entry reports a run left neither Done nor
        // Failed.
    }
}
