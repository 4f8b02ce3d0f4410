set(app_PORTABLE)
# command_line.cpp writes the shared records, so it stays out of the portable library; its
# native test links it with state.cpp itself.
set(app_WINDOWS command_line.cpp startup.cpp window_host.cpp worker.cpp)
