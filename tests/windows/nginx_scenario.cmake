# A release hosted on nginx through the publisher's tools/release/nginx-site.conf: the real
# setup.exe under Wine installs and updates from it, before and after a prune.
add_test(NAME scenario.nginx
         COMMAND /usr/bin/python3 -m unittest -v test_nginx
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/scenario)
set_tests_properties(scenario.nginx PROPERTIES TIMEOUT 600 RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>;PLANNIX_FIND_WINDOW=$<TARGET_FILE:find_window>;PLANNIX_ARGV_OF=$<TARGET_FILE:argv_of>;PLANNIX_DEMO_EXE=$<TARGET_FILE:plannix-demo>;PLANNIX_ADD_ROOT_CA=$<TARGET_FILE:add_root_ca>;PLANNIX_RELEASE_TOOL=${PLANNIX_RELEASE_TOOL};PLANNIX_KEY_DIR=${PLANNIX_KEY_DIR};PLANNIX_TEST_CERTS=${PLANNIX_TEST_CERTS};PLANNIX_PORT=${PLANNIX_PORT};PYTHONDONTWRITEBYTECODE=1")

# Packs: a first installation in a few solid packs (nginx), a component's pack added later, an
# update by blobs, and a pack that fails falling back to its members' blobs (the test server).
add_test(NAME scenario.packs
         COMMAND /usr/bin/python3 -m unittest -v test_packs
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/scenario)
set_tests_properties(scenario.packs PROPERTIES TIMEOUT 900 RESOURCE_LOCK plannix_https_port
  ENVIRONMENT "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>;PLANNIX_FIND_WINDOW=$<TARGET_FILE:find_window>;PLANNIX_ARGV_OF=$<TARGET_FILE:argv_of>;PLANNIX_DEMO_EXE=$<TARGET_FILE:plannix-demo>;PLANNIX_ADD_ROOT_CA=$<TARGET_FILE:add_root_ca>;PLANNIX_RELEASE_TOOL=${PLANNIX_RELEASE_TOOL};PLANNIX_KEY_DIR=${PLANNIX_KEY_DIR};PLANNIX_TEST_CERTS=${PLANNIX_TEST_CERTS};PLANNIX_PORT=${PLANNIX_PORT};PYTHONDONTWRITEBYTECODE=1")
