// The window at rest under Wine: the real window (class, procedure, 60 ms timer) painting with
// the real fonts. A tick repaints only when the frame it would draw differs from the one on
// the screen, and any change to what a page shows is painted at the next tick.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <windows.h>

#include "base/state.h"
#include "app/window_host.h"
#include "base/main_window.h"
#include "ui/control_ids.h"
#include "ui/embedded_resources.h"
#include "tests/windows/ui_pages.h"

using namespace Gdiplus;

namespace {

// What the window's procedure has been asked to do since the last reset.
int g_paints = 0, g_ticks = 0, g_ticksBeforeFirstPaint = -1;
WNDPROC g_windowProc = nullptr;

LRESULT CALLBACK counting_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) ++g_ticks;
    if (message == WM_PAINT && g_paints++ == 0) g_ticksBeforeFirstPaint = g_ticks;
    return CallWindowProcW(g_windowProc, window, message, wParam, lParam);
}

void reset_counts() {
    g_paints = g_ticks = 0;
    g_ticksBeforeFirstPaint = -1;
}

// Runs the window's messages until `ticks` timer ticks have been handled or `done` holds
// (20 s at most, so a stopped timer cannot hang the test).
void run_until(
    int ticks, const std::function<bool()>& done = [] { return false; }) {
    const ULONGLONG deadline = GetTickCount64() + 20000;
    while (g_ticks < ticks && !done() && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

class PaintingWindow : public ::testing::Environment {
  public:
    void SetUp() override {
        GdiplusStartupInput input;
        ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
        load_embedded_resources(GetModuleHandleW(nullptr));
        g_runMode = Update; // no version check: nothing here talks to a server
        ASSERT_TRUE(create_main_window(GetModuleHandleW(nullptr)));
        g_windowProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            g_mainWindow.load(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(counting_proc)));
        ASSERT_NE(g_windowProc, nullptr);
    }
    void TearDown() override {
        DestroyWindow(g_mainWindow.load());
        free_embedded_resources();
        GdiplusShutdown(token_);
    }

  private:
    ULONG_PTR token_ = 0;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new PaintingWindow);

// Shows `page` and waits for its first frame; false when none came.
bool show(const char* page) {
    apply_page(find_page(page), g_uiScale);
    reset_counts();
    InvalidateRect(g_mainWindow.load(), nullptr, FALSE);
    run_until(10, [] { return g_paints > 0; });
    return g_paints > 0;
}

TEST(Repaint, TicksWithNothingChangedPaintNothingOnEveryKindOfPage) {
    for (const char* page :
         {"install-first-idle-catalog", "install-first-running", "install-first-failed-progress",
          "update-running", "uninstall-idle", "install-first-done"}) {
        ASSERT_TRUE(show(page)) << page << ": no first frame";
        reset_counts();
        run_until(10);
        EXPECT_EQ(g_ticks, 10) << page << ": the timer stopped";
        EXPECT_EQ(g_paints, 0) << page;
    }
}

TEST(Repaint, AChangeToAnyRecordAPageShowsIsPaintedAtTheNextTick) {
    struct Change {
        const char* what;
        const char* page;
        std::function<void()> make;
    };
    const Change changes[] = {
        {"status text", "install-first-running",
         [] { set_status(L"Скачивается nvngx_dlss.dll (4 из 41)"); }},
        {"progress counter", "install-first-running", [] { g_bytesDone += kMiB; }},
        {"worker state", "install-first-running", [] { g_workerState = Failed; }},
        {"error text", "install-first-failed-progress",
         [] { set_error(L"Не удалось записать файл."); }},
        {"catalogue ready with sizes", "install-first-idle", [] { g_catalogReady = true; }},
        {"component choice", "install-first-idle", [] { g_componentSelected[4] = true; }},
        {"option", "uninstall-idle", [] { g_removeUserData = !g_removeUserData; }},
        {"install folder", "install-first-idle", [] { g_installDir += L"2"; }},
        {"remote version", "install-change-idle-update",
         [] {
             std::lock_guard<std::mutex> lock(g_stateLock);
             g_remoteVersion = "2.4.1";
         }},
        {"hover", "install-first-idle", [] { g_hoverId = kCancelButton; }},
        {"press", "install-first-idle", [] { g_pressedId = kPrimaryButton; }},
    };
    for (const Change& change : changes) {
        ASSERT_TRUE(show(change.page)) << change.what << ": no first frame";
        reset_counts();
        run_until(2); // settled: nothing to paint
        ASSERT_EQ(g_paints, 0) << change.what;
        change.make();
        reset_counts();
        run_until(5, [] { return g_paints > 0; });
        EXPECT_EQ(g_paints, 1) << change.what;
        EXPECT_EQ(g_ticksBeforeFirstPaint, 1) << change.what;
        // And quiet again once the change is on the screen.
        reset_counts();
        run_until(3);
        EXPECT_EQ(g_paints, 0) << change.what;
    }
}

TEST(Repaint, PointerOverAControlPaintsWithoutWaitingForATick) {
    ASSERT_TRUE(show("install-first-idle"));
    const HitRect* primary = nullptr;
    for (const HitRect& r : g_hitRects)
        if (r.id == kPrimaryButton) primary = &r;
    ASSERT_NE(primary, nullptr);
    reset_counts();
    SendMessageW(g_mainWindow.load(), WM_MOUSEMOVE, 0,
                 MAKELPARAM(static_cast<int>(primary->x + primary->w / 2),
                            static_cast<int>(primary->y + primary->h / 2)));
    run_until(3, [] { return g_paints > 0; });
    EXPECT_EQ(g_hoverId, kPrimaryButton);
    EXPECT_EQ(g_paints, 1);
    EXPECT_EQ(g_ticksBeforeFirstPaint, 0);
}

} // namespace
