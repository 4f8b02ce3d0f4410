#pragma once
#include <cstdint>

#include <windows.h>

// The regular repaint that shows a run's progress: set by the window host, ended here.
constexpr UINT_PTR kRepaintTimerId = 1;
constexpr UINT kRepaintPeriodMs = 60;

// Handles every message of the main window.
LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// What a click on control `id` does, for a screen reader's default action: the focus moves
// there and the control's command runs; the frame is painted at once, so what is read next is
// current.
void click_control(HWND window, int32_t id);

// Moves the keyboard focus to control `id` and shows it, as Tab would.
void focus_control(HWND window, int32_t id);
