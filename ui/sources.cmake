set(ui_PORTABLE input.cpp)
set(ui_WINDOWS window_proc.cpp commands.cpp)
