set(transport_PORTABLE lzms_decoder.cpp lzms_huffman.cpp lzms_x86.cpp lzms_container.cpp patch.cpp)
set(transport_WINDOWS hash.cpp signature.cpp http.cpp lzms.cpp transfer_control.cpp)
