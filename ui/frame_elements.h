#pragma once
// What one painted frame holds, element by element: recorded by the same drawing calls that
// paint the page and register its hit rectangles, and read by the accessibility object, so what
// is drawn, clicked and read come from one place. Portable; window thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "base/state.h"
#include "ui/page_rules.h"

enum class ElementRole : int32_t { Text, Alert, PushButton, CheckButton, ProgressBar };

struct FrameElement {
    ElementRole role = ElementRole::Text;
    int32_t id = -1; // ControlId; kNoControl for texts, the progress and the core row
    float x = 0, y = 0, w = 0, h = 0; // device pixels of the client area
    std::wstring name = {};           // text, label or title; the status line of the progress
    std::wstring description = {};    // a component's description
    std::wstring value = {};          // the progress figures
    bool checked = false;
    bool canAct = false; // a control that acts now, and so may take the focus
    bool operator==(const FrameElement&) const = default;
};

struct FrameSnapshot {
    bool painted = false;
    RunMode mode = Install;
    WorkerState state = Idle;
    Page page = Page::Ready;
    int32_t focusId = -1;
    std::vector<int32_t> focusOrder;    // the controls Tab visits, in order
    std::vector<FrameElement> elements; // in reading order
};

// Puts the elements in reading order: top to bottom, left to right within a line. Stable, so
// parts at one place keep their drawing order.
void sort_reading_order(std::vector<FrameElement>& elements);

// Index of the element of control `id`; -1 when the frame has none.
int element_of_control(const FrameSnapshot& frame, int32_t id);

// The progress element's value: the size text, or the percentage when there is no size.
std::wstring progress_value(uint64_t bytesDone, uint64_t bytesTotal);
