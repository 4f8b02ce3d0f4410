#pragma once
// The window's pages as values of the shared records, one row each: the gallery renders them,
// the layout and pixel tests paint them (tests/windows/ui_pages.h), the native tests check
// their focus order. Portable.
#include <cstdint>

#include "app/state.h"

struct PageSetup {
    const char* name;
    RunMode mode;
    WorkerState state;
    const char* installedVersion;
    const char* remoteVersion;
    bool catalogReady;
    uint64_t bytesDone, bytesTotal;
    int32_t hoverId, pressedId;
    const wchar_t* installDir; // null: the usual default folder
    int32_t focusId = -1;      // the keyboard focus
    bool focusRing = false;    // the keyboard has been used, so the focus shows
};

constexpr uint64_t kMiB = 1048576;
inline const wchar_t kDefaultDir[] =
    L"C:\\users\\tester\\AppData\\Local\\Programs\\Kvartalis\\Plannix";
inline const wchar_t kLongDir[] =
    L"D:\\Работа\\Магазины\\Проекты на две тысячи двадцать шестой год\\Сеть у дома\\"
    L"Отдел планировки торгового зала\\Программы\\Kvartalis Plannix";

// clang-format off
inline const PageSetup kPages[] = {
    // name                              mode       state    installed remote  catalog done total hover pressed dir
    {"install-first-idle",               Install,   Idle,    "",      "",      false, 0, 0, -1, -1, nullptr},
    {"install-first-idle-catalog",       Install,   Idle,    "",      "2.5.0", true,  0, 0, -1, -1, nullptr},
    {"install-first-running",            Install,   Running, "",      "2.5.0", true,  210 * kMiB, 525 * kMiB, -1, -1, nullptr},
    {"install-first-running-no-total",   Install,   Running, "",      "2.5.0", true,  0, 0, -1, -1, nullptr},
    {"install-first-running-overfull",   Install,   Running, "",      "2.5.0", true,  600 * kMiB, 525 * kMiB, -1, -1, nullptr},
    {"install-first-failed-progress",    Install,   Failed,  "",      "2.5.0", true,  210 * kMiB, 525 * kMiB, -1, -1, nullptr},
    {"install-first-failed-no-progress", Install,   Failed,  "",      "",      false, 0, 0, -1, -1, nullptr},
    {"install-first-done",               Install,   Done,    "2.5.0", "2.5.0", true,  525 * kMiB, 525 * kMiB, -1, -1, nullptr},
    {"install-change-idle-apply",        Install,   Idle,    "2.5.0", "2.5.0", true,  0, 0, -1, -1, nullptr},
    {"install-change-idle-update",       Install,   Idle,    "2.4.1", "2.5.0", true,  0, 0, -1, -1, nullptr},
    {"install-change-idle-no-catalog",   Install,   Idle,    "2.4.1", "",      false, 0, 0, -1, -1, nullptr},
    {"install-change-failed",            Install,   Failed,  "2.4.1", "2.5.0", true,  0, 0, -1, -1, nullptr},
    {"update-idle",                      Update,    Idle,    "2.4.1", "",      false, 0, 0, -1, -1, nullptr},
    {"update-running",                   Update,    Running, "2.4.1", "",      false, 3 * kMiB, 12 * kMiB, -1, -1, nullptr},
    {"update-failed-progress",           Update,    Failed,  "2.4.1", "",      false, 3 * kMiB, 12 * kMiB, -1, -1, nullptr},
    {"update-failed-no-progress",        Update,    Failed,  "2.4.1", "",      false, 0, 0, -1, -1, nullptr},
    {"update-done",                      Update,    Done,    "2.5.0", "",      false, 12 * kMiB, 12 * kMiB, -1, -1, nullptr},
    {"uninstall-idle",                   Uninstall, Idle,    "2.5.0", "",      false, 0, 0, -1, -1, nullptr},
    {"uninstall-running",                Uninstall, Running, "2.5.0", "",      false, 0, 0, -1, -1, nullptr},
    {"uninstall-failed",                 Uninstall, Failed,  "2.5.0", "",      false, 0, 0, -1, -1, nullptr},
    {"uninstall-done",                   Uninstall, Done,    "2.5.0", "",      false, 0, 0, -1, -1, nullptr},
    {"hover-primary",                    Install,   Idle,    "",      "",      true,  0, 0,  1, -1, nullptr},
    {"pressed-primary-mouse-away",       Install,   Idle,    "",      "",      true,  0, 0, -1,  1, nullptr},
    {"hover-secondary-choose-folder",    Install,   Idle,    "",      "",      true,  0, 0,  3, -1, nullptr},
    {"hover-unchecked-row-and-box",      Install,   Idle,    "",      "",      true,  0, 0, 104, -1, nullptr},
    {"hover-danger",                     Uninstall, Idle,    "2.5.0", "",      false, 0, 0,  1, -1, nullptr},
    {"pressed-danger",                   Uninstall, Idle,    "2.5.0", "",      false, 0, 0,  1,  1, nullptr},
    {"long-folder-path",                 Install,   Idle,    "",      "",      true,  0, 0, -1, -1, kLongDir},
    {"focus-primary-button",             Install,   Idle,    "",      "",      true,  0, 0, -1, -1, nullptr, 1, true},
    {"focus-checked-box",                Install,   Idle,    "",      "",      true,  0, 0, -1, -1, nullptr, 4, true},
    {"focus-unchecked-row",              Install,   Idle,    "",      "",      true,  0, 0, -1, -1, nullptr, 102, true},
    {"focus-cancel-running",             Install,   Running, "",      "2.5.0", true,  210 * kMiB, 525 * kMiB, -1, -1, nullptr, 2, true},
};
// clang-format on
