#pragma once
// The pages: one frame's copy of the shared records, and the page drawn from it.
#include <cstdint>
#include <string>
#include <vector>

#include "base/state.h"
#include "catalogue/components.h"
#include "ui/component_rows.h"
#include "ui/draw.h"

// Everything a page shows, read once at the start of a frame (texts through the locked
// accessors), so a frame never mixes two moments of a string and never holds the lock.
// Compared whole with the last painted one to tell whether a tick has anything new to show.
struct PageState {
    float scale = 1.0f;
    float width = 0, height = 0; // client size, DIP
    int32_t hoverId = -1, pressedId = -1;
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
    int32_t focusId = -1;   // the keyboard focus, settled on a control of this page
    bool focusRing = false; // drawn only after the keyboard has been used
    bool operator==(const PageState&) const = default;
};

// The records, the scale, the hover, the press and the focus as they are now, for a client area
// of `width` x `height` device pixels. A focus on a control this page lacks is cleared here.
PageState read_page_state(int width, int height);

Page page_kind(const PageState& page);
// The controls of the page that take the keyboard focus, in Tab order.
std::vector<int32_t> page_focus_order(const PageState& page);

// What a frame draws with that depends on the scale alone, so it may be kept while the scale
// stays: the five fonts and the logo drawn at that scale.
struct PageAssets {
    float scale = 0; // 0: none made
    Fonts fonts;
    ImageTile logo;
};
PageAssets make_page_assets(float scale);

// Logo, title, the content of the page the state picks, error block, button row and footer.
// Hover and press come from the surface.
void draw_page(Surface& s, const PageAssets& assets, const PageState& page);
