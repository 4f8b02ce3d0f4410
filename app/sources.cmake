set(app_PORTABLE state.cpp command_line.cpp)
set(app_WINDOWS)
