set(ui_PORTABLE)
set(ui_WINDOWS window_proc.cpp embedded_resources.cpp)
