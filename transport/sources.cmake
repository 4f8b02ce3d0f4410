set(transport_PORTABLE)
set(transport_WINDOWS hash.cpp signature.cpp http.cpp)
