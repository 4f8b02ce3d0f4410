set(catalogue_PORTABLE manifest.cpp components.cpp install_record.cpp file_names.cpp utc_time.cpp
                        freshness.cpp packs.cpp)
set(catalogue_WINDOWS)
