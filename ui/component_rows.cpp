#include "ui/component_rows.h"

#include "base/state.h"
#include "catalogue/components.h"
#include "ui/control_ids.h"
#include "ui/page_rules.h"
#include "ui/theme.h"

using Gdiplus::GpFont;

ComponentRowState read_component_row(int component, bool catalogReady) {
    ComponentRowState row;
    row.selected = g_componentSelected[component];
    row.yourCard = machine_has_card_for(component, g_gpuVendorIds);
    if (catalogReady) row.sizeText = component_size_text(g_componentDownloadSize[component]);
    return row;
}

void draw_component_row(Surface& s, Layout& at, int component, const ComponentRowState& row,
                        GpFont* titleFont, GpFont* smallFont) {
    const Box frame = {at.x, at.y, at.width, theme::kRowHeight};
    // The core row is always selected, in grey, and cannot be clicked.
    const bool core = component == 0;
    const int32_t id = core ? kNoControl : kComponentRowBase + component;
    std::wstring title = kComponents[component].title;
    if (row.yourCard) title += kYourCardSuffix;
    add_element(s, frame,
                {.role = ElementRole::CheckButton,
                 .id = id,
                 .name = title,
                 .description = kComponents[component].description,
                 .checked = row.selected});
    draw_check_square(s, frame.x, frame.y + theme::kRowBoxTop, row.selected, !core && s.hovered(id),
                      core ? theme::kCoreBox : theme::kAccent,
                      core ? theme::kTextMuted : theme::kWhite);

    const float textX = frame.x + theme::kLabelOffset;
    const float textWidth = frame.w - theme::kLabelOffset;
    draw_text(s, title, titleFont, core ? theme::kTextMuted : theme::kTextPrimary,
              {textX, frame.y + theme::kRowTitleTop, textWidth - theme::kRowSizeWidth,
               theme::kRowTitleHeight},
              Align::Near, Align::Near);
    draw_text(s, kComponents[component].description, smallFont, theme::kTextMuted,
              {textX, frame.y + theme::kRowDescriptionTop, textWidth, theme::kRowDescriptionHeight},
              Align::Near, Align::Near);
    if (!row.sizeText.empty())
        draw_text(s, row.sizeText, smallFont, theme::kTextMuted,
                  {frame.x + frame.w - theme::kRowSizeWidth, frame.y + theme::kRowTitleTop,
                   theme::kRowSizeWidth, theme::kRowTitleHeight},
                  Align::Far, Align::Near);
    at.y += frame.h + theme::kRowSpacing;
}
