#pragma once
// The painting kit: every value given in DIP, scaled here and only here. A control registers
// its hit rectangle, works out hovered and pressed from the ids, and draws the look that state
// picks. Window thread only.
#include <cstdint>
#include <string>

#include "ui/gdiplus_owners.h"
#include "ui/page_rules.h"

// A rectangle in DIP: x, y, width, height.
struct Box {
    float x, y, w, h;
};

enum class Align { Near, Centre, Far };

// The frame's drawing surface and what the controls need to know about the mouse.
struct Surface {
    Gdiplus::GpGraphics* graphics = nullptr;
    float scale = 1.0f;
    int32_t hoverId = -1;
    int32_t pressedId = -1;
    // The last failed GDI+ call's status; a failure leaves one element undrawn, never the frame.
    Gdiplus::GpStatus lastStatus = Gdiplus::Ok;

    bool hovered(int32_t id) const { return id == hoverId; }
    bool pressed(int32_t id) const { return id == pressedId; }
    float px(float dip) const { return dip * scale; }
    Gdiplus::GpRectF px(const Box& box) const {
        return {px(box.x), px(box.y), px(box.w), px(box.h)};
    }
    void record(Gdiplus::GpStatus status) {
        if (status != Gdiplus::Ok) lastStatus = status;
    }
};

// The five fonts of a frame, made in this order at its start.
struct Fonts {
    FontOwner title, body, small, button, heading;
};
Fonts make_fonts(float scale);

// "Golos Text" from the embedded collection, else the installed "Segoe UI", else the generic
// sans-serif family; null when none can be made (text drawn with it then draws nothing).
FontOwner make_font(float emDip, bool bold, float scale);

void fill_round_rect(Surface& s, const Box& box, float radius, uint32_t argb);
// `penPixels` is in device pixels: outlines stay one pixel wide at every scale.
void stroke_round_rect(Surface& s, const Box& box, float radius, uint32_t argb, float penPixels);
void draw_text(Surface& s, const std::wstring& text, Gdiplus::GpFont* font, uint32_t argb,
               const Box& box, Align horizontal, Align vertical);
void draw_image(Surface& s, Gdiplus::GpImage* image, const Box& box);

void add_hit_rect(Surface& s, const Box& box, int32_t id);

void draw_button(Surface& s, const Box& box, const wchar_t* label, int32_t id, ButtonStyle style,
                 Gdiplus::GpFont* font);
void draw_check_box(Surface& s, float x, float y, const wchar_t* label, bool checked, int32_t id,
                    Gdiplus::GpFont* font);

// What a component row shows, taken from the frame's snapshot of the shared records.
struct ComponentRowState {
    bool selected = false;
    bool yourCard = false;   // the machine has this component's graphics card
    std::wstring sizeText;   // empty: no size shown
};
void draw_component_row(Surface& s, float x, float y, float width, int component,
                        const ComponentRowState& row, Gdiplus::GpFont* titleFont,
                        Gdiplus::GpFont* smallFont);
