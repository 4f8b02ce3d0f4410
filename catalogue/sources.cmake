set(catalogue_PORTABLE manifest.cpp components.cpp install_record.cpp)
set(catalogue_WINDOWS)
