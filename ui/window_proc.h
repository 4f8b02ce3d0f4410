#pragma once
#include <windows.h>

// Handles every message of the main window.
LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
