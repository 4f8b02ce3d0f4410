#pragma once
// The mouse side of the window: which control is under the pointer, and the press/release
// cycle that turns into a click. Pure functions over g_hitRects, g_hoverId and g_pressedId;
// window thread only.
#include <cstdint>
#include <vector>

#include "base/state.h"

// The id of the last rectangle containing (x, y) (the control drawn last is on top), or
// kNoControl. Left and top edges are inside, right and bottom edges outside.
int32_t control_at(const std::vector<HitRect>& rects, float x, float y);

// Moves the hover to the control at (x, y) in client pixels; true when it changed, so the
// window must repaint.
bool hover_at(float x, float y);

// The left button went down: the hovered control becomes the pressed one.
void press_hovered();

// The left button came up: clears the press and returns the control to act on, which is the
// pressed one only when the pointer is still over it, else kNoControl.
int32_t release_press();

// The press ends without a click (the capture was lost); true when there was one.
bool cancel_press();
