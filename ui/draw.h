#pragma once
// The painting kit: every value given in DIP, scaled here and only here. A control, as in an
// immediate-mode toolkit, works out its frame rectangle, draws inside it, registers that same
// rectangle as its hit rectangle and as the place of the element a screen reader reads, takes
// hovered and pressed from the ids, and moves the layout cursor past itself. Window thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "ui/frame_elements.h"
#include "ui/gdiplus_owners.h"
#include "ui/page_rules.h"

// A rectangle in DIP: x, y, width, height.
struct Box {
    float x, y, w, h;
};

enum class Align { Near, Centre, Far };

// The frame's drawing surface and what the controls need to know about the mouse. A failed
// GDI+ call leaves its element undrawn and the frame goes on: no call's status is examined
// beyond the objects a drawing needs.
struct Surface {
    Gdiplus::GpGraphics* graphics = nullptr;
    float scale = 1.0f;
    int32_t hoverId = -1;
    int32_t pressedId = -1;
    // The frame's own pixels (top-down rows, premultiplied ARGB), for what is copied in
    // directly; null when the surface draws elsewhere.
    uint32_t* pixels = nullptr;
    int width = 0, height = 0; // device pixels
    // Where the frame's elements are recorded; null when nothing reads this frame.
    std::vector<FrameElement>* elements = nullptr;

    bool hovered(int32_t id) const { return id == hoverId; }
    bool pressed(int32_t id) const { return id == pressedId; }
    float px(float dip) const { return dip * scale; }
    Gdiplus::GpRectF px(const Box& box) const {
        return {px(box.x), px(box.y), px(box.w), px(box.h)};
    }
};

// Where the next control of a column goes (DIP): its left edge, the top of its frame and the
// width it may take. Each control moves `y` past itself.
struct Layout {
    float x, y, width;
};

// The rendering options of every frame: antialiased, ClearType grid-fitted text, high-quality
// bicubic images, half-pixel offset.
void set_rendering_options(Gdiplus::GpGraphics* graphics);

// The five fonts of a frame.
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

// An image drawn once at one scale onto the white background, kept as the pixels it left
// there: copying them into a frame that is still white under them gives the very pixels that
// drawing the image there would.
struct ImageTile {
    float scale = 0;                         // 0: none made
    int x = 0, y = 0, width = 0, height = 0; // device pixels of the frame
    std::vector<uint32_t> pixels;
};
ImageTile make_image_tile(Gdiplus::GpImage* image, const Box& box, float scale);
// Copies the tile into the frame's pixels; only as the first drawing over its area.
void put_image_tile(Surface& s, const ImageTile& tile);

// Records what is drawn in `box`, at that place: a control's box is also its hit rectangle.
void add_element(Surface& s, const Box& box, FrameElement element);
// A text a screen reader reads, drawn in `box`.
void read_text(Surface& s, const Box& box, ElementRole role, const std::wstring& text);

// The keyboard focus around a control's frame: a ring in the accent colour outside it.
void draw_focus_ring(Surface& s, const Box& frame);

// A check box's square with its top-left corner at (x, y), DIP: filled in `fill` with a tick in
// `tick` when checked, else white with an outline that darkens on hover.
void draw_check_square(Surface& s, float x, float y, bool checked, bool hovered, uint32_t fill,
                       uint32_t tick);

void draw_button(Surface& s, const Box& box, const wchar_t* label, int32_t id, ButtonStyle style,
                 Gdiplus::GpFont* font);
// The box, then the label as wide and as high as its text measures (within the layout's
// width); the frame around both is the hit rectangle.
void draw_check_box(Surface& s, Layout& at, const wchar_t* label, bool checked, int32_t id,
                    Gdiplus::GpFont* font);
