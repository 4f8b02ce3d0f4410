set(app_PORTABLE state.cpp command_line.cpp files.cpp)
set(app_WINDOWS startup.cpp file_identity.cpp window_host.cpp worker.cpp version_check.cpp optional_api.cpp paths.cpp text.cpp known_folders.cpp)
