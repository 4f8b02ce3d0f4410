#pragma once
// The releases an engine test installs (made by a fixture maker into the folder that
// PLANNIX_ENGINE_FIXTURE names), the HTTPS test server that serves them, and runs of the worker
// on the test's own thread.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include <windows.h>

#include "app/worker.h"
#include "base/state.h"
#include "base/text.h"
#include "catalogue/manifest.h"
#include "windows/engine_files.h"
#include "windows/test_files.h"

inline std::wstring fixture(const std::string& relative) {
    return wide_from_utf8(test_file_path("PLANNIX_ENGINE_FIXTURE", relative));
}

// The bytes that the named release installs at `path`.
inline std::string source(const std::string& release, const std::string& path) {
    return read(fixture(release + "src/" + path));
}

inline Manifest release(const std::string& name) {
    Manifest manifest;
    EXPECT_TRUE(parse_manifest(read(fixture(name + "/manifest.json")), manifest)) << name;
    return manifest;
}

// Makes the served manifest pair that of the named release; every release's blobs are served.
inline void serve(const std::string& release) {
    for (const char* name : {"manifest.json", "manifest.sig"})
        ASSERT_TRUE(CopyFileW(fixture(release + "/" + name).c_str(),
                              fixture(std::string("served/plannix/app/") + name).c_str(), FALSE));
}

inline std::wstring served_blob(const ManifestFile& file) {
    return fixture("served/plannix/app/blobs/" + file.sha256 + ".lzms");
}

// The server reads its faults file on every request.
inline void set_faults(const std::string& lines) {
    write(fixture("faults.txt"), lines);
}

inline std::string request_log() {
    return read(wide_from_utf8(test_file_path("PLANNIX_TESTSERVER_LOG", "")));
}

// Where the request log ends now, for requests_since.
inline size_t log_mark() {
    return request_log().size();
}

// The hashes named by the requests for `folder` ("blobs", "patches") that the server was asked
// for since the log had `mark` bytes.
inline std::multiset<std::string> requests_since(size_t mark, const std::string& folder) {
    const std::string log = request_log();
    std::multiset<std::string> hashes;
    const std::string prefix = "GET /plannix/app/" + folder + "/";
    for (size_t at = log.find(prefix, mark); at != std::string::npos; at = log.find(prefix, at + 1))
        hashes.insert(log.substr(at + prefix.size(), 64));
    return hashes;
}

// The install folder `leaf` inside `parent`, which is emptied first of an earlier run's files.
inline std::wstring fresh_folder(const std::wstring& parent, const std::wstring& leaf) {
    std::error_code ec;
    std::filesystem::remove_all(parent, ec);
    return parent + L"\\" + leaf;
}

// The parameters the window sets before it starts a run.
inline void prepare_run(RunMode mode, const std::wstring& dir, const bool selected[kComponentCount],
                        bool desktopShortcut, bool autoMode = true) {
    g_runMode = mode;
    g_autoMode = autoMode;
    g_desktopShortcut = desktopShortcut;
    g_waitPid = 0;
    g_installDir = dir;
    for (int n = 0; n < kComponentCount; ++n)
        g_componentSelected[n] = selected[n];
}

// One run as the worker thread would make it, on this thread.
inline WorkerState run_prepared() {
    worker_main(begin_worker_run());
    return g_workerState.load();
}
