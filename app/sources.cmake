set(app_PORTABLE state.cpp command_line.cpp files.cpp)
set(app_WINDOWS file_ops.cpp swap.cpp folder_lock.cpp file_identity.cpp startup.cpp window_host.cpp worker.cpp version_check.cpp signed_manifest.cpp setup_log.cpp optional_api.cpp paths.cpp text.cpp known_folders.cpp)
