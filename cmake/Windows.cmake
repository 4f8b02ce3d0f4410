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
set(PLANNIX_NEXT_PUBLIC_KEY "" CACHE FILEPATH
    "The publisher's next key, trusted too so that the publisher can rotate to it (optional)")
if(PLANNIX_NEXT_PUBLIC_KEY AND NOT EXISTS "${PLANNIX_NEXT_PUBLIC_KEY}")
  message(FATAL_ERROR "PLANNIX_NEXT_PUBLIC_KEY names no file: ${PLANNIX_NEXT_PUBLIC_KEY}")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
# Authenticode: setup.exe is signed when a PKCS#12 certificate and its password file are given.
set(PLANNIX_SIGN_PKCS12 "" CACHE FILEPATH "Code-signing certificate and key, PKCS#12")
set(PLANNIX_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the PKCS#12 password")
set(PLANNIX_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server (optional)")
if(PLANNIX_SIGN_PKCS12)
  if(NOT EXISTS "${PLANNIX_SIGN_PKCS12}" OR NOT EXISTS "${PLANNIX_SIGN_PASSWORD_FILE}")
    message(FATAL_ERROR "Signing needs -DPLANNIX_SIGN_PKCS12=<existing .p12 file> and "
                        "-DPLANNIX_SIGN_PASSWORD_FILE=<existing file holding its password>.")
  endif()
  find_program(PLANNIX_OSSLSIGNCODE osslsigncode REQUIRED)
endif()

set(PLANNIX_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

target_compile_definitions(setup_portable PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                 _WIN32_WINNT=0x0A00)

add_library(setup_windows STATIC ${PLANNIX_WINDOWS_SOURCES})
target_link_libraries(setup_windows PUBLIC setup_portable winhttp bcrypt crypt32 ole32 oleaut32
                                           shell32 shlwapi uuid advapi32 user32 gdi32 gdiplus dxgi
                                           oleacc)
plannix_warnings(setup_windows)

# The constants object: the only thing that differs between a test and a release build.
#   plannix_build_constants(NAME KEY [NEXT_KEY])
function(plannix_build_constants name key)
  set(cpp ${CMAKE_BINARY_DIR}/generated/${name}.cpp)
  set(next)
  if(ARGV2)
    set(next --next-key ${ARGV2})
  endif()
  add_custom_command(
    OUTPUT ${cpp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/build_steps/bake_constants.py ${cpp}
            --key ${key} ${next} --host ${PLANNIX_HOST} --port ${PLANNIX_PORT}
            --about ${PLANNIX_URL_INFO_ABOUT}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/build_steps/bake_constants.py ${key} ${ARGV2}
    COMMENT "Baking build constants (${name})")
  add_library(${name} OBJECT ${cpp})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
endfunction()
plannix_build_constants(build_constants ${PLANNIX_PUBLIC_KEY} ${PLANNIX_NEXT_PUBLIC_KEY})

# setup.exe imports only KnownDLLs statically; every other system DLL is delay-loaded, so that
# the loader never looks for one in the program's own folder (typically Downloads) before
# wWinMain has restricted the search to System32. The delay-import libraries come from
# mingw-w64's own import libraries and list all their functions; on the link line they stand
# before the ordinary import libraries that setup_windows brings, so they win. shell32 is a
# KnownDLL but is delayed too: Wine resolves its own imports (shlwapi, then shcore) from the
# program's folder when it is loaded at start.
set(PLANNIX_DELAYED_DLLS winhttp bcrypt crypt32 dxgi gdiplus shcore shlwapi shell32 oleacc)
find_program(PLANNIX_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)
set(PLANNIX_DELAY_LIBS)
foreach(dll IN LISTS PLANNIX_DELAYED_DLLS)
  find_library(PLANNIX_IMPORT_LIB_${dll} ${dll} REQUIRED)
  set(delay_lib ${CMAKE_BINARY_DIR}/delay-import/lib${dll}_delay.a)
  add_custom_command(
    OUTPUT ${delay_lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delay-import
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/build_steps/delay_import_lib.py --nm ${CMAKE_NM}
            --dlltool ${PLANNIX_DLLTOOL} --dll ${dll}.dll ${PLANNIX_IMPORT_LIB_${dll}} ${delay_lib}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/build_steps/delay_import_lib.py ${PLANNIX_IMPORT_LIB_${dll}}
    COMMENT "Delay-import library for ${dll}.dll")
  list(APPEND PLANNIX_DELAY_LIBS ${delay_lib})
endforeach()
add_custom_target(delay_import_libs DEPENDS ${PLANNIX_DELAY_LIBS})

# windres reads these files but does not report them as dependencies.
set(PLANNIX_RESOURCE_FILES setup.manifest setup.ico logo.png fonts/golos-text-400.ttf
                           fonts/golos-text-600.ttf fonts/golos-text-700.ttf)
list(TRANSFORM PLANNIX_RESOURCE_FILES PREPEND ${CMAKE_SOURCE_DIR}/resources/)
set_source_files_properties(resources/setup.rc PROPERTIES OBJECT_DEPENDS "${PLANNIX_RESOURCE_FILES}")

# setup.exe as it is published, linked with the constants object CONSTANTS.
#   plannix_setup_executable(NAME CONSTANTS)
function(plannix_setup_executable name constants)
  add_executable(${name} WIN32 app/main.cpp app/load_config.cpp resources/setup.rc
                         $<TARGET_OBJECTS:${constants}>)
  add_dependencies(${name} delay_import_libs)
  # GNU ld leaves the Load Configuration directory empty: point it at app/load_config.cpp's
  # object. Release builds are stripped there too (the symbols would be most of the file's
  # size), after the symbol that locates the object has been read.
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/build_steps/set_load_config.py --nm ${CMAKE_NM}
            "$<$<CONFIG:Release>:--strip;${CMAKE_STRIP}>" $<TARGET_FILE:${name}>
    COMMAND_EXPAND_LISTS
    COMMENT "Load configuration of setup.exe")
  if(PLANNIX_SIGN_PKCS12)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${name}>
              -DOSSLSIGNCODE=${PLANNIX_OSSLSIGNCODE} -DPKCS12=${PLANNIX_SIGN_PKCS12}
              -DPASSWORD_FILE=${PLANNIX_SIGN_PASSWORD_FILE} "-DDESCRIPTION=Plannix Setup"
              -DURL=${PLANNIX_URL_INFO_ABOUT} -DTIMESTAMP_URL=${PLANNIX_SIGN_TIMESTAMP_URL}
              -P ${CMAKE_SOURCE_DIR}/cmake/SignSetup.cmake
      VERBATIM
      COMMENT "Authenticode signature of setup.exe")
  endif()
  target_link_libraries(${name} PRIVATE setup_windows ${PLANNIX_DELAY_LIBS})
  target_link_options(${name} PRIVATE -municode ${PLANNIX_STATIC_RUNTIME})
  plannix_warnings(${name})
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${name}>
            -P ${CMAKE_SOURCE_DIR}/cmake/ReportSize.cmake
    VERBATIM)
endfunction()
plannix_setup_executable(setup build_constants)

add_subdirectory(tools/demo)

if(PLANNIX_TESTS)
  enable_testing()
  # The setup.exe of a key rotation: it trusts the test key and a next key of this build's own,
  # made once by the native publisher's tool (tests/windows checks that it is given).
  set(PLANNIX_TEST_NEXT_KEY_DIR ${CMAKE_BINARY_DIR}/next-key)
  add_custom_command(
    OUTPUT ${PLANNIX_TEST_NEXT_KEY_DIR}/public.txt
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${PLANNIX_TEST_NEXT_KEY_DIR}
    COMMAND ${PLANNIX_RELEASE_TOOL} keygen ${PLANNIX_TEST_NEXT_KEY_DIR} > /dev/null
    COMMENT "Making the next key of the key-rotation test")
  plannix_build_constants(build_constants_next_key ${PLANNIX_PUBLIC_KEY}
                          ${PLANNIX_TEST_NEXT_KEY_DIR}/public.txt)
  plannix_setup_executable(setup_next_key build_constants_next_key)
  add_subdirectory(tests/windows)
endif()
