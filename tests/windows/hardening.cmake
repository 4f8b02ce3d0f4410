# The application shell's edges: window creation failing, the end of the process, adapter
# errors, relative folders; the image's imports and DLL search.
plannix_wine_helper(exit_probe helpers/exit_probe.cpp $<TARGET_OBJECTS:build_constants>)
plannix_wine_test(app_shell_test SOURCES app_shell_test.cpp ${CMAKE_SOURCE_DIR}/resources/setup.rc
                  TIMEOUT 120)
add_dependencies(app_shell_test exit_probe)
set_tests_properties(wine.app_shell_test PROPERTIES
                     ENVIRONMENT "PLANNIX_EXIT_PROBE=$<TARGET_FILE:exit_probe>")

# A DLL that marks its own loading, copied beside setup.exe under system libraries' names.
add_library(marker_dll SHARED helpers/marker_dll.cpp)
set_target_properties(marker_dll PROPERTIES PREFIX "" OUTPUT_NAME marker)
target_link_options(marker_dll PRIVATE ${PLANNIX_STATIC_RUNTIME})
plannix_warnings(marker_dll)

# setup.exe beside planted DLLs, with the version check served (so WinHTTP, BCrypt and Crypt32
# are all used), and its import table and load configuration.
set(HARDENING_SERVER_LOG ${CMAKE_BINARY_DIR}/hardening-requests.log)
add_test(NAME scenario.dll_planting
         COMMAND ${CMAKE_SOURCE_DIR}/tools/testserver/with_server.sh --certs ${PLANNIX_TEST_CERTS}
                 --log ${HARDENING_SERVER_LOG} --root ${APP_RELEASE_FIXTURE}/release
                 --port ${PLANNIX_PORT} --lifetime 200 --
                 /usr/bin/python3 -m unittest -v test_dll_planting
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/scenario)
set_tests_properties(scenario.dll_planting PROPERTIES TIMEOUT 300 RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>;PLANNIX_FIND_WINDOW=$<TARGET_FILE:find_window>;PLANNIX_ARGV_OF=$<TARGET_FILE:argv_of>;PLANNIX_MARKER_DLL=$<TARGET_FILE:marker_dll>;PLANNIX_ADD_ROOT_CA=$<TARGET_FILE:add_root_ca>;PLANNIX_TESTSERVER_LOG=${HARDENING_SERVER_LOG};PLANNIX_OBJDUMP=${CMAKE_OBJDUMP};PYTHONDONTWRITEBYTECODE=1")

plannix_wine_test(catalogue_record_test SOURCES catalogue_record_test.cpp TIMEOUT 120)
