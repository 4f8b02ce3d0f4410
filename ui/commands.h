#pragma once
// What each control does. Window thread only.
#include <cstdint>
#include <string>

// Runs the command of a control id (ui/control_ids.h); called on a completed click, on Enter
// and from the timer. Unknown ids only repaint.
void on_command(int32_t id);

// Starts the installed plannix.exe in the install folder; its result is not examined.
void launch_app();

// The folder picker: lets the user choose the install folder while no worker runs.
void choose_install_folder();

// The install folder for a folder the user picked: the picked folder itself when its last
// element is exactly "Plannix" (the default folder, or one picked before), otherwise a new
// "Kvartalis Plannix" folder inside it, so the application never spills into a shared folder.
std::wstring install_dir_for_choice(const std::wstring& chosen);
