// Test helper: a DLL that leaves "<its own path>.loaded" behind when anything loads it. Copied
// beside setup.exe under the names of system libraries, it shows which ones the loader took
// from the program's folder instead of System32.
#include <string>

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    const std::wstring marker = std::wstring(path) + L".loaded";
    CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    // Refuse to stay: a planted library must not be able to run Setup.
    return FALSE;
}
