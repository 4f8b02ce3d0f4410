set(base_PORTABLE state.cpp whole_file.cpp relative_path.cpp)
set(base_WINDOWS held_files.cpp link_safe_delete.cpp folders_on_the_way.cpp setup_log.cpp
                 optional_api.cpp paths.cpp text.cpp known_folders.cpp file_identity.cpp
                 main_window.cpp)
