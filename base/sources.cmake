set(base_PORTABLE state.cpp whole_file.cpp)
set(base_WINDOWS file_ops.cpp setup_log.cpp optional_api.cpp paths.cpp text.cpp known_folders.cpp
                 file_identity.cpp main_window.cpp)
