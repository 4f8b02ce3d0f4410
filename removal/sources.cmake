set(removal_PORTABLE)
set(removal_WINDOWS uninstall.cpp deletion_guard.cpp)
