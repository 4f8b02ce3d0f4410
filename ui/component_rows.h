#pragma once
// The component rows of the Ready page: the catalogue's titles and descriptions, the selection
// and the download sizes, read once per frame and drawn with the kit's pieces. Window thread
// only.
#include <string>

#include "ui/draw.h"

// What a component row shows, taken from the frame's snapshot of the shared records.
struct ComponentRowState {
    bool selected = false;
    bool yourCard = false; // the machine has this component's graphics card
    std::wstring sizeText; // empty: no size shown
    bool operator==(const ComponentRowState&) const = default;
};

// Row `component` as the shared records hold it now; the size only once `catalogReady`, the
// flag that is set after the sizes.
ComponentRowState read_component_row(int component, bool catalogReady);

// A row of the layout's width: box, title, description and size inside a frame that is the
// hit rectangle (the core row has none).
void draw_component_row(Surface& s, Layout& at, int component, const ComponentRowState& row,
                        Gdiplus::GpFont* titleFont, Gdiplus::GpFont* smallFont);
