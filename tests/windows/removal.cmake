# Removal: the uninstall worker against a throw-away prefix whose profile folders are real
# folders (removal_prefix.sh), and the real setup.exe driven from Python.
set(REMOVAL_PREFIX_SETUP ${CMAKE_CURRENT_SOURCE_DIR}/removal_prefix.sh)
plannix_wine_test(removal_uninstall_test SOURCES removal_uninstall_test.cpp TIMEOUT 120)
set_tests_properties(wine.removal_uninstall_test PROPERTIES
                     ENVIRONMENT "PLANNIX_WINE_SETUP=${REMOVAL_PREFIX_SETUP}")
