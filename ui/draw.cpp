#include "ui/draw.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <utility>

#include "base/state.h"
#include "ui/control_ids.h"
#include "ui/embedded_resources.h"
#include "ui/theme.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

const wchar_t kEmbeddedFamily[] = L"Golos Text";
// The embedded faces make two families ("Golos Text" and "Golos Text SemiBold"); room to spare.
constexpr int kMaxEmbeddedFamilies = 8;

// The family from the collection's own list. Wine looks names up only among enumerable fonts,
// which memory fonts never are, so the lookup by name misses a family that is there.
FontFamilyOwner embedded_family_from_list() {
    GpFontFamily* families[kMaxEmbeddedFamilies] = {};
    INT found = 0;
    if (GdipGetFontCollectionFamilyList(g_privateFonts, kMaxEmbeddedFamilies, families, &found) !=
        Ok)
        return {};
    for (INT n = 0; n < found && n < kMaxEmbeddedFamilies; ++n) {
        WCHAR name[LF_FACESIZE] = {};
        FontFamilyOwner clone;
        if (GdipGetFamilyName(families[n], name, LANG_NEUTRAL) == Ok &&
            std::wcscmp(name, kEmbeddedFamily) == 0 &&
            GdipCloneFontFamily(families[n], clone.put()) == Ok)
            return clone;
    }
    return {};
}

FontFamilyOwner find_family() {
    FontFamilyOwner family;
    if (g_privateFonts) {
        if (GdipCreateFontFamilyFromName(kEmbeddedFamily, g_privateFonts, family.put()) == Ok)
            return family;
        if ((family = embedded_family_from_list())) return family;
    }
    if (GdipCreateFontFamilyFromName(L"Segoe UI", nullptr, family.put()) == Ok) return family;
    if (GdipGetGenericFontFamilySansSerif(family.put()) == Ok) return family;
    return {};
}

// The closed path of four 90° arcs shared by the filled and the outlined rounded rectangle.
PathOwner round_rect_path(Surface& s, const Box& box, float radius) {
    const GpRectF r = s.px(box);
    const float d = s.px(2.0f * radius);
    PathOwner path;
    GdipCreatePath(FillModeAlternate, path.put());
    if (!path) return path;
    GdipAddPathArc(path.get(), r.X, r.Y, d, d, 180.0f, 90.0f);
    GdipAddPathArc(path.get(), r.X + r.Width - d, r.Y, d, d, 270.0f, 90.0f);
    GdipAddPathArc(path.get(), r.X + r.Width - d, r.Y + r.Height - d, d, d, 0.0f, 90.0f);
    GdipAddPathArc(path.get(), r.X, r.Y + r.Height - d, d, d, 90.0f, 90.0f);
    GdipClosePathFigure(path.get());
    return path;
}

StringAlignment string_alignment(Align align) {
    switch (align) {
    case Align::Centre:
        return StringAlignmentCenter;
    case Align::Far:
        return StringAlignmentFar;
    case Align::Near:
        break;
    }
    return StringAlignmentNear;
}

// No flags (text wraps at word boundaries and is clipped to its box); an overlong line loses its
// middle, so a folder path keeps its start and its last folder.
StringFormatOwner make_string_format(Align horizontal, Align vertical) {
    StringFormatOwner format;
    if (GdipCreateStringFormat(0, LANG_NEUTRAL, format.put()) != Ok) return format;
    GdipSetStringFormatAlign(format.get(), string_alignment(horizontal));
    GdipSetStringFormatLineAlign(format.get(), string_alignment(vertical));
    GdipSetStringFormatTrimming(format.get(), StringTrimmingEllipsisPath);
    return format;
}

// The width and height (DIP) that `text` takes when it may wrap within `maxWidth`, rounded up
// to whole device pixels and one more, so that drawing it in a box of that size never wraps.
// Zero when it cannot be measured.
void measure_text(Surface& s, const wchar_t* text, GpFont* font, float maxWidth, float& width,
                  float& height) {
    width = height = 0;
    const StringFormatOwner format = make_string_format(Align::Near, Align::Near);
    const GpRectF layout = {0, 0, s.px(maxWidth), 1.0e6f};
    GpRectF bounds = {};
    if (!format || !font ||
        GdipMeasureString(s.graphics, text, -1, font, &layout, format.get(), &bounds, nullptr,
                          nullptr) != Ok)
        return;
    width = std::min((std::ceil(bounds.Width) + 1.0f) / s.scale, maxWidth);
    height = (std::ceil(bounds.Height) + 1.0f) / s.scale;
}

// The check mark for a box whose top-left corner is (bx, by), DIP.
void draw_tick(Surface& s, float bx, float by, uint32_t argb) {
    PenOwner pen;
    GdipCreatePen1(argb, s.px(theme::kTickWidth), UnitWorld, pen.put());
    if (!pen) return;
    GdipSetPenLineJoin(pen.get(), LineJoinRound);
    GdipSetPenStartCap(pen.get(), LineCapRound);
    GdipSetPenEndCap(pen.get(), LineCapRound);
    GpPointF points[3];
    for (int n = 0; n < 3; ++n)
        points[n] = {s.px(bx + theme::kTickPoints[n][0]), s.px(by + theme::kTickPoints[n][1])};
    GdipDrawLines(s.graphics, pen.get(), points, 3);
}

} // namespace

void set_rendering_options(GpGraphics* graphics) {
    GdipSetSmoothingMode(graphics, SmoothingModeAntiAlias);
    GdipSetTextRenderingHint(graphics, TextRenderingHintClearTypeGridFit);
    GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
    GdipSetPixelOffsetMode(graphics, PixelOffsetModeHalf);
}

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
    GdipCreateSolidFill(argb, brush.put());
    if (path && brush) GdipFillPath(s.graphics, brush.get(), path.get());
}

void stroke_round_rect(Surface& s, const Box& box, float radius, uint32_t argb, float penPixels) {
    const PathOwner path = round_rect_path(s, box, radius);
    PenOwner pen;
    GdipCreatePen1(argb, penPixels, UnitWorld, pen.put());
    if (path && pen) GdipDrawPath(s.graphics, pen.get(), path.get());
}

void draw_text(Surface& s, const std::wstring& text, GpFont* font, uint32_t argb, const Box& box,
               Align horizontal, Align vertical) {
    const StringFormatOwner format = make_string_format(horizontal, vertical);
    SolidBrushOwner brush;
    GdipCreateSolidFill(argb, brush.put());
    if (!format || !brush) return;
    const GpRectF r = s.px(box);
    GdipDrawString(s.graphics, text.c_str(), -1, font, &r, format.get(), brush.get());
}

void draw_image(Surface& s, GpImage* image, const Box& box) {
    const GpRectF r = s.px(box);
    GdipDrawImageRect(s.graphics, image, r.X, r.Y, r.Width, r.Height);
}

ImageTile make_image_tile(GpImage* image, const Box& box, float scale) {
    ImageTile tile;
    tile.scale = scale;
    if (!image) return tile;
    Surface s;
    s.scale = scale;
    const GpRectF r = s.px(box);
    // The image is drawn at its very place in a canvas that starts where the frame does (GDI+
    // samples the image at positions worked out from the place, so another place can round
    // differently); the tile keeps the whole pixels around it and two more on each side for
    // the filter's reach.
    constexpr int kReach = 2;
    const int right = static_cast<int>(std::ceil(r.X + r.Width)) + kReach;
    const int bottom = static_cast<int>(std::ceil(r.Y + r.Height)) + kReach;
    tile.x = std::max(static_cast<int>(std::floor(r.X)) - kReach, 0);
    tile.y = std::max(static_cast<int>(std::floor(r.Y)) - kReach, 0);
    tile.width = right - tile.x;
    tile.height = bottom - tile.y;
    if (tile.width <= 0 || tile.height <= 0) return tile;
    std::vector<uint32_t> canvas(size_t(right) * size_t(bottom), theme::kWhite);
    BitmapOwner bitmap;
    GraphicsOwner graphics;
    if (GdipCreateBitmapFromScan0(right, bottom, right * 4, PixelFormat32bppPARGB,
                                  reinterpret_cast<BYTE*>(canvas.data()), bitmap.put()) != Ok ||
        GdipGetImageGraphicsContext(bitmap.get(), graphics.put()) != Ok)
        return tile;
    set_rendering_options(graphics.get());
    GdipDrawImageRect(graphics.get(), image, r.X, r.Y, r.Width, r.Height);
    graphics.reset(); // every drawing call has reached the canvas
    tile.pixels.resize(size_t(tile.width) * size_t(tile.height));
    for (int y = 0; y < tile.height; ++y)
        std::copy_n(&canvas[size_t(tile.y + y) * size_t(right) + size_t(tile.x)], tile.width,
                    &tile.pixels[size_t(y) * size_t(tile.width)]);
    return tile;
}

void put_image_tile(Surface& s, const ImageTile& tile) {
    if (!s.pixels || tile.pixels.empty()) return;
    const int left = std::max(tile.x, 0), right = std::min(tile.x + tile.width, s.width);
    const int top = std::max(tile.y, 0), bottom = std::min(tile.y + tile.height, s.height);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            s.pixels[size_t(y) * size_t(s.width) + size_t(x)] =
                tile.pixels[size_t(y - tile.y) * size_t(tile.width) + size_t(x - tile.x)];
}

void add_element(Surface& s, const Box& box, FrameElement element) {
    const GpRectF r = s.px(box);
    if (element.id != kNoControl) g_hitRects.push_back({r.X, r.Y, r.Width, r.Height, element.id});
    if (!s.elements) return;
    element.x = r.X, element.y = r.Y, element.w = r.Width, element.h = r.Height;
    s.elements->push_back(std::move(element));
}

void read_text(Surface& s, const Box& box, ElementRole role, const std::wstring& text) {
    if (s.elements && !text.empty()) add_element(s, box, {.role = role, .name = text});
}

void draw_focus_ring(Surface& s, const Box& frame) {
    // Centred on a line kFocusRingGap + half its width outside the frame.
    const float out = theme::kFocusRingGap + theme::kFocusRingWidth / 2.0f;
    stroke_round_rect(s, {frame.x - out, frame.y - out, frame.w + 2.0f * out, frame.h + 2.0f * out},
                      theme::kFocusRingRadius, theme::kAccent, s.px(theme::kFocusRingWidth));
}

void draw_button(Surface& s, const Box& box, const wchar_t* label, int32_t id, ButtonStyle style,
                 GpFont* font) {
    add_element(s, box, {.role = ElementRole::PushButton, .id = id, .name = label});
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
                          hovered ? theme::kOutline : theme::kOutlineLight, theme::kOutlinePixels);
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

void draw_check_square(Surface& s, float bx, float by, bool checked, bool hovered, uint32_t fill,
                       uint32_t tick) {
    const Box box = {bx, by, theme::kBoxSize, theme::kBoxSize};
    if (checked) {
        fill_round_rect(s, box, theme::kBoxRadius, fill);
        draw_tick(s, bx, by, tick);
        return;
    }
    fill_round_rect(s, box, theme::kBoxRadius, theme::kWhite);
    stroke_round_rect(s, box, theme::kBoxRadius, hovered ? theme::kTextFooter : theme::kOutline,
                      theme::kOutlinePixels);
}

void draw_check_box(Surface& s, Layout& at, const wchar_t* label, bool checked, int32_t id,
                    GpFont* font) {
    float labelWidth = 0, labelHeight = 0;
    measure_text(s, label, font, at.width - theme::kLabelOffset, labelWidth, labelHeight);
    const float frameHeight =
        std::max(theme::kCheckHeight, labelHeight + 2.0f * theme::kCheckLabelInset);
    const Box frame = {at.x, at.y, theme::kLabelOffset + labelWidth, frameHeight};
    add_element(s, frame,
                {.role = ElementRole::CheckButton, .id = id, .name = label, .checked = checked});
    draw_check_square(s, frame.x, frame.y + theme::kCheckBoxTop, checked, s.hovered(id),
                      theme::kAccent, theme::kWhite);
    // Centred on the box: both sit in the frame with the same space above and below.
    draw_text(s, label, font, theme::kTextSecondary,
              {frame.x + theme::kLabelOffset, frame.y + theme::kCheckLabelInset, labelWidth,
               frame.h - 2.0f * theme::kCheckLabelInset},
              Align::Near, Align::Centre);
    at.y += frame.h + theme::kCheckSpacing;
}
