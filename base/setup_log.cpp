#include "base/setup_log.h"

#include <windows.h>

#include "base/handles.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/state.h"
#include "base/text.h"

std::wstring setup_log_path() {
    const std::wstring folder = temp_folder();
    // No defined place, so no log.
    return folder.empty() ? folder : join_path(folder, kLogFileName);
}

void append_log(const std::wstring& line) {
    const std::wstring path = setup_log_path();
    if (path.empty()) return;
    // Opened and closed per line, shared for reading and writing, so another program may
    // read or even delete the log at any time.
    FileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    const std::string bytes = utf8_from_wide(line) + "\r\n";
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    FlushFileBuffers(file.get());
}

void set_error(const std::wstring& message) {
    {
        std::lock_guard<std::mutex> lock(g_stateLock);
        g_errorText = message;
    }
    append_log(L"ОШИБКА: " + message);
    g_workerState.exchange(Failed);
}
