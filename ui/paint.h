#pragma once
// One frame of the window, drawn from the shared records into an off-screen bitmap and copied
// to `dc` in one operation; refills g_hitRects. Window thread only.
#include <windows.h>

#include "ui/frame_elements.h"

void paint_window(HDC dc, const RECT& client);

// Whether a frame drawn now for `client` would differ from the last one painted: the records,
// the scale, the hover and the press are compared with those it was drawn from. True before
// the first frame.
bool frame_would_change(const RECT& client);

// Frees what frames keep from one to the next (the pixel buffer, the fonts and the logo of
// the scale). Before the embedded fonts and GDI+ go; the next frame makes them again.
void release_frame_resources();

// What the last painted frame shows, element by element in reading order; empty before the
// first frame and while the window is minimised.
const FrameSnapshot& last_frame();
