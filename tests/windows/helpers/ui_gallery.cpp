// The page gallery: sets the shared records to each page and renders the real paint_window.
//   ui_gallery.exe OUTDIR   every page at scales 1, 1.5 and 2 as OUTDIR\<page>@<scale>.png
#include <cstdio>
#include <cwchar>
#include <string>

#include "base/text.h"
#include "ui/gdiplus_owners.h"
#include "tests/windows/ui_pages.h"
#include "tests/windows/helpers/page_program.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

const CLSID kPngEncoder = {
    0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

std::wstring scale_name(float scale) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%.1f", static_cast<double>(scale));
    return text;
}

bool save_png(const Rendered& frame, const std::wstring& path) {
    BitmapOwner bitmap;
    if (GdipCreateBitmapFromScan0(
            frame.width, frame.height, frame.width * 4, PixelFormat32bppRGB,
            reinterpret_cast<BYTE*>(const_cast<uint32_t*>(frame.pixels.data())),
            bitmap.put()) != Ok)
        return false;
    return GdipSaveImageToFile(bitmap.get(), path.c_str(), &kPngEncoder, nullptr) == Ok;
}

int make_gallery(const std::wstring& folder) {
    int failures = 0;
    for (const PageSetup& page : kPages) {
        for (const float scale : kScales) {
            const Rendered frame = render_page(page, scale);
            const std::wstring path =
                folder + L"\\" + wide_from_utf8(page.name) + L"@" + scale_name(scale) + L".png";
            if (frame.pixels.empty() || !save_png(frame, path)) {
                std::fwprintf(stderr, L"could not write %ls\n", path.c_str());
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: ui_gallery OUTDIR\n");
        return 2;
    }
    return with_page_resources([&] { return make_gallery(argv[1]); });
}
