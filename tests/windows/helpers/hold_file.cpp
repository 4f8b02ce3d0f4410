// Test helper: holds a file open without any sharing, as the running application holds its
// executable, until a marker file is deleted or a time limit passes.
//   hold_file.exe FILE MARKER SECONDS
// MARKER is created once FILE is held. Exit code 0 when released by the marker, 1 when FILE
// could not be opened, 2 on bad arguments, 3 when the time limit ended the hold.
#include <cwchar>

#include <windows.h>

#include "app/handles.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    FileHandle held(CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) return 1;
    FileHandle marker(CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    marker.reset();
    const ULONGLONG deadline = GetTickCount64() + std::wcstoul(argv[3], nullptr, 10) * 1000ull;
    while (GetTickCount64() < deadline) {
        if (GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES) return 0;
        Sleep(50);
    }
    return 3;
}
