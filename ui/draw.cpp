#include "ui/draw.h"

#include "app/state.h"
#include "catalogue/components.h"
#include "ui/control_ids.h"
#include "ui/embedded_resources.h"
#include "ui/theme.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

FontFamilyOwner find_family() {
    FontFamilyOwner family;
    if (g_privateFonts && GdipCreateFontFamilyFromName(L"Golos Text", g_privateFonts,
                                                       family.put()) == Ok)
        return family;
    if (GdipCreateFontFamilyFromName(L"Segoe UI", nullptr, family.put()) == Ok) return family;
    if (GdipGetGenericFontFamilySansSerif(family.put()) == Ok) return family;
    return {};
}

// The closed path of four 90° arcs shared by the filled and the outlined rounded rectangle.
PathOwner round_rect_path(Surface& s, const Box& box, float radius) {
    const GpRectF r = s.px(box);
    const float d = s.px(2.0f * radius);
    PathOwner path;
    s.record(GdipCreatePath(FillModeAlternate, path.put()));
    if (!path) return path;
    s.record(GdipAddPathArc(path.get(), r.X, r.Y, d, d, 180.0f, 90.0f));
    s.record(GdipAddPathArc(path.get(), r.X + r.Width - d, r.Y, d, d, 270.0f, 90.0f));
    s.record(GdipAddPathArc(path.get(), r.X + r.Width - d, r.Y + r.Height - d, d, d, 0.0f, 90.0f));
    s.record(GdipAddPathArc(path.get(), r.X, r.Y + r.Height - d, d, d, 90.0f, 90.0f));
    s.record(GdipClosePathFigure(path.get()));
    return path;
}

StringAlignment string_alignment(Align align) {
    switch (align) {
    case Align::Centre: return StringAlignmentCenter;
    case Align::Far: return StringAlignmentFar;
    case Align::Near: break;
    }
    return StringAlignmentNear;
}

// The check mark for a box whose top-left corner is (bx, by), DIP.
void draw_tick(Surface& s, float bx, float by, uint32_t argb) {
    PenOwner pen;
    s.record(GdipCreatePen1(argb, s.px(theme::kTickWidth), UnitWorld, pen.put()));
    if (!pen) return;
    s.record(GdipSetPenLineJoin(pen.get(), LineJoinRound));
    s.record(GdipSetPenStartCap(pen.get(), LineCapRound));
    s.record(GdipSetPenEndCap(pen.get(), LineCapRound));
    GpPointF points[3];
    for (int n = 0; n < 3; ++n)
        points[n] = {s.px(bx + theme::kTickPoints[n][0]), s.px(by + theme::kTickPoints[n][1])};
    s.record(GdipDrawLines(s.graphics, pen.get(), points, 3));
}

// A check box's square: ticked in `fill`, or white with an outline that darkens on hover.
void draw_box(Surface& s, float bx, float by, bool checked, bool hovered, uint32_t fill,
              uint32_t tick) {
    const Box box = {bx, by, theme::kBoxSize, theme::kBoxSize};
    if (checked) {
        fill_round_rect(s, box, theme::kBoxRadius, fill);
        draw_tick(s, bx, by, tick);
        return;
    }
    fill_round_rect(s, box, theme::kBoxRadius, theme::kWhite);
    stroke_round_rect(s, box, theme::kBoxRadius, hovered ? theme::kTextFooter : theme::kOutline,
                      1.0f);
}

} // namespace

FontOwner make_font(float emDip, bool bold, float scale) {
    const FontFamilyOwner family = find_family();
    FontOwner font;
    if (family)
        GdipCreateFont(family.get(), emDip * scale, bold ? FontStyleBold : FontStyleRegular,
                       UnitPixel, font.put());
    return font;
}

Fonts make_fonts(float scale) {
    Fonts fonts;
    fonts.title = make_font(theme::kTitleEm, true, scale);
    fonts.body = make_font(theme::kBodyEm, false, scale);
    fonts.small = make_font(theme::kSmallEm, false, scale);
    fonts.button = make_font(theme::kButtonEm, true, scale);
    fonts.heading = make_font(theme::kHeadingEm, true, scale);
    return fonts;
}

void fill_round_rect(Surface& s, const Box& box, float radius, uint32_t argb) {
    const PathOwner path = round_rect_path(s, box, radius);
    SolidBrushOwner brush;
    s.record(GdipCreateSolidFill(argb, brush.put()));
    if (path && brush) s.record(GdipFillPath(s.graphics, brush.get(), path.get()));
}

void stroke_round_rect(Surface& s, const Box& box, float radius, uint32_t argb, float penPixels) {
    const PathOwner path = round_rect_path(s, box, radius);
    PenOwner pen;
    s.record(GdipCreatePen1(argb, penPixels, UnitWorld, pen.put()));
    if (path && pen) s.record(GdipDrawPath(s.graphics, pen.get(), path.get()));
}

void draw_text(Surface& s, const std::wstring& text, GpFont* font, uint32_t argb, const Box& box,
               Align horizontal, Align vertical) {
    StringFormatOwner format;
    s.record(GdipCreateStringFormat(0, LANG_NEUTRAL, format.put()));
    SolidBrushOwner brush;
    s.record(GdipCreateSolidFill(argb, brush.put()));
    if (!format || !brush) return;
    s.record(GdipSetStringFormatAlign(format.get(), string_alignment(horizontal)));
    s.record(GdipSetStringFormatLineAlign(format.get(), string_alignment(vertical)));
    // An overlong line loses its middle, so a folder path keeps its start and its last folder.
    s.record(GdipSetStringFormatTrimming(format.get(), StringTrimmingEllipsisPath));
    const GpRectF r = s.px(box);
    s.record(GdipDrawString(s.graphics, text.c_str(), -1, font, &r, format.get(), brush.get()));
}

void draw_image(Surface& s, GpImage* image, const Box& box) {
    const GpRectF r = s.px(box);
    s.record(GdipDrawImageRect(s.graphics, image, r.X, r.Y, r.Width, r.Height));
}

void add_hit_rect(Surface& s, const Box& box, int32_t id) {
    const GpRectF r = s.px(box);
    g_hitRects.push_back({r.X, r.Y, r.Width, r.Height, id});
}

void draw_button(Surface& s, const Box& box, const wchar_t* label, int32_t id, ButtonStyle style,
                 GpFont* font) {
    add_hit_rect(s, box, id);
    const bool hovered = s.hovered(id);
    const bool pressed = s.pressed(id);
    switch (style) {
    case Primary:
        // Translucent layers that add up to a soft shadow, darkest near the top edge.
        for (const float drop : theme::kShadowDrops)
            fill_round_rect(s,
                            {box.x + theme::kShadowInset, box.y + drop,
                             box.w - 2.0f * theme::kShadowInset, box.h},
                            theme::kShadowRadius, theme::kAccentShadow);
        fill_round_rect(s, box, theme::kButtonRadius,
                        pressed   ? theme::kAccentPressed
                        : hovered ? theme::kAccentHover
                                  : theme::kAccent);
        break;
    case Secondary: // no pressed look
        fill_round_rect(s, box, theme::kButtonRadius, hovered ? theme::kFillHover : theme::kWhite);
        stroke_round_rect(s, box, theme::kButtonRadius,
                          hovered ? theme::kOutline : theme::kOutlineLight, 1.0f);
        break;
    case Danger:
        fill_round_rect(s, box, theme::kButtonRadius,
                        pressed   ? theme::kDangerPressed
                        : hovered ? theme::kDangerHover
                                  : theme::kDanger);
        break;
    }
    draw_text(s, label, font, style == Secondary ? theme::kTextPrimary : theme::kWhite, box,
              Align::Centre, Align::Centre);
}

void draw_check_box(Surface& s, float x, float y, const wchar_t* label, bool checked, int32_t id,
                    GpFont* font) {
    add_hit_rect(s, {x, y - 3.0f, theme::kCheckHitWidth, theme::kCheckHitHeight}, id);
    draw_box(s, x, y, checked, s.hovered(id), theme::kAccent, theme::kWhite);
    draw_text(s, label, font, theme::kTextSecondary,
              {x + theme::kLabelOffset, y - 2.0f, theme::kCheckLabelWidth,
               theme::kCheckLabelHeight},
              Align::Near, Align::Centre);
}

void draw_component_row(Surface& s, float x, float y, float width, int component,
                        const ComponentRowState& row, GpFont* titleFont, GpFont* smallFont) {
    // The core row is always selected, in grey, and cannot be clicked.
    const bool core = component == 0;
    const int32_t id = core ? kNoControl : kComponentRowBase + component;
    if (!core) add_hit_rect(s, {x, y + theme::kRowHitTop, width, theme::kRowHitHeight}, id);
    draw_box(s, x, y + theme::kRowBoxTop, row.selected, !core && s.hovered(id),
             core ? theme::kCoreBox : theme::kAccent, core ? theme::kTextMuted : theme::kWhite);

    std::wstring title = kComponents[component].title;
    if (row.yourCard) title += kYourCardSuffix;
    const float textX = x + theme::kLabelOffset;
    draw_text(s, title, titleFont, core ? theme::kTextMuted : theme::kTextPrimary,
              {textX, y, width - theme::kLabelOffset - theme::kRowSizeWidth,
               theme::kRowTitleHeight},
              Align::Near, Align::Near);
    draw_text(s, kComponents[component].description, smallFont, theme::kTextMuted,
              {textX, y + theme::kRowDescriptionTop, width - theme::kLabelOffset,
               theme::kRowDescriptionHeight},
              Align::Near, Align::Near);
    if (!row.sizeText.empty())
        draw_text(s, row.sizeText, smallFont, theme::kTextMuted,
                  {x + width - theme::kRowSizeWidth, y, theme::kRowSizeWidth,
                   theme::kRowTitleHeight},
                  Align::Far, Align::Near);
}
