# Cross build: setup.exe and the Windows test programs.
set(PLANNIX_HOST "plannix.kvartalis.ru" CACHE STRING "The publisher's web site")
set(PLANNIX_PORT "443" CACHE STRING "Its HTTPS port")
set(PLANNIX_URL_INFO_ABOUT "https://plannix.kvartalis.ru/" CACHE STRING "URLInfoAbout")
set(PLANNIX_PUBLIC_KEY "" CACHE FILEPATH "The publisher's public key: 88 characters of base64")
if(NOT PLANNIX_PUBLIC_KEY OR NOT EXISTS "${PLANNIX_PUBLIC_KEY}")
  message(FATAL_ERROR "No publisher key: pass -DPLANNIX_PUBLIC_KEY=<file holding the 88-character "
                      "base64 public key> (plannix-release keygen makes one). Setup is never "
                      "built without the key it must trust.")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(PLANNIX_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

target_compile_definitions(setup_portable PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                 _WIN32_WINNT=0x0A00)

add_library(setup_windows STATIC ${PLANNIX_WINDOWS_SOURCES})
target_link_libraries(setup_windows PUBLIC setup_portable winhttp bcrypt crypt32 ole32 shell32
                                           shlwapi uuid advapi32 user32 gdi32 gdiplus dxgi)
plannix_warnings(setup_windows)

# The constants object: the only thing that differs between a test and a release build.
set(PLANNIX_CONSTANTS_CPP ${CMAKE_BINARY_DIR}/generated/build_constants.cpp)
add_custom_command(
  OUTPUT ${PLANNIX_CONSTANTS_CPP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/bake_constants.py ${PLANNIX_CONSTANTS_CPP}
          --key ${PLANNIX_PUBLIC_KEY} --host ${PLANNIX_HOST} --port ${PLANNIX_PORT}
          --about ${PLANNIX_URL_INFO_ABOUT}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/bake_constants.py ${PLANNIX_PUBLIC_KEY}
  COMMENT "Baking build constants")
add_library(build_constants OBJECT ${PLANNIX_CONSTANTS_CPP})
target_include_directories(build_constants PRIVATE ${CMAKE_SOURCE_DIR})

add_executable(setup WIN32 app/main.cpp resources/setup.rc $<TARGET_OBJECTS:build_constants>)
target_link_libraries(setup PRIVATE setup_windows)
# Release builds are stripped: the symbols would be most of the file's size.
target_link_options(setup PRIVATE -municode ${PLANNIX_STATIC_RUNTIME} $<$<CONFIG:Release>:-s>)
plannix_warnings(setup)
# windres reads these files but does not report them as dependencies.
set(PLANNIX_RESOURCE_FILES setup.manifest setup.ico logo.png fonts/golos-text-400.ttf
                           fonts/golos-text-600.ttf fonts/golos-text-700.ttf)
list(TRANSFORM PLANNIX_RESOURCE_FILES PREPEND ${CMAKE_SOURCE_DIR}/resources/)
set_source_files_properties(resources/setup.rc PROPERTIES OBJECT_DEPENDS "${PLANNIX_RESOURCE_FILES}")
add_custom_command(TARGET setup POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:setup> -P ${CMAKE_SOURCE_DIR}/cmake/ReportSize.cmake
  VERBATIM)

add_subdirectory(tools/demo)

if(PLANNIX_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
