# The shared records (state.cpp) are the program's, not the portable library's: the portable
# layers take what they need as parameters.
set(base_PORTABLE whole_file.cpp relative_path.cpp)
set(base_WINDOWS held_files.cpp link_safe_delete.cpp folders_on_the_way.cpp setup_log.cpp
                 optional_api.cpp paths.cpp text.cpp known_folders.cpp file_identity.cpp
                 main_window.cpp state.cpp)
