#include "base/state.h"

RunMode g_runMode = Install;
bool g_autoMode = false;
uint32_t g_waitPid = 0;
std::wstring g_installDir;

std::mutex g_stateLock;
std::wstring g_statusText;
std::wstring g_errorText;
std::string g_remoteVersion;
std::string g_installedVersion;
std::string g_targetVersion;

bool g_componentSelected[kComponentSlots] = {};
std::atomic<bool> g_componentInstalled[kComponentSlots] = {};
std::vector<uint32_t> g_gpuVendorIds;

std::atomic<bool> g_desktopShortcut{true};
std::atomic<bool> g_launchAfterInstall{true};
std::atomic<bool> g_removeUserData{false};

std::atomic<bool> g_catalogReady{false};
uint64_t g_componentDownloadSize[kComponentSlots] = {};

std::atomic<WorkerState> g_workerState{Idle};
std::atomic<bool> g_cancelRequested{false};
std::atomic<uint64_t> g_bytesDone{0};
std::atomic<uint64_t> g_bytesTotal{0};

float g_uiScale = 1.0f;
int32_t g_hoverId = -1;
int32_t g_pressedId = -1;
std::vector<HitRect> g_hitRects;

const std::wstring g_shortcutName = L"Планикс — Кварталис.lnk";

void set_status(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(g_stateLock);
    g_statusText = text;
}

std::wstring get_status() {
    std::lock_guard<std::mutex> lock(g_stateLock);
    return g_statusText;
}

std::wstring get_error() {
    std::lock_guard<std::mutex> lock(g_stateLock);
    return g_errorText;
}

std::string get_remote_version() {
    std::lock_guard<std::mutex> lock(g_stateLock);
    return g_remoteVersion;
}

std::string get_installed_version() {
    std::lock_guard<std::mutex> lock(g_stateLock);
    return g_installedVersion;
}

void set_installed_version(const std::string& version) {
    std::lock_guard<std::mutex> lock(g_stateLock);
    g_installedVersion = version;
}

uint64_t add_bytes_done(uint64_t count) {
    return g_bytesDone.fetch_add(count) + count;
}
