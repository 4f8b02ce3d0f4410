// The built setup.exe's own resources read back from the file, and the GDI+ objects that
// start-up makes of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "base/handles.h"
#include "base/text.h"
#include "test_files.h"
#include "ui/embedded_resources.h"

namespace {

namespace gdip = Gdiplus::DllExports;

const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

uint32_t be16(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at]) << 8 |
                                 static_cast<uint8_t>(b[at + 1]));
}
uint32_t be32(const std::string& b, size_t at) {
    return be16(b, at) << 16 | be16(b, at + 2);
}
uint32_t le16(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}

struct PngHeader {
    uint32_t width = 0, height = 0, bitDepth = 0, colourType = 0;
};

// The IHDR fields of a PNG; all zero when the bytes do not start like one.
PngHeader png_header(const std::string& png) {
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    PngHeader h;
    if (png.size() < 26 || png.compare(0, 8, kSignature, 8) != 0 || png.compare(12, 4, "IHDR") != 0)
        return h;
    h.width = be32(png, 16);
    h.height = be32(png, 20);
    h.bitDepth = static_cast<uint8_t>(png[24]);
    h.colourType = static_cast<uint8_t>(png[25]); // 6: RGB with alpha
    return h;
}

struct FontNames {
    std::wstring family, style, version;
};

// The Windows-platform, English (US) family, style and version names of a TrueType file.
FontNames font_names(const std::string& font) {
    FontNames names;
    if (font.size() < 12) return names;
    const uint32_t tables = be16(font, 4);
    for (uint32_t i = 0; i < tables && 12 + 16 * (i + 1) <= font.size(); ++i) {
        const size_t record = 12 + 16 * i;
        if (font.compare(record, 4, "name") != 0) continue;
        const size_t table = be32(font, record + 8);
        if (table + 6 > font.size()) return names;
        const uint32_t count = be16(font, table + 2);
        const size_t strings = table + be16(font, table + 4);
        for (uint32_t n = 0; n < count && table + 6 + 12 * (n + 1) <= font.size(); ++n) {
            const size_t r = table + 6 + 12 * n;
            const size_t length = be16(font, r + 8), offset = strings + be16(font, r + 10);
            if (be16(font, r) != 3 || be16(font, r + 4) != 0x409 || offset + length > font.size())
                continue;
            std::wstring text;
            for (size_t k = 0; k + 1 < length; k += 2)
                text += static_cast<wchar_t>(be16(font, offset + k));
            switch (be16(font, r + 6)) {
            case 1:
                names.family = text;
                break;
            case 2:
                names.style = text;
                break;
            case 5:
                names.version = text;
                break;
            }
        }
    }
    return names;
}

// setup.exe mapped as data: its resources readable, none of its code run.
class SetupImage : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = wide_from_utf8(test_file_path("PLANNIX_SETUP_EXE", ""));
        ASSERT_FALSE(path_.empty()) << "PLANNIX_SETUP_EXE names no file";
        module_.reset(LoadLibraryExW(path_.c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(module_) << utf8_from_wide(path_) << ": " << GetLastError();
    }

    // Resources are looked up under English (US) only: that is where they must be.
    std::string resource(LPCWSTR type, WORD id) const {
        const HRSRC found = FindResourceExW(module_.get(), type, MAKEINTRESOURCEW(id), kEnglishUs);
        const HGLOBAL loaded = found ? LoadResource(module_.get(), found) : nullptr;
        const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
        return data ? std::string(data, SizeofResource(module_.get(), found)) : std::string();
    }

    std::wstring path_;
    Library module_;
};

TEST_F(SetupImage, CarriesTheThreeGolosTextFacesNamedForTheirFamiliesWithEveryRussianLetter) {
    const struct {
        WORD id;
        const wchar_t* family;
        const wchar_t* style;
    } faces[] = {{101, L"Golos Text", L"Regular"},
                 {102, L"Golos Text SemiBold", L"Regular"},
                 {103, L"Golos Text", L"Bold"}};
    const std::wstring letters =
        L"АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя"
        L"ABCXYZabcxyz0123456789 .,:%«»—";
    const HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    for (const auto& face : faces) {
        SCOPED_TRACE(face.id);
        const std::string bytes = resource(RT_RCDATA, face.id);
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(be32(bytes, 0), 0x00010000u) << "not TrueType outlines";
        const FontNames names = font_names(bytes);
        EXPECT_EQ(names.family, face.family);
        EXPECT_EQ(names.style, face.style);
        EXPECT_EQ(names.version, L"Version 2.004");

        // GDI, given the bytes alone, must find the family and a glyph for every letter.
        DWORD added = 0;
        const HANDLE memoryFont = AddFontMemResourceEx(
            const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()), nullptr, &added);
        ASSERT_NE(memoryFont, nullptr);
        LOGFONTW logFont = {};
        logFont.lfHeight = -20;
        logFont.lfWeight = names.style == L"Bold" ? FW_BOLD : FW_NORMAL;
        wcscpy_s(logFont.lfFaceName, face.family);
        const HFONT font = CreateFontIndirectW(&logFont);
        const HGDIOBJ old = SelectObject(dc, font);
        wchar_t selected[LF_FACESIZE] = {};
        GetTextFaceW(dc, LF_FACESIZE, selected);
        EXPECT_STREQ(selected, face.family);
        WORD glyphs[128] = {};
        ASSERT_LT(letters.size(), std::size(glyphs));
        ASSERT_EQ(GetGlyphIndicesW(dc, letters.c_str(), static_cast<int>(letters.size()), glyphs,
                                   GGI_MARK_NONEXISTING_GLYPHS),
                  letters.size());
        for (size_t i = 0; i < letters.size(); ++i)
            EXPECT_NE(glyphs[i], 0xFFFF) << "no glyph for U+" << std::hex << int(letters[i]);
        SelectObject(dc, old);
        DeleteObject(font);
        RemoveFontMemResourceEx(memoryFont);
    }
    DeleteDC(dc);
}

TEST_F(SetupImage, CarriesTheLogoAndTenPngIconsOfTheListedSizesInOrder) {
    const PngHeader logo = png_header(resource(RT_RCDATA, 110));
    EXPECT_EQ(logo.width, 321u);
    EXPECT_EQ(logo.height, 128u);
    EXPECT_EQ(logo.bitDepth, 8u);
    EXPECT_EQ(logo.colourType, 6u);

    const uint32_t sizes[] = {16, 20, 24, 32, 40, 48, 64, 96, 128, 256};
    const std::string group = resource(RT_GROUP_ICON, 1);
    ASSERT_EQ(group.size(), 6 + 14 * std::size(sizes));
    EXPECT_EQ(le16(group, 2), 1u) << "not an icon group";
    ASSERT_EQ(le16(group, 4), std::size(sizes));
    for (size_t i = 0; i < std::size(sizes); ++i) {
        SCOPED_TRACE(sizes[i]);
        const size_t entry = 6 + 14 * i;
        EXPECT_EQ(static_cast<uint8_t>(group[entry]), sizes[i] % 256) << "width byte";
        EXPECT_EQ(le16(group, entry + 6), 32u) << "bits per pixel";
        EXPECT_EQ(le16(group, entry + 12), i + 1) << "RT_ICON id";
        const std::string image = resource(RT_ICON, static_cast<WORD>(i + 1));
        EXPECT_EQ(image.size(), le16(group, entry + 8) | le16(group, entry + 10) << 16);
        const PngHeader png = png_header(image);
        EXPECT_EQ(png.width, sizes[i]);
        EXPECT_EQ(png.height, sizes[i]);
        EXPECT_EQ(png.colourType, 6u);
    }
    // The system decodes the PNG images into icons, smallest and largest alike.
    for (const int size : {16, 256}) {
        const HICON icon = static_cast<HICON>(
            LoadImageW(module_.get(), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap = {};
        GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

// The version record's Russian strings read back as written: windres stores an L"..." string of the
// resource script one UTF-8 byte per character, which Explorer shows as garbage.
TEST_F(SetupImage, VersionRecordIs1_0_12WithTheRussianStrings) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x000C0000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x000C0000u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0419);
    EXPECT_EQ(translation[1], 1200);

    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } strings[] = {{L"CompanyName", L"Кварталис"},
                   {L"FileDescription", L"Установка — Планикс — Кварталис"},
                   {L"ProductName", L"Планикс — Кварталис"},
                   {L"FileVersion", L"1.0.12"},
                   {L"ProductVersion", L"1.0.12"}};
    for (const auto& s : strings) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\041904b0\\") + s.name;
        wchar_t* value = nullptr;
        ASSERT_TRUE(
            VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << utf8_from_wide(s.name);
        EXPECT_EQ(std::wstring(value), s.value) << utf8_from_wide(s.name);
    }
}

TEST_F(SetupImage, ManifestAsksForNoElevationPerMonitorDpiUtf8AndCommonControls6) {
    const std::string manifest = resource(RT_MANIFEST, 1);
    ASSERT_FALSE(manifest.empty());
    // The settings in the order the document holds them.
    const char* expected[] = {
        R"(<assemblyIdentity type="win32" name="Orsanta.Plannix.Setup" version="1.0.0.0"/>)",
        R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)",
        R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>)",
        R"(<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2</dpiAwareness>)",
        R"(<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>)",
        R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)",
        R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
        R"(processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>)"};
    size_t at = 0;
    for (const char* setting : expected) {
        const size_t found = manifest.find(setting, at);
        ASSERT_NE(found, std::string::npos) << setting;
        at = found;
    }
    EXPECT_EQ(manifest.find("<supportedOS", manifest.find("<supportedOS") + 1), std::string::npos)
        << "more than one supported system";
}

// GDI+ for the length of one test.
class GdiplusSession : public ::testing::Test {
  protected:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    }
    void TearDown() override {
        free_embedded_resources();
        if (token_) Gdiplus::GdiplusShutdown(token_);
    }
    ULONG_PTR token_ = 0;
};

bool family_has_style(const wchar_t* name, int style) {
    Gdiplus::GpFontFamily* family = nullptr;
    if (gdip::GdipCreateFontFamilyFromName(name, g_privateFonts, &family) != Gdiplus::Ok)
        return false;
    BOOL available = FALSE;
    gdip::GdipIsStyleAvailable(family, style, &available);
    gdip::GdipDeleteFontFamily(family);
    return available;
}

int family_count() {
    INT count = -1;
    if (g_privateFonts) gdip::GdipGetFontCollectionFamilyCount(g_privateFonts, &count);
    return count;
}

// Also checks the regular face's full name: Wine's GDI+ finds a family by name only when
// its first face's full name is the family name (see tools/resources/make_fonts.py).
TEST_F(GdiplusSession, LoadingSetupsResourcesGivesGolosTextRegularAndBoldAndTheLogo) {
    Library setup(LoadLibraryExW(wide_from_utf8(test_file_path("PLANNIX_SETUP_EXE", "")).c_str(),
                                 nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(setup);
    load_embedded_resources(reinterpret_cast<HINSTANCE>(setup.get()));

    ASSERT_NE(g_privateFonts, nullptr);
    EXPECT_EQ(family_count(), 2) << "Golos Text and Golos Text SemiBold";
    EXPECT_TRUE(family_has_style(L"Golos Text", Gdiplus::FontStyleRegular));
    EXPECT_TRUE(family_has_style(L"Golos Text", Gdiplus::FontStyleBold));
    EXPECT_TRUE(family_has_style(L"Golos Text SemiBold", Gdiplus::FontStyleRegular));

    ASSERT_NE(g_logoImage, nullptr);
    // Decoded from the stream's own copy: the image outlives the module it came from.
    setup.reset();
    UINT width = 0, height = 0;
    gdip::GdipGetImageWidth(g_logoImage, &width);
    gdip::GdipGetImageHeight(g_logoImage, &height);
    EXPECT_EQ(width, 321u);
    EXPECT_EQ(height, 128u);
    Gdiplus::PixelFormat format = 0;
    gdip::GdipGetImagePixelFormat(g_logoImage, &format);
    EXPECT_EQ(format, PixelFormat32bppARGB);
    // A transparent corner and an opaque mark: the alpha channel survived decoding.
    Gdiplus::ARGB corner = 0xFFFFFFFF, mark = 0;
    gdip::GdipBitmapGetPixel(g_logoImage, 0, 0, &corner);
    gdip::GdipBitmapGetPixel(g_logoImage, 64, 64, &mark);
    EXPECT_EQ(corner >> 24, 0u);
    EXPECT_EQ(mark >> 24, 255u);
}

TEST_F(GdiplusSession, AModuleWithoutTheResourcesGivesAnEmptyCollectionAndNoLogo) {
    load_embedded_resources(GetModuleHandleW(nullptr));
    ASSERT_NE(g_privateFonts, nullptr);
    EXPECT_EQ(family_count(), 0);
    EXPECT_EQ(g_logoImage, nullptr);
    free_embedded_resources();
    free_embedded_resources();
    EXPECT_EQ(g_privateFonts, nullptr);
    EXPECT_EQ(g_logoImage, nullptr);
}

} // namespace
