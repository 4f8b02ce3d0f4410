set(catalogue_PORTABLE)
set(catalogue_WINDOWS)
