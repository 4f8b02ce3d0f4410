# The window's input and commands: the real window procedure driven with messages under Wine.
plannix_wine_helper(launch_probe helpers/launch_probe.cpp)
plannix_wine_test(ui_input_test SOURCES ui_input_test.cpp TIMEOUT 120)
add_dependencies(ui_input_test launch_probe)

# Real pointer and keys on the real setup.exe, through the X server (xdotool): alone on the
# display, so that no other test's window takes the focus or the pointer's place.
add_test(NAME scenario.input
         COMMAND /usr/bin/python3 -m unittest -v test_input
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/scenario)
set_tests_properties(scenario.input PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE ENVIRONMENT
  "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>;PLANNIX_FIND_WINDOW=$<TARGET_FILE:find_window>;PLANNIX_ARGV_OF=$<TARGET_FILE:argv_of>;PYTHONDONTWRITEBYTECODE=1")

# The window as a screen reader reads it from another process (read_accessible.exe, through
# Microsoft Active Accessibility) and as the keyboard drives it (xdotool), installing a release
# served on localhost.
plannix_wine_helper(read_accessible helpers/read_accessible.cpp $<TARGET_OBJECTS:build_constants>)
add_test(NAME scenario.accessibility
         COMMAND /usr/bin/python3 -m unittest -v test_accessibility
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/scenario)
set_tests_properties(scenario.accessibility PROPERTIES TIMEOUT 400 RUN_SERIAL TRUE RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>;PLANNIX_FIND_WINDOW=$<TARGET_FILE:find_window>;PLANNIX_ARGV_OF=$<TARGET_FILE:argv_of>;PLANNIX_READ_ACCESSIBLE=$<TARGET_FILE:read_accessible>;PLANNIX_DEMO_EXE=$<TARGET_FILE:plannix-demo>;PLANNIX_ADD_ROOT_CA=$<TARGET_FILE:add_root_ca>;PLANNIX_RELEASE_TOOL=${PLANNIX_RELEASE_TOOL};PLANNIX_KEY_DIR=${PLANNIX_KEY_DIR};PLANNIX_TEST_CERTS=${PLANNIX_TEST_CERTS};PLANNIX_PORT=${PLANNIX_PORT};PYTHONDONTWRITEBYTECODE=1")
