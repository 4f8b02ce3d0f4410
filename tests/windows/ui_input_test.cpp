// The window's input and commands under Wine: the real window (class, procedure, timer) made
// by the window host, driven with the messages that Windows would send it. Hit rectangles are
// set by each test, as the last paint would have left them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <windows.h>
#include <objbase.h>

#include "base/paths.h"
#include "base/state.h"
#include "app/window_host.h"
#include "base/main_window.h"
#include "ui/commands.h"
#include "ui/window_proc.h"
#include "ui/control_ids.h"

namespace {

HWND main_window() {
    return g_mainWindow.load();
}

class WindowEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        g_runMode = Update; // no version check: nothing here talks to a server
        create_main_window(GetModuleHandleW(nullptr));
        ASSERT_NE(main_window(), nullptr);
    }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new WindowEnvironment);

LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(main_window(), message, wParam, lParam);
}
void move_to(int x, int y) {
    send(WM_MOUSEMOVE, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
}
void button_down() {
    send(WM_LBUTTONDOWN, MK_LBUTTON);
}
void button_up() {
    send(WM_LBUTTONUP);
}

// Takes the WM_CLOSE messages posted to the window out of its queue, without dispatching
// them (so the window stays), and counts them.
int posted_closes() {
    int count = 0;
    MSG msg;
    while (PeekMessageW(&msg, main_window(), WM_CLOSE, WM_CLOSE, PM_REMOVE))
        if (msg.message == WM_CLOSE) ++count;
    return count;
}

bool repaint_pending() {
    return GetUpdateRect(main_window(), nullptr, FALSE) != FALSE;
}

template <typename Pred> bool wait_until(Pred pred, int ms = 10000) {
    for (int waited = 0; !pred(); waited += 10) {
        if (waited >= ms) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void wait_for_worker() {
    ASSERT_TRUE(wait_until([] { return g_workerState.load() != Running; }))
        << "the worker never ended";
}

// The hit rectangles of a ready page: the primary button, a component row and an overlapping
// control drawn after the row (last drawn is on top).
const HitRect kPrimary = {400, 600, 160, 40, kPrimaryButton};
const HitRect kRow = {32, 200, 536, 40, kComponentRowBase + 1};
const HitRect kOverRow = {100, 210, 20, 20, kDesktopShortcutBox};

class WindowInput : public ::testing::Test {
  protected:
    void SetUp() override {
        g_runMode = Install;
        g_autoMode = false;
        g_workerState = Idle;
        g_cancelRequested = false;
        g_launchAfterInstall = false;
        g_hitRects = {kPrimary, kRow, kOverRow};
        move_to(0, 0);
        button_up();
        posted_closes();
        ValidateRect(main_window(), nullptr);
    }
    void TearDown() override {
        wait_for_worker();
        g_workerState = Idle;
        posted_closes();
    }
};

TEST_F(WindowInput, HoverFollowsTheLastRectangleUnderThePointerAndSetsTheCursor) {
    const HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    struct Case {
        int x, y;
        int32_t id;
    };
    const Case cases[] = {
        {400, 600, kPrimaryButton},       // top-left corner is inside
        {559, 639, kPrimaryButton},       // last pixel inside
        {560, 620, kNoControl},           // right edge is outside
        {480, 640, kNoControl},           // bottom edge is outside
        {40, 220, kComponentRowBase + 1}, // the row
        {105, 215, kDesktopShortcutBox},  // drawn after the row, so on top of it
        {-5, 620, kNoControl},            // left of the window (signed coordinates)
        {-30000, -30000, kNoControl},
    };
    for (const Case& c : cases) {
        move_to(c.x, c.y);
        EXPECT_EQ(g_hoverId, c.id) << c.x << "," << c.y;
        EXPECT_EQ(GetCursor(), c.id == kNoControl ? arrow : hand) << c.x << "," << c.y;
    }
    // A move within the same control does not repaint; a change of control does.
    move_to(401, 601);
    ValidateRect(main_window(), nullptr);
    move_to(402, 602);
    EXPECT_FALSE(repaint_pending());
    move_to(40, 220);
    EXPECT_TRUE(repaint_pending());
    // Leaving the client area ends the hover.
    send(WM_MOUSELEAVE);
    EXPECT_EQ(g_hoverId, kNoControl);
}

TEST_F(WindowInput, ClickFiresOnlyWhenPressAndReleaseMeetOnTheSameControl) {
    // Press on "Установить", move off, release: nothing.
    move_to(450, 620);
    button_down();
    EXPECT_EQ(g_pressedId, kPrimaryButton);
    EXPECT_EQ(GetCapture(), main_window());
    move_to(300, 300);
    button_up();
    EXPECT_EQ(g_pressedId, kNoControl);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(g_workerState.load(), Idle);

    // Press on a row, release on the button: neither command.
    const bool rowBefore = g_componentSelected[1];
    move_to(40, 220);
    button_down();
    move_to(450, 620);
    button_up();
    EXPECT_EQ(g_componentSelected[1], rowBefore);
    EXPECT_EQ(g_workerState.load(), Idle);
    // A whole click on the row toggles it.
    move_to(500, 235);
    button_down();
    button_up();
    EXPECT_EQ(g_componentSelected[1], !rowBefore);

    // Press, move off (outside the window, with the capture), move back, release: installs.
    move_to(450, 620);
    button_down();
    move_to(-50, 900);
    EXPECT_EQ(g_hoverId, kNoControl);
    EXPECT_EQ(g_pressedId, kPrimaryButton); // stays pressed while the button is held
    move_to(451, 621);
    button_up();
    EXPECT_NE(g_workerState.load(), Idle) << "the click did not start the worker";
    wait_for_worker();
}

// A press whose capture another window takes loses its pressed look at once, without a click: the
// release never comes to this window.
TEST_F(WindowInput, APressWhoseCaptureIsTakenEndsWithoutAClick) {
    move_to(450, 620);
    button_down();
    ASSERT_EQ(g_pressedId, kPrimaryButton);
    ValidateRect(main_window(), nullptr);
    // Another window of the process takes the mouse, as a dialog or a drag would.
    const HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    SetCapture(other);
    EXPECT_EQ(g_pressedId, kNoControl);
    EXPECT_TRUE(repaint_pending()) << "the pressed look must go";
    ReleaseCapture();
    DestroyWindow(other);
    // A release that does reach the window afterwards is no click.
    button_up();
    EXPECT_EQ(g_workerState.load(), Idle);
}

TEST_F(WindowInput, EnterActsAsThePrimaryButtonAndEscapeClosesUnlessRunning) {
    g_workerState = Running; // as if a worker ran: Enter must not start another
    send(WM_KEYDOWN, VK_RETURN);
    send(WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(posted_closes(), 0);
    EXPECT_EQ(g_workerState.load(), Running);
    EXPECT_FALSE(g_cancelRequested.load());

    for (WorkerState s : {Idle, Failed, Done}) {
        g_workerState = s;
        send(WM_KEYDOWN, VK_ESCAPE);
        EXPECT_EQ(posted_closes(), 1) << "state " << s;
        send(WM_KEYDOWN, VK_SPACE);
        send(WM_KEYDOWN, 'A');
        EXPECT_EQ(posted_closes(), 0) << "state " << s;
        EXPECT_EQ(g_workerState.load(), s);
    }

    g_workerState = Idle;
    send(WM_KEYDOWN, VK_RETURN);
    EXPECT_NE(g_workerState.load(), Idle) << "Enter did not start the worker";
    wait_for_worker();
    // Failed: Enter is "Повторить".
    ASSERT_EQ(g_workerState.load(), Failed);
    g_cancelRequested = true;
    send(WM_KEYDOWN, VK_RETURN);
    wait_for_worker();
    EXPECT_FALSE(g_cancelRequested.load()) << "the retry was not a fresh run";
}

TEST_F(WindowInput, ClosingDuringARunOnlyRequestsCancellation) {
    g_workerState = Running;
    send(WM_CLOSE);
    EXPECT_TRUE(IsWindow(main_window()));
    EXPECT_TRUE(g_cancelRequested.load());

    // "Отмена" during a run cancels and leaves the window; otherwise it closes.
    g_cancelRequested = false;
    on_command(main_window(), kCancelButton);
    EXPECT_TRUE(g_cancelRequested.load());
    EXPECT_EQ(posted_closes(), 0);
    g_workerState = Failed;
    g_cancelRequested = false;
    on_command(main_window(), kCancelButton);
    EXPECT_EQ(posted_closes(), 1);
    EXPECT_FALSE(g_cancelRequested.load());

    // With no run, a close destroys the window (another one of the same class here, so the
    // tests keep theirs).
    const HWND other = CreateWindowExW(0, L"PlannixSetup", L"", WS_OVERLAPPED, 0, 0, 100, 100,
                                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    SendMessageW(other, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(other));
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "no WM_QUIT";
}

TEST_F(WindowInput, ComponentsToggleOnlyWhileIdleOrFailedAndTheCoreNever) {
    for (WorkerState s : {Idle, Running, Done, Failed}) {
        for (int32_t id = kComponentRowBase; id <= kComponentRowBase + 5; ++id) {
            g_workerState = s;
            bool before[5];
            std::copy(std::begin(g_componentSelected), std::end(g_componentSelected), before);
            on_command(main_window(), id);
            const int index = id - kComponentRowBase;
            for (int i = 0; i < 5; ++i) {
                const bool toggles = i == index && i != 0 && (s == Idle || s == Failed);
                EXPECT_EQ(g_componentSelected[i], toggles ? !before[i] : before[i])
                    << "state " << s << ", id " << id << ", entry " << i;
            }
        }
    }
    // The options toggle (their boxes exist only while no worker runs), and the folder command
    // does nothing but repaint while a worker runs or after a run.
    g_workerState = Idle;
    const std::atomic<bool>* options[] = {&g_desktopShortcut, &g_launchAfterInstall,
                                          &g_removeUserData};
    for (int32_t id : {kDesktopShortcutBox, kLaunchAfterInstallBox, kRemoveUserDataBox}) {
        const std::atomic<bool>& option = *options[id - kDesktopShortcutBox];
        const bool before = option.load();
        on_command(main_window(), id);
        EXPECT_EQ(option.load(), !before) << "id " << id;
    }
    const std::wstring folder = g_installDir;
    for (WorkerState s : {Running, Done, Failed}) {
        g_workerState = s;
        ValidateRect(main_window(), nullptr);
        // Would open the picker (and hang here) if not refused.
        on_command(main_window(), kChooseFolder);
        EXPECT_EQ(g_installDir, folder) << "state " << s;
        EXPECT_TRUE(repaint_pending()) << "state " << s;
    }
}

TEST(FolderChoice, PlannixIsKeptAnyOtherFolderGetsItsOwnSubFolder) {
    const struct {
        const wchar_t* chosen;
        const wchar_t* installDir;
    } cases[] = {
        {L"D:\\Apps", L"D:\\Apps\\Kvartalis Plannix"},
        {L"C:\\users\\u\\AppData\\Local\\Programs\\Kvartalis\\Plannix",
         L"C:\\users\\u\\AppData\\Local\\Programs\\Kvartalis\\Plannix"},
        {L"D:\\Plannix", L"D:\\Plannix"},
        {L"D:/work/Plannix", L"D:/work/Plannix"},
        {L"\\\\server\\share\\Plannix", L"\\\\server\\share\\Plannix"},
        // Only the exact name: case, additions and a trailing separator make it another one.
        {L"D:\\plannix", L"D:\\plannix\\Kvartalis Plannix"},
        {L"D:\\PLANNIX", L"D:\\PLANNIX\\Kvartalis Plannix"},
        {L"D:\\Plannix2", L"D:\\Plannix2\\Kvartalis Plannix"},
        {L"D:\\Old Plannix", L"D:\\Old Plannix\\Kvartalis Plannix"},
        {L"D:\\Plannix\\", L"D:\\Plannix\\Kvartalis Plannix"},
        {L"D:\\", L"D:\\Kvartalis Plannix"},
        {L"D:\\Программы", L"D:\\Программы\\Kvartalis Plannix"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(install_dir_for_choice(c.chosen), c.installDir)
            << std::string(c.chosen, c.chosen + wcslen(c.chosen));
}

// The folder picker, driven from a second thread as a user would: it waits for the dialog
// that the window thread opens, types a folder into its name box and confirms, or cancels.
class FolderPicker : public WindowInput {
  protected:
    static HWND owned_dialog() {
        HWND found = nullptr;
        EnumThreadWindows(
            GetWindowThreadProcessId(main_window(), nullptr),
            [](HWND w, LPARAM out) -> BOOL {
                if (GetWindow(w, GW_OWNER) != main_window() || !IsWindowVisible(w)) return TRUE;
                *reinterpret_cast<HWND*>(out) = w;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }
    static HWND name_box(HWND dialog) {
        HWND found = nullptr;
        EnumChildWindows(
            dialog,
            [](HWND w, LPARAM out) -> BOOL {
                wchar_t cls[16] = {};
                GetClassNameW(w, cls, 16);
                if (_wcsicmp(cls, L"Edit") != 0 || !IsWindowVisible(w)) return TRUE;
                *reinterpret_cast<HWND*>(out) = w;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }
    // Runs command 3 while the driver answers the dialog with `folder` (empty: cancel);
    // `beforeAnswer` runs on the driver thread just before it answers.
    void pick(const std::wstring& folder, void (*beforeAnswer)() = nullptr) {
        title_.clear();
        std::thread driver([&] {
            HWND dialog = nullptr;
            if (!wait_until([&] { return (dialog = owned_dialog()) != nullptr; })) return;
            wchar_t title[128] = {};
            GetWindowTextW(dialog, title, 128);
            title_ = title;
            if (beforeAnswer) beforeAnswer();
            if (!folder.empty()) {
                SetWindowTextW(name_box(dialog), folder.c_str());
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            }
            // A cancel, or a second chance when the typed folder was not taken.
            if (!wait_until([&] { return !IsWindow(dialog); }, 5000))
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        on_command(main_window(), kChooseFolder);
        driver.join();
    }
    std::wstring title_;
};

TEST_F(FolderPicker, ChosenFolderBecomesTheInstallFolderByTheFolderRule) {
    const std::wstring base = temp_folder() + L"ui-input-pick";
    CreateDirectoryW(base.c_str(), nullptr);
    for (const wchar_t* name : {L"Apps", L"Plannix"})
        CreateDirectoryW(join_path(base, name).c_str(), nullptr);
    g_installDir = L"C:\\before";

    pick(L""); // cancelled: the folder stays
    EXPECT_EQ(title_, L"Папка для планикса");
    EXPECT_EQ(g_installDir, L"C:\\before");

    pick(join_path(base, L"Apps"));
    EXPECT_EQ(g_installDir, join_path(join_path(base, L"Apps"), L"Kvartalis Plannix"));

    pick(join_path(base, L"Plannix"));
    EXPECT_EQ(g_installDir, join_path(base, L"Plannix"));

    // A run that began while the dialog was open keeps the folder it started with.
    pick(join_path(base, L"Apps"), [] { g_workerState = Running; });
    EXPECT_EQ(g_installDir, join_path(base, L"Plannix"));
    g_workerState = Idle;
}

// A folder holding the launch probe as plannix.exe, for the commands that start the
// application.
class Launching : public WindowInput {
  protected:
    void SetUp() override {
        WindowInput::SetUp();
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        dir_ = temp_folder() + L"ui-input-app-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++count_);
        CreateDirectoryW(dir_.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(join_path(folder_of(self), L"launch_probe.exe").c_str(),
                              join_path(dir_, L"plannix.exe").c_str(), FALSE));
        g_installDir = dir_;
    }
    std::wstring launched_file() const { return join_path(dir_, L"launched.txt"); }
    int lines() const {
        std::ifstream in(launched_file().c_str());
        int count = 0;
        for (std::string line; std::getline(in, line);)
            ++count;
        return count;
    }
    // The launches seen: waits up to waitMs for the first one, then a little longer for any
    // second one that should not be there.
    int launches(int waitMs) const {
        if (wait_until([&] { return lines() > 0; }, waitMs))
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return lines();
    }
    std::wstring dir_;
    static inline int count_ = 0;
};

TEST_F(Launching, PrimaryButtonAfterARunLaunchesInTheInstallFolderThenCloses) {
    g_workerState = Done;
    move_to(450, 620);
    button_down();
    button_up();
    EXPECT_EQ(posted_closes(), 1);
    EXPECT_EQ(launches(10000), 1) << "plannix.exe was not started in the install folder";
    // After an uninstall "Закрыть" only closes.
    g_runMode = Uninstall;
    DeleteFileW(launched_file().c_str());
    send(WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(posted_closes(), 1);
    EXPECT_EQ(launches(500), 0);
}

TEST_F(Launching, TimerLaunchesOnceAfterAnInstallWhenAskedAndNeverAfterUpdates) {
    struct Case {
        RunMode mode;
        bool launch;
        WorkerState before;
        int launches;
        const char* what;
    };
    // One install folder per case keeps the launches apart; the probe counts them.
    const Case cases[] = {
        {Install, false, Running, 0, "box unchecked: the Done page stays"},
        {Update, true, Running, 0, "update: the installed application restarts it itself"},
        {Uninstall, true, Running, 0, "uninstall"},
        {Install, true, Running, 1, "install with the box checked"},
        // A run that began and ended between two ticks was never seen Running.
        {Install, true, Idle, 1, "a run shorter than a tick"},
        {Install, true, Failed, 1, "a retry shorter than a tick"},
    };
    for (const Case& c : cases) {
        g_runMode = c.mode;
        g_launchAfterInstall = c.launch;
        g_workerState = c.before;
        send(WM_TIMER, kRepaintTimerId);
        g_workerState = Done;
        for (int tick = 0; tick < 3; ++tick)
            send(WM_TIMER, kRepaintTimerId);
        EXPECT_EQ(posted_closes(), c.launches) << c.what;
        EXPECT_EQ(launches(c.launches ? 10000 : 300), c.launches) << c.what;
        DeleteFileW(launched_file().c_str());
    }
}

TEST_F(Launching, AutoModeClosesOnceWhenTheRunEndsAndNeverLaunches) {
    g_autoMode = true;
    g_launchAfterInstall = true; // even if it were set
    g_workerState = Running;
    send(WM_TIMER, kRepaintTimerId);
    EXPECT_EQ(posted_closes(), 0);
    g_workerState = Done;
    send(WM_TIMER, kRepaintTimerId);
    send(WM_TIMER, kRepaintTimerId);
    EXPECT_EQ(posted_closes(), 1);
    // A later failure (or anything else) does not post a second close.
    g_workerState = Failed;
    send(WM_TIMER, kRepaintTimerId);
    EXPECT_EQ(posted_closes(), 0);
    EXPECT_EQ(launches(500), 0);
}

TEST(WindowDpi, DpiChangeRescalesAndTakesTheSuggestedRectangle) {
    RECT before = {};
    GetWindowRect(main_window(), &before);
    const struct {
        WORD dpi;
        float scale;
        RECT suggested;
    } cases[] = {
        {144, 1.5f, {10, 20, 10 + 912, 20 + 1029}},
        {120, 1.25f, {-200, 40, -200 + 762, 40 + 860}},
        {96, 1.0f, before},
    };
    for (const auto& c : cases) {
        RECT suggested = c.suggested;
        EXPECT_EQ(
            send(WM_DPICHANGED, MAKEWPARAM(c.dpi, c.dpi), reinterpret_cast<LPARAM>(&suggested)), 0);
        EXPECT_EQ(g_uiScale, c.scale) << "dpi " << c.dpi;
        RECT now = {};
        GetWindowRect(main_window(), &now);
        EXPECT_TRUE(EqualRect(&now, &c.suggested))
            << "dpi " << c.dpi << ": " << now.left << "," << now.top << "," << now.right << ","
            << now.bottom;
    }
}

} // namespace
