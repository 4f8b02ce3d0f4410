#pragma once
// The pages: one frame's copy of the shared records, and the page drawn from it.
#include <cstdint>
#include <string>

#include "app/state.h"
#include "catalogue/components.h"
#include "ui/draw.h"

// Everything a page shows, read once at the start of a frame (texts through the locked
// accessors), so a frame never mixes two moments of a string and never holds the lock.
struct PageState {
    float width = 0, height = 0; // client size, DIP
    RunMode mode = Install;
    WorkerState state = Idle;
    std::string installedVersion; // UTF-8
    std::string remoteVersion;    // UTF-8
    std::wstring installDir;
    std::wstring status;
    std::wstring error;
    uint64_t bytesDone = 0, bytesTotal = 0;
    ComponentRowState rows[kComponentCount];
    bool desktopShortcut = false, launchAfterInstall = false, removeUserData = false;
};

PageState read_page_state(float widthDip, float heightDip);

// Logo, title, the content of the page the state picks, error block, button row and footer.
void draw_page(Surface& s, const Fonts& fonts, const PageState& page);
