#include "ui/frame_elements.h"

#include <algorithm>
#include <cmath>

void sort_reading_order(std::vector<FrameElement>& elements) {
    std::stable_sort(elements.begin(), elements.end(),
                     [](const FrameElement& a, const FrameElement& b) {
                         return a.y != b.y ? a.y < b.y : a.x < b.x;
                     });
}

int element_of_control(const FrameSnapshot& frame, int32_t id) {
    if (id < 0) return -1;
    for (size_t n = 0; n < frame.elements.size(); ++n)
        if (frame.elements[n].id == id) return static_cast<int>(n);
    return -1;
}

std::wstring progress_value(uint64_t bytesDone, uint64_t bytesTotal) {
    std::wstring text = progress_size_text(bytesDone, bytesTotal);
    if (text.empty())
        text = std::to_wstring(
                   static_cast<int>(std::floor(progress_fraction(bytesDone, bytesTotal) * 100.0))) +
               L"%";
    return text;
}
