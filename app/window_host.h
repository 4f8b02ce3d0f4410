#pragma once
// The one window: class, DPI, size and placement, timer and message loop.
#include <windows.h>

// Client size in logical pixels for the run mode and whether an installation was found.
SIZE logical_client_size();
// The class "PlannixSetup": style 0, icon resource 1, the arrow cursor, nothing else.
void register_window_class(HINSTANCE instance);
// Registers the class, works out the DPI, starts the version check in Install mode, creates,
// centres and shows the window and starts its timer. False when the window could not be
// created: there is then no loop to run.
bool create_main_window(HINSTANCE instance);
void run_message_loop();
