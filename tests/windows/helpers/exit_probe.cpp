// Test helper: ends through end_process while a detached thread keeps publishing into the
// shared strings, as the version check may when the window closes.
//   exit_probe.exe MARKER   -- a static object writes MARKER if it is ever destroyed
#include <string>
#include <thread>

#include <windows.h>

#include "app/startup.h"
#include "base/state.h"

namespace {

std::wstring g_markerPath;

struct DestructionMarker {
    ~DestructionMarker() {
        if (g_markerPath.empty()) return;
        CloseHandle(CreateFileW(g_markerPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    }
} g_destructionMarker;

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    g_markerPath = argv[1];
    std::thread([] {
        for (unsigned n = 0;; ++n) {
            set_status(std::to_wstring(n));
            (void)get_status();
        }
    }).detach();
    Sleep(100);
    end_process(7);
}
