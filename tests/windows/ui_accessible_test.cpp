// The window's accessibility object and events under Wine, in-process: what a reader is told as
// frames change, how often, and what a reader holding the object of a destroyed window hears.
// (The cross-process reading is scenario.accessibility.)
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>

#include <windows.h>
#include <oleacc.h>

#include "app/state.h"
#include "app/window_host.h"
#include "ui/accessible.h"
#include "ui/control_ids.h"
#include "ui/embedded_resources.h"
#include "tests/windows/ui_pages.h"

using namespace Gdiplus;

namespace {

class AccessibleWindow : public ::testing::Environment {
  public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        GdiplusStartupInput input;
        ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
        load_embedded_resources(GetModuleHandleW(nullptr));
        g_runMode = Update; // no version check: nothing here talks to a server
        ASSERT_TRUE(create_main_window(GetModuleHandleW(nullptr)));
        // Frames are painted into memory and announced with chosen times: no tick may paint.
        KillTimer(g_mainWindow.load(), kRepaintTimerId);
    }
    void TearDown() override {
        release_frame_resources();
        free_embedded_resources();
        GdiplusShutdown(token_);
    }

  private:
    ULONG_PTR token_ = 0;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new AccessibleWindow);

// The window's client events as "event:child " texts, in order.
std::string g_events;
void CALLBACK on_event(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                       DWORD) {
    if (window == g_mainWindow.load() && object == OBJID_CLIENT)
        g_events += std::to_string(event) + ":" + std::to_string(child) + " ";
}
std::string told(std::initializer_list<std::pair<DWORD, LONG>> list) {
    std::string out;
    for (const auto& [event, child] : list) out += std::to_string(event) + ":" + std::to_string(child) + " ";
    return out;
}
// The events raised since the last call; the hook's calls arrive as the thread's messages.
std::string events() {
    ValidateRect(g_mainWindow.load(), nullptr);
    MSG msg;
    for (int n = 0; n < 5; ++n, Sleep(10))
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    return std::exchange(g_events, {});
}

LONG child_of(int32_t id) {
    return element_of_control(last_frame(), id) + 1;
}

TEST(AccessibleEvents, AReaderIsToldOfPagesFocusChecksAndErrorsAndOfNewFiguresOnceASecond) {
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, on_event,
                                               GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    const HWND window = g_mainWindow.load();
    const LONG self = CHILDID_SELF;

    render_page(find_page("install-first-idle"), 1.0f);
    announce_changes(window, 1000);
    EXPECT_EQ(events(), told({{EVENT_OBJECT_REORDER, self}}));
    announce_changes(window, 1060); // a tick with nothing new tells nothing
    EXPECT_EQ(events(), "");

    render_page(find_page("focus-checked-box"), 1.0f);
    announce_changes(window, 1100);
    EXPECT_EQ(events(), told({{EVENT_OBJECT_FOCUS, child_of(kDesktopShortcutBox)}}));
    g_desktopShortcut = false;
    render_records(1.0f);
    announce_changes(window, 1200);
    EXPECT_EQ(events(), told({{EVENT_OBJECT_STATECHANGE, child_of(kDesktopShortcutBox)}}));

    render_page(find_page("install-first-failed-no-progress"), 1.0f);
    announce_changes(window, 1300);
    const LONG alert = static_cast<LONG>(last_frame().elements.size()) - 2; // above the buttons
    ASSERT_EQ(last_frame().elements[size_t(alert) - 1].role, ElementRole::Alert);
    EXPECT_EQ(events(), told({{EVENT_OBJECT_REORDER, self}, {EVENT_SYSTEM_ALERT, alert}}));

    // A download: the figures and the status change on every frame; a reader hears the latest
    // of them at most once a second.
    render_page(find_page("install-first-running"), 1.0f);
    announce_changes(window, 5000);
    EXPECT_EQ(events(), told({{EVENT_OBJECT_REORDER, self}}));
    const LONG bar = static_cast<LONG>(last_frame().elements.size()) - 1; // above "Отмена"
    ASSERT_EQ(last_frame().elements[size_t(bar) - 1].role, ElementRole::ProgressBar);
    const std::string value = told({{EVENT_OBJECT_VALUECHANGE, bar}});
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
        {214 * kMiB, nullptr, 7000, told({{EVENT_OBJECT_NAMECHANGE, bar}}) + value},
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
}

// The object answers only on the window thread and only while its window lives; a reader
// holding it afterwards is told the window is gone.
TEST(AccessibleObject, AnswersOnTheWindowThreadUntilItsWindowIsDestroyed) {
    const HWND other = CreateWindowExW(0, L"PlannixSetup", L"", WS_OVERLAPPED, 0, 0, 100, 100,
                                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    IAccessible* acc = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(other, OBJID_CLIENT, kIidAccessible,
                                         reinterpret_cast<void**>(&acc)),
              S_OK);
    ASSERT_NE(acc, nullptr);
    LONG count = -1;
    EXPECT_EQ(acc->get_accChildCount(&count), S_OK);
    HRESULT elsewhere = S_OK;
    std::thread([&] { elsewhere = acc->get_accChildCount(&count); }).join();
    EXPECT_EQ(elsewhere, RPC_E_WRONG_THREAD);

    DestroyWindow(other);
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    EXPECT_EQ(acc->get_accChildCount(&count), RPC_E_DISCONNECTED);
    EXPECT_EQ(acc->get_accName(self, &name), RPC_E_DISCONNECTED);
    EXPECT_EQ(acc->accDoDefaultAction(self), RPC_E_DISCONNECTED);
    acc->Release();
    MSG quit; // the destroyed window of this class ended the loop it thought it had
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

} // namespace
