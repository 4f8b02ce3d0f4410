# Replayed, expired and rotated-key manifests against the real setup.exe built with a next key
# (setup_next_key, cmake/Windows.cmake), driven from Python under Wine.
add_test(NAME scenario.trust
         COMMAND /usr/bin/python3 -m unittest -v test_trust
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/scenario)
set_tests_properties(scenario.trust PROPERTIES TIMEOUT 600 RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup_next_key>;PLANNIX_FIND_WINDOW=$<TARGET_FILE:find_window>;PLANNIX_ARGV_OF=$<TARGET_FILE:argv_of>;PLANNIX_DEMO_EXE=$<TARGET_FILE:plannix-demo>;PLANNIX_ADD_ROOT_CA=$<TARGET_FILE:add_root_ca>;PLANNIX_RELEASE_TOOL=${PLANNIX_RELEASE_TOOL};PLANNIX_KEY_DIR=${PLANNIX_KEY_DIR};PLANNIX_NEXT_KEY_DIR=${PLANNIX_TEST_NEXT_KEY_DIR};PLANNIX_TEST_CERTS=${PLANNIX_TEST_CERTS};PLANNIX_PORT=${PLANNIX_PORT};PYTHONDONTWRITEBYTECODE=1")
