#include "ui/embedded_resources.h"

#include <climits>

#include <shlwapi.h>

#include "base/handles.h"
#include "base/optional_api.h"
#include "ui/paint.h"

Gdiplus::GpFontCollection* g_privateFonts = nullptr;
Gdiplus::GpBitmap* g_logoImage = nullptr;

namespace {

namespace gdip = Gdiplus::DllExports;

const WORD kFontIds[] = {101, 102, 103}; // Golos Text regular, SemiBold, bold
const WORD kLogoId = 110;

struct ResourceBytes {
    const void* data = nullptr;
    DWORD size = 0;
};

// The bytes stay in the mapped image for the life of the module: nothing to free.
ResourceBytes find_rcdata(HINSTANCE instance, WORD id) {
    const HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (!found) return {};
    const HGLOBAL loaded = LoadResource(instance, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(instance, found);
    if (!data || size == 0) return {};
    return {data, size};
}

} // namespace

void load_embedded_resources(HINSTANCE instance) {
    free_embedded_resources(); // a second call replaces rather than leaks

    if (gdip::GdipNewPrivateFontCollection(&g_privateFonts) != Gdiplus::Ok)
        g_privateFonts = nullptr;
    // A font that cannot be added is simply missing; drawing falls back to installed fonts.
    for (const WORD id : kFontIds) {
        const ResourceBytes font = find_rcdata(instance, id);
        // GDI+ takes the size as INT; a resource over 2 GiB cannot exist in a PE image.
        if (g_privateFonts && font.data && font.size <= static_cast<DWORD>(INT_MAX))
            gdip::GdipPrivateAddMemoryFont(g_privateFonts, font.data, static_cast<INT>(font.size));
    }

    const ResourceBytes logo = find_rcdata(instance, kLogoId);
    if (!logo.data) return;
    // The stream holds its own copy of the bytes; the bitmap keeps the stream alive as long as
    // it needs it, so our reference goes when this function returns.
    // Wine decodes through the imaging component, whose own imports it would otherwise look
    // for in the program's folder first; loaded from System32 now, it is found by name later.
    load_system_library(L"windowscodecs.dll");
    ComPtr<IStream> stream;
    *stream.put() = SHCreateMemStream(static_cast<const BYTE*>(logo.data), logo.size);
    if (!stream) return;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gdip::GdipCreateBitmapFromStream(stream.get(), &bitmap) == Gdiplus::Ok)
        g_logoImage = bitmap;
}

void free_embedded_resources() {
    // The fonts and the logo that frames keep are made from these: they go first.
    release_frame_resources();
    if (g_logoImage) gdip::GdipDisposeImage(g_logoImage);
    g_logoImage = nullptr;
    if (g_privateFonts) gdip::GdipDeletePrivateFontCollection(&g_privateFonts);
    g_privateFonts = nullptr;
}
