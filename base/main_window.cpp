#include "base/main_window.h"

std::atomic<HWND> g_mainWindow{nullptr};
