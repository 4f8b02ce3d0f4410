#pragma once
// The ids of the window's clickable areas: painted into g_hitRects, dispatched by the window
// procedure. Component rows use kComponentRowBase + component index (1 to 4); the core row has
// no id because it cannot be toggled.
#include <cstdint>

enum ControlId : int32_t {
    kNoControl = -1,
    kPrimaryButton = 1,
    kCancelButton = 2, // cancel during a run, close otherwise
    kChooseFolder = 3,
    kDesktopShortcutBox = 4,
    kLaunchAfterInstallBox = 5,
    kRemoveUserDataBox = 6,
    kComponentRowBase = 100,
};
