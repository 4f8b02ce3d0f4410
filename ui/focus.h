#pragma once
// The keyboard focus. Window thread only: set by the keys, a click and a screen reader's
// request; read by the paint, which draws the ring and records what is focused.
#include <cstdint>

// The control with the keyboard focus (a ControlId), kNoControl for none.
extern int32_t g_focusId;
// The keyboard has been used, so the focus is drawn; a mouse user never sees a ring.
extern bool g_focusRingShown;
