#pragma once
// One small owner per kind of GDI+ object, on the model of base/handles.h: each deletes what it
// holds when it goes out of scope, so a frame frees everything in reverse order on every path.
#include <windows.h>
#include <objidl.h> // IStream and PROPID, which gdiplus.h needs under WIN32_LEAN_AND_MEAN
#include <gdiplus.h>

#include "base/handles.h"

template <typename T, Gdiplus::GpStatus(WINGDIPAPI* Delete)(T*)> struct GdiplusTraits {
    static T* invalid() { return nullptr; }
    static void close(T* object) { Delete(object); }
};

namespace gdiplus_owner_detail {
using namespace Gdiplus;
using namespace Gdiplus::DllExports;
// The deleters take the base type of a family (GpImage, GpBrush), so each gets a typed wrapper.
inline GpStatus WINGDIPAPI dispose_bitmap(GpBitmap* bitmap) {
    return GdipDisposeImage(bitmap);
}
inline GpStatus WINGDIPAPI delete_solid_brush(GpSolidFill* brush) {
    return GdipDeleteBrush(brush);
}
} // namespace gdiplus_owner_detail

using GraphicsOwner =
    Owned<Gdiplus::GpGraphics*,
          GdiplusTraits<Gdiplus::GpGraphics, Gdiplus::DllExports::GdipDeleteGraphics>>;
using BitmapOwner = Owned<Gdiplus::GpBitmap*,
                          GdiplusTraits<Gdiplus::GpBitmap, gdiplus_owner_detail::dispose_bitmap>>;
using FontOwner =
    Owned<Gdiplus::GpFont*, GdiplusTraits<Gdiplus::GpFont, Gdiplus::DllExports::GdipDeleteFont>>;
using FontFamilyOwner =
    Owned<Gdiplus::GpFontFamily*,
          GdiplusTraits<Gdiplus::GpFontFamily, Gdiplus::DllExports::GdipDeleteFontFamily>>;
using SolidBrushOwner =
    Owned<Gdiplus::GpSolidFill*,
          GdiplusTraits<Gdiplus::GpSolidFill, gdiplus_owner_detail::delete_solid_brush>>;
using PenOwner =
    Owned<Gdiplus::GpPen*, GdiplusTraits<Gdiplus::GpPen, Gdiplus::DllExports::GdipDeletePen>>;
using PathOwner =
    Owned<Gdiplus::GpPath*, GdiplusTraits<Gdiplus::GpPath, Gdiplus::DllExports::GdipDeletePath>>;
using StringFormatOwner =
    Owned<Gdiplus::GpStringFormat*,
          GdiplusTraits<Gdiplus::GpStringFormat, Gdiplus::DllExports::GdipDeleteStringFormat>>;
