set(removal_PORTABLE)
set(removal_WINDOWS uninstall.cpp delete_files.cpp deletion_guard.cpp)
