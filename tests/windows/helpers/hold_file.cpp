// Test helper: holds a file open without any sharing, as the running application holds its
// executable or a virus scanner a file it has just seen written, until a marker file is deleted
// or a time limit passes.
//   hold_file.exe FILE MARKER SECONDS [TRIGGER]
// With TRIGGER, it first waits (up to 120 s) for TRIGGER to exist, then takes FILE the moment it
// can be opened (FILE itself as TRIGGER: as soon as its writer has closed it). MARKER is created
// once FILE is held. Exit code 0 when released by the marker, 1 when FILE could not be opened,
// 2 on bad arguments, 3 when the time limit ended the hold.
#include <cwchar>

#include <windows.h>

#include "base/handles.h"

namespace {

constexpr ULONGLONG kTriggerWaitMs = 120000;

bool exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

HANDLE open_unshared(const wchar_t* path) {
    return CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4 && argc != 5) return 2;
    FileHandle held;
    if (argc == 5) {
        const ULONGLONG giveUp = GetTickCount64() + kTriggerWaitMs;
        while (!exists(argv[4]) && GetTickCount64() < giveUp)
            Sleep(1);
        // The file's writer (or mover) may still hold it for a moment.
        while (!(held = FileHandle(open_unshared(argv[1]))) && GetTickCount64() < giveUp)
            Sleep(1);
    } else {
        held = FileHandle(open_unshared(argv[1]));
    }
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
