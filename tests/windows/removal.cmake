# Removal: the uninstall worker against a throw-away prefix whose profile folders are real
# folders (removal_prefix.sh), and the real setup.exe driven from Python.
set(REMOVAL_PREFIX_SETUP ${CMAKE_CURRENT_SOURCE_DIR}/removal_prefix.sh)
plannix_wine_test(removal_uninstall_test SOURCES removal_uninstall_test.cpp TIMEOUT 120)
set_tests_properties(wine.removal_uninstall_test PROPERTIES
                     ENVIRONMENT "PLANNIX_WINE_SETUP=${REMOVAL_PREFIX_SETUP}")

plannix_wine_helper(hold_file helpers/hold_file.cpp)
add_test(NAME scenario.uninstall
         COMMAND /usr/bin/python3 -m unittest -v test_uninstall
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/scenario)
set_tests_properties(scenario.uninstall PROPERTIES TIMEOUT 600 ENVIRONMENT
  "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>;PLANNIX_FIND_WINDOW=$<TARGET_FILE:find_window>;PLANNIX_ARGV_OF=$<TARGET_FILE:argv_of>;PLANNIX_HOLD_FILE=$<TARGET_FILE:hold_file>;PLANNIX_REMOVAL_PREFIX_SETUP=${REMOVAL_PREFIX_SETUP};PYTHONDONTWRITEBYTECODE=1")
