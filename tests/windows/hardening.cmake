# The application shell's edges: window creation failing, the end of the process, adapter
# errors, relative folders; the image's imports and DLL search.
plannix_wine_helper(exit_probe helpers/exit_probe.cpp $<TARGET_OBJECTS:build_constants>)
plannix_wine_test(app_shell_test SOURCES app_shell_test.cpp TIMEOUT 120)
add_dependencies(app_shell_test exit_probe)
set_tests_properties(wine.app_shell_test PROPERTIES
                     ENVIRONMENT "PLANNIX_EXIT_PROBE=$<TARGET_FILE:exit_probe>")
