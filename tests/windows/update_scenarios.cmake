# The update handshake through the stand-in application, and runs killed half-way: the real
# setup.exe under Wine, driven from Python against releases served on localhost.
add_test(NAME scenario.update
         COMMAND /usr/bin/python3 -m unittest -v test_update
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/scenario)
set_tests_properties(scenario.update PROPERTIES TIMEOUT 600 RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>;PLANNIX_FIND_WINDOW=$<TARGET_FILE:find_window>;PLANNIX_ARGV_OF=$<TARGET_FILE:argv_of>;PLANNIX_HOLD_FILE=$<TARGET_FILE:hold_file>;PLANNIX_DEMO_EXE=$<TARGET_FILE:plannix-demo>;PLANNIX_ADD_ROOT_CA=$<TARGET_FILE:add_root_ca>;PLANNIX_RELEASE_TOOL=${PLANNIX_RELEASE_TOOL};PLANNIX_KEY_DIR=${PLANNIX_KEY_DIR};PLANNIX_TEST_CERTS=${PLANNIX_TEST_CERTS};PLANNIX_PORT=${PLANNIX_PORT};PYTHONDONTWRITEBYTECODE=1")
