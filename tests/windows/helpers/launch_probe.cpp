// Test helper standing in for plannix.exe: appends one line, its command line, to
// "launched.txt" in its current folder, so a test sees that it ran, how often and where.
#include <string>

#include <windows.h>

#include "base/handles.h"
#include "base/text.h"

int wmain() {
    FileHandle file(CreateFileW(L"launched.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
    const std::string line = utf8_from_wide(GetCommandLineW()) + "\n";
    DWORD written = 0;
    return WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)
               ? 0
               : 1;
}
