// The pages as the real paint_window draws them under Wine: where every clickable rectangle
// lands at each scale, the pixels the eye must see, and what a screen reader reads and is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <windows.h>
#include <oleacc.h>

#include "ui/accessible.h"
#include "ui/draw.h"
#include "ui/embedded_resources.h"
#include "ui/control_ids.h"
#include "ui/page_rules.h"
#include "app/window_host.h"
#include "tests/windows/ui_pages.h"

using namespace Gdiplus;

namespace {

class GdiplusSession : public ::testing::Environment {
  public:
    void SetUp() override {
        GdiplusStartupInput input;
        ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
        load_embedded_resources(GetModuleHandleW(nullptr));
    }
    void TearDown() override {
        free_embedded_resources();
        GdiplusShutdown(token_);
    }

  private:
    ULONG_PTR token_ = 0;
};
::testing::Environment* const gdiplus = ::testing::AddGlobalTestEnvironment(new GdiplusSession);

const float kScales[] = {1.0f, 1.5f, 2.0f};

struct Dip {
    float x, y, w, h; // w of a check box: kMeasured
    int32_t id;
};
// A check box is as wide as its box and its label's text measure.
constexpr float kMeasured = -1.0f;

// Every clickable rectangle of a page in DIP, in drawing order, worked out by hand from the
// page's layout (content from y 134 down, buttons on H - 64, right-aligned to W - 32). A check
// box's frame starts 3 above its box and is 24 high.
struct ExpectedHits {
    const char* page;
    std::vector<Dip> hits;
};

const std::vector<Dip> kFirstInstallReady = {
    {460, 204, 108, 36, 3}, // "Изменить…", beside the folder box
    {32, 328, 536, 40, 101},     {32, 372, 536, 40, 102},     // rows from y 330, 44 apart; the core
    {32, 416, 536, 40, 103},     {32, 460, 536, 40, 104},     // row at 286 has none
    {32, 507, kMeasured, 24, 4}, {32, 537, kMeasured, 24, 5}, // check boxes at 510 and 540
    {408, 596, 160, 40, 1},      {278, 596, 120, 40, 2}};     // H = 660

const ExpectedHits kExpectedHits[] = {
    {"install-first-idle", kFirstInstallReady},
    {"install-first-failed-no-progress", kFirstInstallReady},
    {"install-change-idle-apply", // H = 580: no folder chooser, no desktop box
     {{32, 250, 536, 40, 101},
      {32, 294, 536, 40, 102},
      {32, 338, 536, 40, 103},
      {32, 382, 536, 40, 104},
      {32, 429, kMeasured, 24, 5},
      {408, 516, 160, 40, 1},
      {278, 516, 120, 40, 2}}},
    {"install-first-running", {{448, 596, 120, 40, 2}}},
    {"install-first-failed-progress", {{408, 596, 160, 40, 1}, {278, 596, 120, 40, 2}}},
    {"install-first-done", {{418, 516, 150, 40, 1}, {288, 516, 120, 40, 2}}},
    {"update-idle", {{408, 356, 160, 40, 1}, {278, 356, 120, 40, 2}}},
    {"update-running", {{448, 356, 120, 40, 2}}},
    {"update-done", {{418, 356, 150, 40, 1}, {288, 356, 120, 40, 2}}},
    {"uninstall-idle",
     {{32, 181, kMeasured, 24, 6}, {408, 356, 160, 40, 1}, {278, 356, 120, 40, 2}}},
    {"uninstall-failed",
     {{32, 181, kMeasured, 24, 6}, {408, 356, 160, 40, 1}, {278, 356, 120, 40, 2}}},
    {"uninstall-running", {{448, 356, 120, 40, 2}}},
    {"uninstall-done", {{428, 356, 140, 40, 1}}},
};

TEST(PageLayout, EveryPageRegistersItsControlsWhereTheLayoutPlacesThemAtEachScale) {
    for (const ExpectedHits& expected : kExpectedHits) {
        for (const float scale : kScales) {
            const Rendered frame = render_page(find_page(expected.page), scale);
            ASSERT_EQ(frame.hitRects.size(), expected.hits.size())
                << expected.page << " at " << scale;
            for (size_t n = 0; n < expected.hits.size(); ++n) {
                const Dip& e = expected.hits[n];
                const HitRect& got = frame.hitRects[n];
                SCOPED_TRACE(std::string(expected.page) + " at " + std::to_string(scale) +
                             ", control " + std::to_string(n));
                EXPECT_EQ(got.id, e.id);
                EXPECT_NEAR(got.x, e.x * scale, 0.01);
                EXPECT_NEAR(got.y, e.y * scale, 0.01);
                EXPECT_NEAR(got.h, e.h * scale, 0.01);
                if (e.w != kMeasured) {
                    EXPECT_NEAR(got.w, e.w * scale, 0.01);
                    continue;
                }
                // The error block of a failed first installation lies over the launch box.
                if (find_page(expected.page).state == Failed) continue;
                // The frame is the box and the label's ink, and no more than the padding GDI+
                // measures around a text beyond it: the hit rectangle is what the control draws.
                int lastInk = -1;
                for (int y = static_cast<int>(got.y); y < static_cast<int>(got.y + got.h); ++y)
                    for (int x = static_cast<int>(got.x); x < frame.width; ++x)
                        if (frame.rgb(x, y) != 0xFFFFFF) lastInk = std::max(lastInk, x);
                EXPECT_GT(got.w, 100 * scale) << "a label's worth of width";
                EXPECT_LT(static_cast<float>(lastInk), got.x + got.w) << "ink outside the frame";
                EXPECT_GT(static_cast<float>(lastInk), got.x + got.w - 8 * scale)
                    << "frame wider than its label";
            }
        }
    }
}

// The remove-data label, about 450 DIP wide, fits its box on one line: wrapped, its last word would
// fall below the check box towards the buttons under Wine (and Windows would clip it).
TEST(PageLayout, TheRemoveDataLabelStaysOnOneLineInsideItsFrameClearOfTheButtons) {
    for (const char* name : {"uninstall-idle", "uninstall-failed"}) {
        for (const float scale : kScales) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(scale));
            const Rendered frame = render_page(find_page(name), scale);
            const auto box = std::find_if(frame.hitRects.begin(), frame.hitRects.end(),
                                          [](const HitRect& r) { return r.id == 6; });
            ASSERT_NE(box, frame.hitRects.end());
            EXPECT_LE(box->h, 24 * scale + 0.01f) << "one line";
            // White from below the frame to the error block (Failed) or the buttons.
            const int top = static_cast<int>(std::ceil(box->y + box->h));
            const int bottom = static_cast<int>((420 - 118) * scale);
            int inked = 0;
            for (int y = top; y < bottom; ++y)
                for (int x = 0; x < frame.width; ++x)
                    inked += frame.rgb(x, y) != 0xFFFFFF;
            EXPECT_EQ(inked, 0);
        }
    }
}

TEST(PageLayout, AFrameAtZeroSizeDrawsNothingAndLeavesNoStaleControls) {
    render_page(find_page("install-first-idle"), 1.0f);
    ASSERT_FALSE(g_hitRects.empty());
    MemoryCanvas canvas(SIZE{1, 1});
    paint_window(canvas.dc, RECT{0, 0, 0, 0}); // a minimised window
    EXPECT_TRUE(g_hitRects.empty());
}

TEST(SizeTexts, TheWindowsRuntimeFormatsTheFiguresLikeTheNativeBuild) {
    EXPECT_EQ(component_size_text(300000), L"1 МБ");
    EXPECT_EQ(component_size_text(812 * kMiB + 123456), L"812 МБ");
    EXPECT_EQ(progress_size_text(210 * kMiB, 525 * kMiB), L"210.0 из 525.0 МБ");
    EXPECT_EQ(progress_size_text(600 * kMiB + 3 * kMiB / 10, 525 * kMiB), L"600.3 из 525.0 МБ");
}

// Pixel probes: colours within a small tolerance, sampled where no text or edge falls.
bool near_colour(uint32_t got, uint32_t argb) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = static_cast<int>((got >> shift) & 0xFF);
        const int b = static_cast<int>((argb >> shift) & 0xFF);
        if (std::abs(a - b) > 3) return false;
    }
    return true;
}

uint32_t at(const Rendered& frame, float x, float y, float scale) {
    return frame.rgb(static_cast<int>(x * scale), static_cast<int>(y * scale));
}

struct Probe {
    const char* page;
    const char* what;
    float x, y; // DIP
    uint32_t argb;
};

// Buttons are sampled 8 DIP inside their left edge at mid-height, clear of the centred label.
const Probe kProbes[] = {
    {"install-first-idle", "background above the title", 300, 10, 0xFFFFFFFF},
    {"install-first-idle", "background between the rows and the buttons", 300, 575, 0xFFFFFFFF},
    {"install-first-idle", "primary button", 416, 616, 0xFF6B4292},
    {"hover-primary", "primary button, hovered", 416, 616, 0xFF7D55A6},
    {"pressed-primary-mouse-away", "primary button pressed, mouse elsewhere", 416, 616, 0xFF58337C},
    {"install-first-idle", "secondary button", 286, 616, 0xFFFFFFFF},
    {"install-first-idle", "secondary button outline", 278.2f, 616, 0xFFEBECEF},
    {"hover-secondary-choose-folder", "secondary button, hovered", 468, 222, 0xFFF3F4F7},
    {"hover-secondary-choose-folder", "hovered secondary outline", 460.2f, 222, 0xFFD7D8DA},
    {"install-first-idle", "unchecked row box outline", 32.2f, 473, 0xFFD7D8DA},
    {"hover-unchecked-row-and-box", "hovered unchecked row box outline", 32.2f, 473, 0xFFB8B8B9},
    {"uninstall-idle", "danger button", 416, 376, 0xFFE5484D},
    {"hover-danger", "danger button, hovered", 416, 376, 0xFFD94045},
    {"pressed-danger", "danger button, pressed", 416, 376, 0xFFC93A3F},
    {"install-first-idle", "grey core row box, above its tick", 41, 290, 0xFFE3E4E8},
    {"install-first-idle", "selected optional row box", 41, 334, 0xFF6B4292},
    {"install-first-idle", "unselected optional row box", 41, 380, 0xFFFFFFFF},
    {"install-first-idle", "checked desktop-shortcut box", 35, 513, 0xFF6B4292},
    {"install-first-idle", "unchecked launch box", 41, 549, 0xFFFFFFFF},
    {"install-first-running", "progress fill at the start", 40, 147, 0xFFFFB400},
    {"install-first-running", "progress fill at 40 %", 240, 147, 0xFFFFB400},
    {"install-first-running", "progress track beyond 40 %", 260, 147, 0xFFF3F4F7},
    {"install-first-running-overfull", "progress clamped full at the end", 560, 147, 0xFFFFB400},
    {"install-first-running-no-total", "empty track without a total", 40, 147, 0xFFF3F4F7},
    {"install-first-failed-progress", "progress kept after a failure", 40, 147, 0xFFFFB400},
};

TEST(PagePixels, ButtonsBoxesAndTheProgressBarShowTheirColoursAtEachScale) {
    // Each page is rendered once per scale for all of its probes.
    std::map<std::pair<std::string, float>, Rendered> frames;
    for (const Probe& probe : kProbes) {
        for (const float scale : kScales) {
            Rendered& frame = frames[{probe.page, scale}];
            if (frame.pixels.empty()) frame = render_page(find_page(probe.page), scale);
            ASSERT_FALSE(frame.pixels.empty());
            const uint32_t got = at(frame, probe.x, probe.y, scale);
            EXPECT_TRUE(near_colour(got, probe.argb))
                << probe.page << ": " << probe.what << " at " << scale << " is " << std::hex << got
                << ", expected " << (probe.argb & 0xFFFFFF);
        }
    }
}

TEST(PagePixels, EveryPixelOfEveryPageIsPainted) {
    for (const PageSetup& page : kPages) {
        const Rendered frame = render_page(page, 1.5f);
        size_t unpainted = 0;
        for (const uint32_t pixel : frame.pixels)
            unpainted += (pixel & 0xFFFFFF) == 0x00FF00;
        EXPECT_EQ(unpainted, 0u) << page.name;
    }
}

// The count of non-white pixels along a row between two x positions (device pixels).
int inked(const Rendered& frame, int y, int fromX, int toX) {
    int count = 0;
    for (int x = fromX; x < toX; ++x)
        count += frame.rgb(x, y) != 0xFFFFFF;
    return count;
}

// From the first to the last non-white pixel along a row, in pixels.
int ink_extent(const Rendered& frame, int y, int fromX, int toX) {
    int first = -1, last = -1;
    for (int x = fromX; x < toX; ++x)
        if (frame.rgb(x, y) != 0xFFFFFF) {
            if (first < 0) first = x;
            last = x;
        }
    return first < 0 ? 0 : last - first + 1;
}

TEST(PagePixels, OutlinesStayOnePixelWideWhileBoxesGrowWithTheScale) {
    for (const float scale : kScales) {
        const Rendered frame = render_page(find_page("install-first-idle"), scale);
        const auto px = [&](float dip) { return static_cast<int>(dip * scale); };
        // The folder box's left edge, at mid-height of the box (204 to 240).
        EXPECT_EQ(inked(frame, px(222), px(24), px(40)), 1) << "folder box at " << scale;
        // The unchecked launch box (32, 540): only its left outline is inked left of its middle.
        EXPECT_EQ(inked(frame, px(549), px(24), px(40)), 1) << "launch box at " << scale;
        // The checked desktop box (32, 510) spans 18 DIP at mid-height.
        EXPECT_NEAR(ink_extent(frame, px(519), px(24), px(58)), 18 * scale, 1.0)
            << "desktop box at " << scale;
    }
}

TEST(PagePixels, TheTitleBoxHoldsDarkTextOnEveryPage) {
    for (const PageSetup& page : kPages) {
        const Rendered frame = render_page(page, 1.0f);
        int dark = 0;
        for (int y = 92; y < 126; ++y)
            for (int x = 32; x < 568; ++x)
                dark += (frame.rgb(x, y) & 0xFF) < 0x80;
        EXPECT_GT(dark, 150) << page.name;
    }
}

TEST(PagePixels, TheLogoIsDrawnAboveTheTitle) {
    if (!g_logoImage) GTEST_SKIP() << "no embedded logo in this build";
    for (const float scale : kScales) {
        const Rendered frame = render_page(find_page("install-first-idle"), scale);
        int coloured = 0;
        for (int y = static_cast<int>(26 * scale); y < static_cast<int>(70 * scale); ++y)
            for (int x = static_cast<int>(32 * scale); x < static_cast<int>(142 * scale); ++x)
                coloured += frame.rgb(x, y) != 0xFFFFFF;
        EXPECT_GT(coloured, static_cast<int>(300 * scale * scale)) << scale;
    }
}

// Tab visits what the frame drew: the drawn controls that can act, in reading order.
TEST(PageElements, TheKeyboardVisitsTheDrawnControlsThatCanActInReadingOrder) {
    for (const PageSetup& page : kPages) {
        const FrameSnapshot frame = render_page(page, 1.5f).frame;
        std::vector<int32_t> acting;
        for (const FrameElement& e : frame.elements)
            if (e.canAct) acting.push_back(e.id);
        EXPECT_EQ(acting, frame.focusOrder) << page.name;
    }
}

// Only after keyboard use is the focus drawn: a ring in the accent colour left of the control's
// middle (2 DIP wide, 2 DIP out); before, the page is pixel for pixel the unfocused one.
TEST(PagePixels, TheFocusRingShowsAroundTheFocusedControlOnlyAfterKeyboardUse) {
    for (const char* name : {"focus-primary-button", "focus-checked-box", "focus-unchecked-row",
                             "focus-cancel-running"}) {
        for (const float scale : kScales) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(scale));
            PageSetup page = find_page(name);
            const Rendered ringed = render_page(page, scale);
            page.focusRing = false;
            const Rendered mouse = render_page(page, scale);
            page.focusId = kNoControl;
            EXPECT_EQ(mouse.pixels, render_page(page, scale).pixels);
            const int index = element_of_control(ringed.frame, find_page(name).focusId);
            ASSERT_GE(index, 0);
            const FrameElement& e = ringed.frame.elements[size_t(index)];
            int accent = 0;
            for (int x = static_cast<int>(e.x - 5 * scale); x < static_cast<int>(e.x); ++x)
                accent += near_colour(ringed.rgb(x, int(e.y + e.h / 2)) | 0xFF000000u, 0xFF6B4292);
            EXPECT_GE(accent, static_cast<int>(2 * scale) - 1);
        }
    }
}

// The window's client events since the last call, as "event:child " texts: the hook's calls
// arrive as the thread's messages.
std::string g_events;
HWND g_eventWindow = nullptr;
void CALLBACK on_event(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                       DWORD) {
    if (window == g_eventWindow && object == OBJID_CLIENT)
        g_events += std::to_string(event) + ":" + std::to_string(child) + " ";
}
std::string events() {
    MSG msg;
    for (int n = 0; n < 5; ++n, Sleep(10))
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    return std::exchange(g_events, {});
}
std::string told(DWORD event, LONG child) {
    return std::to_string(event) + ":" + std::to_string(child) + " ";
}

TEST(AccessibleEvents, AReaderIsToldOfPagesFocusChecksAndErrorsAndOfNewFiguresOnceASecond) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    g_eventWindow = window;
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, on_event,
                                               GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    const LONG self = CHILDID_SELF;

    render_page(find_page("install-first-idle"), 1.0f);
    announce_changes(window, 1000);
    EXPECT_EQ(events(), told(EVENT_OBJECT_REORDER, self));
    announce_changes(window, 1060); // a tick with nothing new tells nothing
    EXPECT_EQ(events(), "");

    render_page(find_page("focus-checked-box"), 1.0f);
    const LONG box = element_of_control(last_frame(), kDesktopShortcutBox) + 1;
    announce_changes(window, 1100);
    EXPECT_EQ(events(), told(EVENT_OBJECT_FOCUS, box));
    g_desktopShortcut = false;
    render_records(1.0f);
    announce_changes(window, 1200);
    EXPECT_EQ(events(), told(EVENT_OBJECT_STATECHANGE, box));

    render_page(find_page("install-first-failed-no-progress"), 1.0f);
    announce_changes(window, 1300);
    const LONG alert = static_cast<LONG>(last_frame().elements.size()) - 2; // above the buttons
    ASSERT_EQ(last_frame().elements[size_t(alert) - 1].role, ElementRole::Alert);
    EXPECT_EQ(events(), told(EVENT_OBJECT_REORDER, self) + told(EVENT_SYSTEM_ALERT, alert));

    // A download: the figures and the status change on every frame; a reader hears the latest
    // of them at most once a second.
    render_page(find_page("install-first-running"), 1.0f);
    announce_changes(window, 5000);
    EXPECT_EQ(events(), told(EVENT_OBJECT_REORDER, self));
    const LONG bar = static_cast<LONG>(last_frame().elements.size()) - 1; // above "Отмена"
    ASSERT_EQ(last_frame().elements[size_t(bar) - 1].role, ElementRole::ProgressBar);
    const std::string value = told(EVENT_OBJECT_VALUECHANGE, bar);
    const struct {
        uint64_t bytesDone;
        const wchar_t* status;
        uint64_t nowMs;
        std::string told;
    } steps[] = {
        {211 * kMiB, nullptr, 5500, ""}, // within the second of the last telling
        {212 * kMiB, nullptr, 5999, ""},
        {213 * kMiB, nullptr, 6000, value},
        {214 * kMiB, L"Скачивается amd.dll (4 из 41)", 6500, ""},
        {214 * kMiB, nullptr, 7000, told(EVENT_OBJECT_NAMECHANGE, bar) + value},
        {214 * kMiB, nullptr, 9000, ""}, // nothing new
    };
    for (const auto& step : steps) {
        g_bytesDone = step.bytesDone;
        if (step.status) set_status(step.status);
        render_records(1.0f);
        announce_changes(window, step.nowMs);
        EXPECT_EQ(events(), step.told) << "at " << step.nowMs;
    }
    UnhookWinEvent(hook);
    DestroyWindow(window);
}

// The object answers only on the window thread and only while its window lives; a reader
// holding it afterwards is told the window is gone.
TEST(AccessibleObject, AnswersOnTheWindowThreadUntilItsWindowIsDestroyed) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    register_window_class(GetModuleHandleW(nullptr));
    const HWND other = CreateWindowExW(0, L"PlannixSetup", L"", WS_OVERLAPPED, 0, 0, 100, 100,
                                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    IAccessible* acc = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(other, OBJID_CLIENT, kIidAccessible,
                                         reinterpret_cast<void**>(&acc)),
              S_OK);
    LONG count = -1;
    EXPECT_EQ(acc->get_accChildCount(&count), S_OK);
    HRESULT elsewhere = S_OK;
    std::thread([&] { elsewhere = acc->get_accChildCount(&count); }).join();
    EXPECT_EQ(elsewhere, RPC_E_WRONG_THREAD);

    DestroyWindow(other);
    VARIANT focus = {};
    EXPECT_EQ(acc->get_accChildCount(&count), RPC_E_DISCONNECTED);
    EXPECT_EQ(acc->get_accFocus(&focus), RPC_E_DISCONNECTED);
    acc->Release();
    MSG quit; // the destroyed window of this class ended the loop it thought it had
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

} // namespace

namespace {

// The fonts come from the embedded collection's own list: Wine's lookup by name misses families of
// memory fonts, and the fonts it would fall back to are ones Wine does not have, so no text would
// show.
TEST(Fonts, RegularAndBoldComeFromTheEmbeddedGolosTextFamily) {
    for (const bool bold : {false, true}) {
        const FontOwner font = make_font(14.5f, bold, 1.5f);
        ASSERT_TRUE(font) << "bold " << bold;
        Gdiplus::GpFontFamily* family = nullptr;
        ASSERT_EQ(Gdiplus::DllExports::GdipGetFamily(font.get(), &family), Ok);
        const FontFamilyOwner familyOwner(family);
        WCHAR name[LF_FACESIZE] = {};
        Gdiplus::DllExports::GdipGetFamilyName(family, name, LANG_NEUTRAL);
        EXPECT_EQ(std::wstring(name), L"Golos Text") << "bold " << bold;
        INT style = -1;
        Gdiplus::DllExports::GdipGetFontStyle(font.get(), &style);
        EXPECT_EQ(style, bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular);
        Gdiplus::REAL size = 0;
        Gdiplus::DllExports::GdipGetFontSize(font.get(), &size);
        EXPECT_FLOAT_EQ(size, 14.5f * 1.5f) << "em size in device pixels";
    }
}

} // namespace
