#pragma once
// What each page shows, decided from the shared state's values alone: no drawing, no Windows,
// so the rules are tested natively. pages.cpp turns them into pixels.
#include <cstdint>
#include <string>
#include <vector>

#include "base/state.h"

enum ButtonStyle : int32_t { Primary = 0, Secondary = 1, Danger = 2 };

enum class Page {
    Ready,            // choices before a run (Install or Update, Idle or Failed without progress)
    Progress,         // Install or Update, Running or Failed after some progress
    InstallDone,      // Install or Update, Done
    UninstallConfirm, // Idle or Failed
    UninstallRunning,
    UninstallDone,
};

Page choose_page(RunMode mode, WorkerState state, uint64_t bytesDone, uint64_t bytesTotal);
const wchar_t* page_title(RunMode mode, WorkerState state, bool somethingInstalled);
// The error block is shown only while Failed, and never over the uninstall status or thanks.
bool shows_error_block(Page page, WorkerState state);

// The label of button 1 while Idle or Failed. Versions compare byte for byte.
const wchar_t* primary_label(RunMode mode, WorkerState state, const std::string& installedVersion,
                             const std::string& remoteVersion);

struct ButtonSpec {
    const wchar_t* label;
    int32_t id;
    ButtonStyle style;
    float width; // DIP
};
// The button row, right to left; `primaryLabel` is used while Idle or Failed. Returns the count.
int button_row(RunMode mode, WorkerState state, const wchar_t* primaryLabel, ButtonSpec out[2]);

// Whether the control `id` does something when pressed in `state`. One that cannot act is still
// drawn, but never takes the keyboard focus and reads as unavailable.
bool control_can_act(int32_t id, WorkerState state);

// The controls of a page that can act, in keyboard order: top to bottom as the page draws them,
// then the buttons from left to right. The core component row is no control: it has no id.
std::vector<int32_t> focus_order(RunMode mode, WorkerState state, Page page, bool firstInstall);

// Where Tab (forward) or Shift+Tab moves the focus from `current`, wrapping around; from no
// control (or one the page no longer has) to the first or the last. kNoControl when the page
// has none.
int32_t next_focus(const std::vector<int32_t>& order, int32_t current, bool forward);

// Bar fraction: done / total clamped to 1, 0 without a total.
double progress_fraction(uint64_t bytesDone, uint64_t bytesTotal);

// Formatting buffers, in characters (terminating NUL included).
constexpr int kSizeTextChars = 32;
constexpr int kProgressTextChars = 96;
// "%.0f МБ" of a component's download size with a 1 MiB floor; empty for 0 bytes.
std::wstring component_size_text(uint64_t bytes);
// "%.1f из %.1f МБ"; empty without a total.
std::wstring progress_size_text(uint64_t bytesDone, uint64_t bytesTotal);

// The "  ·  ваша видеокарта" mark, after the title of a component made for the machine's card.
extern const wchar_t kYourCardSuffix[];
