#pragma once
// The one window, shared by every thread that must reach it.
#include <atomic>

#include <windows.h>

// Set by the window thread once the window exists (nullptr before); the
// version check, started before that, and the worker read it to repaint or close it.
extern std::atomic<HWND> g_mainWindow;
