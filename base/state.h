#pragma once
// The records shared by the window thread, the version check and the worker.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// One slot per component in each per-component record. The catalogue owns the components
// (kComponentCount) and the ground cannot see it: the shell, which fills these records from the
// catalogue, asserts that the two agree.
constexpr int kComponentSlots = 5;

enum RunMode : int32_t { Install = 0, Update = 1, Uninstall = 2 };
enum WorkerState : int32_t { Idle = 0, Running = 1, Done = 2, Failed = 3 };

// One clickable area of the last paint.
struct HitRect {
    float x, y, w, h;
    int32_t id;
};

// Run parameters: set by start-up before any thread starts.
extern RunMode g_runMode;
extern bool g_autoMode;
extern uint32_t g_waitPid;
// Written only while no worker runs (start-up, the folder picker).
extern std::wstring g_installDir;

// Guards g_statusText, g_errorText, g_remoteVersion and g_installedVersion; held only for the
// copy of one string.
extern std::mutex g_stateLock;
extern std::wstring g_statusText;
extern std::wstring g_errorText;
extern std::string g_remoteVersion;    // UTF-8
extern std::string g_installedVersion; // UTF-8; the worker replaces it at the end of a run
extern std::string g_targetVersion;    // UTF-8; worker thread only

// Component choice: written only while no worker runs; entry 0 is always true.
extern bool g_componentSelected[kComponentSlots];
// Installed set: the worker rewrites it at the end of a run while the window paints.
extern std::atomic<bool> g_componentInstalled[kComponentSlots];
extern std::vector<uint32_t> g_gpuVendorIds;

// Options: toggled by the window, read by the worker at any time.
extern std::atomic<bool> g_desktopShortcut;
extern std::atomic<bool> g_launchAfterInstall;
extern std::atomic<bool> g_removeUserData;

extern std::atomic<bool> g_catalogReady; // set last, after what it announces
extern uint64_t g_componentDownloadSize[kComponentSlots];

extern std::atomic<WorkerState> g_workerState;
extern std::atomic<bool> g_cancelRequested;
extern std::atomic<uint64_t> g_bytesDone;
extern std::atomic<uint64_t> g_bytesTotal;

// Window thread only.
extern float g_uiScale;
extern int32_t g_hoverId;
extern int32_t g_pressedId;
extern std::vector<HitRect> g_hitRects;

extern const std::wstring g_shortcutName;

void set_status(const std::wstring& text);
std::wstring get_status();
std::wstring get_error();
std::string get_remote_version();
std::string get_installed_version();
void set_installed_version(const std::string& version);
uint64_t add_bytes_done(uint64_t count);

// Stores the message, appends "ОШИБКА: " + message to the setup log, then marks the worker
// Failed, in that order, so the text is in place before the window sees the state. Declared here
// because the engine, the removal and the worker's entry all end runs with it; defined beside
// the log it appends to, in base/setup_log.cpp (Windows only: the native build never ends a run).
void set_error(const std::wstring& message);
