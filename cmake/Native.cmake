# Native Linux: the portable code, its tests and fuzzers, and the publisher's tools.
# wimlib's pkg-config file asks for the -dev packages of its private dependencies; the shared
# library needs none of them to link.
find_library(WIMLIB_LIBRARY wim REQUIRED)
find_path(WIMLIB_INCLUDE_DIR wimlib.h REQUIRED)
add_library(Wimlib::wimlib UNKNOWN IMPORTED)
set_target_properties(Wimlib::wimlib PROPERTIES IMPORTED_LOCATION ${WIMLIB_LIBRARY}
                      INTERFACE_INCLUDE_DIRECTORIES ${WIMLIB_INCLUDE_DIR})
find_package(OpenSSL REQUIRED)

add_subdirectory(tools)

if(PLANNIX_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  add_subdirectory(tests/native)
endif()

option(PLANNIX_BENCH "Build the benchmark programs (use with an optimised build)" OFF)
if(PLANNIX_BENCH)
  add_subdirectory(tests/bench)
endif()
