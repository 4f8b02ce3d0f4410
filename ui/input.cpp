#include "ui/input.h"

#include "ui/control_ids.h"

int32_t control_at(const std::vector<HitRect>& rects, float x, float y) {
    int32_t found = kNoControl;
    for (const HitRect& r : rects) {
        if (x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h) found = r.id;
    }
    return found;
}

bool hover_at(float x, float y) {
    const int32_t id = control_at(g_hitRects, x, y);
    if (id == g_hoverId) return false;
    g_hoverId = id;
    return true;
}

void press_hovered() {
    g_pressedId = g_hoverId;
}

int32_t release_press() {
    const int32_t id = g_pressedId;
    g_pressedId = kNoControl;
    // Moving off the control while the button is held and releasing elsewhere cancels.
    return (id >= 0 && id == g_hoverId) ? id : kNoControl;
}

bool cancel_press() {
    if (g_pressedId == kNoControl) return false;
    g_pressedId = kNoControl;
    return true;
}
