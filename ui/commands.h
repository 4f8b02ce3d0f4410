#pragma once
// What each control does. Window thread only.
#include <cstdint>
#include <string>

#include <windows.h>

// What the commands need of the program that hosts the window. The program stands above the
// window, so the window reaches it only through this: the host hands it to CreateWindowExW as
// the creation parameter and the window keeps it in its user data for its whole life. A window
// created without one starts no worker.
struct UiHost {
    void (*startWorker)(); // starts the worker unless one is running
};

// The host `window` was created with; null when none.
const UiHost* ui_host(HWND window);

// Runs the command of a control id (ui/control_ids.h) in `window`; called on a completed
// click, on Enter and from the timer. Unknown ids only repaint.
void on_command(HWND window, int32_t id);

// Starts the installed plannix.exe in the install folder; its result is not examined.
void launch_app();

// The folder picker, owned by `owner`: lets the user choose the install folder while no worker
// runs.
void choose_install_folder(HWND owner);

// The install folder for a folder the user picked: the picked folder itself when its last
// element is exactly "Plannix" (the default folder, or one picked before), otherwise a new
// "Kvartalis Plannix" folder inside it, so the application never spills into a shared folder.
std::wstring install_dir_for_choice(const std::wstring& chosen);
