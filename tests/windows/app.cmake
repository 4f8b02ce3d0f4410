# Start-up and window: helpers for the scenario tests, and GoogleTest programs under Wine.
add_executable(find_window helpers/find_window.cpp)
target_include_directories(find_window PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(find_window PRIVATE setup_windows psapi ntdll)
target_link_options(find_window PRIVATE -municode ${PLANNIX_STATIC_RUNTIME})

add_executable(argv_of helpers/argv_of.cpp)
target_link_options(argv_of PRIVATE -municode ${PLANNIX_STATIC_RUNTIME})
target_link_libraries(argv_of PRIVATE setup_windows)
target_include_directories(argv_of PRIVATE ${CMAKE_SOURCE_DIR})

plannix_wine_test(app_state_test SOURCES app_state_test.cpp TIMEOUT 120)
plannix_wine_test(app_startup_test SOURCES app_startup_test.cpp TIMEOUT 120)

# Scenario tests: the real setup.exe under Wine, driven from Python.
add_test(NAME scenario.startup
         COMMAND /usr/bin/python3 -m unittest -v test_startup
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/scenario)
set_tests_properties(scenario.startup PROPERTIES TIMEOUT 600 ENVIRONMENT
  "PLANNIX_SETUP_EXE=$<TARGET_FILE:setup>;PLANNIX_FIND_WINDOW=$<TARGET_FILE:find_window>;PLANNIX_ARGV_OF=$<TARGET_FILE:argv_of>;PYTHONDONTWRITEBYTECODE=1")
