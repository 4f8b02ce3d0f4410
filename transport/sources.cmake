set(transport_PORTABLE)
set(transport_WINDOWS)
