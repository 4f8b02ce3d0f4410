set(app_PORTABLE command_line.cpp)
set(app_WINDOWS startup.cpp window_host.cpp worker.cpp)
