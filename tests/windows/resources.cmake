# The window's embedded resources: read back from the built setup.exe, and loaded into GDI+.
plannix_wine_test(resources_test SOURCES resources_test.cpp TIMEOUT 120)
target_link_libraries(resources_test PRIVATE version)
add_dependencies(resources_test setup)
set_tests_properties(wine.resources_test PROPERTIES
  ENVIRONMENT "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>")
