#include "app/startup.h"

#include <functional>
#include <system_error>
#include <thread>

#include <shellapi.h>
#include <shlobj.h>
#include <knownfolders.h>
#include <dxgi.h>
#include <gdiplus.h>

#include "app/command_line.h"
#include "base/file_identity.h"
#include "base/handles.h"
#include "base/known_folders.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/state.h"
#include "base/text.h"
#include "app/window_host.h"
#include "app/worker.h"
#include "catalogue/components.h"
#include "catalogue/install_record.h"
#include "ui/embedded_resources.h"

// The shared per-component records hold the catalogue's components slot by slot.
static_assert(kComponentSlots == kComponentCount, "one shared slot per catalogue component");

namespace {

// A string value of at most 1040 bytes; anything longer counts as missing.
bool read_registry_string(HKEY key, const wchar_t* name, std::wstring& value) {
    wchar_t buffer[520] = {};
    DWORD size = sizeof(buffer);
    if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return false;
    value.assign(buffer);
    return true;
}

std::wstring default_install_dir() {
    std::wstring base = known_folder(FOLDERID_UserProgramFiles, KF_FLAG_CREATE);
    // Where the per-user program-files folder lies on Windows; asked for directly on systems
    // (and Wine) that cannot name it, so the default is never a relative path.
    if (base.empty()) {
        const std::wstring local = known_folder(FOLDERID_LocalAppData, KF_FLAG_CREATE);
        if (!local.empty()) base = join_path(local, L"Programs");
    }
    if (base.empty()) return {};
    return join_path(join_path(base, kPublisherFolderName), kProductFolderName);
}

// scan_gpu_vendors on a thread of its own; with no thread to be had, the same work in turn.
std::thread start_gpu_scan(std::vector<uint32_t>& vendors) {
    try {
        return std::thread(scan_gpu_vendors, std::ref(vendors));
    } catch (const std::system_error&) {
        scan_gpu_vendors(vendors);
        return {};
    }
}

void end_gpu_scan(std::thread& scan) {
    // No time limit: the thread only asks the system for its adapters, which always answers.
    if (scan.joinable()) scan.join();
}

} // namespace

void read_command_line() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return;
    std::vector<std::wstring> args;
    for (int i = 1; i < count; ++i)
        args.emplace_back(argv[i]);
    LocalFree(argv);
    parse_command_line(args);
}

void delete_stale_temp_copies(const std::wstring& tempDir, const std::wstring& ownPath) {
    FileIdentity own;
    // Without our own identity we could delete ourselves: better to leave everything.
    if (tempDir.empty() || !file_identity(ownPath, own)) return;
    WIN32_FIND_DATAW entry = {};
    FindHandle find(FindFirstFileW(join_path(tempDir, L"*").c_str(), &entry));
    if (!find) return;
    do {
        const std::wstring name = entry.cFileName;
        const size_t dot = name.find_last_of(L'.');
        if (name.rfind(kTempCopyPrefix, 0) != 0 || dot == std::wstring::npos ||
            name.compare(dot, std::wstring::npos, L".exe") != 0)
            continue;
        const std::wstring path = join_path(tempDir, name);
        FileIdentity id;
        if (!file_identity(path, id) || id == own) continue;
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find.get(), &entry));
}

void find_existing_installation() {
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    std::wstring value;
    if (read_registry_string(key.get(), L"DisplayVersion", value))
        set_installed_version(utf8_from_wide(value));
    if (g_installDir.empty() && read_registry_string(key.get(), L"InstallLocation", value))
        g_installDir = value;
}

void settle_install_dir(const std::wstring& ownPath) {
    // A relative folder (from "/dir" or the registry) would resolve against whatever the
    // current folder happens to be: it counts as not given.
    if (!is_absolute_folder(g_installDir)) g_installDir.clear();
    if (!g_installDir.empty()) return;
    // Only Setup's own record marks an installation: another program's "install.json" (in a
    // Downloads folder, say) must not make that folder the one to install into and delete from.
    const std::wstring ownFolder = folder_of(ownPath);
    if (!ownFolder.empty() && is_own_install_record(read_install_record_at(ownFolder))) {
        g_installDir = ownFolder;
        return;
    }
    g_installDir = default_install_dir();
}

std::vector<uint32_t> detect_gpu_vendors() {
    ComPtr<IDXGIFactory1> factory;
    if (FAILED(CreateDXGIFactory1(__uuidof(IDXGIFactory1), factory.put_void()))) return {};
    return gpu_vendors_of(factory.get());
}

void scan_gpu_vendors(std::vector<uint32_t>& vendors) noexcept {
    // The thread's one catch: an adapter list that cannot be made is no adapters.
    try {
        vendors = detect_gpu_vendors();
    } catch (...) {
        vendors.clear();
    }
}

std::vector<uint32_t> gpu_vendors_of(IDXGIFactory1* factory) {
    std::vector<uint32_t> vendors;
    for (UINT i = 0;; ++i) {
        ComPtr<IDXGIAdapter1> adapter;
        // "Not found" ends the list; any other error would end it too, or repeat for ever.
        if (FAILED(factory->EnumAdapters1(i, adapter.put())) || !adapter) break;
        DXGI_ADAPTER_DESC1 desc = {};
        if (SUCCEEDED(adapter->GetDesc1(&desc)) && !(desc.Flags & DXGI_ADAPTER_FLAG_SOFTWARE))
            vendors.push_back(desc.VendorId);
    }
    return vendors;
}

bool hand_over_to_temp_copy(const std::wstring& tempDir, const std::wstring& ownPath) {
    if (tempDir.empty() || !is_absolute_folder(g_installDir) ||
        !same_file(folder_of(ownPath), g_installDir))
        return false;
    const std::wstring copy =
        join_path(tempDir, kTempCopyPrefix + std::to_wstring(GetCurrentProcessId()) + L".exe");
    if (!CopyFileW(ownPath.c_str(), copy.c_str(), FALSE)) return false;
    const std::wstring parameters = handover_arguments() + L" /dir " + quote_argument(g_installDir);
    const auto started = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", copy.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL));
    // When the copy could not be started, ending here would leave the user with nothing:
    // go on in place instead.
    return started > 32;
}

void end_process(int code) {
    // Not a return into the runtime's exit: that destroys the shared records (g_stateLock, the
    // strings) while a detached thread -- the version check, or a worker that is past its
    // WM_CLOSE -- may still be writing them. ExitProcess ends every other thread before
    // anything is torn down.
    ExitProcess(static_cast<UINT>(code));
}

int run_setup(HINSTANCE instance) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Enumerating the adapters brings up the graphics stack (about half a second under Wine):
    // it runs beside the rest of start-up, GDI+ and the embedded fonts and logo included, and
    // is done before anything uses it.
    std::vector<uint32_t> vendors;
    std::thread adapters = start_gpu_scan(vendors);
    read_command_line();

    const std::wstring tempDir = temp_folder();
    wchar_t ownBuffer[520] = {};
    const DWORD ownLength = GetModuleFileNameW(nullptr, ownBuffer, 520);
    const std::wstring ownPath = (ownLength > 0 && ownLength < 520) ? ownBuffer : L"";

    delete_stale_temp_copies(tempDir, ownPath);
    find_existing_installation();
    settle_install_dir(ownPath);

    // No folder (both known folders failed) means no record, not "install.json" of the
    // current folder.
    const nlohmann::json record = is_absolute_folder(g_installDir)
                                      ? read_install_record_at(g_installDir)
                                      : nlohmann::json::object();

    if (hand_over_to_temp_copy(tempDir, ownPath)) {
        end_gpu_scan(adapters);
        if (SUCCEEDED(com)) CoUninitialize();
        return 0;
    }

    ULONG_PTR gdiplus = 0;
    Gdiplus::GdiplusStartupInput input;
    const bool gdiplusStarted = Gdiplus::GdiplusStartup(&gdiplus, &input, nullptr) == Gdiplus::Ok;
    if (gdiplusStarted) load_embedded_resources(instance);

    end_gpu_scan(adapters);
    g_gpuVendorIds = std::move(vendors);
    bool selected[kComponentCount] = {};
    bool installed[kComponentCount] = {};
    choose_components(record, g_gpuVendorIds, selected, installed);
    for (int n = 0; n < kComponentCount; ++n) {
        g_componentSelected[n] = selected[n];
        g_componentInstalled[n] = installed[n];
    }

    // Without a window nobody could see or end the run: leave at once.
    if (create_main_window(instance)) {
        if (g_runMode == Update || g_autoMode) start_worker();
        run_message_loop();
    }

    if (gdiplusStarted) {
        free_embedded_resources();
        Gdiplus::GdiplusShutdown(gdiplus);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
